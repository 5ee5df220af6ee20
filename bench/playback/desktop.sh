# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Sourced by the playback benchmarks, with their arguments: the program to run ($program,
# from the build folder given first, default build), a scratch folder and home of their
# own, a private PulseAudio server whose null sink "bench" takes the sound (its monitor can
# be recorded), Xvfb and icewm, and tone() to make a test file. Everything started is
# stopped, and the scratch folder removed, on exit.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
program="${1:-$root/build}/bin/quaverly"
[[ -x "$program" ]] || { echo "${0##*/}: build the program first ($program)" >&2; exit 1; }

scratch="$(mktemp -d "${TMPDIR:-/tmp}/quaverly-bench.XXXXXX")"
pids=()
# shellcheck disable=SC2317  # run by the trap
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY XDG_SESSION_TYPE XAUTHORITY SESSION_MANAGER PULSE_SERVER
export DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/no-bus" QT_QPA_PLATFORM=xcb

pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=false \
    -L "module-null-sink sink_name=bench" -L module-native-protocol-unix \
    >"$scratch/pulse.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink bench
export PULSE_SINK=bench

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" \
    >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 300); do [[ -s "$scratch/display" ]] && break; sleep 0.1; done
DISPLAY=":$(head -n1 "$scratch/display")"
export DISPLAY
icewm >"$scratch/icewm.log" 2>&1 &
pids+=($!)
sleep 1


# tone SECONDS PATH: a 440 Hz stereo AAC-LC tone in ADTS framing.
tone() {
    local frames=$((($1 * 44100 + 1023) / 1024))
    gst-launch-1.0 -q audiotestsrc num-buffers="$frames" samplesperbuffer=1024 freq=440 \
        volume=0.3 ! audio/x-raw,rate=44100,channels=2 ! audioconvert ! avenc_aac ! \
        aacparse ! audio/mpeg,stream-format=adts ! filesink location="$2"
}
