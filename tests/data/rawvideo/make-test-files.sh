#!/bin/sh
# Makes the raw video stream test files (H.264 and H.265 byte streams, AV1 OBU streams, IVF with
# VP8, VP9 and AV1) and the byte-stream video of transport and program streams, then their
# witnesses with ../make-frame-traces.sh. Needs (only here, never when the tests run): ffmpeg
# with libx264, libx265, libaom and libvpx, ffprobe, python3.
set -eu
cd "$(dirname "$0")"
export LC_ALL=C

ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
small="-f lavfi -i testsrc=size=64x48:rate=10:duration=1"
x264="-c:v libx264 -preset ultrafast -pix_fmt yuv420p -b:v 30k -g 5 -bf 2"
x265="-c:v libx265 -preset ultrafast -pix_fmt yuv420p -x265-params log-level=none:info=0:bframes=2:keyint=5:min-keyint=5"
aom="-c:v libaom-av1 -cpu-used 8 -usage realtime -b:v 30k -g 5"

# H.264 with B-frames, and H.265 whose parameter sets hold emulation prevention bytes (the zero
# runs of profile_tier_level).
$ff $small $x264 -f h264 h264-bframes.264
$ff $small $x265 -f hevc hevc-bframes.265
# H.264 whose SEI has emulation prevention bytes between fields as well as inside them: after the
# first PPS, user data unregistered with a UUID that ends in two zero bytes and a text that starts
# with 0x01 (escaped between the two fields), then zeros inside the text (escaped inside it).
python3 - h264-bframes.264 h264-emulation.264 <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
def escaped(rbsp):
    out, zeros = bytearray(), 0
    for b in rbsp:
        if zeros >= 2 and b <= 3:
            out.append(3)
            zeros = 0
        out.append(b)
        zeros = zeros + 1 if b == 0 else 0
    return bytes(out)
uuid = bytes.fromhex('a1b2c3d4e5f60718293a4b5c5d6e0000')
text = b'\x01corvanta\x00\x00\x00\x02end'
payload = uuid + text
sei = bytes([0x06, 5, len(payload)]) + payload + bytes([0x80])
pps = data.find(b'\x00\x00\x00\x01\x68')
after_pps = data.find(b'\x00\x00\x00\x01', pps + 4)
open(sys.argv[2], 'wb').write(data[:after_pps] + b'\x00\x00\x00\x01' + escaped(sei) + data[after_pps:])
PY
$ff $small $aom -f obu av1.obu
$ff $small -c:v libvpx -b:v 30k -g 5 -f ivf vp8.ivf
$ff $small -c:v libvpx-vp9 -b:v 30k -g 5 -deadline realtime -cpu-used 8 -f ivf vp9.ivf
$ff $small $aom -f ivf av1.ivf

# The same byte streams in a transport stream and a program stream.
$ff $small $x264 ../mpegts/h264-bframes.ts
$ff $small $x265 ../mpegts/hevc-bframes.ts
# Two seconds: ffprobe gives the position of only the first picture of each PES packet.
$ff -f lavfi -i testsrc=size=64x48:rate=10:duration=2 $x264 -f vob ../mpegps/h264.mpg
# The transport stream with random_access_indicator set in the packet that starts the first P
# frame's PES packet (packet 21, whose adaptation field carries only a PCR).
python3 - ../mpegts/h264-bframes.ts ../mpegts/rai-on-p-frame.ts <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
packet = 21 * 188
assert data[packet] == 0x47 and data[packet + 1] & 0x40 and data[packet + 3] & 0x20, 'not a PUSI packet with an adaptation field'
assert not data[packet + 5] & 0x40, 'random_access_indicator already set'
data[packet + 5] |= 0x40
open(sys.argv[2], 'wb').write(data)
PY
# And the reverse: random_access_indicator cleared in the packet that starts the second IDR
# picture's PES packet (packet 39), while the first IDR's packet keeps it.
python3 - ../mpegts/h264-bframes.ts ../mpegts/rai-missing-on-idr.ts <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
packet = 39 * 188
assert data[packet] == 0x47 and data[packet + 1] & 0x40 and data[packet + 3] & 0x20, 'not a PUSI packet with an adaptation field'
assert data[packet + 5] & 0x40 and data[3 * 188 + 5] & 0x40, 'random_access_indicator not set on both IDR packets'
data[packet + 5] &= ~0x40
open(sys.argv[2], 'wb').write(data)
PY

# An MP4 whose sync sample table claims a P frame: the second stss entry (frame 6, the second
# IDR of -g 5) is changed to frame 4.
$ff $small -c:v libx264 -preset ultrafast -pix_fmt yuv420p -b:v 30k -g 5 -bf 0 ../isobmff/stss-non-idr.mp4
python3 - ../isobmff/stss-non-idr.mp4 <<'PY'
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, 'rb').read())
at = data.find(b'stss')
count = struct.unpack('>I', data[at + 8:at + 12])[0]
entries = [struct.unpack('>I', data[at + 12 + 4 * i:at + 16 + 4 * i])[0] for i in range(count)]
assert entries[:2] == [1, 6], entries
struct.pack_into('>I', data, at + 16, 4)
open(path, 'wb').write(data)
PY

../make-frame-traces.sh ../isobmff/stss-non-idr.mp4 h264-bframes.264 h264-emulation.264 hevc-bframes.265 av1.obu vp9.ivf av1.ivf vp8.ivf \
  ../mpegts/h264-bframes.ts ../mpegts/hevc-bframes.ts ../mpegps/h264.mpg
