#!/usr/bin/env bash
# Runs the real program on the built-in messenger, headless, with a script that asks for the
# help menu, sets the user away by command, gets the away message and then signs out: the
# program must answer, count down and end by itself with status 0, having saved the code.
set -euo pipefail
zelmo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

cat >"$work/script.txt" <<'SCRIPT'
0.2 ann.moss@example.net says |help|
0.4 ben.ortiz@example.net says |setaway| 00000
0.6 ann.moss@example.net says |SETAWAY| 47209
1.5 ann.moss@example.net says hello
1.6 signout
SCRIPT

ini="$work/config/Zelmo Extensions/Zelmo Extensions.ini"
mkdir -p "$(dirname "$ini")" && printf '[Settings]\nAuthorizedPassword=47209\n' >"$ini"

status=0
timeout 60 "$zelmo" --confirm-delay 50 --sim-script "$work/script.txt" --sim-log "$work/log.txt" \
    >"$work/out.txt" 2>&1 || status=$?
fail() { echo "FAIL: $*"; echo "--- log"; cat "$work/log.txt"; echo "--- output"; cat "$work/out.txt"; exit 1; }

[ "$status" -eq 0 ] || fail "exit status $status"
[ "$(grep -c '^send ann.moss@example.net CO=800000 ' "$work/log.txt")" -eq 10 ] || fail "help menu"
grep -qxF 'send ann.moss@example.net CO=800000 3) |OnlineUsers| AUTH_PASS           (Lists the online users)' \
    "$work/log.txt" || fail "help line 6"
grep -qxF 'send ben.ortiz@example.net CO=0 --- Authorization code declined or bad syntax! ---' \
    "$work/log.txt" || fail "declined"
grep -qxF 'state 34' "$work/log.txt" || fail "state request"
grep -qxF 'send ann.moss@example.net CO=0 --- User successfuly set to Away mode! ---' \
    "$work/log.txt" || fail "set away answer"
# No away message is stored, so the hello gets nothing.
[ "$(grep -c '^send ' "$work/log.txt")" -eq 12 ] || fail "unexpected replies"
grep -q '^AuthorizedPassword=47209$' "$ini" || fail "the code was not saved at shutdown"
grep -qxF 'zelmo: the built-in messenger signed out; ending.' "$work/out.txt" || fail "why it ended"

# An empty stored code guards nothing: it is replaced by a new one, and the user is told.
printf '[Settings]\nAuthorizedPassword=\n' >"$ini"
printf '0.2 ann.moss@example.net says |setaway|\n0.3 ann.moss@example.net says |changenick| 00000 X\n1 signout\n' \
    >"$work/script.txt"
status=0
timeout 60 "$zelmo" --sim-script "$work/script.txt" --sim-log "$work/log.txt" >"$work/out.txt" 2>&1 ||
    status=$?
[ "$status" -eq 0 ] || fail "exit status $status with an empty code"
grep -q 'could not be used. A new authorization code was made: [0-9]\{5\}\.' "$work/out.txt" ||
    fail "the user was not told of the new code"
grep -q '^AuthorizedPassword=[0-9]\{5\}$' "$ini" || fail "no new code was stored"
[ "$(grep -c 'declined' "$work/log.txt")" -eq 2 ] || fail "an empty code was accepted"

# One copy per account: a second start on the built-in messenger ends at once, answering
# nothing, and the first answers each message once.
printf '1 ann.moss@example.net says |help|\n2.5 signout\n' >"$work/script.txt"
"$zelmo" --sim-script "$work/script.txt" --sim-log "$work/log.txt" >"$work/out.txt" 2>&1 &
first=$!
sleep 0.5
status=0
timeout 30 "$zelmo" --sim-script "$work/script.txt" --sim-log "$work/log2.txt" >"$work/out2.txt" 2>&1 ||
    status=$?
[ "$status" -eq 5 ] || fail "a second copy ended with status $status"
grep -q "already running for the built-in messenger" "$work/out2.txt" || fail "the second copy did not say why"
status=0
wait "$first" || status=$?
[ "$status" -eq 0 ] || fail "the first copy ended with status $status"
[ "$(grep -c '^send ' "$work/log.txt")" -eq 10 ] || fail "the help menu did not come once"
[ ! -s "$work/log2.txt" ] || fail "the second copy sent something"

# No Pidgin or Finch on the session bus, and no runtime folder named (root through su): one
# plain line on why, nothing else, and status 4.
status=0
env -u XDG_RUNTIME_DIR TMPDIR="$work" timeout 60 dbus-run-session -- "$zelmo" --purple \
    >"$work/out.txt" 2>&1 || status=$?
[ "$status" -eq 4 ] || fail "no client: status $status"
[ "$(grep -v '^dbus-daemon' "$work/out.txt")" = "zelmo: Pidgin or Finch is not running: start it, then start this program; ending." ] ||
    fail "no client: not one plain line"

# A command line it cannot use: one line and a hint, no display needed.
status=0
env -u DISPLAY -u QT_QPA_PLATFORM "$zelmo" --frobnicate >"$work/out.txt" 2>&1 || status=$?
[ "$status" -eq 1 ] && [ "$(wc -l <"$work/out.txt")" -eq 2 ] || fail "unknown option: status $status"
# A reconnect limit past a day is refused, not multiplied into an overflow.
status=0
env -u DISPLAY -u QT_QPA_PLATFORM "$zelmo" --xmpp me@localhost --reconnect-limit 3000000 \
    >"$work/out.txt" 2>&1 || status=$?
[ "$status" -eq 1 ] && [ "$(wc -l <"$work/out.txt")" -eq 1 ] || fail "--reconnect-limit: status $status"
env -u DISPLAY -u QT_QPA_PLATFORM "$zelmo" --help | grep -q -- "--purple-account" || fail "--help"
env -u DISPLAY -u QT_QPA_PLATFORM "$zelmo" --version | grep -qx "zelmo (Zelmo Extensions) 1.0" ||
    fail "--version"

# A script line that cannot be read stops the program before it starts.
printf '1 ann says hi\nsoon signout\n' >"$work/bad.txt"
status=0
"$zelmo" --sim-script "$work/bad.txt" >"$work/out.txt" 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "a bad script gave status $status"
grep -q "bad.txt:2:" "$work/out.txt" || fail "the error does not name the line"

# Without a display: only with --headless, which answers the script with no windows, writes
# one prefixed line for each thing done (quoting nothing said) and keeps the code unseen.
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }
status=0
nodisplay "$zelmo" --sim-script "$work/script.txt" >"$work/out.txt" 2>&1 || status=$?
[ "$status" -eq 1 ] && grep -q -- '--headless' "$work/out.txt" || fail "no display: status $status"
nodisplay "$zelmo" --help-all | grep -q -- "--platform" || fail "--help-all"
rm -f "$ini"
printf '0.2 ann.moss@example.net says |help|\n0.4 ben.ortiz@example.net says |setaway| 00000\n1 signout\n' \
    >"$work/script.txt"
status=0
QT_DEBUG_PLUGINS=1 nodisplay timeout 60 "$zelmo" --headless --sim-script "$work/script.txt" \
    --sim-log "$work/log.txt" >"$work/out.txt" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "headless: status $status"
[ "$(grep -c '^send ann.moss@example.net CO=800000 ' "$work/log.txt")" -eq 10 ] || fail "headless: help menu"
! grep -q 'plugin' "$work/out.txt" || fail "headless: a plugin was loaded"
grep -qxF "<6>zelmo: answered ann.moss@example.net's command |help|" "$work/out.txt" || fail "headless: answer line"
grep -qxF '<4>zelmo: declined the code of ben.ortiz@example.net (|setaway|)' "$work/out.txt" ||
    fail "headless: declined line"
grep -q "^<4>zelmo: A new authorization code was made; it is kept in .*AuthorizedPassword\.$" "$work/out.txt" ||
    fail "headless: where the code is kept"
code=$(sed -n 's/^AuthorizedPassword=//p' "$ini")
! grep -q "$code" "$work/out.txt" || fail "headless: the code was shown"

# SIGTERM, SIGINT and SIGHUP end a run as the user would, windows or not: status 0, the code
# written, the lock released for the next start.
printf '0.2 ann.moss@example.net says |help|\n120 signout\n' >"$work/script.txt"
for run in "TERM --headless" "INT --headless" "HUP --no-sim-window"; do
    set -- $run
    rm -f "$ini" "$work/log.txt"
    QT_QPA_PLATFORM=offscreen "$zelmo" "$2" --sim-script "$work/script.txt" --sim-log "$work/log.txt" \
        >"$work/out.txt" 2>&1 &
    pid=$!
    for _ in $(seq 300); do [ "$(grep -c '^send ' "$work/log.txt" 2>/dev/null)" -ge 10 ] && break; sleep 0.1; done
    kill -"$1" "$pid"
    status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "SIG$1 $2: status $status"
    grep -q '^AuthorizedPassword=[0-9]\{5\}$' "$ini" || fail "SIG$1 $2: the code was not written"
done

# Headless with no password to use: nobody to ask, one line and a status of its own.
status=0
nodisplay env -u DBUS_SESSION_BUS_ADDRESS -u ZELMO_XMPP_PASSWORD "$zelmo" --headless \
    --xmpp me@localhost >"$work/out.txt" 2>&1 || status=$?
[ "$status" -eq 7 ] && [ "$(wc -l <"$work/out.txt")" -eq 1 ] || fail "no password: status $status"
