"""The viewer, opened from the main window's indicator, shows each contact's away message;
Delete removes the one shown, and that contact then gets no away message."""

import re

from zelmo_e2e import (FOOTER, MESSAGES_SET, VIEWER_TITLE, Zelmo, choose, click, find, repeat,
                       run, screenshot, send_record, step, text_of, wait_until)

ANN = "ann.moss@example.net"
BEN = "ben.ortiz@example.org"
ANN_MESSAGE = "In a meeting until four"
BEN_MESSAGE = "Gone fishing"


def message_in(box):
    # The stored message ends its lines with CR LF; the box may show either.
    return text_of(box).replace("\r\n", "\n")


def scenario():
    # Ben's answers show that messages are being answered; Ann's must stop after the Delete.
    z = Zelmo(repeat(1, 300, f"{ANN} says hello?", f"{BEN} says hello?"))
    win = z.main_window()
    for contact, message in (("Ann Moss", ANN_MESSAGE), ("Ben Ortiz", BEN_MESSAGE)):
        editor = z.write_away_message(win, contact, [message])
        click(find(editor, "push button", "Ok"))
        z.wait_closed("dialog", re.compile("Set Away Message"))
    step("messages stored for Ann and Ben")

    click(find(win, "label", MESSAGES_SET))
    viewer = z.dialog(VIEWER_TITLE)
    combo = find(viewer, "combo box")
    box = find(viewer, "text", "Away message")
    # It opens on the first contact, with her message.
    wait_until(lambda: combo.name == "Ann Moss", "the viewer to open on Ann Moss")
    wait_until(lambda: message_in(box) == ANN_MESSAGE, "Ann's message in the viewer")
    screenshot("view_and_delete-viewer")
    choose(combo, "Ben Ortiz")
    wait_until(lambda: message_in(box) == BEN_MESSAGE, "Ben's message in the viewer")
    choose(combo, "Ann Moss")
    wait_until(lambda: message_in(box) == ANN_MESSAGE, "Ann's message in the viewer again")

    click(find(viewer, "push button", "Delete"))
    wait_until(lambda: message_in(box) == "", "the box to be emptied by Delete")
    # Ben's message is untouched, and Ann's stays deleted.
    choose(combo, "Ben Ortiz")
    wait_until(lambda: message_in(box) == BEN_MESSAGE, "Ben's message after the Delete")
    choose(combo, "Ann Moss")
    wait_until(lambda: message_in(box) == "", "Ann's message to stay deleted")
    click(find(viewer, "push button", "Ok"))
    z.wait_closed("dialog", VIEWER_TITLE)
    step("Ann's message deleted")

    z.go_away(win)
    # Ann writes in every tick Ben does: by Ben's second answer she has written while away.
    first = z.wait_log(send_record(BEN, BEN_MESSAGE))
    # The footer is written a moment after the message: wait for it, then check it came next.
    assert z.wait_log(send_record(BEN, FOOTER), after=first + 1) == first + 1, z.log_lines()[first:]
    z.wait_log(send_record(BEN, BEN_MESSAGE), after=first + 2)
    assert not z.sends_to(ANN), f"Ann's deleted message still went out: {z.sends_to(ANN)}"
    z.stop()


run(scenario)
