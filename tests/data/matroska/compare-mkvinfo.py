#!/usr/bin/env python3
"""Compares the element tree of corvanta-dump with mkvinfo's for every file that has a
FILE.mkvinfo.txt witness (made by make-test-files.sh): the same elements and frames, in the same
order, at the same depth, offset and size. CRC-32 elements are left out, since mkvinfo does not
list them; an element of unknown size is compared by its offset alone, as mkvinfo gives no size.

    compare-mkvinfo.py [CORVANTA_DUMP]    (default: build/release/tools/corvanta-dump/corvanta-dump)

Writes the report to compare-mkvinfo.result.txt beside this script and prints it; the exit status
is 1 when a file differs.
"""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
GARBAGE = "d771bd4e-a2e6-46e3-ad1c-1aafa1b60c87"

MKVINFO_LINE = re.compile(r"^(\|?[ ]*)\+ (.*?) at (\d+) (?:size (\d+)(?: data size \d+)?|size is unknown)$")
MKVINFO_ELEMENT = re.compile(r"^(\|?[ ]*)\+ ")
# mkvinfo ends the hex dump of a BlockAdditional without a line break: the next element's line
# follows on the same line.
RUN_ON = re.compile(r"(0x[0-9a-f]{2})(\|[ ]*\+ )")
DUMP_LINE = re.compile(r"^( *)(\S+) (\d+)(?::\d+)? \+(\d+)(?::\d+)? = ?(.*)$")


def mkvinfo_items(path):
    """(kind, depth, offset, size or None) of every element and frame mkvinfo lists, in order."""
    items = []
    text = RUN_ON.sub(r"\1\n\2", open(path, encoding="utf-8", errors="replace").read())
    for line in text.splitlines():
        match = MKVINFO_LINE.match(line)
        if not match:
            # An element listed without its position (mkvinfo's BlockAdditional): its depth only.
            element = MKVINFO_ELEMENT.match(line)
            if element:
                items.append(("element", len(element.group(1)), None, None))
            continue
        depth = len(match.group(1))
        kind = "frame" if match.group(2) == "Frame" else "element"
        size = int(match.group(4)) if match.group(4) is not None else None
        items.append((kind, depth, int(match.group(3)), size))
    return items


def dump_items(dump_tool, path):
    """The same list from corvanta-dump: a node is an EBML element when its first child is its ID
    field; frames are the "frame" fields inside blocks. Depth counts EBML ancestors."""
    text = subprocess.run([dump_tool, "--no-progress", path], check=True, capture_output=True,
                          text=True).stdout
    nodes = []
    for line in text.splitlines():
        match = DUMP_LINE.match(line)
        if match:
            nodes.append((len(match.group(1)) // 2, match.group(2), int(match.group(3)), int(match.group(4)),
                          match.group(5)))
    items = []
    stack = []  # levels of the open EBML elements
    private_level = None  # of the CodecPrivate being read: its decoded fields are no elements
    for i, (level, name, offset, size, value) in enumerate(nodes):
        while stack and stack[-1] >= level:
            stack.pop()
        if private_level is not None and level <= private_level:
            private_level = None
        # A VP9 CodecPrivate's feature triplets have an "ID" field too.
        is_element = (private_level is None and i + 1 < len(nodes) and nodes[i + 1][0] == level + 1 and
                      nodes[i + 1][1] == "ID")
        if is_element and name == "CodecPrivate":
            private_level = level
        if is_element:
            unknown = "unknown size" in value
            if name != "CRC-32":
                items.append(("element", len(stack), offset, None if unknown else size))
            stack.append(level)
        elif re.match(r"frame(-\d+)?$", name):
            items.append(("frame", len(stack), offset, size))
    return items


def compare(witness, ours):
    for index, (w, o) in enumerate(zip(witness, ours)):
        same = w[0] == o[0] and w[1] == o[1] and (w[2] is None or w[2] == o[2]) and (w[3] is None or w[3] == o[3])
        if not same:
            return "differs at item %d: mkvinfo %s, corvanta-dump %s" % (index + 1, w, o)
    if len(witness) != len(ours):
        return "%d items listed by mkvinfo, %d by corvanta-dump" % (len(witness), len(ours))
    return None


def main():
    dump_tool = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/release/tools/corvanta-dump/corvanta-dump")
    lines = ["corvanta-dump against mkvinfo -a -v -v -z -P (" +
             subprocess.run(["mkvinfo", "--version"], capture_output=True, text=True).stdout.strip() + ")"]
    failed = False
    for name in sorted(os.listdir(HERE)):
        if not name.endswith(".mkvinfo.txt"):
            continue
        media = name[:-len(".mkvinfo.txt")]
        witness = mkvinfo_items(os.path.join(HERE, name))
        ours = dump_items(dump_tool, os.path.join(HERE, media))
        problem = compare(witness, ours)
        elements = sum(1 for item in witness if item[0] == "element")
        frames = len(witness) - elements
        if problem:
            failed = True
            lines.append("%s: %s" % (media, problem))
        else:
            lines.append("%s: %d elements and %d frames, every offset and size agrees" % (media, elements, frames))
    report = "\n".join(lines) + "\n"
    open(os.path.join(HERE, "compare-mkvinfo.result.txt"), "w").write(report)
    sys.stdout.write(report)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
