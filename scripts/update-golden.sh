#!/usr/bin/env bash
# Rewrites the golden dump (FILE.golden) of every test file under tests/data after an
# intended change of output; review the result with `git diff tests/data`.
#   scripts/update-golden.sh [Release|Debug|Sanitize]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$("$root/scripts/build.sh" "${1:-Release}" --target test_golden_dumps | tail -n 1)
cd "$build_dir"
CORVANTA_UPDATE_GOLDEN=1 ctest --output-on-failure -R '^test_golden_dumps$'
git -C "$root" status --short -- tests/data
