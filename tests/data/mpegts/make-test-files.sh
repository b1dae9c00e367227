#!/bin/sh
# Makes the MPEG transport stream test files and their expected values.
# Needs (only here, never when the tests run): ffmpeg, ffprobe, gst-launch-1.0 with
# gstreamer1.0-plugins-base/-good/-bad (mpegtsmux, openh264enc, opusenc), python3.
# Expected values, the independent witness of ffprobe for every file it reads whole:
#   <file>.packets       "stream_index,pts,dts,pos" for each packet ffprobe reads (pos N/A for
#                        frames an audio parser split off a PES packet)
#   <file>.streams.json  ffprobe's programs (PMT PID, PCR PID, service names from the SDT) with their
#                        streams (PID, codec, type)
set -eu
cd "$(dirname "$0")"
export LC_ALL=C

ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
video="-f lavfi -i testsrc=size=64x48:rate=10:duration=1"
video2="-f lavfi -i testsrc2=size=64x48:rate=10:duration=1"
tone="-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1"
tone2="-f lavfi -i sine=frequency=880:sample_rate=48000:duration=1"
x264="-c:v libx264 -preset ultrafast -pix_fmt yuv420p -b:v 20k -g 5"

# ffmpeg: two programs (H.264 with B-frames and AAC; MPEG-2 video and MPEG-1 audio), SDT and NIT.
$ff $video $tone $video2 $tone2 -map 0 -map 1 -map 2 -map 3 \
  -c:v:0 libx264 -preset ultrafast -pix_fmt yuv420p -b:v:0 20k -g 5 -bf 2 -c:v:1 mpeg2video -b:v:1 30k \
  -c:a:0 aac -b:a:0 16k -c:a:1 mp2 -b:a:1 64k -mpegts_flags +nit \
  -program title=One:st=0:st=1 -program title=Two:st=2:st=3 ffmpeg-programs.ts
# ffmpeg: M2TS (192-byte packets with TP_extra_header), H.264 and AC-3.
$ff $video $tone $x264 -c:a ac3 -b:a 64k -mpegts_m2ts_mode 1 ffmpeg.m2ts
# GStreamer: H.264 and Opus (a private stream with registration and extension descriptors).
gst-launch-1.0 -q -e mpegtsmux name=m ! filesink location=gstreamer.ts \
  videotestsrc num-buffers=10 pattern=ball ! video/x-raw,width=64,height=48,framerate=10/1 ! \
    openh264enc bitrate=64000 ! h264parse ! m. \
  audiotestsrc num-buffers=25 samplesperbuffer=960 ! audio/x-raw,rate=48000,channels=1 ! opusenc bitrate=16000 ! m.

# The project's own multiplexer for DVB and ATSC service information (see make-si-streams.py).
tmp=$(mktemp -d)
$ff -f lavfi -i testsrc=size=64x48:rate=25:duration=1 -c:v mpeg2video -bf 2 -g 12 -b:v 80k -f mpeg2video "$tmp/v.m2v"
$ff $tone -c:a mp2 -b:a 64k -f mp2 "$tmp/a.mp2"
$ff -f lavfi -i sine=frequency=660:sample_rate=48000:duration=1 -c:a ac3 -b:a 64k -f ac3 "$tmp/a.ac3"
python3 make-si-streams.py "$tmp/v.m2v" "$tmp/a.mp2" "$tmp/a.ac3"
rm -r "$tmp"

# Damaged copies of the first 100 packets of the two-program file:
# - truncated.ts: cut inside packet 60;
# - bad-sync.ts: the sync byte of packet 12 destroyed: that packet becomes GARBAGE;
# - junk.ts: 300 bytes without a sync byte inserted after packet 20;
# - cut-stretch.ts: the bytes from inside packet 30 to inside packet 37 cut out: sync is lost,
#   found again, and the continuity counters jump;
# - continuity.ts: one packet of the H.264 PID removed (a counter jump without loss of sync) and
#   one packet of the MPEG-2 video PID sent twice (a duplicate).
python3 - <<'PY'
data = open("ffmpeg-programs.ts", "rb").read()[:100 * 188]
packets = [data[i:i + 188] for i in range(0, len(data), 188)]
pid = lambda p: ((p[1] & 0x1F) << 8) | p[2]
start = lambda p: bool(p[1] & 0x40)
open("truncated.ts", "wb").write(data[:60 * 188 + 77])
damaged = bytearray(data)
damaged[12 * 188] = 0x00
open("bad-sync.ts", "wb").write(damaged)
junk = bytes((i * 7 + 1) % 256 for i in range(300)).replace(b"\x47", b"\x48")
open("junk.ts", "wb").write(data[:21 * 188] + junk + data[21 * 188:])
open("cut-stretch.ts", "wb").write(data[:30 * 188 + 50] + data[37 * 188 + 120:])
dropped = next(i for i, p in enumerate(packets) if i > 40 and pid(p) == 0x100 and not start(p))
doubled = next(i for i, p in enumerate(packets) if i > 60 and pid(p) == 0x102 and not start(p))
out = []
for i, p in enumerate(packets):
    if i == dropped:
        continue
    out.append(p)
    if i == doubled:
        out.append(p)
open("continuity.ts", "wb").write(b"".join(out))
print("continuity.ts: dropped packet", dropped, "doubled packet", doubled)
PY

for f in ffmpeg-programs.ts ffmpeg.m2ts gstreamer.ts dvb.ts dvb-204.ts atsc.ts; do
  ffprobe -v error -show_entries packet=stream_index,pos,pts,dts -of csv=p=0 "$f" | grep -v '^$' > "$f.packets"
  ffprobe -v error -show_entries "program=program_num,pmt_pid,pcr_pid:program_tags=service_name,service_provider:\
stream=index,id,codec_name,codec_type:program_stream_disposition=:program_stream_tags=" -of json "$f" > "$f.streams.json"
done
ls -l
