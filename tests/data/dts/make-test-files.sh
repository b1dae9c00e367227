#!/bin/sh
# Makes the DTS test files and their expected values.
# Needs (only here, never when the tests run): ffmpeg, ffprobe.
# Expected values: <file>.packets, ffprobe's packets as "stream,size,pos" lines (each a core
# frame).
set -eu
cd "$(dirname "$0")"
export LC_ALL=C.UTF-8

ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
# ffmpeg's DTS encoder (experimental): stereo and 5.1 at 48 kHz.
$ff -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.2 -ac 2 -c:a dca -strict -2 -b:a 384k -f dts stereo.dts
$ff -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.2 -af "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0" \
  -c:a dca -strict -2 -b:a 768k -f dts surround.dts

# A DTS-HD-like stream: each core frame of stereo.dts followed by an extension substream of 64
# bytes, written from the substream header's public layout: SYNCEXTSSH 0x64582025,
# UserDefinedBits 0x00, nExtSSIndex 0, bHeaderSizeType 0, nuExtSSHeaderSize 15 (16 bytes),
# nuExtSSFsize 63 (64 bytes), bStaticFieldsPresent 0, zero bits up to the end.
/usr/bin/python3 - <<'PY'
data = open("stereo.dts", "rb").read()
out = bytearray()
pos = 0
while pos + 8 <= len(data):
    size = ((data[pos + 5] & 3) << 12 | data[pos + 6] << 4 | data[pos + 7] >> 4) + 1
    out += data[pos:pos + size]
    # 40 bits after UserDefinedBits: index 00, type 0, header size 8 bits, frame size 16 bits,
    # static fields 0, then zeros.
    bits = (0 << 38) | (0 << 37) | (15 << 29) | (63 << 13)
    out += bytes.fromhex("64582025") + b"\x00" + bits.to_bytes(5, "big") + bytes(64 - 10)
    pos += size
open("substreams.dts", "wb").write(bytes(out))
open("truncated.dts", "wb").write(data[: len(data) * 2 // 3 + 11])
PY

for f in stereo.dts surround.dts; do
  ffprobe -v error -show_entries packet=stream_index,size,pos -of csv=p=0 "$f" > "$f.packets"
done
