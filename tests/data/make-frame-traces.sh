#!/bin/sh
# Writes <file>.frames.trace.txt beside each file given: every frame's NAL units or OBUs as
# ffmpeg's trace_headers bitstream filter reads them (each field's bit position, bits and
# value), the witness of the codec headers decoded inside the frames. Needs ffmpeg.
#   make-frame-traces.sh FILE...
set -eu
for f in "$@"; do
  ffmpeg -hide_banner -nostats -i "$f" -map 0:v:0 -c copy -bsf:v trace_headers -f null - 2>&1 |
    grep '^\[trace_headers @' | sed -e 's/^\[trace_headers @ [0-9a-fx]*\] //' |
    sed -n '/^Packet: /,$p' > "$f.frames.trace.txt"
done
