#!/usr/bin/env bash
# Makes the transport streams of the timing tests: a clean constant-rate stream (PCR at most 30 ms
# apart, PAT every 0.1 s) and, edited from it by make-timing-faults.py, one copy per fault or timing
# oddity; then the ffprobe packet and stream lists of the clean one. Needs ffmpeg and ffprobe.
set -euo pipefail
cd "$(dirname "$0")"
ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 1.0 \
  -c:v mpeg2video -g 12 -bf 2 -b:v 40k -c:a mp2 -b:a 32k -f mpegts -muxrate 300000 -pcr_period 20 \
  -pat_period 0.1 -sdt_period 0.5 timing-clean.ts
python3 make-timing-faults.py timing-clean.ts .
# The frames and faults tables of the files for the viewer's timing checks, as corvanta-dump
# lists them: review a change of these like a change of a golden dump.
dump=${CORVANTA_DUMP:-../../../build/release/tools/corvanta-dump/corvanta-dump}
for f in timing-backward-dts.ts timing-gap.ts; do
  "$dump" --frames "$f" > "$f.frames.csv"
done
"$dump" --faults timing-gap.ts > timing-gap.ts.faults.csv
../make-timing-witness.sh timing-clean.ts
