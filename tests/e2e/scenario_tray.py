"""With a tray host running, minimising hides the main window behind an icon; the icon's
menu brings the window back, and its "Exit Program" ends the program with the code saved. All
of it works while a dialog is open, too. Run with a window manager and trayer (run.sh --wm
--tray)."""

import os
import re
import subprocess

from zelmo_e2e import (NO_MESSAGES, VIEWER_TITLE, ShowingWatch, Zelmo, click, click_at, find,
                       find_all, is_active, is_showing, move_to, run, screenshot,
                       settled_tray_icon, step, tray_icon, wait_until, wm_state, xdotool)

# The blank is the separator.
MENU = ["Restore / Open Zelmo", "While you were away...", "", "Exit Program"]


def minimise_to_tray(z, win, wid):
    xdotool("windowminimize", wid)
    # Hidden, not just iconified: the window leaves the task bar for the tray.
    wait_until(lambda: wm_state(wid) == "Withdrawn", "the window to be hidden")
    wait_until(lambda: not is_showing(win), "the main window to stop showing")
    return settled_tray_icon(exclude={wid})


def open_menu(watch, icon):
    x, y, w, h = icon
    click_at(x + w // 2, y + h // 2, 3)
    menu = watch.wait_for("popup menu", "the tray icon's menu")
    assert [item.name for item in menu.children] == MENU, [i.name for i in menu.children]
    return menu


def item(menu, name):
    return next(i for i in find_all(menu, "menu item", name) if i.name == name)


def scenario():
    # A first start: no code is stored, and the program makes one of its own.
    z = Zelmo(code=None)
    win = z.main_window()
    wid = z.x_window(win)
    wait_until(lambda: wm_state(wid) == "Normal", "the window manager to show the window")
    assert tray_icon(exclude={wid}) is None, "a tray icon before minimising"
    code = z.ini_code()
    assert code and re.fullmatch(r"\d{5}", code) and code != "47209", f"made code: {code}"
    # Gone from the file, it must be saved again on the way out.
    os.remove(z.ini)
    watch = ShowingWatch()

    icon = minimise_to_tray(z, win, wid)
    step(f"in the tray at {icon}")
    # A window manager's late word on the hidden window, a state without "hidden", must leave
    # the icon in place: it is the only way back. The program reads the change before the
    # click on the icon, which comes after it.
    subprocess.run(["xprop", "-id", str(wid), "-f", "_NET_WM_STATE", "32a", "-set",
                    "_NET_WM_STATE", "_NET_WM_STATE_ABOVE"], check=True, timeout=60)
    click(item(open_menu(watch, icon), "Restore / Open Zelmo"))
    wait_until(lambda: wm_state(wid) == "Normal", "the window to come back")
    wait_until(lambda: is_showing(win), "the main window to show again")
    wait_until(lambda: tray_icon(exclude={wid}) is None, "the icon to go on restore")
    step("restored from the tray menu")

    # With the viewer open, the window still goes to the tray, and a double click on the icon
    # brings it back with the viewer on top.
    click(find(win, "label", NO_MESSAGES))
    viewer = z.dialog(VIEWER_TITLE)
    icon = minimise_to_tray(z, win, wid)
    x, y, w, h = icon
    move_to(x + w // 2, y + h // 2)
    xdotool("click", "--repeat", "2", "--delay", "80", "1")
    wait_until(lambda: wm_state(wid) == "Normal", "the window to come back with a dialog open")
    wait_until(lambda: is_showing(viewer) and is_active(viewer), "the viewer on top again")
    step("restored by a double click with the viewer open")

    # Minimising the dialog takes the main window to the tray with it; the tray menu brings
    # both back.
    watch.events.clear()
    xdotool("windowminimize", z.x_window(viewer))
    wait_until(lambda: wm_state(wid) == "Withdrawn", "the main window to go with the viewer")
    click(item(open_menu(watch, settled_tray_icon(exclude={wid})),
               "Restore / Open Zelmo"))
    wait_until(lambda: wm_state(wid) == "Normal", "the window to come back")
    wait_until(lambda: is_showing(viewer) and is_active(viewer), "the viewer on top again")
    step("the viewer minimised, then both restored from the tray menu")

    watch.events.clear()
    icon = minimise_to_tray(z, win, wid)
    menu = open_menu(watch, icon)
    screenshot("tray")
    click(item(menu, "Exit Program"))
    status = z.wait_exit()
    assert status == 0, f"the program ended with status {status}"
    assert z.ini_code() == code, f"saved code: {z.ini_code()}"
    watch.close()
    z.stop()


run(scenario)
