"""The authorization code: changed in the code dialog, it is the one a remote "|setback|"
must carry; the old code is declined from then on."""

import re

from zelmo_e2e import (AWAY_TITLE, CODE_TITLE, DECLINED, CODE, MAIN_TITLE, SET_ONLINE,
                       TitleSpy, Zelmo, click, find, repeat, run, screenshot, send_record, step,
                       text_of, type_text, wait_until)

ANN = "ann.moss@example.net"
BEN = "ben.ortiz@example.org"
NEW_CODE = "13579"


def scenario():
    # While the user is online "|setback|" is ignored, so the contacts can keep asking until
    # the test has gone away: then, in one tick, Ben tries the old code and Ann the new one.
    z = Zelmo(repeat(1, 300, f"{BEN} says |setback| {CODE}",
                     f"{ANN} says |setback| {NEW_CODE}"))
    win = z.main_window()

    z.menu(win, "Settings", "Authorized Password")
    dialog = z.dialog(CODE_TITLE)
    field = find(dialog, "text", "Authorized password")
    wait_until(lambda: text_of(field) == CODE, "the dialog to show the current code")
    click(field)  # a click empties the field
    wait_until(lambda: text_of(field) == "", "the field to be emptied by the click")
    # Only digits get in, and no more than five.
    type_text("13x5797")
    wait_until(lambda: text_of(field) == NEW_CODE, f"the field to hold {NEW_CODE}")
    screenshot("code")
    click(find(dialog, "push button", "Set"))
    z.wait_closed("dialog", CODE_TITLE)
    wait_until(lambda: z.ini_code() == NEW_CODE, "the new code in the settings file")
    step("code changed")

    # Away lasts only until the next tick of the script: too short to be sure to see.
    titles = TitleSpy(z.x_window(win))
    click(find(win, "push button", re.compile("^Set yourself away$", re.I)))
    titles.wait_for(AWAY_TITLE)
    step("away; waiting for the remote commands")

    # The two answers may come in either order: the handling of one message lets pending
    # events run, the other contact's message among them.
    z.wait_log(send_record(BEN, DECLINED))
    accepted = z.wait_log(send_record(ANN, SET_ONLINE))
    wait_until(lambda: titles.titles()[-1] == MAIN_TITLE, "the title to say online again")
    find(win, "label", "Status: Online")
    find(win, "push button", re.compile("^Set yourself away$", re.I))
    lines = z.log_lines()
    assert send_record(BEN, SET_ONLINE) not in lines, "the old code was accepted"
    assert send_record(ANN, DECLINED) not in lines[:accepted], "the new code was declined"
    titles.close()
    z.stop()


run(scenario)
