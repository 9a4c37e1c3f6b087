"""The main job, played in the built-in messenger's own window: write an away message for Ann
and go away in the main window, then, as Ann, type "hello" in her chat in the messenger's
window; her chat shows the away message and the footer that the program sent back."""

import re

from zelmo_e2e import (FOOTER, Zelmo, click, find, key, run, screenshot, send_record, step,
                       text_of, type_text, wait_until)

CLIENT_TITLE = "Simulated Messenger - Zelmo Extensions"
ANN = "ann.moss@example.net"
MESSAGE = ["Gone fishing,", "back on Monday"]


def scenario():
    z = Zelmo()
    win = z.main_window()
    client = z.window("frame", CLIENT_TITLE)

    editor = z.write_away_message(win, "Ann Moss", MESSAGE)
    click(find(editor, "push button", "Ok"))
    z.wait_closed("dialog", re.compile("Set Away Message"))
    z.go_away(win)
    step("away; writing as Ann in the messenger's window")

    # The list shows each contact as its name over its logon.
    click(find(client, "table cell", re.compile(r"^Ann Moss\n" + re.escape(ANN) + "$")))
    pane = find(client, "text", f"Chat with {ANN}")
    box = find(client, "text", "Write as contact")
    click(box)
    type_text("hello")
    key("Return")

    # The pane holds what Ann typed, then the program's answer as Ann receives it.
    def answered():
        lines = text_of(pane).split("\n")
        return FOOTER in lines and lines
    lines = wait_until(answered, "the away message and the footer in Ann's chat")
    screenshot("client_window")
    hello, footer = lines.index("hello"), lines.index(FOOTER)
    body = [i for i in range(hello, footer) if lines[i] == MESSAGE[0]]
    assert body and lines[body[0] + 1] == MESSAGE[1], f"no away message before the footer: {lines}"
    assert not text_of(box), "the typed line stayed in the box"

    # And it is what really went out.
    first = z.wait_log(send_record(ANN, "\r\n".join(MESSAGE)))
    assert z.wait_log(send_record(ANN, FOOTER), after=first + 1) == first + 1, z.log_lines()[first:]
    z.stop()


run(scenario)
