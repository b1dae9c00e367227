#!/usr/bin/env python3
"""Lists the packs and packets of an MPEG program stream by start-code arithmetic.

From the first pack start code on, each unit's length follows from its own header: a pack
header from its version bits and pack_stuffing_length, a system header and a PES packet from
their 16-bit length. Prints "pack,offset,size" (the pack header alone) and
"packet,offset,stream_id,size" (system headers as stream_id 0xBB too) in file order, and
"end,offset" for the MPEG_program_end_code. Stops at anything that is not a start code.
"""
import sys


def main(path):
    data = open(path, "rb").read()
    pos = data.find(b"\x00\x00\x01\xba")
    if pos < 0:
        raise SystemExit(f"{path}: no pack start code")
    while pos + 4 <= len(data):
        if data[pos:pos + 3] != b"\x00\x00\x01":
            raise SystemExit(f"{path}: no start code at {pos}")
        code = data[pos + 3]
        if code == 0xBA:
            if data[pos + 4] >> 6 == 1:
                size = 14 + (data[pos + 13] & 7)
            elif data[pos + 4] >> 4 == 2:
                size = 12
            else:
                raise SystemExit(f"{path}: pack header of no known version at {pos}")
            print(f"pack,{pos},{size}")
        elif code == 0xB9:
            print(f"end,{pos}")
            size = 4
        elif code >= 0xBB:
            size = 6 + int.from_bytes(data[pos + 4:pos + 6], "big")
            print(f"packet,{pos},0x{code:02X},{size}")
        else:
            raise SystemExit(f"{path}: start code 0x{code:02X} at {pos} is no pack or packet")
        pos += size
    if pos != len(data):
        raise SystemExit(f"{path}: the last unit ends at {pos}, the file at {len(data)}")


if __name__ == "__main__":
    main(sys.argv[1])
