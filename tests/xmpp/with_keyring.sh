#!/usr/bin/env bash
# Runs a command with an unlocked GNOME keyring of its own, for the tests of passwords kept in
# the desktop's keyring. Run it inside dbus-run-session: the keyring daemon ends with that
# session bus.
set -euo pipefail
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_RUNTIME_DIR=$home/runtime
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
echo -n keyring-pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null
# The daemon takes its name on the bus a moment after it has forked.
sleep 0.5
"$@"
