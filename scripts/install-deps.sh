#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the screenshots and the .deb need,
# skipping the ones already there. Runs apt-get update first whenever something is missing.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    qtbase5-dev qtbase5-dev-tools
    libgtest-dev libgmock-dev
    fonts-liberation
    xvfb xauth imagemagick xdotool
    libpulse-dev libsndfile1-dev pulseaudio pulseaudio-utils
    libkf5idletime-dev
    python3-dogtail python3-pyatspi at-spi2-core dbus-x11 trayer openbox x11-utils
    libqxmpp-dev qtkeychain-qt5-dev prosody lua-unbound lua-readline lua-event
    dbus gnome-keyring openssl
    finch libpurple-bin bsdutils python3-slixmpp xterm
    librsvg2-bin desktop-file-utils appstream groff-base dpkg-dev file
    systemd man-db
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#packages[@]} packages present"
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
