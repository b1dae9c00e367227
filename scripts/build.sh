#!/usr/bin/env bash
# Configures and builds into build/<type> (Release by default).
#   scripts/build.sh [Release|Debug|Sanitize] [cmake --build arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
type=${1:-Release}
shift || true

case "$type" in
  Release)  cmake_args=(-DCMAKE_BUILD_TYPE=Release) ;;
  Debug)    cmake_args=(-DCMAKE_BUILD_TYPE=Debug) ;;
  # -O1 and no benchmarks: the sanitizer build is for running the tests, and CI runs it.
  Sanitize) cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DCORVANTA_SANITIZE=ON
                        -DCORVANTA_BUILD_BENCHMARKS=OFF) ;;
  *) echo "unknown build type: $type (Release, Debug or Sanitize)" >&2; exit 2 ;;
esac

build_dir="$root/build/$(echo "$type" | tr '[:upper:]' '[:lower:]')"
generator=()
if command -v ninja >/dev/null 2>&1 && [ ! -f "$build_dir/Makefile" ]; then
  generator=(-G Ninja)
fi
cmake -S "$root" -B "$build_dir" "${generator[@]}" "${cmake_args[@]}" >&2
cmake --build "$build_dir" --parallel "$(nproc)" "$@" >&2
echo "$build_dir"
