#!/bin/sh
# Makes the RIFF and IFF test files (AVI, WAVE, RF64, WebP, AIFF) and their expected values.
# Needs (only here, never when the tests run): ffmpeg, ffprobe, gst-launch-1.0 with
# gstreamer1.0-plugins-good (avimux, wavenc, jpegenc), sox, cwebp, img2webp, webpmux, python3.
# Expected values, each an independent witness:
#   <file>.chunks.csv every chunk found by riff-walk.py, "depth,offset,id,size" per line;
#   <file>.packets    for AVI files, ffprobe's packets as "stream,size,pos,flags" lines (K: key frame).
# odml.avi is assembled by odml-avi.py, since no Debian tool lowers the 1 GB limit of a RIFF
# part that makes a muxer start a RIFF 'AVIX'.
set -eu
cd "$(dirname "$0")"
export LC_ALL=C

ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
video="-f lavfi -i testsrc=size=96x64:rate=10:duration=1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# AVI from ffmpeg: MPEG-4 Part 2 video with MP3 audio and a title (LIST INFO); video with
# six-channel PCM audio, whose strf is a WAVEFORMATEXTENSIBLE.
$ff $video -f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -c:v mpeg4 -q:v 20 -g 5 \
  -c:a libmp3lame -b:a 32k -ac 1 -metadata title="Corvanta test" mpeg4-mp3.avi
$ff -f lavfi -i testsrc=size=64x48:rate=5:duration=0.6 -f lavfi -i sine=sample_rate=8000:duration=0.6 \
  -c:v mpeg4 -q:v 25 -c:a pcm_u8 -ac 6 -ar 8000 pcm-6ch.avi
# GStreamer's avimux: motion JPEG with PCM.
gst-launch-1.0 -q videotestsrc num-buffers=5 ! video/x-raw,width=64,height=48,framerate=5/1 ! jpegenc quality=20 \
  ! avimux name=mux ! filesink location=gstreamer.avi \
  audiotestsrc num-buffers=4 samplesperbuffer=1600 ! audio/x-raw,rate=8000,channels=1,format=S16LE ! mux.
# OpenDML: a RIFF 'AVIX' after the first RIFF, super and standard indexes.
$ff $video -c:v mpeg4 -q:v 20 -g 4 "$tmp/video.avi"
python3 odml-avi.py "$tmp/video.avi" odml.avi

# WAVE: ffmpeg's PCM with INFO tags and bext; RF64 always; float (fact chunk);
# GStreamer's wavenc; sox's 24-bit three-channel (WAVEFORMATEXTENSIBLE).
$ff -f lavfi -i sine=sample_rate=8000:duration=0.25 -c:a pcm_s16le -write_bext 1 \
  -metadata title="Corvanta test" -metadata artist="Corvanta" -metadata encoded_by="Corvanta" \
  -metadata description="A sine" -metadata originator="Corvanta" ffmpeg-bext.wav
$ff -f lavfi -i sine=sample_rate=8000:duration=0.25 -c:a pcm_s16le -rf64 always rf64.wav
$ff -f lavfi -i sine=sample_rate=8000:duration=0.1 -c:a pcm_f32le float.wav
gst-launch-1.0 -q audiotestsrc num-buffers=2 samplesperbuffer=1000 ! audio/x-raw,rate=8000,channels=2,format=S16LE \
  ! wavenc ! filesink location=gstreamer.wav
sox -n -r 8000 -b 24 -c 3 sox-3ch.wav synth 0.1 sine 440
# MP3 in WAVE (format tag 0x0055, fact chunk).
$ff -f lavfi -i sine=sample_rate=22050:duration=0.5 -c:a libmp3lame -b:a 32k mp3.wav

# AIFF and AIFF-C from sox; ffmpeg's AIFF with text chunks.
sox -n -r 8000 -b 16 -c 1 sox.aiff synth 0.1 sine 440
sox -n -r 8000 -b 16 -c 2 -t aifc sox.aifc synth 0.1 sine 440
$ff -f lavfi -i sine=sample_rate=8000:duration=0.1 -metadata title="Corvanta test" -metadata author="Corvanta" \
  -metadata copyright="none" -metadata comment="A sine" -c:a pcm_s16be -write_id3v2 1 ffmpeg.aiff

# WebP: lossy, lossless, lossy with alpha, animated (lossy and lossless frames), and one with
# ICC, EXIF and XMP metadata.
$ff -f lavfi -i testsrc=size=48x32 -frames:v 1 "$tmp/image.png"
$ff -f lavfi -i testsrc=size=48x32 -vf "format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='X*5'" \
  -frames:v 1 "$tmp/alpha.png"
for t in 0 1 2; do $ff -f lavfi -i testsrc=size=32x24:rate=1:duration=3 -vf "select=eq(n\,$t)" -frames:v 1 "$tmp/frame$t.png"; done
cwebp -quiet -q 30 "$tmp/image.png" -o lossy.webp
cwebp -quiet -lossless "$tmp/image.png" -o lossless.webp
cwebp -quiet -q 30 -alpha_q 50 "$tmp/alpha.png" -o alpha.webp
img2webp -loop 2 -d 200 -lossy -q 20 "$tmp/frame0.png" -d 300 -lossless "$tmp/frame1.png" -lossy "$tmp/frame2.png" \
  -o animated.webp >/dev/null
printf 'Exif\0\0MM\0*\0\0\0\10\0\0\0\0\0\0' > "$tmp/exif.bin"
printf '<x:xmpmeta xmlns:x="adobe:ns:meta/"/>' > "$tmp/xmp.xml"
head -c 132 /dev/zero > "$tmp/icc.icc"
webpmux -set icc "$tmp/icc.icc" lossy.webp -o "$tmp/icc.webp" >/dev/null
webpmux -set exif "$tmp/exif.bin" "$tmp/icc.webp" -o "$tmp/exif.webp" >/dev/null
webpmux -set xmp "$tmp/xmp.xml" "$tmp/exif.webp" -o metadata.webp >/dev/null

# Broken copies:
# - truncated.avi: mpeg4-mp3.avi cut in the middle of movi;
# - corrupt-junk.avi: 200 bytes of junk over frames in the middle of movi;
# - truncated.wav: ffmpeg-bext.wav cut inside data;
# - corrupt-size.webp: lossy.webp whose VP8 chunk claims more than the file holds;
# - truncated.aiff: sox.aiff cut inside SSND.
python3 - <<'PY'
data = open("mpeg4-mp3.avi", "rb").read()
movi = data.find(b"movi")
idx1 = data.find(b"idx1")
open("truncated.avi", "wb").write(data[: (movi + idx1) // 2])
junk = bytearray(data)
start = (movi + idx1) // 2
junk[start:start + 200] = bytes((i * 37 + 11) & 0xFF for i in range(200))
open("corrupt-junk.avi", "wb").write(bytes(junk))
wav = open("ffmpeg-bext.wav", "rb").read()
open("truncated.wav", "wb").write(wav[: len(wav) - 1001])
webp = bytearray(open("lossy.webp", "rb").read())
webp[16:20] = (len(webp) * 3).to_bytes(4, "little")
open("corrupt-size.webp", "wb").write(bytes(webp))
aiff = open("sox.aiff", "rb").read()
open("truncated.aiff", "wb").write(aiff[: len(aiff) - 501])
PY

for f in mpeg4-mp3.avi pcm-6ch.avi gstreamer.avi odml.avi ffmpeg-bext.wav rf64.wav float.wav gstreamer.wav sox-3ch.wav \
  mp3.wav sox.aiff sox.aifc ffmpeg.aiff lossy.webp lossless.webp alpha.webp animated.webp metadata.webp; do
  python3 riff-walk.py "$f" > "$f.chunks.csv"
done
for f in mpeg4-mp3.avi pcm-6ch.avi gstreamer.avi odml.avi; do
  ffprobe -v error -show_entries packet=stream_index,size,pos,flags -of csv=p=0 "$f" > "$f.packets"
done
