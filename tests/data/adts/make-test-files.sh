#!/bin/sh
# Makes the ADTS test files and their expected values.
# Needs (only here, never when the tests run): ffmpeg, ffprobe, id3v2.
# Expected values: <file>.packets, ffprobe's packets as "stream,size,pos" lines (each an ADTS
# frame, header included).
set -eu
cd "$(dirname "$0")"
export LC_ALL=C.UTF-8

ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
# ffmpeg's AAC encoder: LC mono at 22050 Hz, LC stereo at 48000 Hz, and an ID3v2 tag before the
# frames written by id3v2.
$ff -f lavfi -i sine=frequency=440:sample_rate=22050:duration=0.5 -c:a aac -b:a 24k -f adts mono-lc.aac
$ff -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.3 -ac 2 -c:a aac -b:a 48k -f adts stereo-lc.aac
cp mono-lc.aac id3-tagged.aac
id3v2 -2 -t "Tagged" -a "Corvanta" id3-tagged.aac

# Broken copies of mono-lc.aac: cut in the middle of a frame; 120 bytes of junk in the middle.
/usr/bin/python3 - <<'PY'
data = open("mono-lc.aac", "rb").read()
open("truncated.aac", "wb").write(data[: len(data) * 2 // 3 + 3])
bad = bytearray(data)
start = len(bad) // 2
bad[start:start + 120] = bytes((i * 53 + 7) & 0x7F for i in range(120))
open("corrupt.aac", "wb").write(bytes(bad))
PY

for f in mono-lc.aac stereo-lc.aac id3-tagged.aac; do
  ffprobe -v error -show_entries packet=stream_index,size,pos -of csv=p=0 "$f" > "$f.packets"
done
