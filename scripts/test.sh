#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
#   scripts/test.sh [Release|Debug|Sanitize] [ctest arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
type=${1:-Release}
shift || true
"$root/scripts/setup.sh"
build_dir=$("$root/scripts/build.sh" "$type" | tail -n 1)
export QT_QPA_PLATFORM=offscreen
cd "$build_dir"
ctest --output-on-failure --parallel "$(nproc)" "$@"
