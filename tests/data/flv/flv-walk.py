#!/usr/bin/env python3
"""Lists the tags of an FLV file by walking the PreviousTagSize chain backwards from the end.

The parser walks forwards from the header, using each tag's DataSize; this walk only trusts
the PreviousTagSize fields, so the two agree only when the file and the parser are both right.
Prints "offset,type,data_size,timestamp" per tag, in file order.
"""
import struct
import sys


def main(path):
    data = open(path, "rb").read()
    first = struct.unpack(">I", data[5:9])[0] + 4
    tags = []
    end = len(data)
    while end - 4 >= first:
        previous = struct.unpack(">I", data[end - 4:end])[0]
        if previous < 11:
            break
        start = end - 4 - previous
        if start < first:
            raise SystemExit(f"{path}: PreviousTagSize at {end - 4} points before the first tag")
        tag_type = data[start] & 0x1F
        size = int.from_bytes(data[start + 1:start + 4], "big")
        timestamp = int.from_bytes(data[start + 4:start + 7], "big") | (data[start + 7] << 24)
        if 11 + size != previous:
            raise SystemExit(f"{path}: tag at {start}: DataSize {size} but PreviousTagSize {previous}")
        tags.append((start, tag_type, size, timestamp))
        end = start
    if end != first:
        raise SystemExit(f"{path}: the chain ends at {end}, not at the first tag ({first})")
    for tag in reversed(tags):
        print(",".join(map(str, tag)))


if __name__ == "__main__":
    main(sys.argv[1])
