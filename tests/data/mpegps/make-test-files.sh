#!/bin/sh
# Makes the MPEG program stream and MPEG video elementary stream test files and their expected
# values. Needs (only here, never when the tests run): ffmpeg, ffprobe, gst-launch-1.0 with
# gstreamer1.0-plugins-bad (mpegpsmux, mpeg2enc, mpegvideoparse) and -good/-ugly (lamemp3enc,
# mpegaudioparse), python3.
# Expected values, each an independent witness:
#   <file>.packets  ffprobe's packets as "stream_index,pts,dts,size,pos" lines; a packet with a
#                   position starts at a PES packet's packet_start_code_prefix;
#   <file>.walk.csv     the packs and packets found by start-code arithmetic (ps-walk.py):
#                   "pack,offset,size" and "packet,offset,stream_id,size" lines;
#   <file>.trace.txt    the MPEG-2 video header fields as ffmpeg's trace_headers bitstream filter reads
#                   them, "name=value" in stream order (trace-fields.py).
set -eu
cd "$(dirname "$0")"
export LC_ALL=C

ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
video25="-f lavfi -i testsrc=size=64x48:rate=25:duration=1"
tone32="-f lavfi -i sine=frequency=440:sample_rate=32000:duration=1"
tone48="-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ffmpeg's "mpeg" muxer: MPEG-1 systems with MPEG-1 video and MP2; an MPEG-2 program stream
# with MPEG-2 video (B-frames) and MP2.
$ff $video25 $tone32 -c:v mpeg1video -b:v 40k -g 5 -c:a mp2 -b:a 32k -f mpeg ffmpeg-mpeg1.mpg
$ff $video25 $tone48 -c:v mpeg2video -b:v 100k -g 12 -bf 2 -c:a mp2 -b:a 64k -f mpeg ffmpeg-mpeg2.mpg
# ffmpeg's "vob" muxer: MPEG-2 video and AC-3 in private stream 1.
$ff $video25 $tone48 -c:v mpeg2video -b:v 100k -g 12 -bf 2 -c:a ac3 -b:a 64k -f vob ffmpeg.vob
# ffmpeg's "dvd" muxer: navigation packs (PCI, DSI), AC-3 and LPCM in private stream 1.
$ff -f lavfi -i testsrc=size=64x48:rate=25:duration=0.4 -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.4 \
  -f lavfi -i sine=frequency=660:sample_rate=48000:duration=0.4 \
  -map 0 -map 1 -map 2 -c:v mpeg2video -b:v 100k -g 12 -bf 2 -c:a:0 ac3 -b:a:0 64k \
  -c:a:1 pcm_s16be -ac:a:1 1 -f dvd ffmpeg-dvd.vob
# GStreamer's mpegpsmux: MPEG-2 video from mpeg2enc and MP3.
gst-launch-1.0 -q -e mpegpsmux name=m ! filesink location=gstreamer.mpg \
  videotestsrc num-buffers=12 ! video/x-raw,format=I420,width=64,height=48,framerate=25/1 \
  ! mpeg2enc format=3 ! mpegvideoparse ! m. \
  audiotestsrc num-buffers=12 samplesperbuffer=1152 ! audio/x-raw,rate=32000,channels=1 \
  ! lamemp3enc bitrate=32 ! mpegaudioparse ! m.
# Elementary video: MPEG-2 with B-frames, MPEG-1.
$ff -f lavfi -i testsrc=size=64x48:rate=25:duration=0.5 -c:v mpeg2video -b:v 100k -g 6 -bf 2 -f mpeg2video raw.m2v
$ff -f lavfi -i testsrc=size=64x48:rate=25:duration=0.5 -c:v mpeg1video -b:v 100k -g 6 -f mpeg1video raw.m1v

# Broken copies:
# - truncated.mpg: ffmpeg-mpeg2.mpg cut inside a video packet;
# - junk.vob: 300 bytes without a start code prefix inserted before the third pack of
#   ffmpeg.vob; the walk resumes at that pack's start code;
# - bad-length.mpg: the PES_packet_length of the first video packet of ffmpeg-mpeg1.mpg says
#   0xFFFF, so the packet is cut at the next start code of a pack or packet;
# - truncated.m2v: raw.m2v cut inside the second picture.
python3 - <<'PY'
data = open("ffmpeg-mpeg2.mpg", "rb").read()
open("truncated.mpg", "wb").write(data[: 2048 * 4 + 700])
vob = open("ffmpeg.vob", "rb").read()
junk = bytes((i * 7 + 3) % 251 + 2 for i in range(300))
open("junk.vob", "wb").write(vob[:2 * 2048] + junk + vob[2 * 2048:])
mpeg1 = bytearray(open("ffmpeg-mpeg1.mpg", "rb").read())
first_video = mpeg1.find(b"\x00\x00\x01\xe0")
mpeg1[first_video + 4:first_video + 6] = b"\xff\xff"
open("bad-length.mpg", "wb").write(bytes(mpeg1))
m2v = open("raw.m2v", "rb").read()
second = m2v.find(b"\x00\x00\x01\x00", m2v.find(b"\x00\x00\x01\x00") + 4)
open("truncated.m2v", "wb").write(m2v[: second + 200])
PY

for f in ffmpeg-mpeg1.mpg ffmpeg-mpeg2.mpg ffmpeg.vob ffmpeg-dvd.vob gstreamer.mpg; do
  ffprobe -v error -show_entries packet=stream_index,pts,dts,size,pos -of csv=p=0 "$f" | grep -v '^$' > "$f.packets"
  python3 ps-walk.py "$f" > "$f.walk.csv"
done
for f in ffmpeg-mpeg2.mpg ffmpeg.vob gstreamer.mpg raw.m2v; do
  ffmpeg -hide_banner -nostats -i "$f" -map 0:v -c copy -bsf:v trace_headers -f null - 2>&1 \
    | python3 trace-fields.py > "$f.trace.txt"
done
ls -l
