#!/bin/sh
# Makes the AC-4 test files. No encoder or demuxer of this Debian knows AC-4, so the sync frames
# are written here from their public layout, and the expected values are this description:
#   sync_word 16 bits (0xAC40 without CRC, 0xAC41 with a crc_word after the frame),
#   frame_size 16 bits (bytes of raw_ac4_frame; 0xFFFF announces 24 more bits),
#   raw_ac4_frame: its ac4_toc starts with bitstream_version 2 bits (= 2), sequence_counter
#   10 bits (the frame number), b_wait_frames 1 bit (= 0), fs_index 1 bit (= 1, 48 kHz),
#   frame_rate_index 4 bits (= 2, 25 frames/s), b_iframe_global 1 bit (= 1); the remaining bits
#   are a fixed filler pattern that stands for the rest of the TOC and the substreams.
# plain.ac4 has 12 frames of 96 raw bytes, crc.ac4 the same with sync word 0xAC41 and a CRC
# word of 0x0000 after each frame. (A frame with the 24-bit size is a fixture of the tests.)
set -eu
cd "$(dirname "$0")"

/usr/bin/python3 - <<'PY'
def toc(counter):
    bits = (2 << 17) | (counter << 7) | (0 << 6) | (1 << 5) | (2 << 1) | 1  # 19 bits
    return (bits << 5).to_bytes(3, "big")  # padded with zero bits to 24

def frame(counter, raw_bytes, crc):
    raw = toc(counter) + bytes((i * 29 + counter) & 0xFF for i in range(raw_bytes - 3))
    size = len(raw).to_bytes(2, "big") if len(raw) < 0xFFFF else b"\xff\xff" + len(raw).to_bytes(3, "big")
    return (b"\xac\x41" if crc else b"\xac\x40") + size + raw + (b"\x00\x00" if crc else b"")

open("plain.ac4", "wb").write(b"".join(frame(i, 96, False) for i in range(12)))
open("crc.ac4", "wb").write(b"".join(frame(i, 96, True) for i in range(12)))
PY
