#!/bin/sh
# Makes the AC-3 and E-AC-3 test files and their expected values.
# Needs (only here, never when the tests run): ffmpeg, ffprobe.
# Expected values: <file>.packets, ffprobe's packets as "stream,size,pos" lines (each a sync
# frame). The CRCs in every frame are ffmpeg's, checked by the parser.
set -eu
cd "$(dirname "$0")"
export LC_ALL=C.UTF-8

ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
# AC-3 stereo at 48 kHz, AC-3 5.1 at 44.1 kHz (frame sizes alternate with the padding word),
# E-AC-3 stereo at 48 kHz.
$ff -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.25 -ac 2 -c:a ac3 -b:a 96k -f ac3 stereo.ac3
$ff -f lavfi -i sine=frequency=440:sample_rate=44100:duration=0.25 -af "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0" \
  -c:a ac3 -b:a 192k -f ac3 surround-44k.ac3
$ff -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.25 -ac 2 -c:a eac3 -b:a 96k -f eac3 stereo.eac3

# Broken copies of stereo.ac3: cut in the middle of a frame; one byte of a frame's audio changed
# (its CRC then fails, the frames stay).
/usr/bin/python3 - <<'PY'
data = open("stereo.ac3", "rb").read()
open("truncated.ac3", "wb").write(data[: len(data) * 2 // 3 + 7])
bad = bytearray(data)
bad[len(bad) // 2 + 100] ^= 0x55
open("corrupt-crc.ac3", "wb").write(bytes(bad))
PY

for f in stereo.ac3 surround-44k.ac3 stereo.eac3; do
  ffprobe -v error -show_entries packet=stream_index,size,pos -of csv=p=0 "$f" > "$f.packets"
done
