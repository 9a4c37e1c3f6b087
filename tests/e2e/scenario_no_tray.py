"""With no tray host, minimising must not hide the window for good: it stays minimised where
the window manager keeps it, and comes back when activated from there. Run with a window
manager and no tray host (run.sh --wm)."""

import time

from zelmo_e2e import (Zelmo, click, find, is_active, is_showing, run, screenshot, step,
                       tray_icon, wait_until, wm_state, xdotool)

# A program that hides the window does it within an event-loop turn of the minimise; this
# long is a generous margin on a loaded machine.
SETTLE_SECONDS = 3


def scenario():
    z = Zelmo()
    win = z.main_window()
    wid = z.x_window(win)
    wait_until(lambda: wm_state(wid) == "Normal", "the window manager to show the window")

    xdotool("windowminimize", wid)
    wait_until(lambda: wm_state(wid) == "Iconic", "the window to be minimised")
    end = time.monotonic() + SETTLE_SECONDS
    while time.monotonic() < end:
        state = wm_state(wid)
        assert state == "Iconic", f"the minimised window went {state}: lost without a tray"
        assert is_showing(win), "the minimised window was hidden from the accessibility bus"
        time.sleep(0.1)
    assert tray_icon(exclude={wid}) is None, "an icon appeared with no tray host"
    step("stayed minimised")

    # Brought back the way a task bar does it.
    xdotool("windowactivate", wid)
    wait_until(lambda: wm_state(wid) == "Normal", "the window to come back")
    wait_until(lambda: is_showing(win) and is_active(win), "the main window to be active")
    # And it works: the editor opens from it.
    click(find(win, "push button", "Set away message"))
    editor = z.dialog("Zelmo Extensions - Set Away Message")
    screenshot("no_tray")
    click(find(editor, "push button", "Cancel"))
    z.wait_closed("dialog", "Zelmo Extensions - Set Away Message")
    z.stop()


run(scenario)
