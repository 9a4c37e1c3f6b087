#!/usr/bin/env bash
# Runs one end-to-end scenario against the real program, as a user would drive it: a private
# X display, D-Bus session and accessibility bus, optionally a window manager and a tray
# host, then the scenario's Python script, which starts the program itself.
#
#   tests/e2e/run.sh [--wm] [--tray] ZELMO_BINARY SCENARIO
#
# SCENARIO names tests/e2e/scenario_SCENARIO.py. --wm starts a window manager (minimising
# needs one), --tray a tray host. Screenshots go to $E2E_SHOTS (/tmp/e2e-shots by default).
# E2E_KEEP=1 keeps the work folder (script, log, program output) for a look afterwards.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
usage() {
    echo "usage: $0 [--wm] [--tray] ZELMO_BINARY SCENARIO" >&2
    exit 2
}
wm=0
tray=0
while [ $# -gt 0 ]; do
    case $1 in
    --wm) wm=1 ;;
    --tray) tray=1 ;;
    --*) usage ;;
    *) break ;;
    esac
    shift
done
[ $# -eq 2 ] || usage
zelmo=$(readlink -f "$1")
scenario=$2
[ -x "$zelmo" ] || { echo "not an executable: $1" >&2; exit 2; }
[ -f "$here/scenario_$scenario.py" ] || { echo "no scenario $scenario in $here" >&2; exit 2; }

work=$(mktemp -d /tmp/zelmo-e2e.XXXXXX)
xvfb_pid=
cleanup() {
    local status=$?
    # The scenario normally ends the program itself; this covers a scenario that failed.
    if [ -s "$work/zelmo.pid" ]; then kill "$(cat "$work/zelmo.pid")" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    if [ "$status" -ne 0 ]; then
        for f in log.txt zelmo.out; do
            [ -f "$work/$f" ] && { echo "--- $f"; tail -n 60 "$work/$f"; }
        done
    fi
    if [ "${E2E_KEEP:-0}" = 1 ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A private home: the code is saved under it, and nothing of the user's own leaks in.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache \
    XDG_DATA_HOME=$work/home/.local/share XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 PYTHONDONTWRITEBYTECODE=1
# The windows draw no OpenGL. Without this, Qt loads Mesa's software driver, and under
# LeakSanitizer the driver's leak, reported after it is unloaded, comes from an unknown
# module that no suppression can name.
export QT_XCB_GL_INTEGRATION=none
export E2E_WORK=$work ZELMO=$zelmo E2E_SCENARIO=$scenario E2E_SHOTS=${E2E_SHOTS:-/tmp/e2e-shots}
mkdir -p "$E2E_SHOTS"

# Xvfb picks a free display itself and tells it through -displayfd, so parallel runs never
# race for one. -noreset keeps the accessibility bus's root property alive.
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 300); do
    grep -q . "$work/display" 2>/dev/null && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log"; exit 1; }
    sleep 0.1
done
grep -q . "$work/display" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")

export E2E_WM=$wm E2E_TRAY=$tray
dbus-run-session -- bash -c '
    set -euo pipefail
    helpers=()
    stop() {
        for p in "${helpers[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
    }
    trap stop EXIT
    # The accessibility bus must be up before the program starts, or Qt never joins it.
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
        org.a11y.Bus.GetAddress >/dev/null
    if [ "$E2E_WM" = 1 ]; then
        # No iconify animation: clicks right after a restore would land on its frames.
        cat >"$E2E_WORK/openbox.xml" <<XML
<?xml version="1.0"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><animateIconify>no</animateIconify></theme>
</openbox_config>
XML
        openbox --sm-disable --config-file "$E2E_WORK/openbox.xml" >"$E2E_WORK/openbox.log" 2>&1 &
        helpers+=($!)
        for _ in $(seq 300); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
            sleep 0.1
        done
    fi
    if [ "$E2E_TRAY" = 1 ]; then
        trayer --edge top --align right --widthtype request --height 32 \
            >"$E2E_WORK/trayer.log" 2>&1 &
        helpers+=($!)
        for _ in $(seq 300); do
            xdotool search --classname trayer >/dev/null 2>&1 && break
            sleep 0.1
        done
    fi
    /usr/bin/python3 "$(dirname "$0")/scenario_$E2E_SCENARIO.py"
' "$here/run.sh" 2> >(grep -v -e "Failed to set fd limit" -e "Activating service" \
    -e "Successfully activated" -e "SpiRegistry daemon" -e "^XIO: " -e "after 0 requests" \
    -e "X connection to :[0-9]* broken" >&2)
