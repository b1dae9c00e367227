#!/usr/bin/env bash
# Fuzzes the parser with libFuzzer: builds the fuzz targets with clang into build/fuzz, seeds
# a corpus from the test files and the regression inputs, and runs one target.
#   scripts/fuzz.sh [TARGET] [SECONDS]
# TARGET is "any" (the default: the registry chooses the module, as for a file the viewer
# opens), a module id such as "isobmff" (that module on every input, its probe bypassed), or a
# codec id of fuzz/codec-targets.txt such as "codec-h264" (one codec's frame decoder on a
# stream of length-prefixed frames, seeded from fuzz/seeds/<id>/).
# SECONDS defaults to 60. The corpus grows in build/fuzz/corpus/TARGET and is kept between
# runs, outside git. A finding is minimised, and the script says where to keep it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:-any}
seconds=${2:-60}

codecs=$(grep '^codec-' "$root/fuzz/codec-targets.txt" | cut -d' ' -f1)
is_codec=false
if printf '%s\n' $codecs | grep -qx -- "$target"; then is_codec=true; fi
if [ "$target" != any ] && [ ! -d "$root/parser/formats/$target" ] && ! $is_codec; then
  echo "unknown fuzz target: $target (any, a module id: $(ls "$root/parser/formats" | tr '\n' ' ')or a codec id:" \
    $codecs")" >&2
  exit 2
fi

if ! command -v clang++ >/dev/null || [ -z "$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a | grep /)" ]; then
  echo "fuzzing needs clang with libFuzzer: apt-get install clang libclang-rt-14-dev" >&2
  exit 2
fi

build_dir="$root/build/fuzz"
cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O2" -DCORVANTA_FUZZ=ON -DCORVANTA_BUILD_TESTS=OFF \
  -DCORVANTA_BUILD_BENCHMARKS=OFF >&2
cmake --build "$build_dir" --parallel "$(nproc)" --target "fuzz_$target" >&2
fuzzer="$build_dir/fuzz/fuzz_$target"

# Seeds: the test inputs of the target's family (every family for "any"), without the files
# beside them that are not inputs (the rule of tests/common/TestInputs.h), and the regressions.
seeds="$build_dir/seeds/$target"
rm -rf "$seeds"
mkdir -p "$seeds"
if [ "$target" = any ]; then family='*'; else family=$target; fi
inputs=("$root"/tests/data/$family)
if $is_codec; then inputs=("$root/fuzz/seeds/$target"); fi
for folder in "${inputs[@]}" "$root"/fuzz/regressions/$family; do
  [ -d "$folder" ] || continue
  find "$folder" -type f ! -name '.*' \
    ! \( -name '*.golden' -o -name '*.dump' -o -name '*.packets' -o -name '*.txt' -o -name '*.json' \
         -o -name '*.csv' -o -name '*.sh' -o -name '*.py' -o -name '*.md' \) \
    -exec cp {} "$seeds/" \;
done

corpus="$build_dir/corpus/$target"
findings="$build_dir/findings/$target"
logs="$build_dir/logs"
mkdir -p "$corpus" "$findings" "$logs"
log="$logs/$target-$(date +%Y%m%d-%H%M%S).log"
before=$(ls "$findings")

# Bounds per input: a small input takes milliseconds, so 5 s means a loop that a count from
# the file drives; 2 GB in all or 512 MB at once means an allocation sized by one.
# One process: the machine's cores are shared.
bounds=(-timeout=5 -rss_limit_mb=2048 -malloc_limit_mb=512)
status=0
"$fuzzer" "$corpus" "$seeds" -max_total_time="$seconds" "${bounds[@]}" -max_len=65536 \
  -artifact_prefix="$findings/" -print_final_stats=1 2>&1 | tee "$log" || status=$?
echo "log: $log, corpus: $corpus ($(ls "$corpus" | wc -l) inputs)"

new_findings=$(comm -13 <(echo "$before") <(ls "$findings") | grep -v '^minimised-' || true)
[ -z "$new_findings" ] && exit "$status"

if [ "$target" = any ]; then place="fuzz/regressions/<module id>/ (the module the finding names)"; else place="fuzz/regressions/$target/"; fi
for finding in $new_findings; do
  minimised="$findings/minimised-$finding"
  "$fuzzer" "$findings/$finding" -minimize_crash=1 -max_total_time=120 "${bounds[@]}" \
    -exact_artifact_path="$minimised" >"$logs/minimise-$finding.log" 2>&1 || true
  [ -f "$minimised" ] || minimised="$findings/$finding"
  echo
  echo "FINDING: $findings/$finding"
  echo "  minimised ($(stat -c %s "$minimised") bytes): $minimised"
  echo "  reproduce: $fuzzer ${bounds[*]} $minimised"
  echo "  once fixed, keep it as $place<what-broke>.<ext>; the test fuzz_replay_* replays it"
done
exit 1
