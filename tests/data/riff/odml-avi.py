#!/usr/bin/env python3
"""Assembles a small OpenDML AVI from the video frames of a plain AVI.

No Debian tool lets the 1 GB limit of a RIFF part be lowered, so this script writes the
layout a muxer uses beyond it, at a few kilobytes: the first RIFF 'AVI ' holds the headers
(avih, strl with strh, strf and an 'indx' super index of two entries, odml/dmlh), a movi
list with the first frames and their 'ix00' standard index, and idx1; a second RIFF 'AVIX'
holds a movi list with the other frames and their ix00.
    odml-avi.py SOURCE.avi OUT.avi
"""
import struct
import sys


def chunk(cid, body):
    pad = b"\0" if len(body) & 1 else b""
    return cid + struct.pack("<I", len(body)) + body + pad


def lst(kind, cid, body):
    return chunk(kind, cid + body)


def chunks(data, begin, end):
    pos = begin
    while pos + 8 <= end:
        cid = data[pos:pos + 4]
        size = struct.unpack("<I", data[pos + 4:pos + 8])[0]
        yield cid, pos, data[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)


def find(data, begin, end, path):
    for cid, pos, body in chunks(data, begin, end):
        name = body[:4] if cid in (b"RIFF", b"LIST") else None
        if cid == path[0] or name == path[0]:
            if len(path) == 1:
                return pos, body
            return find(data, pos + 12, pos + 8 + len(body), path[1:])
    raise SystemExit(f"no {path[0]!r}")


def main(source, out):
    data = open(source, "rb").read()
    _, strh = find(data, 0, len(data), [b"RIFF", b"hdrl", b"strl", b"strh"])
    _, strf = find(data, 0, len(data), [b"RIFF", b"hdrl", b"strl", b"strf"])
    _, avih = find(data, 0, len(data), [b"RIFF", b"hdrl", b"avih"])
    movi_pos, movi = find(data, 0, len(data), [b"RIFF", b"movi"])
    frames = [(cid, body) for cid, _, body in chunks(data, movi_pos + 12, movi_pos + 8 + len(movi))
              if cid == b"00dc"]
    keys = set()
    _, idx1 = find(data, 0, len(data), [b"RIFF", b"idx1"])
    n = 0
    for i in range(0, len(idx1), 16):
        cid, flags = idx1[i:i + 4], struct.unpack("<I", idx1[i + 4:i + 8])[0]
        if cid == b"00dc":
            if flags & 0x10:
                keys.add(n)
            n += 1
    half = len(frames) // 2
    parts = [frames[:half], frames[half:]]

    # Header sizes do not depend on offsets, so lay the file out twice: once to learn where
    # everything goes, then for real.
    def build(ix_positions):
        indx_entries = b""
        for part, ix_pos in zip(parts, ix_positions):
            ix_size = 8 + 24 + 8 * len(part)
            duration = len(part)
            indx_entries += struct.pack("<QII", ix_pos, ix_size, duration)
        indx = struct.pack("<HBBI4s3I", 4, 0, 0, len(parts), b"00dc", 0, 0, 0) + indx_entries
        strl = lst(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", strf) + chunk(b"indx", indx))
        avih_new = bytearray(avih)
        struct.pack_into("<I", avih_new, 16, half)  # dwTotalFrames: frames of the first RIFF
        struct.pack_into("<I", avih_new, 24, 1)     # dwStreams
        odml = lst(b"LIST", b"odml", chunk(b"dmlh", struct.pack("<I", len(frames)) + b"\0" * 244))
        hdrl = lst(b"LIST", b"hdrl", chunk(b"avih", bytes(avih_new)) + strl + odml)
        out_bytes = bytearray()
        ix_found = []
        idx1_body = b""
        for number, part in enumerate(parts):
            head = b"AVI " + hdrl if number == 0 else b"AVIX"
            # movi list: frames, then the ix00 of this part.
            movi_body = bytearray(b"movi")
            part_start = len(out_bytes)
            movi_abs = part_start + 8 + len(head)  # the movi LIST
            frame_positions = []
            for cid, body in part:
                frame_positions.append(movi_abs + 8 + len(movi_body))
                movi_body += chunk(cid, body)
            base = movi_abs + 8  # offsets of ix00 entries count from here ('movi' fourcc)
            ix_abs = movi_abs + 8 + len(movi_body)
            ix_found.append(ix_abs)
            entries = b""
            first_index = sum(len(p) for p in parts[:number])
            for k, ((cid, body), pos) in enumerate(zip(part, frame_positions)):
                size = len(body) | (0 if first_index + k in keys else 0x80000000)
                entries += struct.pack("<II", pos + 8 - base, size)
            ix = struct.pack("<HBBI4sQI", 2, 0, 1, len(part), b"00dc", base, 0) + entries
            movi_body += chunk(b"ix00", ix)
            body = head + chunk(b"LIST", bytes(movi_body))
            if number == 0:
                for k, ((cid, fbody), pos) in enumerate(zip(part, frame_positions)):
                    flags = 0x10 if k in keys else 0
                    idx1_body += struct.pack("<4sIII", cid, flags, pos - (movi_abs + 8), len(fbody))
                body += chunk(b"idx1", idx1_body)
            out_bytes += chunk(b"RIFF", body)
        return bytes(out_bytes), ix_found

    first, positions = build([0, 0])
    final, again = build(positions)
    assert positions == again
    open(out, "wb").write(final)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
