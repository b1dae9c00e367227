#!/bin/sh
# Writes beside each file given the witnesses of the codec headers decoded inside its frames:
# <file>.frames.trace.txt, every frame's NAL units or OBUs as ffmpeg's trace_headers bitstream
# filter reads them (each field's bit position, bits and value), and <file>.pictures.csv,
# ffprobe's decoded pictures as "key_frame,pkt_pos,pict_type" lines. Needs ffmpeg and ffprobe.
#   make-frame-traces.sh FILE...
set -eu
for f in "$@"; do
  ffmpeg -hide_banner -nostats -i "$f" -map 0:v:0 -c copy -bsf:v trace_headers -f null - 2>&1 |
    grep '^\[trace_headers @' | sed -e 's/^\[trace_headers @ [0-9a-fx]*\] //' |
    sed -n '/^Packet: /,$p' > "$f.frames.trace.txt"
  # trace_headers does not read every codec (VP8): no trace then.
  [ -s "$f.frames.trace.txt" ] || rm -f "$f.frames.trace.txt"
  ffprobe -v error -select_streams v:0 -show_frames -show_entries frame=key_frame,pkt_pos,pict_type -of csv=p=0 "$f" |
    grep -E '^[01],[0-9]+,[A-Z?]+' | cut -d, -f1-3 > "$f.pictures.csv"
done
