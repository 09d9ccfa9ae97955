#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# check-spdx and add-spdx on a scratch repository: which files are flagged, where the line
# goes, that modes and fuzzer inputs survive, and that a second add-spdx changes nothing.
# usage: test-spdx-scripts.sh SCRIPTS_DIR
set -uo pipefail

scripts=$1
command -v git > /dev/null || { echo "git is not installed" >&2; exit 77; }
repo=$(mktemp -d)
trap 'rm -rf "$repo"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# path | content (printf format) | flagged by check-spdx | first two lines after add-spdx
cases=(
    "src/a.cpp|int a;\n|yes|// SPDX-License-Identifier: MIT;int a;"
    "src/b.h|// SPDX-License-Identifier: MIT\n#pragma once\n|no|// SPDX-License-Identifier: MIT;#pragma once"
    "src/with space.cpp|int b;\n|yes|// SPDX-License-Identifier: MIT;int b;"
    "CMakeLists.txt|project(x)\n|yes|# SPDX-License-Identifier: MIT;project(x)"
    "cmake/late.cmake|# one\n# two\n# three\n# SPDX-License-Identifier: MIT\n|yes|# SPDX-License-Identifier: MIT;# one"
    "tools/run|#!/bin/sh\necho hi\n|yes|#!/bin/sh;# SPDX-License-Identifier: MIT"
    "tools/build.sh|#!/usr/bin/env bash\nset -e\n|yes|#!/usr/bin/env bash;# SPDX-License-Identifier: MIT"
    "tests/fuzz/corpus/x/seed|#!\x00\x01\x02|no|"
    "tools/data|plain text\n|no|plain text"
    "README.md|# Title\n|no|# Title"
)

cd "$repo" && git init -q . || exit 1
for row in "${cases[@]}"; do
    IFS='|' read -r path content _ _ <<< "$row"
    mkdir -p "$(dirname "$path")"
    printf "$content" > "$path"
done
chmod 755 tools/run
printf 'int untracked;\n' > src/untracked.cpp
git add -- . ':!src/untracked.cpp'

first_two() { head -n 2 "$1" | paste -sd ';'; }

# check-spdx lists exactly the flagged rows and fails.
expected=$(for row in "${cases[@]}"; do
    IFS='|' read -r path _ flagged _ <<< "$row"
    [ "$flagged" = yes ] && echo "$path"
done | sort)
listed=$(bash "$scripts/check-spdx" "$repo" 2> /dev/null | sort)
bash "$scripts/check-spdx" "$repo" > /dev/null 2>&1 && fail "check-spdx passed a tree with unlicensed files"
[ "$listed" = "$expected" ] || fail "check-spdx listed:
$listed
expected:
$expected"

bash "$scripts/add-spdx" "$repo" > /dev/null || fail "add-spdx failed"
for row in "${cases[@]}"; do
    IFS='|' read -r path _ _ after <<< "$row"
    [ "$path" = tests/fuzz/corpus/x/seed ] && continue
    got=$(first_two "$path")
    [ "$got" = "$after" ] || fail "$path starts \"$got\", expected \"$after\""
done
cmp -s tests/fuzz/corpus/x/seed <(printf '#!\x00\x01\x02') || fail "a fuzzer input was changed"
[ -x tools/run ] || fail "tools/run lost its executable bit"
[ "$(cat src/untracked.cpp)" = "int untracked;" ] || fail "an untracked file was changed"
bash "$scripts/check-spdx" "$repo" > /dev/null || fail "check-spdx still fails after add-spdx"

before=$(git ls-files -z | xargs -0 sha1sum)
bash "$scripts/add-spdx" "$repo" > /dev/null || fail "a second add-spdx failed"
[ "$(git ls-files -z | xargs -0 sha1sum)" = "$before" ] || fail "a second add-spdx changed files"

# Another licence is reported, not stacked with a second line.
printf '# SPDX-License-Identifier: Apache-2.0\nx = 1\n' > other.py
git add other.py
bash "$scripts/add-spdx" "$repo" > /dev/null 2>&1 && fail "add-spdx accepted a file under another licence"
[ "$(first_two other.py)" = "# SPDX-License-Identifier: Apache-2.0;x = 1" ] \
    || fail "add-spdx changed a file under another licence"

[ "$failures" -eq 0 ] && echo "spdx scripts: all cases pass"
[ "$failures" -eq 0 ]
