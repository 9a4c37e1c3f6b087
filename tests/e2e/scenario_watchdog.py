"""The messenger signs out: the main window says "Not Connected", counts down in its title
and the program ends by itself with status 0."""

import re

from zelmo_e2e import (TIMEOUT, TitleSpy, Zelmo, find, find_all, is_enabled, run, screenshot,
                       step)

SIGN_OUT_AT = 8  # seconds after the main window opens: time to find it first, even when slow
COUNTDOWN = [f"Self Destruction in {n} Seconds" for n in (3, 2, 1)]


def scenario():
    z = Zelmo([f"{SIGN_OUT_AT} signout"])
    win = z.main_window()
    titles = TitleSpy(z.x_window(win))
    find(win, "label", re.compile(r"^[1-9]\d* People online$"))
    find(win, "label", "Status: Online")
    step("connected; waiting for the sign-out")

    # The countdown lasts three seconds: look at the window while it runs.
    titles.wait_for(COUNTDOWN[0], timeout=SIGN_OUT_AT + TIMEOUT)
    shot = screenshot("watchdog", wait=False)
    find(win, "label", "Not Connected")
    find(win, "label", "Status: Not Connected")
    # Nothing can be switched or written without a messenger.
    disabled = {b.name for b in find_all(win, "push button") if not is_enabled(b)}
    assert disabled >= {"Set yourself Away", "Set away message"}, f"disabled: {disabled}"

    status = z.wait_exit()
    shot.wait(timeout=60)
    seen = titles.titles()
    step(f"titles: {seen}")
    assert [t for t in seen if t.startswith("Self Destruction")] == COUNTDOWN, seen
    assert status == 0, f"the program ended with status {status}"
    titles.close()
    z.stop()


run(scenario)
