#!/bin/sh
# Makes the ISO base media test files and their expected values.
# Needs (only here, never when the tests run): ffmpeg, ffprobe, gst-launch-1.0 with
# gstreamer1.0-plugins-good/-ugly, heif-enc (libheif-examples), python3.
# Expected values: <file>.packets lists ffprobe's packets as "stream,pos,size" lines,
# an independent witness of where each muxer put each sample. For the files made to exercise
# the codec parameter sets, <file>.streams.json is ffprobe's stream report and
# <file>.trace.txt the configuration record as ffmpeg's trace_headers filter reads it.
#   make-test-files.sh          all files
#   make-test-files.sh codecs   only the codec parameter set files and their witnesses
#   make-test-files.sh frame-traces   only the <file>.frames.trace.txt witnesses
#   make-test-files.sh two-tracks     only two-tracks.mp4 and its packets
set -eu
cd "$(dirname "$0")"
export LC_ALL=C

video="-f lavfi -i testsrc=size=160x120:rate=10:duration=1"
audio="-f lavfi -i sine=frequency=440:sample_rate=16000:duration=1"
x264="-c:v libx264 -preset ultrafast -tune zerolatency -b:v 40k -g 5 -pix_fmt yuv420p"
aac="-c:a aac -b:a 24k"
ff="ffmpeg -hide_banner -loglevel error -y -bitexact"

# Parameter sets beyond what the muxer files hold, a few frames each:
# - h264-high.mp4: High 4:2:0 with frame cropping (200x150 in 208x160), colour description,
#   VUI timing, NAL HRD parameters and custom scaling lists (x264 sends them in the PPS);
# - h264-interlaced.mp4: High 4:2:2 10-bit, MBAFF (frame_mbs_only_flag 0), B-frames (POC type 0);
# - h264-444.mp4: High 4:4:4 Predictive, whose PPS has 12 scaling lists because of the SPS;
# - hevc-main10.mp4: Main 10 with a conformance window, HDR colour description, HRD parameters
#   and explicit scaling lists (some copied, with DC coefficients);
# - av1.mp4: 10-bit 4:2:0 AV1 with timing info and an initial display delay.
make_codec_files() {
  cqm=$(python3 -c '
i4 = [6, 13, 20, 28, 13, 20, 28, 32, 20, 28, 32, 37, 28, 32, 37, 42]
p4 = [10, 14, 20, 24, 14, 20, 24, 27, 20, 24, 27, 30, 24, 27, 30, 34]
i8 = [min(255, 6 + 2 * (r + c)) for r in range(8) for c in range(8)]
p8 = [min(255, 9 + 2 * (r + c) + (r * c) // 4) for r in range(8) for c in range(8)]
print(":".join(n + "=" + ",".join(map(str, v)) for n, v in (("cqm4i", i4), ("cqm4p", p4), ("cqm8i", i8), ("cqm8p", p8))))')
  $ff -f lavfi -i testsrc=size=200x150:rate=25:duration=0.2 -c:v libx264 -preset veryfast -pix_fmt yuv420p \
    -color_primaries bt709 -color_trc bt709 -colorspace bt709 -b:v 100k -maxrate 200k -bufsize 400k \
    -x264-params "nal-hrd=vbr:$cqm" h264-high.mp4
  $ff -f lavfi -i testsrc=size=176x120:rate=25:duration=0.2 -c:v libx264 -preset veryfast -pix_fmt yuv422p10le \
    -flags +ildct+ilme -x264-params bframes=2 h264-interlaced.mp4
  $ff -f lavfi -i testsrc=size=96x64:rate=25:duration=0.2 -c:v libx264 -preset veryfast -pix_fmt yuv444p \
    -x264-params "$cqm" h264-444.mp4

  # Scaling lists for x265 in the format it reads: a name line, the values; the DC value of
  # the 16x16 and 32x32 lists on the line after its own name line.
  python3 - <<'PY'
def ramp(count, base, slope):
    side = 4 if count == 16 else 8
    return [min(255, base + slope * (r + c)) for r in range(side) for c in range(side)]
lists = {"INTRA4X4_LUMA": ramp(16, 10, 3), "INTRA4X4_CHROMAU": ramp(16, 10, 3), "INTRA4X4_CHROMAV": ramp(16, 12, 2),
         "INTER4X4_LUMA": ramp(16, 14, 2), "INTER4X4_CHROMAU": ramp(16, 14, 2), "INTER4X4_CHROMAV": ramp(16, 14, 2)}
for size in ("8X8", "16X16", "32X32"):
    for kind in ("INTRA", "INTER"):
        for component in ("LUMA", "CHROMAU", "CHROMAV"):
            if size != "32X32" or component == "LUMA":
                lists[kind + size + "_" + component] = ramp(64, 12 if kind == "INTRA" else 16, 2 if component == "LUMA" else 3)
lists["INTRA8X8_LUMA"] = [16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 17, 16, 17, 16, 17, 18, 17, 18, 18, 17, 18, 21, 19, 20,
                          21, 20, 19, 21, 24, 22, 22, 24, 24, 22, 22, 24, 25, 25, 27, 30, 27, 25, 25, 29, 31, 35, 35, 31,
                          29, 36, 41, 44, 41, 36, 47, 54, 54, 47, 65, 70, 65, 88, 88, 115]
with open("x265-scaling-lists.txt", "w") as out:
    for name, values in lists.items():
        out.write(name + " =\n")
        for i in range(0, len(values), 8):
            out.write(",".join(map(str, values[i:i + 8])) + ",\n")
        if name[5:7] in ("16", "32"):
            out.write(name + "_DC =\n" + str(values[0] + 2) + "\n")
PY
  $ff -f lavfi -i testsrc=size=200x150:rate=25:duration=0.32 -c:v libx265 -preset ultrafast -pix_fmt yuv420p10le \
    -color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc \
    -x265-params "log-level=error:info=0:hrd=1:vbv-maxrate=300:vbv-bufsize=600:scaling-list=x265-scaling-lists.txt:bframes=3:keyint=8" \
    hevc-main10.mp4
  rm x265-scaling-lists.txt
  $ff -f lavfi -i testsrc=size=200x150:rate=25:duration=0.2 -c:v libaom-av1 -cpu-used 8 -usage realtime -b:v 60k \
    -pix_fmt yuv420p10le -color_primaries bt709 -color_trc bt709 -colorspace bt709 -aom-params timing-info=constant av1.mp4

  for f in progressive.mp4 h264-high.mp4 h264-interlaced.mp4 h264-444.mp4 hevc-main10.mp4 av1.mp4; do
    ffprobe -v error -select_streams v -show_streams -of json "$f" > "$f.streams.json"
    ffmpeg -hide_banner -nostats -i "$f" -c copy -bsf:v trace_headers -f null - 2>&1 | grep '^\[trace_headers @' |
      sed -e 's/^\[trace_headers @ [0-9a-fx]*\] //' | sed -n '/^Extradata$/,/^Packet: /p' | sed '$d' > "$f.trace.txt"
    ffprobe -v error -show_entries packet=stream_index,pos,size -of csv=p=0 "$f" > "$f.packets"
  done
}

# <file>.frames.trace.txt: every frame's NAL units or OBUs as trace_headers reads them, the
# witness of the headers decoded inside the samples.
make_frame_traces() {
  ../make-frame-traces.sh progressive.mp4 h264-high.mp4 h264-interlaced.mp4 h264-444.mp4 hevc-main10.mp4 av1.mp4
}

# two-tracks.mp4: an H.264 and an HEVC track with B-frames, 100 frames each, their samples
# interleaved: more samples than lie between two checkpoints of the lazy path, so that a sample is
# decoded again from the saved state of both tracks' frame decoders. Witness: its packets.
make_two_tracks() {
  $ff -f lavfi -i testsrc=size=64x48:rate=25:duration=4 -f lavfi -i testsrc2=size=64x48:rate=25:duration=4 \
    -map 0:v -map 1:v -pix_fmt yuv420p \
    -c:v:0 libx264 -preset ultrafast -x264-params "bframes=2:b-adapt=0:keyint=40" -b:v:0 20k \
    -c:v:1 libx265 -preset ultrafast -x265-params "log-level=error:info=0:bframes=2:keyint=40" -b:v:1 20k \
    two-tracks.mp4
  ffprobe -v error -show_entries packet=stream_index,pos,size -of csv=p=0 two-tracks.mp4 > two-tracks.mp4.packets
}

if [ "${1:-all}" = two-tracks ]; then
  make_two_tracks
  exit 0
fi

if [ "${1:-all}" = frame-traces ]; then
  make_frame_traces
  exit 0
fi

if [ "${1:-all}" = codecs ]; then
  make_codec_files
  make_frame_traces
  exit 0
fi

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

make_codec_files
make_two_tracks

# The witness: ffprobe's packets of every file it can read, in file order.
for f in progressive.mp4 faststart.mp4 fragmented.mp4 dash.mp4 movie.mov audio.m4a mobile.3gp \
         gstreamer.mp4 gstreamer.mov largesize.mp4 size0.mp4; do
  ffprobe -v error -show_entries packet=stream_index,pos,size -of csv=p=0 "$f" > "$f.packets"
done
ls -l
