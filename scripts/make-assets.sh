#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the application icon and the two cursors into assets/ (see make-assets.cpp), the
# icon under the application id of src/core/product.h.
# Run it after changing the drawings and commit what it writes.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# shellcheck disable=SC2046  # pkg-config prints several words on purpose
g++ -std=c++20 -O1 -fPIC -Wall -Wextra -I "$root/src" -o "$work/make-assets" \
    "$root/scripts/make-assets.cpp" $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$work/make-assets" "$root/assets"
echo "wrote the icons and cursors under $root/assets"
