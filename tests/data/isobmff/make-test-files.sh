#!/bin/sh
# Makes the ISO base media test files and their expected values.
# Needs (only here, never when the tests run): ffmpeg, ffprobe, gst-launch-1.0 with
# gstreamer1.0-plugins-good/-ugly, heif-enc (libheif-examples), python3.
# Expected values: <file>.packets lists ffprobe's packets as "stream,pos,size" lines,
# an independent witness of where each muxer put each sample.
set -eu
cd "$(dirname "$0")"
export LC_ALL=C

video="-f lavfi -i testsrc=size=160x120:rate=10:duration=1"
audio="-f lavfi -i sine=frequency=440:sample_rate=16000:duration=1"
x264="-c:v libx264 -preset ultrafast -tune zerolatency -b:v 40k -g 5 -pix_fmt yuv420p"
aac="-c:a aac -b:a 24k"
ff="ffmpeg -hide_banner -loglevel error -y -bitexact"

# ffmpeg: progressive (moov at the end, then moov first), fragmented, DASH-style, MOV, M4A, 3GP.
$ff $video $audio $x264 $aac -metadata title="Corvanta test" progressive.mp4
$ff $video $audio $x264 $aac -movflags +faststart faststart.mp4
$ff $video $audio $x264 $aac -movflags frag_keyframe+empty_moov+default_base_moof fragmented.mp4
$ff $video $x264 -movflags +dash+frag_keyframe+empty_moov+global_sidx dash.mp4
$ff $video $audio $x264 $aac movie.mov
$ff $audio $aac -metadata title="Tone" -metadata artist="Corvanta" audio.m4a
$ff -f lavfi -i testsrc=size=176x144:rate=10:duration=1 $audio $x264 $aac mobile.3gp

# GStreamer: Opus and MP3 audio in mp4mux, JPEG video in qtmux.
gst-launch-1.0 -q -e mp4mux name=m ! filesink location=gstreamer.mp4 \
  audiotestsrc num-buffers=10 samplesperbuffer=960 ! audio/x-raw,rate=48000,channels=1 ! opusenc bitrate=16000 ! m. \
  audiotestsrc num-buffers=8 samplesperbuffer=1152 ! audio/x-raw,rate=16000,channels=1 ! lamemp3enc target=bitrate bitrate=32 ! m.
gst-launch-1.0 -q -e qtmux name=m ! filesink location=gstreamer.mov \
  videotestsrc num-buffers=6 pattern=ball ! video/x-raw,width=64,height=48,framerate=6/1 ! jpegenc quality=30 ! m.

# libheif: one HEVC image and one AV1 image.
$ff -f lavfi -i testsrc=size=64x64:duration=0.1 -frames:v 1 heif-source.png
heif-enc -q 30 -o image.heic heif-source.png >/dev/null
heif-enc -A -q 30 -o image.avif heif-source.png >/dev/null
rm heif-source.png

# Hand-made variants of the moov-at-the-end file, whose mdat follows an 8-byte 'free' box:
# - largesize.mp4: 'free' + 'mdat' turned into one mdat with size 1 and a 64-bit largesize,
#   so every sample keeps its offset;
# - size0.mp4 (from faststart.mp4, whose mdat is last): the mdat size set to 0;
# - truncated copies cut inside moov and inside mdat;
# - corrupted copies: junk inside the file, a broken box size, junk appended.
python3 - <<'PY'
import struct
def boxes(data, begin=0, end=None):
    end = len(data) if end is None else end
    pos = begin
    while pos + 8 <= end:
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if size == 1: size = struct.unpack(">Q", data[pos + 8:pos + 16])[0]
        if size == 0: size = end - pos
        yield pos, size, kind
        pos += size

data = bytearray(open("progressive.mp4", "rb").read())
top = list(boxes(data))
free = [b for b in top if b[2] == b"free"][0]
mdat = [b for b in top if b[2] == b"mdat"][0]
assert free[0] + free[1] == mdat[0] and free[1] == 8
data[free[0]:free[0] + 16] = struct.pack(">I4sQ", 1, b"mdat", mdat[1] + 8)
open("largesize.mp4", "wb").write(data)

data = bytearray(open("faststart.mp4", "rb").read())
mdat = [b for b in boxes(data) if b[2] == b"mdat"][0]
assert mdat[0] + mdat[1] == len(data)
data[mdat[0]:mdat[0] + 4] = b"\0\0\0\0"
open("size0.mp4", "wb").write(data)

data = open("progressive.mp4", "rb").read()
moov = [b for b in boxes(data) if b[2] == b"moov"][0]
open("truncated-in-moov.mp4", "wb").write(data[:moov[0] + moov[1] // 2])
fast = open("faststart.mp4", "rb").read()
mdat = [b for b in boxes(fast) if b[2] == b"mdat"][0]
open("truncated-in-mdat.mp4", "wb").write(fast[:mdat[0] + mdat[1] // 2])

# 40 bytes of junk between ftyp and the next box: GARBAGE, then the walk resynchronises.
ftyp = list(boxes(fast))[0]
open("corrupt-junk.mp4", "wb").write(fast[:ftyp[1]] + bytes(range(0x80, 0xa8)) + fast[ftyp[1]:])
# The size of the 'mvhd' inside moov made huge: clamped to moov and marked truncated.
data = bytearray(fast)
moov = [b for b in boxes(fast) if b[2] == b"moov"][0]
mvhd = [b for b in boxes(fast, moov[0] + 8, moov[0] + moov[1]) if b[2] == b"mvhd"][0]
data[mvhd[0]:mvhd[0] + 4] = struct.pack(">I", 0x7ffffff0)
open("corrupt-size.mp4", "wb").write(data)
# Junk after the last box.
open("corrupt-tail.mp4", "wb").write(fast + b"\x01\x02\x03junk that is no box\xff" * 3)
PY

# The witness: ffprobe's packets of every file it can read, in file order.
for f in progressive.mp4 faststart.mp4 fragmented.mp4 dash.mp4 movie.mov audio.m4a mobile.3gp \
         gstreamer.mp4 gstreamer.mov largesize.mp4 size0.mp4; do
  ffprobe -v error -show_entries packet=stream_index,pos,size -of csv=p=0 "$f" > "$f.packets"
done
ls -l
