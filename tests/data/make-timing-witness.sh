#!/usr/bin/env bash
# Writes ffprobe's streams and packets of each FILE beside it, for the tests of the streams and
# frames tables (tests/timing): FILE.ffprobe-streams.csv (index, codec_name, codec_type, id,
# time_base) and FILE.ffprobe-packets.csv (stream_index, pts, dts, duration, size, pos, flags),
# each with a header line. Needs ffprobe.
#   tests/data/make-timing-witness.sh FILE...
set -euo pipefail
for f in "$@"; do
  {
    echo "index,codec_name,codec_type,id,time_base"
    # Streams of programs are listed again under each program: each line once.
    ffprobe -v error -show_entries stream=index,codec_name,codec_type,id,time_base -of csv=p=0 "$f" |
      sed -e 's/,*$//' -e '/^$/d' | awk '!seen[$0]++'
  } > "$f.ffprobe-streams.csv"
  {
    echo "stream_index,pts,dts,duration,size,pos,flags"
    ffprobe -v error -show_entries packet=stream_index,pts,dts,duration,size,pos,flags -of csv=p=0 "$f" |
      sed -e 's/,*$//' -e '/^$/d'
  } > "$f.ffprobe-packets.csv"
done
