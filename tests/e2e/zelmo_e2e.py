"""Drives the real Zelmo Extensions windows through the accessibility bus, as a user would.

Controls are found by role and name, clicked with real mouse events at the centre of their
screen extents, typed into with real key events; what the windows and the built-in
messenger's log say is read back. run.sh sets up the display, the buses and the variables
read here; each scenario_*.py starts the program through Zelmo.
"""

import os
import re
import subprocess
import time

import dogtail.config

# A bare Xvfb has no desktop settings to check; run.sh turns the accessibility bus on.
dogtail.config.config.checkForA11y = False
dogtail.config.config.logDebugToFile = False
dogtail.config.config.logDebugToStdOut = False
from dogtail import tree  # noqa: E402  (reads the config when imported)
import pyatspi  # noqa: E402
from gi.repository import GLib  # noqa: E402

APP_NAME = "Zelmo Extensions"
MAIN_TITLE = "Zelmo Extensions"
AWAY_TITLE = "Zelmo Extensions - Auto Away"
CODE_TITLE = "Zelmo Extensions - View/Change Auth Password"
PROGRESS_TITLE = "Zelmo - Changing Status"
EDITOR_TITLE = "Zelmo Extensions - Set Away Message"
VIEWER_TITLE = "Zelmo Extensions - View Away messages"
NO_MESSAGES = "No away messages has been set!"
MESSAGES_SET = "Away message has been set. Click to view"
FOOTER = "(This was an Auto-Message by Orvan's Zelmo RoBot)"
DECLINED = "--- Authorization code declined or bad syntax! ---"
SET_ONLINE = "--- User successfuly set to Online mode! ---"
CODE = "47209"  # stored in the settings file before a start, unless a scenario says not to
EVERYONE = "Everyone in the list"

WORK = os.environ["E2E_WORK"]
ZELMO = os.environ["ZELMO"]
SHOTS = os.environ.get("E2E_SHOTS", "/tmp/e2e-shots")
SCENARIO = os.environ.get("E2E_SCENARIO", "scenario")
# The machine is shared and slow: every wait is for a condition, with a generous bound.
TIMEOUT = float(os.environ.get("E2E_TIMEOUT", "30"))

_MAIN_WINDOW = re.compile(r"^(Zelmo Extensions( - Auto Away)?|Self Destruction in \d+ Seconds)$")


def step(message):
    print(f"[{SCENARIO}] {message}", flush=True)


def wait_until(condition, what, timeout=TIMEOUT, interval=0.1):
    """Polls condition until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    error = None
    while True:
        try:
            value = condition()
            if value:
                return value
        except AssertionError:
            raise
        except Exception as e:  # objects go away while windows close; look again
            error = e
        if time.monotonic() >= deadline:
            extra = f" (last error: {error!r})" if error else ""
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what}{extra}")
        time.sleep(interval)


# --- the accessibility tree ------------------------------------------------------------------

def _matches(value, pattern):
    if pattern is None:
        return True
    if isinstance(pattern, str):
        return value == pattern
    if isinstance(pattern, re.Pattern):
        return pattern.search(value) is not None
    return pattern(value)


def is_showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def is_active(node):
    return node.getState().contains(pyatspi.STATE_ACTIVE)


def is_enabled(node):
    return node.getState().contains(pyatspi.STATE_ENABLED)


def extents(node):
    # Qt 5's window-relative extents are wrong; the desktop ones are right.
    e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def find_all(root, role, name=None, showing=True):
    return root.findChildren(
        lambda n: n.roleName == role and _matches(n.name, name) and (not showing or is_showing(n)),
        isLambda=True)


def first(root, role, name=None, showing=True):
    found = find_all(root, role, name, showing)
    return found[0] if found else None


def find(root, role, name=None, timeout=TIMEOUT, showing=True):
    """Waits for a descendant of that role and name (a string, a regex or a predicate)."""
    return wait_until(lambda: first(root, role, name, showing), f"{role} {_describe(name)}",
                      timeout)


def _describe(pattern):
    if isinstance(pattern, re.Pattern):
        return f"/{pattern.pattern}/"
    return repr(pattern)


def text_of(node):
    """What a text field holds, through the Text interface."""
    t = node.queryText()
    return t.getText(0, t.characterCount)


def dump(node, depth=0, out=None):
    """The tree under node, one line per object: for messages when a control is missing."""
    lines = [] if out is None else out
    try:
        x, y, w, h = extents(node)
        where = f"({x},{y} {w}x{h})"
    except Exception:
        where = ""
    lines.append(f"{'  ' * depth}[{node.roleName}] {node.name!r} {where}")
    for child in node.children:
        dump(child, depth + 1, lines)
    return "\n".join(lines) if out is None else None


# --- real input ------------------------------------------------------------------------------

def xdotool(*args):
    return subprocess.run(["xdotool", *map(str, args)], check=True, timeout=60,
                          stdout=subprocess.PIPE, text=True).stdout


def centre(node):
    x, y, w, h = extents(node)
    assert w > 0 and h > 0, f"{node.roleName} {node.name!r} has no extents on screen"
    return x + w // 2, y + h // 2


def move_to(x, y):
    # --sync waits for the pointer to move, and for 15 s when it is already there.
    here = dict(line.split("=") for line in xdotool("getmouselocation", "--shell").split())
    if (int(here["X"]), int(here["Y"])) != (x, y):
        xdotool("mousemove", "--sync", x, y)


def click_at(x, y, button=1):
    move_to(x, y)
    xdotool("click", button)


def click(node, button=1):
    """A real mouse click at the centre of a control: never doAction, which hangs when the
    control opens a modal dialog."""
    x, y = centre(node)
    click_at(x, y, button)


def type_text(text):
    xdotool("type", "--delay", 40, "--", text)


def key(*keys):
    xdotool("key", "--delay", 80, *keys)


def choose(combo, entry):
    """Picks an entry of a combo box as a user does: opens its list with the arrow at its
    right end and clicks the entry."""
    x, y, w, h = extents(combo)
    click_at(x + w - 8, y + h // 2)
    item = wait_until(lambda: _open_entry(combo, entry), f"the entry {entry!r} in the open list")
    click(item)
    wait_until(lambda: combo.name == entry, f"{entry!r} to be chosen")


def _open_entry(combo, entry):
    for item in find_all(combo, "list item", entry):
        # Items of a closed list keep made-up extents; a showing one has real ones.
        if extents(item)[2] > 0 and extents(item)[1] > 0:
            return item
    return None


def screenshot(name, wait=True):
    """The whole screen into $E2E_SHOTS/NAME.png. wait=False returns the running process, for
    moments that must not be held up."""
    os.makedirs(SHOTS, exist_ok=True)
    path = os.path.join(SHOTS, f"{name}.png")
    proc = subprocess.Popen(["import", "-window", "root", path])
    step(f"screenshot {path}")
    if wait:
        proc.wait(timeout=60)
    return proc


def x_windows(pid):
    """X window ids of the program's windows (the splash and the tray icon carry the main
    window's title too)."""
    result = subprocess.run(["xdotool", "search", "--all", "--pid", str(pid), "--name", "."],
                            timeout=60, stdout=subprocess.PIPE, text=True)
    return [int(w) for w in result.stdout.split()]


def x_geometry(window):
    """(width, height) of a viewable X window, or None while it is not viewable."""
    info = subprocess.run(["xwininfo", "-id", str(window)], timeout=60, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True).stdout
    if "IsViewable" not in info:
        return None
    size = [re.search(rf"^\s*{k}: (\d+)$", info, re.M) for k in ("Width", "Height")]
    return tuple(int(m.group(1)) for m in size) if all(size) else None


def tray_icon(exclude=()):
    """Screen geometry (x, y, w, h) of the program's icon in the tray host, or None: a
    viewable window of class zelmo other than the program's own windows."""
    tree_out = subprocess.run(["xwininfo", "-root", "-tree"], timeout=60, stdout=subprocess.PIPE,
                              text=True).stdout
    for line in tree_out.splitlines():
        m = re.match(r'\s*(0x[0-9a-f]+) .*\("zelmo" .*?(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+'
                     r'\+(-?\d+)\+(-?\d+)', line)
        if not m or int(m.group(1), 16) in exclude:
            continue
        info = subprocess.run(["xwininfo", "-id", m.group(1)], timeout=60,
                              stdout=subprocess.PIPE, text=True).stdout
        w, h, x, y = map(int, m.group(2, 3, 4, 5))
        if "IsViewable" in info and w <= 64 and h <= 64:
            return x, y, w, h
    return None


def settled_tray_icon(exclude=(), what="the tray icon"):
    """The icon's geometry once the tray host has placed it: the host maps the icon first and
    lays it out after, and a click in between lands beside it."""
    seen = [None]

    def settled():
        now = tray_icon(exclude)
        last, seen[0] = seen[0], now
        if now is not None and now == last:
            return now
        time.sleep(0.3)
        return None
    return wait_until(settled, what)


def x_window_report():
    """The program's X windows and the tray host's, each with its map state: what the window
    manager and the tray made of them, which the accessibility bus does not tell."""
    listing = subprocess.run(["xwininfo", "-root", "-tree"], timeout=60,
                             stdout=subprocess.PIPE, text=True).stdout
    lines = []
    for line in listing.splitlines():
        if '("zelmo"' in line or "trayer" in line.lower():
            info = subprocess.run(["xwininfo", "-id", line.split()[0]], timeout=60,
                                  stdout=subprocess.PIPE, text=True).stdout
            state = re.search(r"Map State: (\w+)", info)
            lines.append(f"  {line.strip()}  [{state.group(1) if state else '?'}]")
    return "\n".join(lines)


def wm_state(window):
    """The window manager's view of a window: Normal, Iconic, or Withdrawn."""
    out = subprocess.run(["xprop", "-id", str(window), "WM_STATE"], timeout=60,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    m = re.search(r"window state: (\w+)", out)
    return m.group(1) if m else "Withdrawn"


class ShowingWatch:
    """Collects what becomes visible, windows outside the application's tree among them,
    such as the tray icon's menu, which has no parent. Events are queued on the bus and
    delivered only while the GLib loop runs, which wait_for does."""

    EVENT = "object:state-changed:showing"

    def __init__(self):
        self.events = []
        pyatspi.Registry.registerEventListener(self._on_event, self.EVENT)

    def _on_event(self, event):
        if event.detail1:
            self.events.append(event.source)

    def wait_for(self, role, what, timeout=TIMEOUT):
        context = GLib.MainContext.default()

        def look():
            while context.pending():
                context.iteration(False)
            return next((n for n in self.events if n.roleName == role and is_showing(n)), None)
        return wait_until(look, what, timeout)

    def close(self):
        pyatspi.Registry.deregisterEventListener(self._on_event, self.EVENT)


class TitleSpy:
    """Every title an X window takes, in order, even one that lasts a moment: xprop reports
    each change of the property, which polling the accessibility bus could miss on a busy
    machine (and Qt sends no accessibility event for a window's title)."""

    def __init__(self, window):
        self._path = os.path.join(WORK, f"titles-{window}.txt")
        self._out = open(self._path, "w")
        self._proc = subprocess.Popen(["xprop", "-spy", "-id", str(window), "_NET_WM_NAME"],
                                      stdout=self._out, stderr=subprocess.DEVNULL)

    def titles(self):
        with open(self._path, encoding="utf-8") as f:
            found = [re.search(r'= "(.*)"$', line) for line in f.read().splitlines()]
        return [m.group(1) for m in found if m]

    def wait_for(self, title, timeout=TIMEOUT):
        wait_until(lambda: title in self.titles(), f"the title {title!r}", timeout)

    def close(self):
        if self._proc.poll() is None:
            self._proc.terminate()
            self._proc.wait(timeout=TIMEOUT)
        self._out.close()


# --- the simulated messenger's log ----------------------------------------------------------

def escape(text):
    """Text as the log writes it."""
    return (text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")
            .replace("\t", "\\t"))


def send_record(logon, text, colour="0"):
    return f"send {logon} CO={colour} {escape(text)}"


# --- the program -----------------------------------------------------------------------------

class Zelmo:
    """One run of the real program on the built-in messenger, with a script and a log."""

    def __init__(self, script_lines=(), confirm_delay=200, code=CODE):
        self.script = os.path.join(WORK, "script.txt")
        self.log_path = os.path.join(WORK, "log.txt")
        self.ini = os.path.join(os.environ["XDG_CONFIG_HOME"], "Zelmo Extensions",
                                "Zelmo Extensions.ini")
        if code is not None:
            os.makedirs(os.path.dirname(self.ini), exist_ok=True)
            with open(self.ini, "w") as f:
                f.write(f"[Settings]\nAuthorizedPassword={code}\n")
        with open(self.script, "w") as f:
            f.write("\n".join(script_lines) + "\n")
        self._out = open(os.path.join(WORK, "zelmo.out"), "w")
        self.proc = subprocess.Popen(
            [ZELMO, "--confirm-delay", str(confirm_delay), "--sim-script", self.script,
             "--sim-log", self.log_path],
            stdout=self._out, stderr=subprocess.STDOUT)
        # run.sh ends the program from this file if the scenario fails half-way.
        with open(os.path.join(WORK, "zelmo.pid"), "w") as f:
            f.write(str(self.proc.pid))
        step(f"started zelmo, pid {self.proc.pid}")
        self.app = wait_until(self._find_app, "the program on the accessibility bus")
        global _current
        _current = self

    def _find_app(self):
        self.assert_running()
        for app in tree.root.applications():
            if app.name == APP_NAME and app.get_process_id() == self.proc.pid:
                return app
        return None

    def assert_running(self):
        status = self.proc.poll()
        assert status is None, f"the program ended early with status {status}"

    # windows

    def top_level(self, role, name, showing=True):
        for child in self.app.children:
            if child.roleName == role and _matches(child.name, name) and (
                    not showing or is_showing(child)):
                return child
        return None

    def window(self, role, name, timeout=TIMEOUT, showing=True):
        def look():
            self.assert_running()
            return self.top_level(role, name, showing)
        return wait_until(look, f"the {role} {_describe(name)}", timeout)

    def main_window(self, timeout=TIMEOUT):
        return self.window("frame", _MAIN_WINDOW, timeout)

    def dialog(self, title, timeout=TIMEOUT):
        return self.window("dialog", title, timeout)

    def wait_closed(self, role, name, timeout=TIMEOUT):
        wait_until(lambda: self.top_level(role, name) is None,
                   f"the {role} {_describe(name)} to close", timeout)

    def menu(self, window, menu_name, item_name):
        """Opens a menu of the menu bar with a click and clicks one of its items."""
        click(find(find(window, "menu bar"), "menu item", menu_name))
        item = wait_until(lambda: self._showing_item(window, item_name),
                          f"the menu item {item_name!r}")
        click(item)

    @staticmethod
    def _showing_item(window, name):
        item = first(window, "menu item", name)
        # Closed menus stay in the tree with zero extents.
        return item if item is not None and extents(item)[2] > 0 else None

    def write_away_message(self, window, contact, lines):
        """Opens the editor from the main window, picks the contact and types the message,
        one line after the other; returns the editor, still open."""
        click(find(window, "push button", "Set away message"))
        editor = self.dialog(EDITOR_TITLE)
        combo = find(editor, "combo box")
        wait_until(lambda: combo.name == EVERYONE, f"the editor to open on {EVERYONE!r}")
        choose(combo, contact)
        box = find(editor, "text", "Away message")
        click(box)
        key("ctrl+a")
        for i, line in enumerate(lines):
            if i:
                key("Return")  # a new line, not Ok
            type_text(line)
        wait_until(lambda: text_of(box) == "\n".join(lines), f"the message box to hold {lines}")
        return editor

    def go_away(self, window):
        """Presses the away/back switch and waits until the change is over: away title,
        status, the switch's new caption, and the window usable again."""
        click(find(window, "push button", re.compile("^Set yourself away$", re.I)))
        wait_until(lambda: window.name == AWAY_TITLE, "the away title")
        find(window, "label", "Status: Away")
        back = find(window, "push button", re.compile("^Set yourself back$", re.I))
        self.wait_closed("dialog", PROGRESS_TITLE)
        wait_until(lambda: is_enabled(back), "the main window to be usable again")

    def x_window(self, frame):
        """The X window of a top-level window of the program: the viewable one of its size."""
        def look():
            size = extents(frame)[2:]
            return next((w for w in x_windows(self.proc.pid) if x_geometry(w) == size), None)
        return wait_until(look, f"the X window of {frame.name!r}")

    # the log

    def log_lines(self):
        try:
            with open(self.log_path, encoding="utf-8") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def wait_log(self, line, after=0, timeout=TIMEOUT):
        """Waits until the log holds that exact line at or after index `after`; its index."""
        def look():
            self.assert_running()
            lines = self.log_lines()
            for i in range(after, len(lines)):
                if lines[i] == line:
                    return i + 1  # true even for the first line
            return None
        return wait_until(look, f"the log line {line!r}", timeout) - 1

    def sends_to(self, logon):
        prefix = f"send {logon} "
        return [line for line in self.log_lines() if line.startswith(prefix)]

    # the end

    def wait_exit(self, timeout=TIMEOUT):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the program did not end within {timeout:.0f} s") from None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=TIMEOUT)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self._out.close()

    def ini_code(self):
        """The code saved in the settings file, or None."""
        try:
            with open(self.ini, encoding="utf-8") as f:
                m = re.search(r"^AuthorizedPassword=(.*)$", f.read(), re.M)
        except FileNotFoundError:
            return None
        return m.group(1) if m else None


def repeat(every, until, *events):
    """Script lines that play the same events every `every` seconds: the user's actions take
    as long as the machine makes them, so the contacts keep writing until the test has seen
    what it waits for."""
    lines = []
    t = every
    while t <= until:
        lines.extend(f"{t:g} {e}" for e in events)
        t = round(t + every, 3)
    return lines


_current = None


def run(scenario):
    """Runs a scenario function and turns its outcome into the exit status; on a failure it
    shows the program's windows as the accessibility bus sees them, and the screen."""
    import traceback
    try:
        scenario()
    except Exception:
        traceback.print_exc()
        if _current is not None and _current.proc.poll() is None:
            try:
                for window in _current.app.children:
                    print(dump(window))
                print("X windows:\n" + x_window_report())
                screenshot(f"{SCENARIO}-failure")
            except Exception as e:
                print(f"(could not show the windows: {e!r})")
        step("FAILED")
        raise SystemExit(1)
    step("passed")
