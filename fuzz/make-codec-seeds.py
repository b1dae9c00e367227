#!/usr/bin/env python3
"""Writes the seed inputs of the codec fuzz targets (codec-targets.txt) into fuzz/seeds/<id>/,
one per test file of that codec: the video stream's configuration record and its first frames
as ffprobe reads them, in the input form of CodecFuzzTarget.cpp (a 2-byte big-endian length
before the record and before each frame). Needs ffprobe; only run when the test files change.
  fuzz/make-codec-seeds.py
"""
import json
import pathlib
import subprocess

ROOT = pathlib.Path(__file__).resolve().parent.parent
# A few frames keep each seed small; the fuzzer grows the corpus from there.
MAX_FRAMES = 6
MAX_FRAME_BYTES = 0xFFFF
SOURCES = {
    "codec-h264": ["isobmff/h264-high.mp4", "isobmff/h264-interlaced.mp4", "isobmff/h264-hrd.mp4",
                   "matroska/h264-hrd-interlaced.mkv", "isobmff/h264-444.mp4"],
    "codec-hevc": ["isobmff/hevc-main10.mp4", "isobmff/hevc-hdr10.mp4"],
    "codec-av1": ["isobmff/av1.mp4", "isobmff/av1-hdr.mp4", "matroska/av1-segments.mkv", "matroska/av1-film-grain.mkv"],
    "codec-vp9": ["matroska/ffmpeg-vp9-opus.webm"],
    "codec-vp8": ["matroska/gstreamer-vp8-vorbis.webm", "matroska/ffmpeg-vp8-alpha.webm"],
    "codec-mpeg2": ["matroska/ffmpeg-mpeg2.mkv"],
}


def hex_dump_bytes(dump):
    """The bytes of ffprobe's -show_data dump ("00000000: 0a17 0400 ...  text")."""
    out = bytearray()
    for line in dump.splitlines():
        if ":" not in line:
            continue
        groups = line.split(":", 1)[1].strip().split("  ")[0]
        out += bytes.fromhex(groups.replace(" ", ""))
    return bytes(out)


def seed(path):
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_streams", "-show_packets",
                            "-show_data", "-of", "json", str(path)], check=True, capture_output=True, text=True)
    report = json.loads(probe.stdout)
    record = hex_dump_bytes(report["streams"][0].get("extradata", ""))
    parts = [record] + [hex_dump_bytes(p["data"]) for p in report.get("packets", [])[:MAX_FRAMES]]
    return b"".join(len(p).to_bytes(2, "big") + p for p in parts if len(p) <= MAX_FRAME_BYTES)


def main():
    targets = [line.split()[0] for line in (ROOT / "fuzz/codec-targets.txt").read_text().splitlines()
               if line.startswith("codec-")]
    for target in targets:
        folder = ROOT / "fuzz/seeds" / target
        folder.mkdir(parents=True, exist_ok=True)
        for old in folder.iterdir():
            old.unlink()
        for source in SOURCES[target]:
            data = seed(ROOT / "tests/data" / source)
            (folder / (pathlib.Path(source).name + ".seed")).write_bytes(data)
            print(f"{target}: {source}, {len(data)} bytes")


if __name__ == "__main__":
    main()
