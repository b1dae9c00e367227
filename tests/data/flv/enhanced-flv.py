#!/usr/bin/env python3
"""Writes an enhanced FLV file (video only) from an MP4 file made by ffmpeg.

    enhanced-flv.py INPUT.mp4 FOURCC OUTPUT.flv      FOURCC: hvc1 or av01

The configuration record (hvcC or av1C) is taken from the MP4's sample entry, the frames
and their times from ffprobe's packet list. Tags follow the enhanced RTMP description:
IsExHeader set, FrameType, PacketType (SequenceStart, CodedFrames with a composition time,
CodedFramesX without one, SequenceEnd) and the four-character code. An onMetaData script tag
carries every AMF0 type that ffmpeg's reader accepts, so that the decoder meets them in a file.
"""
import struct
import subprocess
import sys

CONTAINERS = {b"moov", b"trak", b"mdia", b"minf", b"stbl"}


def boxes(data, start, end):
    while start + 8 <= end:
        size, kind = struct.unpack(">I4s", data[start:start + 8])
        if size < 8 or start + size > end:
            return
        yield kind, start + 8, start + size
        start += size


def configuration_record(data, fourcc):
    wanted = {b"hvc1": b"hvcC", b"av01": b"av1C"}[fourcc]

    def search(start, end):
        for kind, body, stop in boxes(data, start, end):
            if kind in CONTAINERS:
                found = search(body, stop)
                if found:
                    return found
            elif kind == b"stsd":
                entry = body + 8  # version, flags, entry_count
                entry_body = entry + 8 + 78  # sample entry header, visual sample entry fields
                for child, child_body, child_end in boxes(data, entry_body, entry + struct.unpack(">I", data[entry:entry + 4])[0]):
                    if child == wanted:
                        return data[child_body:child_end]
        return None

    record = search(0, len(data))
    if record is None:
        raise SystemExit(f"no {wanted.decode()} in the input")
    return record


def packets(path):
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts_time,dts_time,pos,size,flags",
         "-of", "csv=p=0", path], check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        pts, dts, size, pos, flags = line.split(",")
        yield float(pts), float(dts), int(pos), int(size), "K" in flags


def amf_string(text):
    raw = text.encode()
    return struct.pack(">H", len(raw)) + raw


def amf_value(kind, value):
    if kind == "number":
        return b"\x00" + struct.pack(">d", value)
    if kind == "boolean":
        return b"\x01" + bytes([1 if value else 0])
    if kind == "string":
        return b"\x02" + amf_string(value)
    if kind == "object":
        return b"\x03" + b"".join(amf_string(k) + amf_value(*v) for k, v in value) + b"\x00\x00\x09"
    if kind == "null":
        return b"\x05"
    if kind == "undefined":
        return b"\x06"
    if kind == "strict":
        return b"\x0a" + struct.pack(">I", len(value)) + b"".join(amf_value(*v) for v in value)
    if kind == "date":
        return b"\x0b" + struct.pack(">dh", value, 0)
    if kind == "long":
        raw = value.encode()
        return b"\x0c" + struct.pack(">I", len(raw)) + raw
    raise ValueError(kind)


def metadata(fourcc, duration, width, height):
    properties = [
        ("duration", ("number", duration)),
        ("width", ("number", width)),
        ("height", ("number", height)),
        ("videocodecid", ("number", float(struct.unpack(">I", fourcc)[0]))),
        ("framerate", ("number", 10.0)),
        ("stereo", ("boolean", False)),
        ("encoder", ("string", "corvanta enhanced-flv.py")),
        ("creationdate", ("date", 1.7e12)),
        ("description", ("long", "hand-made enhanced FLV, " + fourcc.decode())),
        ("tags", ("strict", [("string", "test"), ("number", 2.0), ("null", None)])),
        ("custom", ("object", [("level", ("number", 1.0)), ("inner", ("object", [("flag", ("boolean", True))]))])),
        ("nothing", ("null", None)),
        ("unset", ("undefined", None)),
    ]
    array = b"\x08" + struct.pack(">I", len(properties))
    array += b"".join(amf_string(k) + amf_value(*v) for k, v in properties) + b"\x00\x00\x09"
    return amf_value("string", "onMetaData") + array


def tag(kind, timestamp, body):
    header = bytes([kind]) + len(body).to_bytes(3, "big") + (timestamp & 0xFFFFFF).to_bytes(3, "big")
    header += bytes([(timestamp >> 24) & 0xFF]) + b"\x00\x00\x00"
    return header + body + struct.pack(">I", 11 + len(body))


def video_tag(timestamp, frame_type, packet_type, fourcc, payload):
    return tag(9, timestamp, bytes([0x80 | frame_type << 4 | packet_type]) + fourcc + payload)


def main(source, fourcc, target):
    fourcc = fourcc.encode()
    data = open(source, "rb").read()
    frames = list(packets(source))
    duration = frames[-1][0] + 0.1
    out = b"FLV\x01\x01" + struct.pack(">I", 9) + struct.pack(">I", 0)
    out += tag(18, 0, metadata(fourcc, duration, 128 if fourcc == b"hvc1" else 64, 96 if fourcc == b"hvc1" else 48))
    out += video_tag(0, 1, 0, fourcc, configuration_record(data, fourcc))
    last = 0
    start = min(dts for _, dts, _, _, _ in frames)  # B-frames start the decoding times below zero
    for pts, dts, pos, size, key in frames:
        timestamp = round((dts - start) * 1000)
        frame = data[pos:pos + size]
        composition = round((pts - dts) * 1000)
        if fourcc == b"hvc1" and composition != 0:
            payload = (composition & 0xFFFFFF).to_bytes(3, "big") + frame
            packet_type = 1
        else:
            payload = frame
            packet_type = 3 if fourcc == b"hvc1" else 1
        out += video_tag(timestamp, 1 if key else 2, packet_type, fourcc, payload)
        last = timestamp
    out += video_tag(last, 1, 2, fourcc, b"")
    open(target, "wb").write(out)


if __name__ == "__main__":
    main(*sys.argv[1:4])
