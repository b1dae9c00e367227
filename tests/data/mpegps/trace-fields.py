#!/usr/bin/env python3
"""Turns the log of ffmpeg's trace_headers bitstream filter on MPEG-1/2 video into the header
fields in stream order, one "name=value" line each.

Left out: the codec extradata (a copy of the first sequence header), the start codes themselves
(offset 0 of each header) and the slice headers, which the parser summarises instead of decoding.
"""
import re
import sys

FIELD = re.compile(r"^\[trace_headers @ [0-9a-fx]+\] (\d+)\s+(\S+)\s+[01]+ = (-?\d+)$")
SECTION = re.compile(r"^\[trace_headers @ [0-9a-fx]+\] ([A-Za-z].*)$")


def main():
    section = None
    in_extradata = False
    for line in sys.stdin:
        line = line.rstrip("\n")
        line = re.sub(r"^.*(\[trace_headers @)", r"\1", line)
        field = FIELD.match(line)
        if field:
            offset, name, value = field.groups()
            if in_extradata or section == "Slice Header" or offset == "0":
                continue
            print(f"{name}={value}")
            continue
        title = SECTION.match(line)
        if title:
            section = title.group(1)
            if section == "Extradata":
                in_extradata = True
            elif section.startswith("Packet:"):
                in_extradata = False


if __name__ == "__main__":
    main()
