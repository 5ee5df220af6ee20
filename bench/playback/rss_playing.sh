#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Memory while a file plays, in one run: the built program playing a 60 s AAC-LC file
# through a private PulseAudio server's null sink, with the AAC decoder it chooses and
# with libav's forced (QUAVERLY_AAC_DECODER=avdec), beside gst-play-1.0 playing the same
# file on the same sink. Prints resident memory after 23 s of playback, CPU over those
# 23 s, and whether libav was loaded, for each (medians of ROUNDS runs, default 3).
# Starts its own Xvfb, icewm and PulseAudio; touches nothing of the user's.
#
#   bench/playback/rss_playing.sh [build folder]      (default: build)
set -euo pipefail

rounds="${ROUNDS:-3}"
settle="${SETTLE:-23}"

# shellcheck source=bench/playback/desktop.sh
source "$(dirname "${BASH_SOURCE[0]}")/desktop.sh" "$@"

file="$scratch/tone.aac"
tone 60 "$file"

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# One run: starts the command, and after $settle seconds prints "RSS-KiB CPU-% libav".
measure() {
    "$@" >"$scratch/run.log" 2>&1 &
    local pid=$! hz
    hz=$(getconf CLK_TCK)
    sleep 1
    local t0
    t0=$(ticks "$pid")
    sleep "$((settle - 1))"
    local rss cpu libav=no
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
    cpu=$(awk -v a="$t0" -v b="$(ticks "$pid")" -v hz="$hz" -v s="$((settle - 1))" \
        'BEGIN {printf "%.2f", 100 * (b - a) / hz / s}')
    grep -q libavcodec "/proc/$pid/maps" && libav=yes
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    echo "$rss $cpu $libav"
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

report() {
    local name=$1
    shift
    local runs=()
    for _ in $(seq "$rounds"); do
        rm -rf "$XDG_CONFIG_HOME/Varnelta"
        runs+=("$(measure "$@")")
    done
    local rss cpu libav
    rss=$(printf '%s\n' "${runs[@]}" | awk '{print $1}' | median)
    cpu=$(printf '%s\n' "${runs[@]}" | awk '{print $2}' | median)
    libav=$(printf '%s\n' "${runs[@]}" | awk '{print $3}' | sort -u | paste -sd/)
    printf '%-40s %8.1f MiB %7s %%  libav loaded: %s\n' "$name" "$(echo "$rss / 1024" | bc -l)" \
        "$cpu" "$libav"
}

echo "RSS after ${settle} s of a 60 s AAC-LC file on a PulseAudio null sink (median of $rounds)"
report "quaverly" "$program" "$file"
report "quaverly, libav's decoder forced" env QUAVERLY_AAC_DECODER=avdec "$program" "$file"
report "gst-play-1.0 (reference)" gst-play-1.0 --no-interactive "$file"
