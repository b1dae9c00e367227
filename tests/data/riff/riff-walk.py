#!/usr/bin/env python3
"""Lists every chunk of a RIFF, RF64/BW64 or IFF (AIFF) file, walking the sizes from the start.

Written apart from the parser, from the container layout only: a chunk is a four-character id
and a 32-bit size (little-endian in RIFF, big-endian in IFF), its data padded to an even size;
RIFF, RF64, BW64, FORM and LIST hold a form type and then chunks; a WebP ANMF frame holds
chunks after its 16-byte header. In RF64/BW64, a size of 0xFFFFFFFF is taken from ds64.
Prints "depth,offset,id,size" per chunk in file order (size as declared or from ds64).
"""
import struct
import sys

CONTAINERS = {b"RIFF", b"RF64", b"BW64", b"LIST", b"FORM"}


def walk(data, begin, end, depth, big_endian, ds64, out):
    pos = begin
    while pos + 8 <= end:
        cid = data[pos:pos + 4]
        size = struct.unpack(">I" if big_endian else "<I", data[pos + 4:pos + 8])[0]
        if size == 0xFFFFFFFF and cid in ds64:
            size = ds64[cid]
        out.append((depth, pos, cid.decode("latin-1"), size))
        body = pos + 8
        if cid in CONTAINERS:
            walk(data, body + 4, min(body + size, end), depth + 1, big_endian, ds64, out)
        elif cid == b"ANMF":
            walk(data, body + 16, min(body + size, end), depth + 1, big_endian, ds64, out)
        pos = body + size + (size & 1)


def main(path):
    data = open(path, "rb").read()
    big_endian = data[:4] == b"FORM"
    ds64 = {}
    if data[:4] in (b"RF64", b"BW64") and data[12:16] == b"ds64":
        riff, data_size, _samples = struct.unpack("<QQQ", data[20:44])
        ds64 = {data[:4]: riff, b"data": data_size}
    out = []
    walk(data, 0, len(data), 0, big_endian, ds64, out)
    for depth, offset, cid, size in out:
        print(f"{depth},{offset},{cid},{size}")


if __name__ == "__main__":
    main(sys.argv[1])
