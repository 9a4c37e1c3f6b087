#!/usr/bin/env bash
# zelmoctl drives the real program, without windows, on the built-in messenger over a private
# session bus: an
# away message of two lines and away, which a contact then gets; status says away; a contact
# not in the list and a copy not running each have their own exit status.
set -euo pipefail
zelmo=$1 zelmoctl=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fail() { echo "FAIL: $*"; cat "$work"/log.txt "$work"/out.txt 2>/dev/null; exit 1; }

status=0
env -u DBUS_SESSION_BUS_ADDRESS "$zelmoctl" status >"$work/ctl.txt" 2>&1 || status=$?
[ "$status" -eq 2 ] && grep -q "no D-Bus session bus" "$work/ctl.txt" || fail "no bus: $status"

# The contact writes late enough for zelmoctl to have set everything, even on a loaded machine.
printf '20 ann.moss@example.net says hello\n22 signout\n' >"$work/script.txt"
cat >"$work/session.sh" <<'SESSION'
set -u
status=0
"$ZELMOCTL" status >"$WORK/ctl.txt" 2>&1 || status=$?
[ "$status" -eq 2 ] && grep -q "zelmo is not running" "$WORK/ctl.txt" || { echo "none running: $status"; exit 1; }
"$ZELMO" --headless --confirm-delay 50 --no-sim-window --sim-script "$WORK/script.txt" --sim-log "$WORK/log.txt" \
    >"$WORK/out.txt" 2>&1 &
zelmo=$!
for _ in $(seq 150); do
    "$ZELMOCTL" status 2>/dev/null | grep -qx 'messenger: online' && break
    sleep 0.2
done
printf 'Gone fishing.\nBack at five.\n' | "$ZELMOCTL" message ANN.MOSS@example.net - || { echo "message"; exit 1; }
status=0
"$ZELMOCTL" message nobody@example.net x 2>"$WORK/ctl.txt" || status=$?
[ "$status" -eq 4 ] && grep -q "nobody@example.net is not in your contact list" "$WORK/ctl.txt" ||
    { echo "unknown contact: $status"; exit 1; }
"$ZELMOCTL" away || { echo "away"; exit 1; }
"$ZELMOCTL" away || { echo "away while away"; exit 1; }
"$ZELMOCTL" status >"$WORK/status.txt"
"$ZELMOCTL" --account built-in messages >"$WORK/messages.txt"
wait "$zelmo"
SESSION
status=0
ZELMO=$zelmo ZELMOCTL=$zelmoctl WORK=$work timeout 90 dbus-run-session -- bash "$work/session.sh" ||
    status=$?
[ "$status" -eq 0 ] || fail "the session ended with $status"
grep -qx 'away: yes' "$work/status.txt" || fail "status: $(cat "$work/status.txt")"
printf 'ann.moss@example.net\tGone fishing.\n\tBack at five.\n' | cmp -s - "$work/messages.txt" ||
    fail "messages: $(cat "$work/messages.txt")"
grep -qxF 'send ann.moss@example.net CO=0 Gone fishing.\r\nBack at five.' "$work/log.txt" ||
    fail "the contact did not get the away message"
[ "$(grep -c '^state 34$' "$work/log.txt")" -eq 1 ] || fail "away asked of the messenger not once"
