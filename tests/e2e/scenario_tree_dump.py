"""Writes what a screen reader finds in every window of the program, one window after the
other, into the file $E2E_DUMP: a tool for comparing two builds by hand, not a test.

    E2E_DUMP=/tmp/a.txt bash tests/e2e/run.sh --wm --tray OLD/zelmo tree_dump
    E2E_DUMP=/tmp/b.txt bash tests/e2e/run.sh --wm --tray NEW/zelmo tree_dump
    diff /tmp/a.txt /tmp/b.txt    # empty when the builds show the user the same windows

The clock, dates and the work folder are masked, so two runs of one build give the same file.
Without --tray the tray menu is left out, and the file says so.
"""

import os
import re

import pyatspi
from zelmo_e2e import (CODE_TITLE, DECLINED, EDITOR_TITLE, MESSAGES_SET, NO_MESSAGES,
                       PROGRESS_TITLE, TIMEOUT, VIEWER_TITLE, WORK, ShowingWatch, Zelmo, click,
                       click_at, extents, find, find_all, is_showing, key, move_to, run,
                       send_record, settled_tray_icon, step, text_of, type_text, wait_until,
                       xdotool)

OUT = os.environ.get("E2E_DUMP") or "/tmp/zelmo-tree.txt"
ANN = "ann.moss@example.net"
LOGON_TITLE = "Zelmo Extensions - Buddy Login ID"
DAYS = "Monday|Tuesday|Wednesday|Thursday|Friday|Saturday|Sunday"
MONTHS = ("January|February|March|April|May|June|July|August|September|October|November|"
          "December")
MASKS = [(re.compile(re.escape(WORK)), "$WORK"),
         (re.compile(rf"\b(({DAYS}),? )?(\d{{1,2}} )?({MONTHS})( \d{{1,2}},?)? \d{{4}}\b"), "DATE"),
         (re.compile(r"\b\d{1,4}[/.-]\d{1,2}[/.-]\d{2,4}\b"), "DATE"),
         (re.compile(r"\b\d{1,2}:\d{2}(:\d{2})?(\s?[AP]M)?\b", re.I), "HH:MM:SS")]
STATES = [(pyatspi.STATE_SHOWING, "showing"), (pyatspi.STATE_ENABLED, "enabled"),
          (pyatspi.STATE_FOCUSABLE, "focusable"), (pyatspi.STATE_CHECKABLE, "checkable"),
          (pyatspi.STATE_CHECKED, "checked"), (pyatspi.STATE_EDITABLE, "editable")]
# The fill of a progress bar and the splash's step follow the machine's speed, not the build.
MOVING_VALUES = {"progress bar"}
MOVING_NAMES = {"Start-up step"}
lines = []


def masked(text):
    for pattern, replacement in MASKS:
        text = pattern.sub(replacement, text)
    return repr(text)


def node_lines(node, depth):
    name = "*" if node.description in MOVING_NAMES else masked(node.name)
    parts = [f"[{node.roleName}]", name]
    if node.description:
        parts.append("desc=" + masked(node.description))
    try:
        parts.append("text=" + masked(text_of(node)))
    except NotImplementedError:
        pass
    try:
        value = node.queryValue().currentValue
        parts.append("value=" + ("*" if node.roleName in MOVING_VALUES else f"{value:g}"))
    except NotImplementedError:
        pass
    states = node.getState()
    parts.append("{" + ",".join(n for s, n in STATES if states.contains(s)) + "}")
    lines.append("  " * depth + " ".join(parts))
    for child in node.children:
        node_lines(child, depth + 1)


def dump(heading, node):
    step(f"dump: {heading}")
    lines.append(f"=== {heading}")
    node_lines(node, 0)


def showing(z, title):
    """A showing window of that title other than the main window, which boxes share it with."""
    return next((w for w in z.app.children if w.name == title and w.roleName != "frame"
                 and is_showing(w)), None)


def visit(z, heading, title, close, ready=None, timeout=TIMEOUT):
    """Waits for the window (and ready(window)), writes its tree, closes it with close(window)
    and waits for that."""
    found = wait_until(lambda: z.assert_running() or showing(z, title), repr(title), timeout)
    if ready:
        wait_until(lambda: ready(found), f"{title!r} to be filled")
    dump(heading, found)
    close(found)
    wait_until(lambda: showing(z, title) is None, f"{title!r} to close")


def press(name):
    return lambda window: click(find(window, "push button", name))


def scenario():
    z = Zelmo(confirm_delay=5000)
    # The splash lasts about a second past the start-up: read it at once, or leave it out.
    at = len(lines)
    try:
        dump("splash screen", wait_until(lambda: showing(z, "Zelmo Extensions is starting"),
                                         "the splash", 3))
    except Exception as e:
        del lines[at:]
        lines.append(f"=== splash screen: not shown (gone before it could be read: {e})")
    win = z.main_window()
    online = find(win, "label", re.compile(r"^[1-9]\d* People online$"))
    contacts = find(win, "list", "Online Contacts")
    wait_until(lambda: len(contacts.children) == int(online.name.split()[0]), "a full list")
    find(win, "label", NO_MESSAGES)
    dump("main window, online, no away message", win)
    client = z.window("frame", "Simulated Messenger - Zelmo Extensions")
    dump("built-in messenger's window", client)
    click(contacts.children[0])
    visit(z, "box: a contact's logon name, from the online list", LOGON_TITLE, press("OK"))

    click(find(win, "push button", "Set away message"))
    visit(z, "away-message editor", EDITOR_TITLE, press("Cancel"))
    click(find(z.write_away_message(win, "Ann Moss", ["Out for lunch"]), "push button", "Ok"))
    find(win, "label", MESSAGES_SET)
    dump("main window, online, an away message set", win)

    click(find(win, "label", MESSAGES_SET))

    def viewer(window):
        # A double click on the contact's field tells its logon name.
        x, y, w, h = extents(find(find(window, "combo box"), "text"))
        move_to(x + 10, y + h // 2)
        xdotool("click", "--repeat", "2", "--delay", "80", "1")
        visit(z, "box: a contact's logon name, from the viewer", LOGON_TITLE, press("OK"))
        press("Cancel")(window)
    visit(z, "away-message viewer", VIEWER_TITLE, viewer,
          ready=lambda w: find(w, "combo box").name == "Ann Moss")

    z.menu(win, "About", "About Zelmo Extensions")
    visit(z, "About box", "About Zelmo Extensions", lambda w: (click(w), key("Escape")))

    def code(window):
        click(find(window, "text", "Authorized password"))  # empties the field
        press("Set")(window)
        visit(z, "box: a code of other than five digits", "Zelmo Extensions", press("OK"))
        press("Cancel")(window)
    z.menu(win, "Settings", "Authorized Password")
    visit(z, "authorization-code dialog", CODE_TITLE, code)
    z.menu(win, "Settings", "Go away when idle...")
    visit(z, "idle-away dialog", "Zelmo Extensions - Go Away When Idle", press("Cancel"))

    # The built-in messenger confirms after its confirm delay: time enough to read the window.
    click(find(win, "push button", re.compile("^Set yourself away$", re.I)))
    visit(z, "changing-status window", PROGRESS_TITLE, lambda w: None, timeout=60)
    find(win, "label", "Status: Away")
    dump("main window, away", win)

    # Ann writes in the messenger's window: her away message, then a wrong code, both recorded.
    click(find(client, "table cell", re.compile(r"^Ann Moss\n")))
    for text, answer in (("hello", "Out for lunch"), ("|setback| 11111", DECLINED)):
        click(find(client, "text", "Write as contact"))
        type_text(text)
        key("Return")
        z.wait_log(send_record(ANN, answer))
    wait_until(lambda: DECLINED in text_of(find(client, "text", f"Chat with {ANN}")),
               "the answer in Ann's chat")
    dump("built-in messenger's window, after a chat", client)

    click(find(win, "push button", re.compile("^Set yourself back$", re.I)))

    visit(z, "While you were away", "Zelmo Extensions - While You Were Away", press("Close"),
          ready=lambda w: len(find_all(w, "table cell")) == 6, timeout=60)
    dump("main window, back online", win)

    if os.environ.get("E2E_TRAY") == "1":
        watch = ShowingWatch()
        wid = z.x_window(win)
        xdotool("windowminimize", wid)
        wait_until(lambda: not is_showing(win), "the main window to go to the tray")
        x, y, w, h = settled_tray_icon(exclude={wid})
        click_at(x + w // 2, y + h // 2, 3)
        menu = watch.wait_for("popup menu", "the tray icon's menu")
        dump("tray menu", menu)
        click(next(i for i in menu.children if i.name == "Restore / Open Zelmo"))
        wait_until(lambda: is_showing(win), "the main window back")
        watch.close()
    else:
        lines.append("=== tray menu: not shown (run without --tray)")
    z.stop()
    with open(OUT, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    step(f"written to {OUT}")


run(scenario)
