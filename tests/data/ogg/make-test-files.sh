#!/bin/sh
# Makes the Ogg test files and their expected values.
# Needs (only here, never when the tests run): ffmpeg/ffprobe (libvorbis, libopus, libspeex),
# oggenc (vorbis-tools), opusenc (opus-tools), gst-launch-1.0 (theoraenc, vorbisenc, oggmux),
# python3.
# Expected values, each an independent witness:
#   <file>.pages.csv  every page as ogg-walk.py finds it on its own, with its own CRC check:
#                     "offset,size,serial,sequence,granule,flags,crc";
#   <file>.packets    ffprobe's packets as "stream,size,pos" lines (pos: the page the packet
#                     starts on, as ffmpeg reports it);
#   <file>.streams.csv ffprobe's streams as "index,codec,start_pts,duration_ts".
set -eu
cd "$(dirname "$0")"
export LC_ALL=C

ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
tone="-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ffmpeg's Ogg muxer: Vorbis, Opus, FLAC and Speex. The Vorbis file gets small pages, so that
# its setup header and some audio packets continue from page to page.
$ff $tone -c:a libvorbis -q:a 0 -oggpagesize 1000 -page_duration 100000 ffmpeg-vorbis.ogg
$ff $tone -c:a libopus -b:a 16k ffmpeg-opus.opus
$ff -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=0.5" -c:a flac ffmpeg-flac.oga
$ff -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=1" -c:a libspeex speex.spx

# The reference encoders, from a WAVE file; opusenc with a cover picture (METADATA_BLOCK_PICTURE).
$ff -f lavfi -i "sine=frequency=660:sample_rate=16000:duration=1" -ac 2 "$tmp/tone.wav"
$ff -f lavfi -i color=c=red:size=8x8 -frames:v 1 "$tmp/cover.png"
oggenc -Q -q 0 --serial 1234 -t "Test tone" -a Corvanta -o oggenc.ogg "$tmp/tone.wav"
opusenc --quiet --bitrate 12 --serial 5678 --title "Test tone" --picture "3||cover|8x8x24|$tmp/cover.png" \
  "$tmp/tone.wav" opusenc.opus

# The Vorbis file with its setup header continued over several pages, written by repage.py.
python3 repage.py ffmpeg-vorbis.ogg repaged.ogg

# A chained file: two streams one after the other.
cat oggenc.ogg ffmpeg-opus.opus > chained.ogg

# GStreamer's muxer with Theora video and Vorbis audio, grouped (interleaved pages).
gst-launch-1.0 -q oggmux name=mux ! filesink location=gstreamer-theora.ogv \
  videotestsrc num-buffers=8 ! video/x-raw,width=32,height=24,framerate=8/1 ! theoraenc ! mux. \
  audiotestsrc num-buffers=8 samplesperbuffer=1000 ! audio/x-raw,rate=8000,channels=1 ! audioconvert \
  ! vorbisenc quality=0 ! mux.

# Broken copies of ffmpeg-vorbis.ogg:
# - truncated.ogg: cut in the middle of its last audio page;
# - corrupt-crc.ogg: one payload byte of the seventh page changed (its CRC no longer checks);
# - corrupt-junk.ogg: 200 bytes of junk over the start of the seventh page (capture pattern lost);
# - lost-page.ogg: the seventh page taken out (the sequence numbers skip).
python3 - <<'PY'
data = open("ffmpeg-vorbis.ogg", "rb").read()
pages = []
pos = 0
while pos < len(data):
    count = data[pos + 26]
    size = 27 + count + sum(data[pos + 27:pos + 27 + count])
    pages.append((pos, size))
    pos += size
open("truncated.ogg", "wb").write(data[: pages[-1][0] + pages[-1][1] // 2])
bad = bytearray(data)
bad[pages[6][0] + 100] ^= 0x5A
open("corrupt-crc.ogg", "wb").write(bytes(bad))
junk = bytearray(data)
start = pages[6][0]
junk[start:start + 200] = bytes((i * 37 + 11) & 0xFF for i in range(200))
open("corrupt-junk.ogg", "wb").write(bytes(junk))
open("lost-page.ogg", "wb").write(data[: pages[6][0]] + data[pages[6][0] + pages[6][1]:])
PY

for f in ffmpeg-vorbis.ogg repaged.ogg ffmpeg-opus.opus ffmpeg-flac.oga speex.spx oggenc.ogg opusenc.opus chained.ogg \
         gstreamer-theora.ogv truncated.ogg corrupt-crc.ogg corrupt-junk.ogg lost-page.ogg; do
  python3 ogg-walk.py "$f" > "$f.pages.csv"
done
for f in ffmpeg-vorbis.ogg repaged.ogg ffmpeg-opus.opus ffmpeg-flac.oga speex.spx oggenc.ogg opusenc.opus gstreamer-theora.ogv; do
  ffprobe -v error -show_entries packet=stream_index,size,pos -of csv=p=0 "$f" > "$f.packets"
  ffprobe -v error -show_entries stream=index,codec_name,start_pts,duration_ts -of csv=p=0 "$f" > "$f.streams.csv"
done
