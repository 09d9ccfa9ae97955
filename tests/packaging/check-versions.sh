#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every place that states the version agrees with the CMake project version: each
# executable's --version, the metainfo release, each manual page's header, the Debian
# changelog and the package version CPack writes.
# usage: check-versions.sh VERSION [--exe FILE]... [--man PAGE.gz]... --metainfo FILE
#                          --deb-changelog FILE.gz --cpack-config FILE
set -uo pipefail

want=$1
shift
failures=0
checked=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Compares one stated version; an empty one means it could not be found at all.
agree() {
    local what=$1 got=$2
    checked=$((checked + 1))
    if [ -z "$got" ]; then
        fail "$what states no version"
    elif [ "$got" != "$want" ]; then
        fail "$what says $got, the project is $want"
    else
        echo "ok: $what $got"
    fi
}

exes=0
pages=0
while [ $# -gt 0 ]; do
    option=$1 file=${2:-}
    shift 2 || { fail "$option needs a file"; break; }
    if [ "$option" != --exe ] && [ ! -f "$file" ]; then
        fail "$file does not exist (build first)"
        continue
    fi
    case $option in
    --exe)
        exes=$((exes + 1))
        name=$(basename "$file")
        if ! out=$("$file" --version 2>&1); then
            fail "$name --version failed: $out"
            continue
        fi
        # "vantor-panel 1.21" and nothing else.
        if [[ $out =~ ^$name\ ([^[:space:]]+)$ ]]; then
            agree "$name --version" "${BASH_REMATCH[1]}"
        else
            agree "$name --version (\"$out\")" ""
        fi
        ;;
    --man)
        pages=$((pages + 1))
        header=$(zcat "$file" | grep -m1 '^\.TH ')
        # The date uses dashes, so the dotted numbers on the .TH line are versions.
        mapfile -t found < <(grep -oE '[0-9]+(\.[0-9]+)+' <<< "$header" | sort -u)
        if [ ${#found[@]} -gt 1 ]; then
            fail "$(basename "$file") header names several versions: $header"
        else
            agree "$(basename "$file") header" "${found[0]:-}"
        fi
        ;;
    --metainfo)
        # The newest release comes first.
        agree "metainfo release" \
            "$(grep -m1 -oE '<release [^>]*version="[^"]*"' "$file" | sed -E 's/.*version="([^"]*)"/\1/')"
        ;;
    --deb-changelog)
        upstream=$(zcat "$file" | head -n1 | sed -nE 's/^[a-z0-9.+-]+ \(([^)-]+)-[^)]*\).*/\1/p')
        agree "Debian changelog" "$upstream"
        ;;
    --cpack-config)
        agree "package version" \
            "$(sed -nE 's/^set\(CPACK_DEBIAN_PACKAGE_VERSION "([^"]*)"\)/\1/p' "$file")"
        ;;
    *)
        fail "unknown option $option"
        ;;
    esac
done

[ "$exes" -ge 2 ] || fail "expected at least vantor-panel and vantor-sim, got $exes executables"
[ "$pages" -ge 2 ] || fail "expected a manual page for each executable, got $pages"
echo "$checked checked, $failures failed"
[ "$failures" -eq 0 ]
