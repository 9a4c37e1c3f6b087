"""The program's main job, done with the mouse: write an away message for one contact, go
away, and that contact gets it with the footer when writing; a contact without a message
gets nothing."""

import re

from zelmo_e2e import (FOOTER, MESSAGES_SET, NO_MESSAGES, Zelmo, click, find,
                       repeat, run, screenshot, send_record, step)

ANN = "ann.moss@example.net"
BEN = "ben.ortiz@example.org"
MESSAGE = ["Out for lunch,", "back at two"]


def scenario():
    # Both keep writing while the test works; nothing is answered until the user is away.
    z = Zelmo(repeat(1, 300, f"{BEN} says are you there?", f"{ANN} says hello, anyone?"))
    win = z.main_window()
    find(win, "label", NO_MESSAGES)
    find(win, "image", "No away messages")

    editor = z.write_away_message(win, "Ann Moss", MESSAGE)
    screenshot("main_job-editor")
    click(find(editor, "push button", "Ok"))
    z.wait_closed("dialog", re.compile("Set Away Message"))
    find(win, "label", MESSAGES_SET)
    find(win, "image", "Away messages set")
    step("message stored")

    assert not z.sends_to(ANN) and not z.sends_to(BEN), "an answer came before going away"
    z.go_away(win)
    screenshot("main_job-away")
    step("away; waiting for Ann to write")

    # Lines typed apart in the box go out joined by CR LF, right before the footer.
    # The footer is written a moment after the message: wait for it, then check it came next.
    first = z.wait_log(send_record(ANN, "\r\n".join(MESSAGE)))
    assert z.wait_log(send_record(ANN, FOOTER), after=first + 1) == first + 1, z.log_lines()[first:]
    # Ben wrote in the same ticks as Ann; by her second answer he has written while away.
    second = z.wait_log(send_record(ANN, "\r\n".join(MESSAGE)), after=first + 2)
    assert z.wait_log(send_record(ANN, FOOTER), after=second + 1) == second + 1, z.log_lines()[second:]
    assert not z.sends_to(BEN), f"Ben, who has no message, got: {z.sends_to(BEN)}"
    z.stop()


run(scenario)
