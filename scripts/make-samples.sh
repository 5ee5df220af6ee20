#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the sample files that ship in Samples/ beside the program: short AAC (ADTS)
# pieces synthesised here with sox and espeak-ng and encoded with GStreamer.
# Needs the Debian packages sox, espeak-ng, gstreamer1.0-tools, gstreamer1.0-libav
# and gstreamer1.0-plugins-good. Usage: scripts/make-samples.sh [output folder]
set -eu

out=${1:-"$(dirname "$0")/../assets/beside/Samples"}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rate=44100

# note NAME LENGTH: one plucked note with a soft tail.
note() {
    sox -q -n -r $rate -c 1 "$work/n$2-$1.wav" synth "$2" pluck "$1" fade 0 "$2" 0.05
    echo "$work/n$2-$1.wav"
}

# chord LENGTH NOTE...: plucked notes struck together, mixed to one channel.
chord() {
    len=$1
    shift
    files=""
    for n in "$@"; do files="$files $(note "$n" "$len")"; done
    # shellcheck disable=SC2086
    name=$(echo "chord-$len-$*" | tr ' ' '_')
    sox -q -m $files "$work/$name.wav" norm -3
    echo "$work/$name.wav"
}

# encode WAV NAME: the mono piece on both channels, as stereo 44.1 kHz AAC-LC in ADTS
# frames at 64 kbit/s, the kind of file the light decoder plays.
encode() {
    sox -q "$1" -r $rate "$work/stereo.wav" remix 1 1
    gst-launch-1.0 -q filesrc location="$work/stereo.wav" ! wavparse ! audioconvert \
        ! audio/x-raw,channels=2,rate=$rate ! avenc_aac bitrate=64000 ! aacparse \
        ! audio/mpeg,stream-format=adts ! filesink location="$out/$2"
}

# A pentatonic tune, played twice, the second time an octave higher.
tune="E4 G4 A4 C5 A4 G4 E4 D4 E4 G4 D4 C4 D4 E4 G4 E4"
parts=""
for octave in 0 12; do
    for n in $tune; do
        f=$(note "$n" 0.5)
        sox -q "$f" "$work/t-$octave-$n.wav" pitch $((octave * 100))
        parts="$parts $work/t-$octave-$n.wav"
    done
done
# shellcheck disable=SC2086
sox -q $parts "$work/melody.wav" fade 0 -0 1.5 reverb 40 norm -3
encode "$work/melody.wav" "Morning Tune.aac"

# C - G - Am - F, three times round, with the last chord held.
parts=""
for round in 1 2 3; do
    parts="$parts $(chord 1.6 C3 E3 G3 C4) $(chord 1.6 G2 D3 G3 B3)"
    parts="$parts $(chord 1.6 A2 E3 A3 C4) $(chord 1.6 F2 C3 F3 A3)"
done
parts="$parts $(chord 3 C3 G3 C4 E4)"
# shellcheck disable=SC2086
sox -q $parts "$work/chords.wav" fade 0 -0 2 reverb 50 norm -3
encode "$work/chords.wav" "Four Chords.aac"

# A spoken welcome over a quiet held chord.
espeak-ng -v en-gb -s 150 -w "$work/voice-raw.wav" \
    "Welcome to Quaverly. These sample files are here so you can try the player \
straight away. Press Start to play them, or add your own music with the buttons \
on the left. Enjoy listening."
sox -q "$work/voice-raw.wav" -r $rate -c 1 "$work/voice.wav" gain -3 pad 0.5 1
length=$(soxi -D "$work/voice.wav")
sox -q -n -r $rate -c 1 "$work/pad.wav" synth "$length" sine C3 sine G3 sine E4 remix - \
    vol 0.06 fade 1 -0 1.5
sox -q -m "$work/voice.wav" "$work/pad.wav" "$work/welcome.wav" norm -3
encode "$work/welcome.wav" "Welcome.aac"

# Bell-like arpeggios rising through the scale and falling back.
parts=""
for root in C4 D4 E4 G4 A4 C5 A4 G4 E4 D4 C4; do
    f=$(note "$root" 0.3)
    for step in 0 4 7 12; do
        sox -q "$f" "$work/b-$root-$step.wav" pitch $((step * 100)) tremolo 6 20
        parts="$parts $work/b-$root-$step.wav"
    done
done
# shellcheck disable=SC2086
sox -q $parts "$work/bells.wav" fade 0 -0 1.5 reverb 60 norm -3
encode "$work/bells.wav" "Little Bells.aac"

ls -l "$out"
