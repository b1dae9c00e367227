#!/usr/bin/env bash
# Times `corvanta-dump --db` against `mkvinfo -v -v` listing the same large Matroska file, made by
# the parser benchmark's generator (bench/parser/MatroskaGenerator), and beside them the opening
# as the viewer gets it (the analysis into an in-memory database, then the element count it
# reads first): eager, and lazy with its Clusters decoded only when read (`--count`). Each run
# three times in turn, the best of each reported with its peak memory (maximum resident set).
# Needs mkvinfo (mkvtoolnix) and python3.
#   scripts/bench-matroska.sh [VIDEO_FRAMES]   (default 300000: 900000 frames in 600000 blocks)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
video_frames=${1:-300000}

if ! command -v mkvinfo >/dev/null; then
  echo "the comparison needs mkvinfo: apt-get install mkvtoolnix" >&2
  exit 2
fi

build_dir=$("$root/scripts/build.sh" Release --target bench_parser --target corvanta-dump | tail -n 1)
dump="$build_dir/tools/corvanta-dump/corvanta-dump"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file="$work/generated.mkv"
"$build_dir/bench/parser/bench_parser" --frames "$video_frames" --write-mkv "$file"

# One run: prints "wall user+system peak-MB" (seconds, seconds, megabytes).
run() {
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >"$work/out"
  awk '{ printf "%.3f %.3f %.0f\n", $1, $2 + $3, $4 / 1024 }' "$work/time"
}

best() {  # the smallest wall time of the lines on stdin, with its CPU time and memory
  sort -n | head -n 1
}

dump_runs=""
mkvinfo_runs=""
eager_runs=""
lazy_runs=""
for round in 1 2 3; do
  rm -f "$work/elements.sqlite"
  dump_runs+="$(run "$dump" --no-progress --db "$work/elements.sqlite" "$file")"$'\n'
  mkvinfo_runs+="$(run mkvinfo -v -v "$file")"$'\n'
  eager_runs+="$(run "$dump" --no-progress --eager --count "$file")"$'\n'
  lazy_runs+="$(run "$dump" --no-progress --lazy --count "$file")"$'\n'
  lazy_count=$(cat "$work/out")
done
read -r dump_wall dump_cpu dump_mb <<<"$(printf '%s' "$dump_runs" | best)"
read -r mkvinfo_wall mkvinfo_cpu mkvinfo_mb <<<"$(printf '%s' "$mkvinfo_runs" | best)"
read -r eager_wall eager_cpu eager_mb <<<"$(printf '%s' "$eager_runs" | best)"
read -r lazy_wall lazy_cpu lazy_mb <<<"$(printf '%s' "$lazy_runs" | best)"

elements=$(python3 -c "import sqlite3, sys; print(sqlite3.connect(sys.argv[1]).execute('SELECT COUNT(*) FROM elements').fetchone()[0])" "$work/elements.sqlite")
lines=$(mkvinfo -v -v "$file" | wc -l)
size=$(stat -c %s "$file")

echo "Generated Matroska file: $video_frames video frames, $((video_frames * 3)) frames in all, $((size / 1000000)) MB"
printf "  mkvinfo -v -v                 %7.3f s wall  %7.3f s CPU  %5d MB   %d lines\n" \
  "$mkvinfo_wall" "$mkvinfo_cpu" "$mkvinfo_mb" "$lines"
printf "  corvanta-dump --db            %7.3f s wall  %7.3f s CPU  %5d MB   %d elements (%.0f per second)\n" \
  "$dump_wall" "$dump_cpu" "$dump_mb" "$elements" "$(awk -v e="$elements" -v t="$dump_wall" 'BEGIN { print e / t }')"
printf "  opening, eager (--count)      %7.3f s wall  %7.3f s CPU  %5d MB\n" "$eager_wall" "$eager_cpu" "$eager_mb"
printf "  opening, lazy (--count)       %7.3f s wall  %7.3f s CPU  %5d MB   %s elements\n" \
  "$lazy_wall" "$lazy_cpu" "$lazy_mb" "$lazy_count"
ratio() { awk -v m="$1" -v d="$2" 'BEGIN { printf "%.2f", m / d }'; }
echo "  mkvinfo time / corvanta-dump --db time: $(ratio "$mkvinfo_wall" "$dump_wall") (target >= 3)"
echo "  mkvinfo time / lazy opening time:       $(ratio "$mkvinfo_wall" "$lazy_wall")"
echo "  mkvinfo time / eager opening time:      $(ratio "$mkvinfo_wall" "$eager_wall")"
