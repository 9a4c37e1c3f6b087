#!/usr/bin/env bash
# The program as users get it: installed under /usr (into a staging folder) and as the .deb.
# Both trees must hold what desktops look for where they look, pass the freedesktop and
# AppStream validators, and run: the program finds its jokes through XDG_DATA_DIRS alone.
# Usage: installed_run.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; for f in "$work"/*.txt; do echo "--- $f"; cat "$f"; done; exit 1; }
id=net.zelmo.Extensions

# A contact asks for a joke and the menu, then the messenger signs out: status 0.
printf '0.2 ann.moss@example.net says |joke|\n0.4 ann.moss@example.net says |help|\n1 signout\n' \
    >"$work/script.in"
run_from() { # ROOT: run ROOT/usr/bin/zelmo with only ROOT/usr/share as data folder
    local home=$work/home-${1##*/} status=0
    rm -f "$work/log.txt"
    mkdir -p "$home/runtime" && chmod 700 "$home/runtime"
    env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
        XDG_RUNTIME_DIR="$home/runtime" XDG_DATA_DIRS="$1/usr/share" QT_QPA_PLATFORM=offscreen \
        timeout 60 "$1/usr/bin/zelmo" --sim-script "$work/script.in" --sim-log "$work/log.txt" \
        >"$work/out.txt" 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "${1##*/}: exit status $status"
    grep '^send ann.moss@example.net CO=800000 ' "$work/log.txt" >"$work/sent.txt" || true
    [ "$(grep -c '\\r\\n' "$work/sent.txt")" -eq 1 ] || fail "${1##*/}: no joke"
    local question
    question=$(grep -m1 '\\r\\n' "$work/sent.txt" | sed 's/^send [^ ]* [^ ]* //; s/\\r\\n.*//')
    tr -d '\r' <"$source/resources/blonde.txt" | grep -xF "$question" >/dev/null ||
        fail "${1##*/}: '$question' is no joke of blonde.txt"
    [ "$(wc -l <"$work/sent.txt")" -eq 11 ] || fail "${1##*/}: not the 10 help lines"
    grep -qxF "send ann.moss@example.net CO=800000 Welcome to Orvan's Zelmo Extensions" \
        "$work/sent.txt" || fail "${1##*/}: help menu"
}

# Installed as `cmake --install` puts it under /usr.
root=$work/installed
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
share=$root/usr/share
for f in bin/zelmo lib/systemd/user/zelmo@.service share/zelmo/blonde.txt share/zelmo/beep.wav share/man/man1/zelmo.1.gz share/doc/zelmo/copyright \
    share/applications/$id.desktop share/metainfo/$id.metainfo.xml bin/zelmoctl share/man/man1/zelmoctl.1.gz \
    share/dbus-1/interfaces/net.zelmo.Extensions1.xml; do
    [ -f "$root/usr/$f" ] || fail "/usr/$f not installed"
done
# The icon the menu entry names, in the theme every desktop falls back to.
icon=$(sed -n 's/^Icon=//p' "$share/applications/$id.desktop")
[ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"
if command -v rsvg-convert >/dev/null; then
    [ -f "$share/icons/hicolor/48x48/apps/$icon.png" ] || fail "no 48 px icon $icon"
fi
desktop-file-validate "$share/applications/$id.desktop" >"$work/validate.txt" 2>&1 || true
[ ! -s "$work/validate.txt" ] || fail "desktop entry"
appstreamcli validate-tree --no-net "$root/usr" >"$work/validate.txt" 2>&1 || fail "metainfo"
for page in zelmo zelmoctl; do
    zcat "$share/man/man1/$page.1.gz" | groff -man -ww -z -Tutf8 >"$work/validate.txt" 2>&1
    [ ! -s "$work/validate.txt" ] || fail "manual page $page"
done

# Every option of --help is in the manual, and the version has its release in the metainfo.
zcat "$share/man/man1/zelmo.1.gz" | groff -man -Tascii -P-cbou 2>/dev/null >"$work/man.out"
for option in $(QT_QPA_PLATFORM=offscreen "$root/usr/bin/zelmo" --help |
    grep -o -- '--[a-z][a-z-]*' | grep -vx -- '--help-all' | sort -u); do
    grep -q -- "$option" "$work/man.out" || fail "the manual lacks $option"
done
version=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/zelmo" --version | awk '{print $NF}')
grep -q "<release version=\"$version\"" "$share/metainfo/$id.metainfo.xml" ||
    fail "no release $version in the metainfo"
run_from "$root"

# The .deb: the same files, its dependencies computed, and the program runs from it.
cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.txt" 2>&1 || fail "cpack"
deb=$(echo "$work"/pkg/zelmo_*.deb)
[ -f "$deb" ] || fail "no .deb"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort >"$work/deb-files"
(cd "$root" && find . -type f | sort) >"$work/installed-files"
diff "$work/installed-files" "$work/deb-files" || fail "the .deb holds other files"
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libqt5core5a* ]] || fail "Depends: $depends"
dpkg-deb -x "$deb" "$work/deb"
# The user service runs the program where the package puts it, whatever the build's prefix.
grep -qx 'ExecStart=/usr/bin/zelmo .*' "$work/deb/usr/lib/systemd/user/zelmo@.service" ||
    fail "the .deb's user unit runs $(grep ExecStart "$work/deb/usr/lib/systemd/user/zelmo@.service")"
run_from "$work/deb"
