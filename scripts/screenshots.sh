#!/usr/bin/env bash
# Starts the program under a private Xvfb display and takes screenshots of its windows, as a
# user would see them: the main window, the authorization-code dialog and the progress window
# of a status change. Writes PNG files to build/screenshots/ (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
mkdir -p "$out"

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)" --target zelmo

work=$(mktemp -d)
display=:$((100 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    kill "$app" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
app=""
trap cleanup EXIT
export DISPLAY=$display XDG_RUNTIME_DIR=$work XDG_CONFIG_HOME=$work/config HOME=$work
chmod 700 "$work"
sleep 1

./build/default/bin/zelmo --confirm-delay 5000 >/dev/null 2>&1 &
app=$!
window=""
for _ in $(seq 50); do
    window=$(xdotool search --name '^Zelmo Extensions$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "screenshots: the main window did not appear" >&2; exit 1; }
sleep 0.5

shot() { import -window root -crop 460x360+170+120 "$out/$1.png"; echo "screenshots: $out/$1.png"; }
shot main-window

# Settings > Authorized Password.
xdotool windowfocus "$window" key alt+s
sleep 0.3
xdotool key Return
sleep 0.7
shot authorization-code
xdotool key Escape
sleep 0.3

# The away/back button: the progress window shows while the client confirms.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 80)) $((Y + HEIGHT - 40)) click 1
sleep 1.5
shot changing-status
sleep 4.5
shot after-switch
