#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence line at the top of every source file and script of the tree where it
# is missing: "// SPDX-License-Identifier: GPL-3.0-or-later" in C++ files, the "#" form
# in scripts and CMake files, after the "#!" line where there is one. Running it again
# changes nothing.
#
#   scripts/spdx.sh            add the line where it is missing
#   scripts/spdx.sh --check    only list the files without it; status 1 when there are any
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1

licence="SPDX-License-Identifier: GPL-3.0-or-later"
check=0
case "${1:-}" in
    --check) check=1 ;;
    "") ;;
    *)
        echo "usage: spdx.sh [--check]" >&2
        exit 2
        ;;
esac

# The comment that starts a line in the file, or nothing for a file that is not ours to
# mark (pictures, sounds, documents).
comment_of() {
    case "$1" in
        *.cpp | *.h) echo "//" ;;
        *.sh | *.cmake | */CMakeLists.txt | CMakeLists.txt) echo "#" ;;
        *)
            # Other scripts: .ci/run, debian/rules.
            [[ "$(head -c 2 "$1" | tr -d '\0')" == "#!" ]] && echo "#"
            ;;
    esac
}

missing=0
while IFS= read -r file; do
    [[ -f "$file" && ! -L "$file" ]] || continue
    comment="$(comment_of "$file")"
    [[ -n "$comment" ]] || continue
    # Present when one of the first three lines carries it.
    head -n 3 "$file" | grep -qF "$licence" && continue
    missing=$((missing + 1))
    if ((check)); then
        echo "$file"
        continue
    fi
    line="$comment $licence"
    if [[ "$(head -c 2 "$file")" == "#!" ]]; then
        sed -i "1a\\$line" "$file"
    elif [[ -s "$file" ]]; then
        sed -i "1i\\$line" "$file"
    else
        echo "$line" >"$file"
    fi
done < <(git ls-files -co --exclude-standard --deduplicate)

if ((check)); then
    if ((missing > 0)); then
        echo "spdx: $missing file(s) above lack the line \"$licence\" (scripts/spdx.sh adds it)" >&2
        exit 1
    fi
    exit 0
fi
echo "spdx: added the licence line to $missing file(s)"
