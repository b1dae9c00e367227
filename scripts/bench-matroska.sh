#!/usr/bin/env bash
# Times `corvanta-dump --db` against `mkvinfo -v -v` listing the same large Matroska file, made by
# the parser benchmark's generator (bench/parser/MatroskaGenerator): each tool three times in
# turn, the best run of each reported. Needs mkvinfo (mkvtoolnix) and python3.
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

# One run: prints "wall user+system" in seconds.
run() {
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/time"
}

best() {  # the smallest wall time of the lines on stdin, with its CPU time
  sort -n | head -n 1
}

dump_runs=""
mkvinfo_runs=""
for round in 1 2 3; do
  rm -f "$work/elements.sqlite"
  dump_runs+="$(run "$dump" --no-progress --db "$work/elements.sqlite" "$file")"$'\n'
  mkvinfo_runs+="$(run mkvinfo -v -v "$file")"$'\n'
done
read -r dump_wall dump_cpu <<<"$(printf '%s' "$dump_runs" | best)"
read -r mkvinfo_wall mkvinfo_cpu <<<"$(printf '%s' "$mkvinfo_runs" | best)"

elements=$(python3 -c "import sqlite3, sys; print(sqlite3.connect(sys.argv[1]).execute('SELECT COUNT(*) FROM elements').fetchone()[0])" "$work/elements.sqlite")
lines=$(mkvinfo -v -v "$file" | wc -l)
size=$(stat -c %s "$file")

echo "Generated Matroska file: $video_frames video frames, $((video_frames * 3)) frames in all, $((size / 1000000)) MB"
printf "  corvanta-dump --db   %7.3f s wall  %7.3f s CPU   %d elements (%.0f per second)\n" \
  "$dump_wall" "$dump_cpu" "$elements" "$(awk -v e="$elements" -v t="$dump_wall" 'BEGIN { print e / t }')"
printf "  mkvinfo -v -v        %7.3f s wall  %7.3f s CPU   %d lines\n" "$mkvinfo_wall" "$mkvinfo_cpu" "$lines"
printf "  mkvinfo time / corvanta-dump time: %.2f (target >= 3)\n" \
  "$(awk -v m="$mkvinfo_wall" -v d="$dump_wall" 'BEGIN { print m / d }')"
