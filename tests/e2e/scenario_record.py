"""The record of what was answered: Ben sends a wrong code, then while the user is away Ann
gets her away message; on coming back, "While you were away..." opens by itself with both,
newest first. Clear empties it, and the Settings menu opens it again."""

import re

from zelmo_e2e import (Zelmo, click, find, find_all, repeat, run, screenshot, send_record, step,
                       wait_until)

ANN = "ann.moss@example.net"
BEN = "ben.ortiz@example.org"
TITLE = "Zelmo Extensions - While You Were Away"


def cells(window):
    return [c.name for c in find_all(window, "table cell")]


def scenario():
    z = Zelmo([f"1 {BEN} says |setaway| 11111"] + repeat(4, 300, f"{ANN} says hello?"))
    win = z.main_window()
    click(find(z.write_away_message(win, "Ann Moss", ["Out for lunch"]), "push button", "Ok"))
    z.wait_closed("dialog", re.compile("Set Away Message"))
    z.go_away(win)
    z.wait_log(send_record(ANN, "Out for lunch"))
    step("away, and Ann answered")

    click(find(win, "push button", re.compile("^Set yourself back$", re.I)))
    record = z.dialog(TITLE)
    wait_until(lambda: "Away message sent: Out for lunch" in cells(record), "Ann's row")
    names = cells(record)
    assert "Ann Moss (ann.moss@example.net)" in names, names
    assert any(n.startswith("|setaway|: ") for n in names), names
    # Newest first: Ann's answer came after Ben's wrong code.
    assert names.index("Away message sent: Out for lunch") < names.index(
        next(n for n in names if n.startswith("|setaway|: "))), names
    screenshot("record")
    step("the record opened on return")

    click(find(record, "push button", "Clear"))
    wait_until(lambda: "Away message sent: Out for lunch" not in cells(record), "the record to empty")
    click(find(record, "push button", "Close"))
    z.wait_closed("dialog", TITLE)
    z.menu(win, "Settings", "While you were away...")
    z.dialog(TITLE)
    step("opened again from the menu")
    z.stop()


run(scenario)
