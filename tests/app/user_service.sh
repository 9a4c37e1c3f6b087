#!/usr/bin/env bash
# The user service as installed: systemd finds the unit clean (its manual page included), and
# with RUNNER, the unit's command line runs beside Finch (RUNNER reads ZELMO_USER_UNIT).
# Installed under a prefix of its own, so that ExecStart names the program where it really is.
# Usage: user_service.sh BUILD_DIR [RUNNER]
set -euo pipefail
build=$1 runner=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/usr" >/dev/null
unit=$work/usr/lib/systemd/user/zelmo@.service
grep -qxF "ExecStart=$work/usr/bin/zelmo --headless \$ZELMO_OPTIONS" "$unit" ||
    { echo "FAIL: ExecStart: $(grep ExecStart "$unit")"; exit 1; }
# Without a runtime folder of its own it cannot start its manager; the unit's faults are
# warnings, so any output counts.
mkdir -m 700 "$work/runtime"
out=$(XDG_RUNTIME_DIR=$work/runtime MANPATH=$work/usr/share/man \
    systemd-analyze --user verify "$unit" 2>&1) || { echo "FAIL: $out"; exit 1; }
[ -z "$out" ] || { echo "FAIL: $out"; exit 1; }
[ -z "$runner" ] || ZELMO_USER_UNIT=$unit "$runner"
