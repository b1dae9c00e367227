#!/bin/sh
# Makes the FLV test files and their expected values.
# Needs (only here, never when the tests run): ffmpeg, ffprobe, gst-launch-1.0 with
# gstreamer1.0-plugins-good and -bad (flvmux, h264parse, voaacenc, aacparse), python3.
# Expected values, each an independent witness:
#   <file>.tags.csv the tags found by walking the PreviousTagSize chain backwards from the end
#                   of the file (flv-walk.py), "offset,type,data_size,timestamp" per line;
#   <file>.packets  ffprobe's packets as "stream,pos,size" lines (pos is where the tag starts);
#                   not for the enhanced files, which this ffmpeg reads as legacy tags.
# The enhanced-FLV files (HEVC and AV1 with four-character codes) are written by
# enhanced-flv.py from the format's public description, since no Debian tool writes them.
set -eu
cd "$(dirname "$0")"
export LC_ALL=C

video="-f lavfi -i testsrc=size=160x120:rate=10:duration=1"
audio="-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1"
x264="-c:v libx264 -preset ultrafast -b:v 40k -g 5 -bf 2 -pix_fmt yuv420p"
ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ffmpeg: H.264 with B-frames (composition times) and AAC; the same with a keyframe index in
# onMetaData; Sorenson H.263 with MP3.
$ff $video $audio $x264 -c:a aac -b:a 24k h264-aac.flv
$ff $video $audio $x264 -c:a aac -b:a 24k -flvflags add_keyframe_index keyframe-index.flv
$ff $video $audio -c:v flv -b:v 40k -g 5 -c:a libmp3lame -b:a 32k flv1-mp3.flv

# GStreamer's muxer, from an H.264 stream made by ffmpeg.
$ff $video $x264 -f h264 "$tmp/video.h264"
gst-launch-1.0 -q filesrc location="$tmp/video.h264" ! h264parse ! flvmux name=mux streamable=false \
  ! filesink location=gstreamer.flv \
  audiotestsrc num-buffers=20 samplesperbuffer=1024 ! audio/x-raw,rate=22050,channels=1 ! voaacenc bitrate=24000 \
  ! aacparse ! mux.

# Enhanced FLV from MP4 files whose configuration records and samples the script copies.
$ff -f lavfi -i testsrc=size=128x96:rate=10:duration=0.6 -c:v libx265 -preset ultrafast -x265-params log-level=none:bframes=2:keyint=3 \
  -tag:v hvc1 "$tmp/hevc.mp4"
$ff -f lavfi -i testsrc=size=64x48:rate=10:duration=0.4 -c:v libaom-av1 -cpu-used 8 -b:v 30k -g 2 "$tmp/av1.mp4"
python3 enhanced-flv.py "$tmp/hevc.mp4" hvc1 hevc-enhanced.flv
python3 enhanced-flv.py "$tmp/av1.mp4" av01 av1-enhanced.flv

# Broken copies of h264-aac.flv:
# - truncated.flv: cut in the middle of a video tag;
# - corrupt-size.flv: the DataSize of the tenth tag says 0xFFFFFF;
# - corrupt-junk.flv: 300 bytes of junk overwrite tags in the middle; the walk resumes at the
#   next tag whose header and PreviousTagSize agree.
python3 - <<'PY'
import struct
data = open("h264-aac.flv", "rb").read()
open("truncated.flv", "wb").write(data[: len(data) * 2 // 3])
tags = []
pos = struct.unpack(">I", data[5:9])[0] + 4
while pos + 11 <= len(data):
    size = int.from_bytes(data[pos + 1:pos + 4], "big")
    tags.append(pos)
    pos += 11 + size + 4
bad = bytearray(data)
bad[tags[10] + 1:tags[10] + 4] = b"\xff\xff\xff"
open("corrupt-size.flv", "wb").write(bytes(bad))
junk = bytearray(data)
start = tags[len(tags) // 2] + 20
junk[start:start + 300] = bytes((i * 37 + 11) & 0xFF for i in range(300))
open("corrupt-junk.flv", "wb").write(bytes(junk))
PY

for f in hevc-enhanced.flv av1-enhanced.flv; do
  python3 flv-walk.py "$f" > "$f.tags.csv"
done
for f in h264-aac.flv keyframe-index.flv flv1-mp3.flv gstreamer.flv; do
  python3 flv-walk.py "$f" > "$f.tags.csv"
  ffprobe -v error -show_entries packet=stream_index,pos,size -of csv=p=0 "$f" \
    | awk -F, '{ print $1 "," $3 "," $2 }' > "$f.packets"
done
# The codec headers inside the video tags, as ffmpeg's trace_headers reads them.
../make-frame-traces.sh h264-aac.flv gstreamer.flv keyframe-index.flv
