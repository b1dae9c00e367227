#!/bin/sh
# Makes the FLAC test files and their expected values.
# Needs (only here, never when the tests run): ffmpeg/ffprobe, flac and metaflac, id3v2, python3.
# Expected values, each an independent witness:
#   <file>.frames.csv the frames as `flac -a` analyses them, one line per frame:
#                     "offset,bytes,blocksize,channel_assignment,subframes" with the subframes
#                     as "type/order/wasted_bits" joined by ';' (order 0 for CONSTANT and VERBATIM);
#   <file>.packets    ffprobe's packets as "stream,size,pos" lines.
set -eu
cd "$(dirname "$0")"
export LC_ALL=C

ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ffmpeg's encoder: stereo, two tones with a little noise (LPC subframes, stereo decorrelation).
$ff -f lavfi -i "aevalsrc=0.5*sin(2*PI*440*t)+0.002*(random(0)-0.5)|0.4*sin(2*PI*550*t):s=8000:d=0.6" \
  -c:a flac ffmpeg.flac

# The reference encoder: 24-bit samples made from 16-bit ones (8 wasted bits), with a cover
# picture, a seek table and padding; metaflac adds tags afterwards.
$ff -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=1" -c:a pcm_s24le "$tmp/tone24.wav"
$ff -f lavfi -i color=c=blue:size=8x8 -frames:v 1 "$tmp/cover.png"
flac -s -f --picture="3|image/png|cover|8x8x24|$tmp/cover.png" -S 4x --padding=64 -o picture-seektable.flac \
  "$tmp/tone24.wav" 2>/dev/null
metaflac --set-tag="TITLE=Test tone" --set-tag="ARTIST=Corvanta" picture-seektable.flac

# Silence and a tone at 44.1 kHz (CONSTANT, FIXED and LPC subframes), with the WAVE file's LIST
# chunk kept in APPLICATION blocks and a cue sheet.
$ff -f lavfi -i "aevalsrc=if(lt(t\,0.3)\,0\,0.3*sin(2*PI*440*t)):s=44100:d=0.5" \
  -ac 2 -c:a pcm_s16le -map_metadata -1 -metadata title=cue "$tmp/cue.wav"
flac -s -f --padding=64 --keep-foreign-metadata -o cuesheet.flac "$tmp/cue.wav"
cat > "$tmp/cue.cue" <<'CUE'
FILE "cue.wav" WAVE
  TRACK 01 AUDIO
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    INDEX 00 00:00:20
    INDEX 01 00:00:30
CUE
metaflac --import-cuesheet-from="$tmp/cue.cue" cuesheet.flac

# White noise in blocks of 16 samples: VERBATIM subframes, the 8-bit block size code.
$ff -f lavfi -i "aevalsrc=random(0)-0.5:s=8000:d=0.05" -c:a pcm_s16le "$tmp/noise.wav"
flac -s -f --padding=64 -b 16 -o verbatim-noise.flac "$tmp/noise.wav" 2>/dev/null

# An ID3v2 tag before the fLaC marker, as some taggers write it.
cp ffmpeg.flac id3v2-before.flac
id3v2 -2 -t "Tagged" id3v2-before.flac >/dev/null

# Broken copies of ffmpeg.flac:
# - truncated.flac: cut in the middle of a frame;
# - corrupt-crc.flac: one byte in the middle of the third frame changed (its CRC-16 fails);
# - corrupt-junk.flac: 300 bytes of junk from the middle of the second frame on; the walk
#   resumes at the next frame header that checks.
python3 flac-frames.py ffmpeg.flac > ffmpeg.flac.frames.csv
python3 - <<'PY'
data = open("ffmpeg.flac", "rb").read()
frames = [[int(v) for v in line.split(",")[:2]] for line in open("ffmpeg.flac.frames.csv")]
open("truncated.flac", "wb").write(data[: frames[-2][0] + frames[-2][1] // 2])
bad = bytearray(data)
bad[frames[2][0] + frames[2][1] // 2] ^= 0x5A
open("corrupt-crc.flac", "wb").write(bytes(bad))
junk = bytearray(data)
start = frames[1][0] + frames[1][1] // 2
junk[start:start + 300] = bytes((i * 37 + 11) & 0xFF for i in range(300))
open("corrupt-junk.flac", "wb").write(bytes(junk))
PY

for f in picture-seektable.flac cuesheet.flac verbatim-noise.flac; do
  python3 flac-frames.py "$f" > "$f.frames.csv"
done
for f in ffmpeg.flac picture-seektable.flac cuesheet.flac verbatim-noise.flac id3v2-before.flac; do
  ffprobe -v error -show_entries packet=stream_index,size,pos -of csv=p=0 "$f" > "$f.packets"
done
