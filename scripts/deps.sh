#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs, when missing, every Debian package that building, running and testing
# Quaverly needs. Nothing else is downloaded. This list is the only place they are named.
#
#   scripts/deps.sh              what building, running and testing need
#   scripts/deps.sh packaging    and what making and checking the Debian package needs
set -euo pipefail

packages=(
    # build
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
    libxcb1-dev libxcb-keysyms1-dev
    # the hot-key benchmark presses keys through XTEST itself
    libxcb-xtest0-dev
    # run: decoding AAC (FAAD2's decoder in -bad for plain AAC-LC, libav's for the rest),
    # the audio filters, "Arial", Wayland desktops
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav
    fonts-liberation qt6-wayland
    # tests: a display with a notification area, synthetic input, test audio
    gstreamer1.0-tools gstreamer1.0-plugins-base-apps xvfb xauth icewm xdotool x11-utils x11-xkb-utils imagemagick sox
    # tests of a sound server that goes away and comes back
    pulseaudio gstreamer1.0-pulseaudio
    # tests that run a step as another user (setpriv)
    util-linux
    # tests and the benchmark of the remote: a private session bus and a second client
    dbus-daemon playerctl
    # the hot keys on Wayland: a headless compositor and the desktop portal's front end
    weston xdg-desktop-portal
    # checks of the desktop files: metainfo and the file type of .aac files
    appstream xdg-utils shared-mime-info
)
if [[ "${1:-}" == packaging ]]; then
    packages+=(
        # building the package and checking it (scripts/package.sh)
        build-essential debhelper dpkg-dev lintian
        # checking the installed desktop entry, icon and manual page
        desktop-file-utils hicolor-icon-theme man-db groff-base
    )
elif [[ $# -gt 0 ]]; then
    echo "usage: deps.sh [packaging]" >&2
    exit 2
fi

missing=()
for p in "${packages[@]}"; do
    status="$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)"
    [[ "$status" == installed ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "deps.sh: installing ${missing[*]}" >&2
sudo=()
if [[ "$(id -u)" -ne 0 ]]; then
    if ! command -v sudo >/dev/null; then
        echo "deps.sh: these packages are missing and sudo is not available: ${missing[*]}" >&2
        exit 1
    fi
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
