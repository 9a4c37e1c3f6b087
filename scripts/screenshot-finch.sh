#!/usr/bin/env bash
# The program beside the user's own messenger: Finch in a terminal, signed in to a throw-away
# Prosody on this machine, with the main window next to it, away, answering Ann. Run by
# screenshots.sh on its display, inside a D-Bus session of its own:
#   dbus-run-session -- bash scripts/screenshot-finch.sh ZELMO OUT_PNG
set -euo pipefail
zelmo=$1
out=$2
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# The server, as the README's recipe makes it, on a port of its own.
port=$((20000 + RANDOM % 20000))
mkdir -p "$work/certs" "$work/data/localhost/roster" "$work/finch/.purple"
cat >"$work/prosody.cfg.lua" <<EOF
run_as_root = true
pidfile = "$work/prosody.pid"
data_path = "$work/data"
certificates = "$work/certs"
log = { info = "$work/prosody.log" }
interfaces = { "127.0.0.1" }
c2s_ports = { $port }
s2s_ports = { }
http_ports = { }
https_ports = { }
modules_enabled = { "roster", "saslauth", "disco", "ping", "vcard_legacy", "presence",
                    "message", "iq", "posix" }
modules_disabled = { "s2s", "tls", "offline" }
authentication = "internal_plain"
allow_unencrypted_plain_auth = true
c2s_require_encryption = false
VirtualHost "localhost"
EOF
echo 'return { ["ann@localhost"] = { subscription = "both"; name = "Ann Moss"; groups = {} } }' \
    >"$work/data/localhost/roster/me.dat"
echo 'return { ["me@localhost"] = { subscription = "both"; groups = {} } }' \
    >"$work/data/localhost/roster/ann.dat"
prosody --config "$work/prosody.cfg.lua" -F >/dev/null 2>&1 &
pids+=($!)
sleep 1
for user in me ann; do
    prosodyctl --config "$work/prosody.cfg.lua" register "$user" localhost secret >/dev/null
done

# Finch, signed in as me, in a terminal on the left.
cat >"$work/finch/.purple/accounts.xml" <<EOF
<?xml version='1.0' encoding='UTF-8' ?>
<account version='1.0'>
 <account>
  <protocol>prpl-jabber</protocol>
  <name>me@localhost/finch</name>
  <password>secret</password>
  <settings>
   <setting name='connect_server' type='string'>127.0.0.1</setting>
   <setting name='port' type='int'>$port</setting>
   <setting name='connection_security' type='string'>opportunistic_tls</setting>
   <setting name='auth_plain_in_clear' type='bool'>1</setting>
  </settings>
  <settings ui='gnt-purple'><setting name='auto-login' type='bool'>1</setting></settings>
 </account>
</account>
EOF
xterm -geometry 66x30+4+40 -title Finch -e env HOME="$work/finch" TERM=xterm finch 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=im.pidgin.purple.PurpleService \
        /im/pidgin/purple/PurpleObject im.pidgin.purple.PurpleInterface.PurpleAccountsGetAllActive \
        2>/dev/null | grep -q int32 && break
    sleep 0.1
done
sleep 1

# The program on the right, with an away message for everyone, then away.
"$zelmo" --purple >"$work/zelmo.out" 2>&1 &
pids+=($!)
main=
for _ in $(seq 100); do
    main=$(xdotool search --onlyvisible --name '^Zelmo Extensions$' 2>/dev/null | head -1) && [ -n "$main" ] && break
    sleep 0.1
done
sleep 0.5
xdotool windowmove "$main" 440 120
sleep 0.5
xdotool windowfocus "$main" key alt+m
sleep 0.8
xdotool key Tab ctrl+a
xdotool type --delay 10 "Out until three. Call my mobile if it is urgent."
xdotool key Tab space
sleep 0.5
# The away button, by its place: Alt+A opens the About menu.
info=$(xwininfo -id "$main")
x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
xdotool mousemove $((x + 80)) $((y + 214)) click 1
for _ in $(seq 100); do
    xdotool search --onlyvisible --name 'Auto Away' >/dev/null 2>&1 && break
    sleep 0.1
done

# Ann writes; Finch shows her message and the program's answer.
/usr/bin/python3 - "$port" <<'PY' >/dev/null 2>&1
import asyncio, sys, slixmpp
class Ann(slixmpp.ClientXMPP):
    def __init__(self):
        super().__init__("ann@localhost/phone", "secret")
        self.add_event_handler("session_start", self.start)
    async def start(self, _):
        self.send_presence()
        await self.get_roster()
        self.send_message(mto="me@localhost", mbody="Hi! Lunch at one?", mtype="chat")
        await asyncio.sleep(2)
        self.disconnect()
ann = Ann()
ann["feature_mechanisms"].unencrypted_plain = True
ann.connect(("127.0.0.1", int(sys.argv[1])), disable_starttls=True, force_starttls=False)
ann.process(forever=False)
PY
sleep 1
import -window root -crop 800x440+0+20 +repage "$out"
echo "screenshots: $out"
