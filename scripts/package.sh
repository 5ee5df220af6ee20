#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from this tree, checks it with lintian, installs it on this
# machine, checks the installed program as a desktop would meet it, removes it again and
# checks that nothing is left behind.
#
#   ./scripts/package.sh [--keep DIR]    --keep: copy the built files into DIR
#   ./scripts/package.sh --deb FILE      check a package built before, without building
#
# The build runs on a copy of the tree in a temporary folder, so the tree stays clean
# (dpkg-buildpackage writes its results beside the source folder). Installing needs
# root (sudo when not root). A Quaverly package that is already installed is left alone:
# the script then stops before installing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
keep=""
given=""
if [[ "${1:-}" == --keep && -n "${2:-}" ]]; then
    keep="$(mkdir -p "$2" && cd "$2" && pwd)"
elif [[ "${1:-}" == --deb && -f "${2:-}" ]]; then
    given="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
elif [[ $# -gt 0 ]]; then
    echo "usage: package.sh [--keep DIR | --deb FILE]" >&2
    exit 2
fi
started=$SECONDS

"$root/scripts/deps.sh" packaging

sudo=()
[[ "$(id -u)" -eq 0 ]] || sudo=(sudo)
# Other programs may be installing packages at the same time: wait for them.
apt_get=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -o DPkg::Lock::Timeout=600)

scratch="$(mktemp -d "${TMPDIR:-/tmp}/quaverly-package.XXXXXX")"
installed=""
# shellcheck disable=SC2317  # run by the trap
cleanup() {
    if [[ -n "$installed" ]]; then
        echo "package.sh: removing the package after a failure" >&2
        "${apt_get[@]}" remove quaverly >/dev/null 2>&1 || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

failures=0
fail() {
    echo "package.sh: FAILED: $*" >&2
    failures=$((failures + 1))
}
ok() { echo "package.sh: ok: $*"; }

version="$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)"
arch="$(dpkg --print-architecture)"
deb="$scratch/quaverly_${version}_${arch}.deb"

# --- build ----------------------------------------------------------------------------
if [[ -z "$given" ]]; then
    src="$scratch/quaverly-$version"
    mkdir -p "$src"
    tar -C "$root" --exclude=./.git --exclude='./build*' --exclude='./obj-*' \
        --exclude='./shot*.png' --exclude='*.user' -cf - . | tar -C "$src" -xf -
    echo "package.sh: building quaverly $version in $src" >&2
    build_started=$SECONDS
    (cd "$src" && DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-parallel=2}" \
        dpkg-buildpackage -b -us -uc) >"$scratch/build.log" 2>&1 || {
        tail -n 60 "$scratch/build.log" >&2
        echo "package.sh: dpkg-buildpackage failed (log above)" >&2
        exit 1
    }
    echo "package.sh: built $(basename "$deb") in $((SECONDS - build_started)) s"
    [[ -f "$deb" ]] || { echo "package.sh: no $deb" >&2; exit 1; }
    [[ -n "$keep" ]] && cp "$scratch"/*.deb "$scratch"/*.changes "$scratch"/*.buildinfo "$keep"/
    lint="$scratch/quaverly_${version}_${arch}.changes"
else
    deb="$given"
    lint="$deb"
fi

# --- lintian --------------------------------------------------------------------------
echo "=== lintian"
if lintian --fail-on error --display-info "$lint"; then
    ok "lintian reports no error"
else
    fail "lintian reports errors"
fi

# --- install --------------------------------------------------------------------------
if dpkg-query -W -f='${db:Status-Status}' quaverly 2>/dev/null | grep -qx installed; then
    echo "package.sh: a quaverly package is already installed; not touching it" >&2
    exit 1
fi
# The package's own files (not the folders it shares with others); none may be there
# before, so that their absence after removal means something.
mapfile -t files < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./|/|' | grep -v '/$')
for f in "${files[@]}"; do
    if [[ -e "$f" || -L "$f" ]]; then
        echo "package.sh: $f exists before installing (another install of Quaverly?)" >&2
        exit 1
    fi
done
installed=yes
"${apt_get[@]}" install --no-install-recommends "$deb" >"$scratch/install.log" 2>&1 || {
    cat "$scratch/install.log" >&2
    echo "package.sh: installing failed" >&2
    exit 1
}
ok "installed ${#files[@]} files"

# --- the installed program ------------------------------------------------------------
echo "=== the installed program"
program="$(command -v quaverly || true)"
[[ "$program" == /usr/bin/quaverly ]] || fail "quaverly is not /usr/bin/quaverly but '$program'"
out="$(quaverly --version 2>&1)" || fail "quaverly --version ended with an error: $out"
if [[ "$out" == "quaverly $version" ]]; then
    ok "quaverly --version: $out"
else
    fail "quaverly --version says '$out', the package is $version"
fi
metainfo=/usr/share/metainfo/com.varnelta.Quaverly.metainfo.xml
if grep -q "<release version=\"$version\"" "$metainfo"; then
    ok "the metainfo has a release entry for $version"
else
    fail "the metainfo has no release entry for $version"
fi
for f in libquaverly-media.so HAND-M.CUR drag.ico icons/quaverly-32.png Samples/Welcome.aac; do
    [[ -f "/usr/lib/quaverly/$f" ]] || fail "no companion file /usr/lib/quaverly/$f"
done

entry=/usr/share/applications/com.varnelta.Quaverly.desktop
# desktop-file-utils before 0.27 predates SingleMainWindow (desktop entry 1.5): that one
# complaint is expected there and said, any other fails.
report="$(desktop-file-validate "$entry" 2>&1)" || true
known='key "SingleMainWindow" in group "Desktop Entry", but keys extending the format'
others="$(grep -v -F "$known" <<<"$report" || true)"
if [[ -z "$others" ]]; then
    ok "desktop-file-validate $entry"
    [[ -n "$report" ]] && echo "  (this desktop-file-validate does not know SingleMainWindow yet)"
else
    fail "desktop-file-validate: $report"
fi
if out="$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1)"; then
    ok "appstreamcli validate --pedantic $metainfo"
    # shellcheck disable=SC2001  # indents every line
    sed 's/^/  /' <<<"$out"
else
    fail "appstreamcli validate: $out"
fi
# Every command the entry runs is there and takes its options: with no copy running, a
# remote command ends with status 1 and says that no copy was reached.
while IFS= read -r exec; do
    read -r -a cmd <<<"${exec% %F}"
    command -v "${cmd[0]}" >/dev/null || fail "the desktop entry runs '${cmd[0]}', not found"
    [[ ${#cmd[@]} -gt 1 ]] || continue
    status=0
    out="$(DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "${cmd[@]}" 2>&1 </dev/null)" ||
        status=$?
    if [[ $status -eq 1 && "$out" == *"${cmd[1]}"* ]]; then
        ok "the action '${cmd[*]}' reaches the remote"
    else
        fail "the action '${cmd[*]}' ended with $status: $out"
    fi
done < <(sed -n 's/^\(TryExec\|Exec\)=//p' "$entry")

# The icon named by the entry, found as the icon theme finds it: in folders that the
# hicolor theme lists, each PNG as large as its folder says, and a scalable one.
icon="$(sed -n 's/^Icon=//p' "$entry" | head -n1)"
theme=/usr/share/icons/hicolor
dirs=",$(sed -n 's/^Directories=//p' "$theme/index.theme"),"
found=()
for f in "$theme"/*/apps/"$icon".png "$theme"/*/apps/"$icon".svg; do
    [[ -f "$f" ]] || continue
    dir="${f#"$theme"/}"
    dir="${dir%/*}"
    [[ "$dirs" == *",$dir,"* ]] || fail "$f is in a folder the icon theme does not list"
    if [[ "$f" == *.png ]]; then
        size="${dir%%x*}"
        [[ "$(identify -format '%wx%h' "$f")" == "${size}x${size}" ]] ||
            fail "$f is not ${size}x${size}"
    else
        grep -q '<svg' "$f" || fail "$f is not an SVG picture"
    fi
    found+=("${dir%/apps}")
done
if [[ " ${found[*]} " == *" scalable "* && ${#found[@]} -eq 9 ]]; then
    ok "the icon $icon resolves (${found[*]})"
else
    fail "the icon $icon is found only in: ${found[*]}"
fi

page="$(man -w quaverly 2>/dev/null || true)"
if [[ "$page" == /usr/share/man/man1/quaverly.1* ]]; then
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)"
    lines="$(LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$page" 2>/dev/null | wc -l)"
    if [[ -z "$warnings" && $lines -gt 20 ]]; then
        ok "man quaverly renders ($lines lines, no warnings)"
    else
        fail "man quaverly: $lines lines; $warnings"
    fi
else
    fail "man -w quaverly finds '$page'"
fi

# --- removal --------------------------------------------------------------------------
"${apt_get[@]}" remove quaverly >"$scratch/remove.log" 2>&1 || {
    cat "$scratch/remove.log" >&2
    fail "removing the package failed"
}
installed=""
left=()
for f in "${files[@]}"; do
    [[ -e "$f" || -L "$f" ]] && left+=("$f")
done
for d in /usr/lib/quaverly /usr/share/doc/quaverly; do
    [[ -e "$d" ]] && left+=("$d")
done
if [[ ${#left[@]} -eq 0 ]]; then
    ok "removing it left nothing of its ${#files[@]} files behind"
else
    fail "left behind after removal: ${left[*]}"
fi

echo "package.sh: $((SECONDS - started)) s in all, $failures failed check(s)"
[[ $failures -eq 0 ]]
