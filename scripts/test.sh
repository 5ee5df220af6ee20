#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Quaverly with warnings as errors and runs the whole test suite on a private X
# display with a notification area, with settings and runtime folders of its own, so the
# tests never touch the user's desktop or settings. Needs no display and no sound card.
#
#   ./scripts/test.sh [ctest arguments...]        e.g. ./scripts/test.sh -L unit
#
# QUAVERLY_BUILD_DIR   build folder (default: build)
# QUAVERLY_CMAKE_ARGS  extra CMake arguments, split at blanks
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QUAVERLY_BUILD_DIR:-build}"
[[ "$build" = /* ]] || build="$root/$build"
read -r -a extra <<<"${QUAVERLY_CMAKE_ARGS:-}"

"$root/scripts/deps.sh"
"$root/scripts/check-layout.sh"
cmake -S "$root" -B "$build" -G Ninja -DQUAVERLY_WERROR=ON "${extra[@]}"
cmake --build "$build" -j2

scratch="$(mktemp -d "${TMPDIR:-/tmp}/quaverly-test.XXXXXX")"
xvfb_pid=""
wm_pid=""
# shellcheck disable=SC2317  # run by the trap
cleanup() {
    [[ -n "$wm_pid" ]] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# A home of our own: settings, caches (the GStreamer registry) and the runtime folder.
export HOME="$scratch/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Keep away from the user's desktop: no session bus (the tray then uses the X display's
# notification area), no Wayland. The bus address names no bus: unset, the bus library
# would start one for the display where dbus-x11 is installed.
unset WAYLAND_DISPLAY XDG_SESSION_TYPE XAUTHORITY SESSION_MANAGER
export DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/no-bus"
export QT_QPA_PLATFORM=xcb

# Xvfb picks a free display itself and writes its number when it is ready for clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" \
    >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 300); do
    [[ -s "$scratch/display" ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
if [[ ! -s "$scratch/display" ]]; then
    echo "test.sh: Xvfb did not start:" >&2
    cat "$scratch/xvfb.log" >&2
    exit 1
fi
DISPLAY=":$(head -n1 "$scratch/display")"
export DISPLAY

# A window manager with a notification area; wait until it manages the screen.
icewm >"$scratch/icewm.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

export QUAVERLY_AUDIO_SINK="fakesink sync=true"
echo "test.sh: display $DISPLAY, home $HOME" >&2
set +e
ctest --test-dir "$build" --output-on-failure "$@"
status=$?
set -e
exit "$status"
