#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Keeps the layout's dependency rules:
#  - only the window (src/app/) and main.cpp include headers of src/app/;
#  - an adapter under src/platform/ includes, of the rest of the program, only the
#    interfaces it implements (i*.h) and the failure they may throw;
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

while IFS= read -r line; do
    header="$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${line#*:*:}")"
    case "$header" in
        platform/*) ;;
        core/failure.h) ;;
        */i[a-z]*.h) ;;
        *) complain "$line: an adapter includes only the interfaces it implements" ;;
    esac
done < <(grep -rnE '^#include "' src/platform --include='*.h' --include='*.cpp' |
    grep -vE '\.moc"')

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
