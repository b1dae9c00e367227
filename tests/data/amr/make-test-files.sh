#!/bin/sh
# Makes the AMR test files and their expected values. No encoder of this Debian writes AMR, so
# the files are written here from the storage format's public description (RFC 4867, section 5):
# a magic number, then frames of a header byte "P FT(4) Q P P" (P padding, zero; FT the frame
# type; Q the quality bit) and as many bytes of speech bits as the frame type's mode needs:
#   AMR:    FT 7 (12.2 kbit/s) 31 bytes, header 0x3C; FT 8 (SID) 5 bytes, 0x44; FT 15 (no data)
#           0 bytes, 0x7C; FT 0 (4.75 kbit/s) 12 bytes, 0x04;
#   AMR-WB: FT 8 (23.85 kbit/s) 60 bytes, 0x44; FT 2 (12.65 kbit/s) 32 bytes, 0x14; FT 9 (SID)
#           5 bytes, 0x4C; FT 15 (no data) 0 bytes, 0x7C.
# The speech bits are a fixed pseudo-random pattern (they decode to noise).
# Needs (only here): python3, ffprobe.
# Expected values: <file>.packets, ffprobe's packets as "stream,size,pos" lines (each a frame,
# found by ffmpeg's own AMR demuxer from the same tables).
set -eu
cd "$(dirname "$0")"
export LC_ALL=C.UTF-8

/usr/bin/python3 - <<'PY'
state = 1
def speech(n):
    global state
    out = bytearray()
    for _ in range(n):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append(state >> 16 & 0xFF)
    return bytes(out)

nb = {7: (31, 0x3C), 8: (5, 0x44), 15: (0, 0x7C), 0: (12, 0x04)}
wb = {8: (60, 0x44), 2: (32, 0x14), 9: (5, 0x4C), 15: (0, 0x7C)}
def frames(table, types):
    return b"".join(bytes([table[t][1]]) + speech(table[t][0]) for t in types)

nb_types = [7] * 10 + [8] + [15] * 3 + [0] * 4 + [7] * 6
wb_types = [8] * 8 + [2] * 4 + [9] + [15] * 2 + [8] * 5
open("narrowband.amr", "wb").write(b"#!AMR\n" + frames(nb, nb_types))
open("wideband.awb", "wb").write(b"#!AMR-WB\n" + frames(wb, wb_types))
# Two channels: a 32-bit channel description (28 reserved bits, 4 bits of channel count),
# then the frames of channel 0 and 1 in turn.
open("two-channels.amr", "wb").write(b"#!AMR_MC1.0\n" + (2).to_bytes(4, "big") + frames(nb, [7, 7] * 6 + [15, 15]))
# Broken copies: the narrowband file cut inside a frame, and with a frame header byte whose
# padding bits are set (0xFF) in the middle.
data = open("narrowband.amr", "rb").read()
open("truncated.amr", "wb").write(data[:6 + 32 * 5 + 17])
bad = bytearray(data)
bad[6 + 32 * 3] = 0xFF
open("corrupt.amr", "wb").write(bytes(bad))
PY

for f in narrowband.amr wideband.awb; do
  ffprobe -v error -show_entries packet=stream_index,size,pos -of csv=p=0 "$f" > "$f.packets"
done
