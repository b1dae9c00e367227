#!/usr/bin/env python3
"""Walks the pages of an Ogg file on its own and prints one line per page:
offset,size,serial,sequence,granule,flags,crc
with crc "ok" or "mismatch"; a last page cut short by the end of the file is listed with the
size that remains and crc "truncated". A page follows the previous one wherever a capture
pattern starts. Bytes that are no page are skipped up to the next capture pattern (reserved
flags clear) whose page checks, or is followed by another capture pattern or the end of the
file. The CRC is computed here bit by bit (polynomial 0x04C11DB7, most significant bit first,
initial value 0, no final xor)."""
import struct
import sys


def crc(data):
    value = 0
    for byte in data:
        value ^= byte << 24
        for _ in range(8):
            value = ((value << 1) ^ 0x04C11DB7) if value & 0x80000000 else value << 1
            value &= 0xFFFFFFFF
    return value


def page_at(data, pos):
    """(size, checks) of a page at pos, or None when no page header fits there."""
    if data[pos:pos + 4] != b"OggS" or pos + 27 > len(data) or data[pos + 4] != 0:
        return None
    count = data[pos + 26]
    if pos + 27 + count > len(data):
        return len(data) - pos, None
    size = 27 + count + sum(data[pos + 27:pos + 27 + count])
    if pos + size > len(data):
        return len(data) - pos, None
    page = bytearray(data[pos:pos + size])
    stored = struct.unpack("<I", page[22:26])[0]
    page[22:26] = b"\0\0\0\0"
    return size, crc(page) == stored


def main(path):
    data = open(path, "rb").read()
    pos = 0
    while pos < len(data):
        found = page_at(data, pos)
        if found is None:
            nxt = data.find(b"OggS", pos + 1)
            while nxt >= 0:
                again = page_at(data, nxt)
                if again is not None and not data[nxt + 5] & 0xF8:
                    follows = nxt + again[0]
                    if again[1] is not False or follows == len(data) or data[follows:follows + 4] == b"OggS":
                        break
                nxt = data.find(b"OggS", nxt + 1)
            pos = nxt if nxt >= 0 else len(data)
            continue
        size, checks = found
        flags = data[pos + 5]
        granule = struct.unpack("<q", data[pos + 6:pos + 14])[0]
        serial, sequence = struct.unpack("<II", data[pos + 14:pos + 22])
        state = "truncated" if checks is None else "ok" if checks else "mismatch"
        print(f"{pos},{size},{serial},{sequence},{granule},{flags},{state}")
        pos += size


if __name__ == "__main__":
    main(sys.argv[1])
