#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Keeps the layout's dependency rules:
#  - only the window (src/app/) and main.cpp include headers of src/app/;
#  - core/ includes only core/;
#  - a feature folder (playback, playlist, tray) includes only core/, itself and the one
#    edge between them: playback reads the playlist;
#  - an adapter under src/platform/ includes, of the rest of the program, only the
#    interfaces it implements (i*.h), the failure they may throw and the product's names;
#  - only src/playback/, src/platform/gst/ and main.cpp name the engine (clsMusic,
#    IMediaEngine): the rest reaches playback through Transport;
#  - no source file is over 500 lines;
#  - every source file and script starts with the licence line (scripts/spdx.sh).
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1

status=0
complain() {
    echo "check-layout: $*" >&2
    status=1
}

while IFS= read -r line; do
    complain "$line: only src/app/ and src/main.cpp may include the window's headers"
done < <(grep -rnE '^#include "app/' src --include='*.h' --include='*.cpp' |
    grep -vE '^src/(app/|main\.cpp:)')

# The folder of the header a line "file:line:#include ..." names ("" for none).
includedFolder() {
    sed -nE 's/^[^:]*:[0-9]+:#include "([^/"]+)\/.*/\1/p' <<<"$1"
}

# The folders of src/ that `folder` may include besides itself.
allowedFolders() {
    case "$1" in
        core) echo "" ;;
        playback) echo "core playlist" ;;
        playlist | tray) echo "core" ;;
    esac
}

for folder in core playback playlist tray; do
    allowed=" $folder $(allowedFolders "$folder") "
    while IFS= read -r line; do
        included="$(includedFolder "$line")"
        [[ -z "$included" || "$allowed" == *" $included "* ]] && continue
        read -r -a names <<<"$allowed"
        complain "$line: src/$folder/ includes only from ${names[*]/#/src/}"
    done < <(grep -rnE '^#include "' "src/$folder" --include='*.h' --include='*.cpp' |
        grep -vE '\.moc"')
done

while IFS= read -r line; do
    header="$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${line#*:*:}")"
    case "$header" in
        platform/*) ;;
        core/failure.h | core/product.h) ;;
        */i[a-z]*.h) ;;
        *) complain "$line: an adapter includes only the interfaces it implements" ;;
    esac
done < <(grep -rnE '^#include "' src/platform --include='*.h' --include='*.cpp' |
    grep -vE '\.moc"')

while IFS= read -r line; do
    complain "$line: only src/playback/, src/platform/gst/ and src/main.cpp name the engine"
done < <(grep -rnwE 'clsMusic|IMediaEngine' src --include='*.h' --include='*.cpp' |
    grep -vE '^src/(playback/|platform/gst/|main\.cpp:)')

while read -r count file; do
    [[ "$file" == total ]] && continue
    ((count > 500)) && complain "$file has $count lines (at most 500)"
done < <(git ls-files -co --exclude-standard -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
    'bench/*.cpp' 'bench/*.h' 'scripts/*.cpp' | xargs -r wc -l)

while IFS= read -r file; do
    complain "$file: no licence line at the top (scripts/spdx.sh adds it)"
done < <(scripts/spdx.sh --check 2>/dev/null)

[[ $status -eq 0 ]] && echo "check-layout: the layout holds"
exit "$status"
