#!/bin/sh
# Writes the long transport stream that `bench_lazy` measures, with the project's own generator
# (built as make_long_ts in the Release build). Check the free space first: SIZE is written in full.
#   make-long-ts.sh OUT.ts [SIZE]     SIZE like 1G (the default) or 10G
set -eu
out=${1:?usage: make-long-ts.sh OUT.ts [SIZE]}
size=${2:-1G}
root=$(cd "$(dirname "$0")/../.." && pwd)
exec "$root/build/release/bench/lazy/make_long_ts" "$out" "$size"
