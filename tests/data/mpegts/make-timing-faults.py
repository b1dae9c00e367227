#!/usr/bin/env python3
"""Edits a clean constant-rate transport stream into copies that each hold one kind of fault
of the timing checks, or a timing oddity for the frames table:

  fault-continuity.ts   one video packet is lost (a null packet in its place)
  fault-pcr-gap.ts      the PCRs of about 140 ms are removed (flag cleared, bytes stuffed)
  fault-sync-byte.ts    one packet's sync byte is 0x48
  fault-crc.ts          one PMT section's CRC_32 is wrong
  fault-pat-gap.ts      the PAT packets of 0.7 s become null packets (the counters of the
                        later ones follow on, so that only the PAT is missing)
  fault-pcr-accuracy.ts one PCR is 2 us late against the constant mux rate
  fault-transport.ts    one packet has transport_error_indicator set
  timing-backward-dts.ts  one video PES packet's PTS and DTS go back by 100 ms
  timing-gap.ts         every PTS and DTS from 0.5 s on is 1 s later

Usage: make-timing-faults.py CLEAN.ts OUTPUT_DIRECTORY
"""
import os
import sys

PACKET = 188


def packets(data):
    return [bytearray(data[i:i + PACKET]) for i in range(0, len(data) - PACKET + 1, PACKET)]


def pid(p):
    return ((p[1] & 0x1F) << 8) | p[2]


def has_adaptation(p):
    return (p[3] & 0x20) != 0


def has_pcr(p):
    return has_adaptation(p) and p[4] > 0 and (p[5] & 0x10) != 0


def pcr(p):
    base = (p[6] << 25) | (p[7] << 17) | (p[8] << 9) | (p[9] << 1) | (p[10] >> 7)
    return base * 300 + (((p[10] & 1) << 8) | p[11])


def pmt_pids(ps):
    for p in ps:
        if pid(p) == 0 and (p[1] & 0x40):
            section = p[5 + p[4]:]
            length = ((section[1] & 0x0F) << 8) | section[2]
            found = set()
            for i in range(8, 3 + length - 4, 4):
                number = (section[i] << 8) | section[i + 1]
                if number != 0:
                    found.add(((section[i + 2] & 0x1F) << 8) | section[i + 3])
            return found
    raise SystemExit("no PAT")


def payload_start(p):
    return 4 + (1 + p[4] if has_adaptation(p) else 0)


def video_pid(ps):
    for p in ps:
        if p[1] & 0x40:
            start = payload_start(p)
            if p[start:start + 3] == b"\x00\x00\x01" and 0xE0 <= p[start + 3] <= 0xEF:
                return pid(p)
    raise SystemExit("no video PES")


def clock(ps):
    """The PCR clock (27 MHz) at each packet, from the constant mux rate."""
    marks = [(i, pcr(p)) for i, p in enumerate(ps) if has_pcr(p)]
    (i0, c0), (i1, c1) = marks[0], marks[-1]
    per_packet = (c1 - c0) / (i1 - i0)
    return [c0 + (i - i0) * per_packet for i in range(len(ps))]


def timestamps(p):
    """Offsets of the PTS and DTS fields of a PES header that starts in this packet."""
    start = payload_start(p)
    if not (p[1] & 0x40) or p[start:start + 3] != b"\x00\x00\x01":
        return []
    flags = p[start + 7] >> 6
    fields = []
    if flags & 2:
        fields.append(start + 9)
    if flags == 3:
        fields.append(start + 14)
    return fields


def read_stamp(p, at):
    return ((p[at] >> 1) & 7) << 30 | p[at + 1] << 22 | (p[at + 2] >> 1) << 15 | p[at + 3] << 7 | p[at + 4] >> 1


def write_stamp(p, at, value):
    value &= (1 << 33) - 1
    prefix = p[at] & 0xF0
    p[at] = prefix | ((value >> 29) & 0x0E) | 1
    p[at + 1] = (value >> 22) & 0xFF
    p[at + 2] = ((value >> 14) & 0xFE) | 1
    p[at + 3] = (value >> 7) & 0xFF
    p[at + 4] = ((value << 1) & 0xFE) | 1


def write(path, ps):
    with open(path, "wb") as out:
        for p in ps:
            out.write(p)


def main():
    clean = open(sys.argv[1], "rb").read()
    out = sys.argv[2]
    base = packets(clean)
    times = clock(base)
    start = times[0]
    video = video_pid(base)
    pmts = pmt_pids(base)

    def at_seconds(seconds):
        return next(i for i, t in enumerate(times) if t - start >= seconds * 27e6)

    null = bytearray(b"\x47\x1f\xff\x10" + b"\xff" * 184)

    # A video packet lost in the middle, a null packet in its place to keep the rate.
    ps = packets(clean)
    i = next(i for i in range(len(ps) // 2, len(ps))
             if pid(ps[i]) == video and not (ps[i][1] & 0x40) and (ps[i][3] & 0x10) and not has_pcr(ps[i]))
    ps[i] = bytearray(null)
    write(os.path.join(out, "fault-continuity.ts"), ps)

    # No PCR for about 140 ms: the PCR flag is cleared and its six bytes become stuffing.
    ps = packets(clean)
    begin, end = at_seconds(0.4), at_seconds(0.54)
    for i in range(begin, end):
        if has_pcr(ps[i]):
            ps[i][5] &= ~0x10
            length = ps[i][4]
            # The optional fields after the PCR move up; the freed bytes end as stuffing.
            rest = ps[i][12:5 + length]
            ps[i][6:6 + len(rest)] = rest
            ps[i][6 + len(rest):5 + length] = b"\xff" * 6
    write(os.path.join(out, "fault-pcr-gap.ts"), ps)

    # A corrupt sync byte.
    ps = packets(clean)
    ps[len(ps) // 3][0] = 0x48
    write(os.path.join(out, "fault-sync-byte.ts"), ps)

    # A wrong CRC_32 in one PMT section (its last byte flipped).
    ps = packets(clean)
    i = next(i for i in range(len(ps) // 2, len(ps)) if pid(ps[i]) in pmts and ps[i][1] & 0x40)
    section_at = payload_start(ps[i]) + 1 + ps[i][payload_start(ps[i])]
    length = ((ps[i][section_at + 1] & 0x0F) << 8) | ps[i][section_at + 2]
    ps[i][section_at + 3 + length - 1] ^= 0xFF
    write(os.path.join(out, "fault-crc.ts"), ps)

    # No PAT for 0.7 s: its packets become null packets, the later ones count on.
    ps = packets(clean)
    counter = None
    for i in range(len(ps)):
        if pid(ps[i]) != 0:
            continue
        if at_seconds(0.2) <= i < at_seconds(0.9):
            ps[i] = bytearray(null)
            continue
        if counter is not None:
            ps[i][3] = (ps[i][3] & 0xF0) | counter
        counter = ((ps[i][3] & 0x0F) + 1) & 0x0F
    write(os.path.join(out, "fault-pat-gap.ts"), ps)

    # One PCR 2 us (54 ticks of 27 MHz) late.
    ps = packets(clean)
    i = next(i for i in range(len(ps) // 2, len(ps)) if has_pcr(ps[i]))
    value = pcr(ps[i]) + 54
    base, extension = value // 300, value % 300
    ps[i][6:12] = bytes([(base >> 25) & 0xFF, (base >> 17) & 0xFF, (base >> 9) & 0xFF, (base >> 1) & 0xFF,
                         ((base & 1) << 7) | 0x7E | (extension >> 8), extension & 0xFF])
    write(os.path.join(out, "fault-pcr-accuracy.ts"), ps)

    # A transport error flagged on one video packet.
    ps = packets(clean)
    i = next(i for i in range(len(ps) // 2, len(ps)) if pid(ps[i]) == video)
    ps[i][1] |= 0x80
    write(os.path.join(out, "fault-transport.ts"), ps)

    # One video PES packet 100 ms back in time.
    ps = packets(clean)
    starts = [i for i, p in enumerate(ps) if pid(p) == video and timestamps(p)]
    i = starts[len(starts) // 2]
    for at in timestamps(ps[i]):
        write_stamp(ps[i], at, read_stamp(ps[i], at) - 9000)
    write(os.path.join(out, "timing-backward-dts.ts"), ps)

    # Every time stamp from 0.6 s on a second later.
    ps = packets(clean)
    for i in range(at_seconds(0.5), len(ps)):
        for at in timestamps(ps[i]):
            write_stamp(ps[i], at, read_stamp(ps[i], at) + 90000)
    write(os.path.join(out, "timing-gap.ts"), ps)


if __name__ == "__main__":
    main()
