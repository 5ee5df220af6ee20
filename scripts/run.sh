#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Quaverly (Release, in build-release/) and starts it. Arguments go to the program,
# e.g. ./scripts/run.sh --audio-sink "fakesink sync=true"
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build-release" -j2 --target quaverly  # the program only: no tests, no benchmarks
exec "$root/build-release/bin/quaverly" "$@"
