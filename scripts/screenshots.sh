#!/usr/bin/env bash
# Starts the program under a private Xvfb display with a small window manager and a tray host,
# and takes screenshots of every window as a user sees it: the splash, the main window
# (connected, away, not connected), the away-message editor and viewer, the code dialog, the
# About box, the tray menu, the Settings menu, going away when idle, the record of what was
# answered, and the program beside Finch. Writes PNG files to
# docs/screenshots/ (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots}
mkdir -p "$out"

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)" --target zelmo
zelmo=$PWD/build/default/bin/zelmo

work=$(mktemp -d)
display=:$((100 + RANDOM % 100))
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=$display XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config HOME=$work
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 1
openbox >/dev/null 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

# The windows open in the middle of the 800 x 600 screen; a second argument crops elsewhere.
shot() {
    import -window root -crop "${2:-400x320+200+150}" +repage "$out/$1.png"
    echo "screenshots: $out/$1.png"
}
waitfor() { # a window whose title matches, within 10 s
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 && return 0
        sleep 0.1
    done
    echo "screenshots: no window '$1'" >&2
    return 1
}
click() { xdotool mousemove "$1" "$2" click 1; }
# X, Y, WIDTH and HEIGHT of a window's client area on the screen (xdotool's position is off by
# the frame under a reparenting window manager).
geometry() {
    local info
    info=$(xwininfo -id "$1")
    X=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
    Y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
    WIDTH=$(awk '/Width:/ {print $2}' <<<"$info")
    HEIGHT=$(awk '/Height:/ {print $2}' <<<"$info")
}

# The first run: a contact writes once the user is away.
cat >"$work/script.txt" <<'SCRIPT'
30 ann.moss@example.net says are you there?
SCRIPT
"$zelmo" --no-sim-window --confirm-delay 1500 --sim-script "$work/script.txt" >/dev/null 2>&1 &
app=$!
pids+=($app)
sleep 0.3
shot splash
main=$(waitfor '^Zelmo Extensions$')
sleep 0.5
shot main-window
geometry "$main"

# The editor: a message for Ann Moss, picked from the list above "Everyone in the list".
xdotool windowfocus "$main" key alt+m
editor=$(waitfor 'Set Away Message')
sleep 0.3
xdotool key Up Up Up Up Up Up Up Up
geometry "$editor"
click $((X + 128)) $((Y + 80))
xdotool key ctrl+a
xdotool type --delay 10 "Out until three. Call my mobile if it is urgent."
sleep 0.2
shot editor
click $((X + 140)) $((Y + 194)) # Ok
sleep 0.5
geometry "$main"

# The viewer, opened from the indicator.
click $((X + 252)) $((Y + 182))
viewer=$(waitfor 'View Away messages')
sleep 0.3
shot viewer
geometry "$viewer"
click $((X + 224)) $((Y + 176)) # Cancel
geometry "$main"
sleep 0.3

# The code dialog and the About box.
click $((X + 20)) $((Y + 9))
sleep 0.3
click $((X + 60)) $((Y + 31))
waitfor 'Auth Password' >/dev/null
sleep 0.3
shot code-dialog
xdotool key Escape
sleep 0.3
click $((X + 76)) $((Y + 9))
sleep 0.3
click $((X + 110)) $((Y + 31))
about=$(waitfor 'About Zelmo')
sleep 0.3
shot about
xdotool windowfocus "$about" key Escape
sleep 0.3

# Away: the button, the progress window while the messenger confirms, then the away title.
click $((X + 80)) $((Y + 214))
sleep 0.6
shot changing-status
waitfor 'Auto Away' >/dev/null
sleep 0.5
shot main-window-away

# The tray: minimise, then the icon's menu.
xdotool windowminimize "$main"
sleep 1
# trayer sits at the top right corner of the 800 x 600 screen, with the one icon in it.
xdotool mousemove 788 12 click 3
sleep 0.6
shot tray-menu 320x120+480+0
xdotool key Escape
kill "$app" 2>/dev/null || true

# The second run: the messenger signs out.
printf '1 signout\n' >"$work/signout.txt"
"$zelmo" --no-sim-window --sim-script "$work/signout.txt" >/dev/null 2>&1 &
pids+=($!)
waitfor 'Self Destruction in 2' >/dev/null
shot main-window-not-connected

# The third run: the Settings menu, going away when idle, and the record of what was answered
# that opens on a return.
kill "$(xdotool search --onlyvisible --name 'Self Destruction' getwindowpid 2>/dev/null)" 2>/dev/null || true
rm -f "$XDG_RUNTIME_DIR"/zelmo-*.lock
cat >"$work/record.txt" <<'SCRIPT'
2 ben.ortiz@example.org says |setaway| 11111
SCRIPT
for t in 6 9 12 15 18 21 24 27 30; do
    echo "$t ann.moss@example.net says are you there?" >>"$work/record.txt"
done
"$zelmo" --no-sim-window --confirm-delay 300 --sim-script "$work/record.txt" >/dev/null 2>&1 &
app=$!
pids+=($app)
main=$(waitfor '^Zelmo Extensions$')
sleep 1.5
geometry "$main"
xdotool windowfocus "$main" key alt+s
sleep 0.5
shot settings-menu
xdotool key i
waitfor 'Go Away When Idle' >/dev/null
sleep 0.3
shot idle-dialog
xdotool key Escape
sleep 0.3
xdotool windowfocus "$main" key alt+m
waitfor 'Set Away Message' >/dev/null
sleep 0.3
xdotool key Tab ctrl+a
xdotool type --delay 10 "Out until three."
xdotool key Tab space
sleep 0.5
click $((X + 80)) $((Y + 214))
waitfor 'Auto Away' >/dev/null
sleep 9
click $((X + 80)) $((Y + 214))
record=$(waitfor 'While You Were Away')
sleep 0.5
geometry "$record"
shot record "$((WIDTH + 8))x$((HEIGHT + 30))+$((X - 4))+$((Y - 26))"
kill "$app" 2>/dev/null || true

# Beside the user's own messenger: Finch in a terminal, the program answering through it.
dbus-run-session -- bash scripts/screenshot-finch.sh "$zelmo" "$out/finch.png" 2> >(grep -v "fd limit" >&2)
