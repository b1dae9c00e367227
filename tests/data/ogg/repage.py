#!/usr/bin/env python3
"""Writes a copy of an Ogg file whose second page (the comment and setup headers of a Vorbis
stream) is cut into pages of at most four segments, so that the setup header continues over
several pages; a page on which no packet ends carries the granule -1. Later pages keep their
contents with new sequence numbers. usage: repage.py IN OUT"""
import struct
import sys

from importlib.machinery import SourceFileLoader

walk = SourceFileLoader("walk", sys.path[0] + "/ogg-walk.py").load_module()


def page(flags, granule, serial, sequence, lacing, body):
    raw = bytearray(b"OggS" + bytes([0, flags]) + struct.pack("<qII", granule, serial, sequence) + b"\0\0\0\0" +
                    bytes([len(lacing)]) + bytes(lacing) + body)
    raw[22:26] = struct.pack("<I", walk.crc(raw))
    return bytes(raw)


def pages(data):
    pos = 0
    while pos < len(data):
        count = data[pos + 26]
        size = 27 + count + sum(data[pos + 27:pos + 27 + count])
        yield data[pos:pos + size]
        pos += size


def main(source, target):
    data = open(source, "rb").read()
    found = list(pages(data))
    out = [found[0]]
    serial = struct.unpack("<I", found[1][14:18])[0]
    count = found[1][26]
    lacing = list(found[1][27:27 + count])
    body = found[1][27 + count:]
    pos, sequence, continued = 0, 1, False
    for start in range(0, len(lacing), 4):
        part = lacing[start:start + 4]
        size = sum(part)
        ends = any(v < 255 for v in part)
        out.append(page(1 if continued else 0, 0 if ends else -1, serial, sequence, part, body[pos:pos + size]))
        continued = part[-1] == 255
        pos += size
        sequence += 1
    for old in found[2:]:
        count = old[26]
        out.append(page(old[5], struct.unpack("<q", old[6:14])[0], serial, sequence, old[27:27 + count],
                        old[27 + count:]))
        sequence += 1
    open(target, "wb").write(b"".join(out))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
