#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What is heard when FAAD2's decoder gives up in the middle of a file and libav's takes
# over: a 10 s AAC-LC tone whose frames from 5 s on are zeroed for 0.56 s (libav's decoder
# reads them as silence, FAAD2's fails on them), played by the built program through a
# private PulseAudio server's null sink and recorded from its monitor; beside the same
# recording with libav's decoder only (QUAVERLY_AAC_DECODER=avdec), in one run. Prints,
# for each, every silence of 5 ms or more within the sound and every jump between two
# samples that a 440 Hz tone cannot make (a splice), timed from the first sound.
#
#   bench/playback/handover.sh [build folder]      (default: build)
set -euo pipefail

# shellcheck source=bench/playback/desktop.sh
source "$(dirname "${BASH_SOURCE[0]}")/desktop.sh" "$@"

file="$scratch/damaged.aac"
tone 10 "$scratch/tone.aac"
# Frames 215 to 238 (5.0 to 5.5 s) keep their ADTS headers; what they carry is zeroed.
perl -e '
    local $/; open my $in, "<:raw", $ARGV[0] or die; my $d = <$in>;
    my ($at, $n) = (0, 0);
    while ($at + 7 <= length $d) {
        my @h = unpack "C7", substr($d, $at, 7);
        my $length = (($h[3] & 3) << 11) | ($h[4] << 3) | ($h[5] >> 5);
        my $header = ($h[1] & 1) ? 7 : 9;
        last if $length <= $header;
        substr($d, $at + $header, $length - $header) = "\0" x ($length - $header)
            if $n >= 215 && $n < 239;
        $at += $length; $n++;
    }
    open my $out, ">:raw", $ARGV[1] or die; print $out $d;' "$scratch/tone.aac" "$file"

# Left channel of a 44.1 kHz 16-bit stereo recording: what it holds, from the first sound.
analyse() {
    perl -e '
        local $/; open my $in, "<:raw", $ARGV[0] or die; my @s = unpack "s<*", <$in>;
        my @l = @s[grep { $_ % 2 == 0 } 0 .. $#s]; my $rate = 44100;
        my ($first, $last) = (0, $#l);
        $first++ while $first < @l && $l[$first] == 0;
        $last-- while $last > $first && $l[$last] == 0;
        my $peak = 0; for (@l[$first .. $last]) { $peak = abs if abs > $peak }
        my (@quiet, @jumps);
        for (my $i = $first; $i < $last;) {
            if (abs $l[$i] <= 2) {
                my $j = $i; $j++ while $j < $last && abs $l[$j] <= 2;
                push @quiet, sprintf("%.3f s for %.0f ms", ($i - $first) / $rate,
                                     1000 * ($j - $i) / $rate) if $j - $i >= $rate / 200;
                $i = $j;
            } else {
                push @jumps, $i if $i > $first + $rate / 100
                                   && abs($l[$i] - $l[$i - 1]) > 0.15 * $peak
                                   && (!@jumps || $i - $jumps[-1] > $rate / 100);
                $i++;
            }
        }
        printf "silent at %s; jumps at %s\n", (@quiet ? join(", ", @quiet) : "none"),
            (@jumps ? join(", ", map { sprintf "%.3f s", ($_ - $first) / $rate } @jumps)
                    : "none");' "$1"
}

# One recording of the program playing the file, with `env` settings given.
record() {
    local name=$1 out="$scratch/$2.raw"
    shift 2
    rm -rf "$XDG_CONFIG_HOME/Varnelta"
    parec --device=bench.monitor --format=s16le --rate=44100 --channels=2 --latency-msec=20 \
        >"$out" &
    local recorder=$!
    env "$@" "$program" "$file" >"$scratch/run.log" 2>&1 &
    local pid=$! libav=no
    sleep 10  # the file once, not its repeat
    grep -q libavcodec "/proc/$pid/maps" && libav=yes
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    kill "$recorder" 2>/dev/null
    wait "$recorder" 2>/dev/null || true
    printf '%-34s libav loaded: %-3s  %s\n' "$name" "$libav" "$(analyse "$out")"
}

echo "A 10 s tone with 0.56 s of zeroed frames from 5 s on, as heard on a PulseAudio null sink"
record "quaverly (FAAD2's, then libav's)" chosen
record "quaverly, libav's decoder only" libav QUAVERLY_AAC_DECODER=avdec
