#!/usr/bin/env python3
"""Prints the frames of a FLAC file as `flac -a` analyses them, one line per frame:
offset,bytes,blocksize,channel_assignment,subframes
with each subframe as type/order/wasted_bits, joined by ';'. usage: flac-frames.py FILE"""
import os
import subprocess
import sys
import tempfile


def main(path):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "analysis")
        subprocess.run(["flac", "-s", "-a", "-f", "-o", out, path], check=True)
        frame = None
        for line in open(out):
            fields = dict(part.split("=", 1) for part in line.split() if "=" in part)
            if line.startswith("frame="):
                if frame: print(",".join(frame[:4]) + "," + ";".join(frame[4]))
                frame = [fields["offset"], str(int(fields["bits"]) // 8), fields["blocksize"],
                         fields["channel_assignment"], []]
            elif line.startswith("\tsubframe="):
                frame[4].append(f'{fields["type"]}/{fields.get("order", "0")}/{fields["wasted_bits"]}')
        if frame: print(",".join(frame[:4]) + "," + ";".join(frame[4]))


if __name__ == "__main__":
    main(sys.argv[1])
