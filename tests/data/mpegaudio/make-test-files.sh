#!/bin/sh
# Makes the MPEG audio test files and their expected values.
# Needs (only here, never when the tests run): ffmpeg, ffprobe, lame, id3v2, eyeD3, mid3v2 and
# Debian's python3-mutagen (/usr/bin/python3).
# Expected values, each an independent witness:
#   <file>.packets  ffprobe's packets as "stream,size,pos" lines (the frames, without tags;
#                   not for lyrics3.mp3, whose tag ffprobe takes for a packet;
#                   ffprobe counts the Xing/Info frame as no packet);
#   <file>.tags.txt the tagging tools' own listings (id3v2 -l, eyeD3, mid3v2 --list).
set -eu
cd "$(dirname "$0")"
export LC_ALL=C.UTF-8

sine="-f lavfi -i sine=frequency=440:sample_rate=22050:duration=0.5"
ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
py=/usr/bin/python3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ffmpeg: libmp3lame CBR (an Info header, no ID3 with -bitexact -id3v2_version 0), mp2 (Layer II)
# and Layer III at 8000 Hz (MPEG-2.5).
$ff $sine -c:a libmp3lame -b:a 32k -id3v2_version 0 ffmpeg-cbr.mp3
$ff $sine -c:a mp2 -b:a 64k ffmpeg-layer2.mp2
$ff -f lavfi -i sine=frequency=440:sample_rate=8000:duration=1 -c:a libmp3lame -b:a 8k -id3v2_version 0 mpeg25.mp3

# lame: VBR with a Xing and LAME header and an ID3v2.3 tag plus ID3v1.1 (--add-id3v2 writes both).
$ff $sine -ac 1 "$tmp/sine.wav"
lame --quiet -V 9 --add-id3v2 --tt "Sine" --ta "Corvanta" --tl "Tests" --ty 2024 --tn 3 --tg Blues \
  "$tmp/sine.wav" lame-vbr.mp3
# lame with CRCs on every frame.
lame --quiet -b 32 -p --noreplaygain -t "$tmp/sine.wav" lame-crc.mp3

# Tags written by the tagging tools on a copy of ffmpeg-cbr.mp3:
# - id3v23.mp3: id3v2 (id3lib) writes ID3v2.3 text frames, a comment and an ID3v1.1 tag;
# - id3v24-picture.mp3: eyeD3 writes ID3v2.4 with a front cover picture, a comment, lyrics and
#   a user text frame;
# - id3v24-chapters.mp3: mutagen writes ID3v2.4 chapters (CHAP, CTOC), a private frame, a
#   unique file identifier and an object (GEOB);
# - ape.mp3: mutagen appends an APEv2 tag, id3v2 -1 an ID3v1 tag after it.
printf '\211PNG\r\n\032\n\000\000\000\rIHDR\000\000\000\001\000\000\000\001\010\000\000\000\000:~\233U\000\000\000\nIDATx\234c\370\017\000\001\001\001\000\030\335\215\260\000\000\000\000IEND\256B`\202' > "$tmp/cover.png"
cp ffmpeg-cbr.mp3 id3v23.mp3
id3v2 -2 -a "Corvanta" -A "Tests" -t "Tone" -y 2023 -T 1/2 -g 0 -c "a comment" id3v23.mp3
id3v2 -1 -a "Corvanta" -A "Tests" -t "Tone" -y 2023 -T 1 -g 8 id3v23.mp3
cp ffmpeg-cbr.mp3 id3v24-picture.mp3
printf 'la la la\n' > "$tmp/lyrics.txt"
eyeD3 --quiet --to-v2.4 -a "Corvanta" -t "Picture" --add-comment "a comment:cmt:eng" --user-text-frame "KEY:value" \
  --add-lyrics "$tmp/lyrics.txt:lyr:eng" --add-image "$tmp/cover.png:FRONT_COVER:cover" id3v24-picture.mp3 >/dev/null
cp ffmpeg-cbr.mp3 id3v24-chapters.mp3
$py - id3v24-chapters.mp3 <<'PY'
import sys
from mutagen.id3 import ID3, CHAP, CTOC, TIT2, PRIV, UFID, GEOB, TDRC, CTOCFlags
tags = ID3()
tags.add(TIT2(encoding=3, text=["Chapters"]))
tags.add(TDRC(encoding=3, text=["2024-05-06T07:08"]))
tags.add(CHAP(element_id="ch0", start_time=0, end_time=500, sub_frames=[TIT2(encoding=3, text=["First"])]))
tags.add(CHAP(element_id="ch1", start_time=500, end_time=1000, sub_frames=[TIT2(encoding=1, text=["Second"])]))
tags.add(CTOC(element_id="toc", flags=CTOCFlags.TOP_LEVEL | CTOCFlags.ORDERED, child_element_ids=["ch0", "ch1"],
              sub_frames=[TIT2(encoding=0, text=["Contents"])]))
tags.add(PRIV(owner="corvanta.test", data=b"\x01\x02\x03"))
tags.add(UFID(owner="http://example.org", data=b"id-42"))
tags.add(GEOB(encoding=0, mime="text/plain", filename="a.txt", desc="object", data=b"hello"))
tags.save(sys.argv[1], v2_version=4, padding=lambda info: 64)
PY
cp ffmpeg-cbr.mp3 ape.mp3
$py - ape.mp3 <<'PY'
import sys
from mutagen.apev2 import APEv2
tag = APEv2()
tag["Title"] = "Ape"
tag["Artist"] = "Corvanta"
tag["Cover Art (Front)"] = b"cover.png\x00" + b"\x89PNG"
tag.save(sys.argv[1])
PY
id3v2 -1 -t "Ape" ape.mp3

# Lyrics3v2 before an ID3v1 tag, written from the format's public description (no Debian tool
# writes it): "LYRICSBEGIN", fields of a 3-letter id and a 5-digit size, a 6-digit size of
# all that and "LYRICS200".
$py - ffmpeg-cbr.mp3 lyrics3.mp3 <<'PY'
import sys
audio = open(sys.argv[1], "rb").read()
fields = b"IND00002" + b"10" + b"LYR00011" + b"[00:01]la l" + b"ETT00004" + b"Tone"
body = b"LYRICSBEGIN" + fields
v1 = b"TAG" + b"Tone".ljust(30, b"\0") + b"Corvanta".ljust(30, b"\0") + b"Tests".ljust(30, b"\0") + b"2023" \
    + b"comment".ljust(28, b"\0") + b"\0\x05" + bytes([13])
open(sys.argv[2], "wb").write(audio + body + b"%06d" % len(body) + b"LYRICS200" + v1)
PY

# Broken copies:
# - junk-before.mp3: 700 bytes that hold no frame header pair, then lame-crc.mp3;
# - truncated.mp3: lame-vbr.mp3 cut in the middle of a frame (its ID3v1 tag is lost);
# - corrupt.mp3: 200 bytes in the middle of ffmpeg-cbr.mp3 overwritten.
$py - <<'PY'
cbr = open("ffmpeg-cbr.mp3", "rb").read()
crc = open("lame-crc.mp3", "rb").read()
vbr = open("lame-vbr.mp3", "rb").read()
junk = bytes((i * 37 + 11) & 0x7F for i in range(700))
open("junk-before.mp3", "wb").write(junk + crc)
open("truncated.mp3", "wb").write(vbr[: len(vbr) * 2 // 3 + 20])
bad = bytearray(cbr)
start = len(bad) // 2
bad[start:start + 200] = bytes((i * 53 + 7) & 0x7F for i in range(200))
open("corrupt.mp3", "wb").write(bytes(bad))
PY

for f in ffmpeg-cbr.mp3 ffmpeg-layer2.mp2 mpeg25.mp3 lame-vbr.mp3 lame-crc.mp3 id3v23.mp3 id3v24-picture.mp3 \
         id3v24-chapters.mp3 ape.mp3 junk-before.mp3; do
  ffprobe -v error -show_entries packet=stream_index,size,pos -of csv=p=0 "$f" > "$f.packets"
done
for f in lame-vbr.mp3 id3v23.mp3 id3v24-picture.mp3 id3v24-chapters.mp3 ape.mp3 lyrics3.mp3; do
  { echo "== id3v2 -l"; id3v2 -l "$f" || true
    echo "== eyeD3 --no-color -v"; eyeD3 --no-color -v "$f" 2>&1 | grep -v '^/' || true
    echo "== mid3v2 --list-raw"; mid3v2 --list-raw "$f" || true; } > "$f.tags.txt" 2>&1
done
# The APE tag as mutagen reads it back.
$py - ape.mp3 >> ape.mp3.tags.txt <<'PY'
import sys
from mutagen.apev2 import APEv2
print("== mutagen APEv2")
for key, value in APEv2(sys.argv[1]).items():
    print(f"{key}: {value.kind} {len(bytes(value))} bytes")
PY
