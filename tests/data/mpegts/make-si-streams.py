#!/usr/bin/env python3
"""Writes transport streams with DVB and ATSC service information, which no Debian tool writes in
full, from the syntax of ISO/IEC 13818-1, ETSI EN 300 468 and ATSC A/65:

  dvb.ts      PAT, a PMT with many descriptors and the PCR on a PID of its own, NIT, SDT, BAT,
              EIT present/following and schedule (a section split over several packets, one whose
              section_length is split between two packets, one that ends after a pointer_field),
              TDT, TOT; MPEG-2 video with PTS and DTS, MPEG-1 audio, AC-3, DVB subtitle and teletext
              PES packets; a PES header split over two packets, a PTS split between two packets; an
              adaptation field with OPCR, splice countdown, private data and every extension field;
              null packets and an unreferenced PID.
  dvb-204.ts  the same packets with 16 bytes of Reed-Solomon RS(204,188) parity after each.
  atsc.ts     PAT, PMT, ATSC MGT, TVCT, STT on the PSIP base PID and an ATSC EIT on a PID the MGT lists.

  make-si-streams.py VIDEO.m2v AUDIO.mp2 AUDIO.ac3
The elementary streams come from ffmpeg (see make-test-files.sh); this script only multiplexes.
"""
import datetime
import struct
import sys

# ---------------------------------------------------------------------------------------------
# Checksums


def crc32_mpeg2(data):
    crc = 0xFFFFFFFF
    for byte in data:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else crc << 1
            crc &= 0xFFFFFFFF
    return crc


# Reed-Solomon RS(204,188): RS(255,239) over GF(2^8) with the field polynomial
# x^8 + x^4 + x^3 + x^2 + 1, the code generator prod(x - a^i) for i = 0..15, shortened by 51 bytes.
EXP = [0] * 512
LOG = [0] * 256
value = 1
for i in range(255):
    EXP[i] = value
    LOG[value] = i
    value <<= 1
    if value & 0x100:
        value ^= 0x11D
for i in range(255, 512):
    EXP[i] = EXP[i - 255]


def gf_mul(a, b):
    return 0 if a == 0 or b == 0 else EXP[LOG[a] + LOG[b]]


GENERATOR = [1]
for i in range(16):
    product = [0] * (len(GENERATOR) + 1)
    for j, coefficient in enumerate(GENERATOR):
        product[j] ^= coefficient
        product[j + 1] ^= gf_mul(coefficient, EXP[i])
    GENERATOR = product


def rs_parity(packet):
    remainder = [0] * 16
    for byte in packet:
        feedback = byte ^ remainder[0]
        remainder = remainder[1:] + [0]
        if feedback:
            for j in range(16):
                remainder[j] ^= gf_mul(GENERATOR[j + 1], feedback)
    return bytes(remainder)


# ---------------------------------------------------------------------------------------------
# Sections and descriptors


def descriptor(tag, payload):
    assert len(payload) < 256
    return bytes([tag, len(payload)]) + payload


def descriptors_with_length(items, reserved_bits=0xF000):
    data = b"".join(items)
    return struct.pack(">H", reserved_bits | len(data)) + data


def long_section(table_id, extension, body, version=0, number=0, last=0, private=1):
    length = 5 + len(body) + 4
    head = struct.pack(">BHHBBB", table_id, 0x8000 | (private << 14) | 0x3000 | length, extension,
                       0xC0 | (version << 1) | 1, number, last)
    section = head + body
    return section + struct.pack(">I", crc32_mpeg2(section))


def short_section(table_id, body, with_crc=False):
    length = len(body) + (4 if with_crc else 0)
    section = struct.pack(">BH", table_id, 0x7000 | length) + body
    return section + struct.pack(">I", crc32_mpeg2(section)) if with_crc else section


def mjd_time(when):
    mjd = (when.date() - datetime.date(1858, 11, 17)).days
    return struct.pack(">H", mjd) + bcd_time(when.hour, when.minute, when.second)


def bcd(value):
    return ((value // 10) << 4) | (value % 10)


def bcd_time(hours, minutes, seconds):
    return bytes([bcd(hours), bcd(minutes), bcd(seconds)])


def dvb_default(text):
    """Latin text in the default table (ISO/IEC 6937): accented letters as diacritic + base."""
    out = b""
    diacritics = {"\u00e9": b"\xc2e", "\u00e8": b"\xc1e", "\u00fc": b"\xc8u", "\u00f6": b"\xc8o", "\u00e4": b"\xc8a"}
    for char in text:
        out += diacritics[char] if char in diacritics else char.encode("ascii")
    return out


def dvb_utf8(text):
    return b"\x15" + text.encode("utf-8")


def dvb_iso8859(part, text):
    if part == 9:
        return b"\x05" + text.encode("iso8859-9")
    return bytes([0x10, 0x00, part]) + text.encode("iso8859-%d" % part)


def lengthed(data):
    return bytes([len(data)]) + data


def language(code):
    return code.encode("ascii")


# ---------------------------------------------------------------------------------------------
# Elementary streams


def mpeg2_pictures(data):
    """Access units of an MPEG-2 video stream: (bytes, picture_coding_type, temporal_reference)."""
    starts = []
    i = 0
    while True:
        i = data.find(b"\x00\x00\x01", i)
        if i < 0 or i + 3 >= len(data):
            break
        starts.append((i, data[i + 3]))
        i += 3
    units = []
    current = None
    for position, code in starts:
        if code in (0xB3, 0xB8) or (code == 0x00 and (current is None or current[1] is not None)):
            if current is not None and current[1] is not None:
                units.append(current)
                current = None
            if current is None:
                current = [position, None, 0, 0]
        if code == 0x00:
            header = data[position + 4:position + 6]
            current[1] = (header[1] >> 3) & 7
            current[2] = (header[0] << 2) | (header[1] >> 6)
    if current is not None:
        units.append(current)
    out = []
    for k, unit in enumerate(units):
        end = units[k + 1][0] if k + 1 < len(units) else len(data)
        out.append((data[unit[0]:end], unit[1], unit[2]))
    return out


def mpeg_audio_frames(data):
    rates = [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384]  # Layer II, kbit/s
    samples = [44100, 48000, 32000]
    frames, i = [], 0
    while i + 4 <= len(data):
        assert data[i] == 0xFF and (data[i + 1] & 0xE0) == 0xE0, "not an MPEG audio frame"
        rate = rates[data[i + 2] >> 4] * 1000
        sample_rate = samples[(data[i + 2] >> 2) & 3]
        padding = (data[i + 2] >> 1) & 1
        size = 144 * rate // sample_rate + padding
        frames.append(data[i:i + size])
        i += size
    return frames


def ac3_frames(data):
    words_48k = [64, 64, 80, 80, 96, 96, 112, 112, 128, 128, 160, 160, 192, 192, 224, 224, 256, 256, 320, 320,
                 384, 384, 448, 448, 512, 512, 640, 640, 768, 768, 896, 896, 1024, 1024, 1152, 1152, 1280, 1280]
    frames, i = [], 0
    while i + 6 <= len(data):
        assert data[i:i + 2] == b"\x0b\x77", "not an AC-3 frame"
        assert data[i + 4] >> 6 == 0, "only 48 kHz AC-3"
        size = 2 * words_48k[data[i + 4] & 0x3F]
        frames.append(data[i:i + size])
        i += size
    return frames


def stamp(prefix, value):
    return bytes([(prefix << 4) | (((value >> 30) & 7) << 1) | 1, (value >> 22) & 0xFF,
                  (((value >> 15) & 0x7F) << 1) | 1, (value >> 7) & 0xFF, ((value & 0x7F) << 1) | 1])


def pes_packet(stream_id, payload, pts, dts=None, aligned=False, bounded=True, extra_flags=0, extra=b""):
    """A PES packet with the MPEG-2 header; `extra_flags` and `extra` add the fields after PTS/DTS."""
    flags = 0x80 | (0x40 if dts is not None else 0)
    data = stamp(3 if dts is not None else 2, pts)
    if dts is not None:
        data += stamp(1, dts)
    data += extra
    header = bytes([0x80 | (0x04 if aligned else 0), flags | extra_flags, len(data)]) + data
    length = len(header) + len(payload) if bounded else 0
    return b"\x00\x00\x01" + bytes([stream_id]) + struct.pack(">H", length) + header + payload


# ---------------------------------------------------------------------------------------------
# Packets


class Multiplexer:
    def __init__(self):
        self.continuity = {}
        self.events = []  # (time in 27 MHz ticks, order, [packets])

    def counter(self, pid, payload=True):
        value = self.continuity.get(pid, 15)
        if payload:
            value = (value + 1) & 15
        self.continuity[pid] = value
        return value

    def packet(self, pid, payload, start=False, adaptation=None):
        """One packet; `adaptation` is the adaptation field after its length byte."""
        control = (2 if adaptation is not None else 0) | (1 if payload is not None else 0)
        header = struct.pack(">BHB", 0x47, (0x4000 if start else 0) | pid,
                             (control << 4) | self.counter(pid, payload is not None))
        body = b""
        if adaptation is not None:
            room = 184 - len(payload or b"") - 1
            assert len(adaptation) <= room
            if adaptation and len(adaptation) < room:
                adaptation += b"\xff" * (room - len(adaptation))
            elif not adaptation and room > 0:
                adaptation = b"\x00" + b"\xff" * (room - 1)
            body = bytes([len(adaptation)]) + adaptation
        body += payload or b""
        assert len(header + body) == 188, len(header + body)
        return header + body

    def sections(self, pid, sections, padding=True):
        """Sections one after another in packets of their PID; a packet in which a section starts
        has payload_unit_start_indicator set and a pointer_field to the first one that starts."""
        data = b"".join(sections)
        starts = []
        offset = 0
        for section in sections:
            starts.append(offset)
            offset += len(section)
        packets, position = [], 0
        while position < len(data):
            first = [s for s in starts if position <= s < position + 183]
            if first:
                chunk = data[position:position + 183]
                payload = bytes([first[0] - position]) + chunk
            else:
                later = [s for s in starts if s >= position]
                end = min([position + 184] + later)
                chunk = data[position:end]
                payload = chunk
            position += len(chunk)
            payload += b"\xff" * (184 - len(payload))
            packets.append(self.packet(pid, payload, start=bool(first)))
        return packets

    def pes(self, pid, pes, adaptation=None, first_payload=None):
        """A PES packet in packets; the last is filled by adaptation field stuffing. `adaptation` is
        the first packet's adaptation field; `first_payload` forces how many bytes the first holds."""
        packets, position, first = [], 0, True
        while position < len(pes):
            field = adaptation if first else None
            room = 184 - (1 + len(field) if field is not None else 0)
            if first and first_payload is not None:
                room = first_payload
                field = field if field is not None else b""
            left = len(pes) - position
            if left < room and field is None:
                field = b""
            if field is not None and left < room:
                room = left
            chunk = pes[position:position + room]
            if field is not None:
                packets.append(self.packet(pid, chunk, start=first, adaptation=field))
            else:
                packets.append(self.packet(pid, chunk, start=first))
            position += len(chunk)
            first = False
        return packets

    def add(self, time, packets, order=0):
        self.events.append((time, order, len(self.events), packets))

    def write(self, path, packet_size=188):
        with open(path, "wb") as out:
            for _, _, _, packets in sorted(self.events):
                for packet in packets:
                    out.write(packet + (rs_parity(packet) if packet_size == 204 else b""))


def pcr_field(pcr, flags=0x10, more=b""):
    base, extension = pcr // 300, pcr % 300
    return bytes([flags]) + struct.pack(">IH", base >> 1, ((base & 1) << 15) | 0x7E00 | extension) + more


MHZ27 = 27000000
PTS_CLOCK = 90000
START = 63000  # first PTS: 0.7 s
NOW = datetime.datetime(2024, 6, 1, 20, 0, 0)


def video_pes_list(video):
    """(send time, PES bytes, is I picture) for each picture, PTS and DTS for 25 pictures a second."""
    pictures = mpeg2_pictures(video)
    out, gop_start = [], 0
    for decode_index, (unit, coding_type, temporal_reference) in enumerate(pictures):
        if coding_type == 1:
            gop_start = decode_index  # temporal_reference counts from the pictures decoded before the GOP
        display_index = gop_start + temporal_reference
        dts = START + decode_index * 3600
        pts = START + (display_index + 1) * 3600
        pes = pes_packet(0xE0, unit, pts, dts if pts != dts else None, aligned=True, bounded=False)
        out.append(((dts - 30000) * 300, pes, coding_type == 1))
    return out


def audio_pes_list(frames, stream_id, samples, rate, per_pes, extra_for=None):
    out = []
    for first in range(0, len(frames), per_pes):
        pts = START + first * samples * PTS_CLOCK // rate
        extra_flags, extra = extra_for(first // per_pes) if extra_for else (0, b"")
        pes = pes_packet(stream_id, b"".join(frames[first:first + per_pes]), pts, extra_flags=extra_flags, extra=extra)
        out.append(((pts - 27000) * 300, pes))
    return out


# ---------------------------------------------------------------------------------------------
# dvb.ts


def dvb_tables():
    tsid, onid, network, service, radio = 0x0444, 0x2345, 0x3001, 101, 102
    pat = long_section(0x00, tsid, struct.pack(">HHHH", 0, 0xE010, service, 0xE100))
    stream_identifier = lambda tag: descriptor(0x52, bytes([tag]))
    streams = [
        (0x02, 0x0200, [stream_identifier(1),
                        descriptor(0x02, bytes([0x18, 0x48, 0x5F])),  # 25 fps, Main@Main, 4:2:0
                        descriptor(0x06, b"\x02"), descriptor(0x0E, struct.pack(">I", 0xC00000 | 2500)[1:]),
                        descriptor(0x04, bytes([0x0F, 0xCF, 0x7F, 0xC0]))]),
        (0x03, 0x0201, [descriptor(0x0A, language("eng") + b"\x01"), stream_identifier(2),
                        descriptor(0x03, bytes([0x67]))]),
        (0x06, 0x0202, [descriptor(0x6A, bytes([0xC0, 0x42, 0x08])), descriptor(0x0A, language("deu") + b"\x00"),
                        stream_identifier(3)]),
        (0x06, 0x0203, [descriptor(0x59, language("deu") + bytes([0x10]) + struct.pack(">HH", 1, 1)),
                        stream_identifier(4)]),
        (0x06, 0x0204, [descriptor(0x56, language("deu") + bytes([0x10, 0x88]) + language("eng") + bytes([0x08, 0x01])),
                        stream_identifier(5)]),
    ]
    body = struct.pack(">H", 0xE000 | 0x01FF) + descriptors_with_length(
        [descriptor(0x0E, struct.pack(">I", 0xC00000 | 5000)[1:]), descriptor(0x05, b"CRVT")])
    for stream_type, pid, items in streams:
        body += struct.pack(">BH", stream_type, 0xE000 | pid) + descriptors_with_length(items)
    pmt = long_section(0x02, service, body)

    # 474 MHz, 8 MHz, 64-QAM, code rates 2/3, guard interval 1/4, 8k
    delivery = descriptor(0x5A, struct.pack(">IBBB", 47400000, 0x1F, 0x81, 0x3A) + b"\xff" * 4)
    service_list = descriptor(0x41, struct.pack(">HBHB", service, 0x01, radio, 0x02))
    transport = struct.pack(">HH", tsid, onid) + descriptors_with_length([service_list, delivery])
    nit = long_section(0x40, network, descriptors_with_length([descriptor(0x40, dvb_iso8859(9, "Corvanta A\u011f\u0131"))])
                       + struct.pack(">H", 0xF000 | len(transport)) + transport)

    def service_descriptor(kind, provider, name):
        return descriptor(0x48, bytes([kind]) + lengthed(provider) + lengthed(name))
    body = struct.pack(">HB", onid, 0xFF)
    for sid, flags, running, items in [
            (service, 0x03, 4, [service_descriptor(0x01, dvb_default("Corvanta"), dvb_utf8("Corvanta Eins \u2013 \u00dc"))]),
            (radio, 0x00, 1, [service_descriptor(0x02, dvb_default("Corvanta"), dvb_iso8859(5, "\u0420\u0430\u0434\u0438\u043e"))])]:
        body += struct.pack(">HB", sid, 0xFC | flags) + descriptors_with_length(items, reserved_bits=running << 13)
    sdt = long_section(0x42, tsid, body)

    bat_transport = struct.pack(">HH", tsid, onid) + descriptors_with_length([service_list])
    bat = long_section(0x4A, 0x0007, descriptors_with_length([descriptor(0x47, dvb_default("Corvanta B\u00e4ume"))])
                       + struct.pack(">H", 0xF000 | len(bat_transport)) + bat_transport)

    def event(event_id, start, minutes, running, items):
        return (struct.pack(">H", event_id) + mjd_time(start) + bcd_time(minutes // 60, minutes % 60, 0)
                + descriptors_with_length(items, reserved_bits=running << 13))

    def short_event(lang, name, text):
        return descriptor(0x4D, language(lang) + lengthed(name) + lengthed(text))

    eit_head = struct.pack(">HHBB", tsid, onid, 1, 0x4E)
    present = event(0x1001, NOW - datetime.timedelta(minutes=5), 30, 4, [
        short_event("deu", dvb_default("Caf\u00e9 Nachrichten"), dvb_default("Die Meldungen des Tages")),
        descriptor(0x54, bytes([0x20, 0x00])), descriptor(0x55, language("DEU") + b"\x09"),
        descriptor(0x50, bytes([0xF1, 0x03, 0x01]) + language("deu") + dvb_default("Video"))])
    following_items = [short_event("deu", dvb_default("Spielfilm"), dvb_default("Ein Film")),
                       descriptor(0x54, bytes([0x10, 0x00]))]
    pf0 = long_section(0x4E, service, eit_head + present, number=0, last=1)
    pf1_without = long_section(0x4E, service, eit_head + event(0x1002, NOW + datetime.timedelta(minutes=25), 75, 1,
                                                                 following_items), number=1, last=1)
    # The schedule section that follows the two present/following sections in the same packets
    # starts two bytes before the end of the first packet: its section_length is split.
    padding = 181 - len(pf0) - len(pf1_without)
    assert padding >= 2
    following_items.append(descriptor(0x42, b"\xff" * (padding - 2)))
    pf1 = long_section(0x4E, service, eit_head + event(0x1002, NOW + datetime.timedelta(minutes=25), 75, 1,
                                                        following_items), number=1, last=1)
    assert len(pf0) + len(pf1) == 181
    schedule_events = b""
    for k in range(8):
        start = NOW + datetime.timedelta(hours=1 + k)
        text = dvb_default("Folge %d der Reihe: eine lange Beschreibung, die nicht in ein Paket passt." % (k + 1))
        schedule_events += event(0x2000 + k, start, 60, 1, [
            short_event("deu", dvb_default("Reihe %d" % (k + 1)), b""),
            descriptor(0x4E, bytes([0x01]) + language("deu")
                       + lengthed(lengthed(dvb_default("Regie")) + lengthed(dvb_default("A. Muster")))
                       + lengthed(text))])
    schedule = long_section(0x50, service, struct.pack(">HHBB", tsid, onid, 0, 0x50) + schedule_events)

    tdt = short_section(0x70, mjd_time(NOW))
    offset = descriptor(0x58, language("DEU") + bytes([0x02]) + bytes([bcd(2), bcd(0)])
                        + mjd_time(datetime.datetime(2024, 10, 27, 1, 0, 0)) + bytes([bcd(1), bcd(0)]))
    tot = short_section(0x73, mjd_time(NOW) + descriptors_with_length([offset]), with_crc=True)
    return dict(pat=pat, pmt=pmt, nit=nit, sdt=sdt, bat=bat, pf=[pf0, pf1], schedule=schedule, tdt=tdt, tot=tot)


def make_dvb(video, mp2, ac3, paths):
    tables = dvb_tables()
    mux = Multiplexer()
    for time in (0, MHZ27 // 2):
        mux.add(time, mux.sections(0x0000, [tables["pat"]]), order=0)
        mux.add(time, mux.sections(0x0100, [tables["pmt"]]), order=1)
    mux.add(MHZ27 // 10, mux.sections(0x0011, [tables["sdt"], tables["bat"]]))
    mux.add(MHZ27 // 5, mux.sections(0x0010, [tables["nit"]]))
    mux.add(3 * MHZ27 // 10, mux.sections(0x0012, tables["pf"] + [tables["schedule"]]))
    # The schedule again, then present/following: the first of those starts after a pointer_field.
    mux.add(7 * MHZ27 // 10, mux.sections(0x0012, [tables["schedule"]] + tables["pf"]))
    mux.add(2 * MHZ27 // 5, mux.sections(0x0014, [tables["tdt"]]))
    mux.add(9 * MHZ27 // 20, mux.sections(0x0014, [tables["tot"]]))

    # PCR on its own PID every 40 ms; one adaptation field with every optional field.
    for k in range(30):
        pcr = MHZ27 // 5 + k * MHZ27 // 25
        more = b""
        flags = 0x10
        if k == 3:
            flags = 0x1F  # PCR, OPCR, splice countdown, private data, extension
            extension = bytes([0xE0 | 0x10 | 0x0F]) + struct.pack(">H", 0x8000 | 0x1234)
            extension += struct.pack(">I", 0xC00000 | 0x2345)[1:]
            extension += bytes([0x30 | (((27000 >> 30) & 7) << 1) | 1]) + struct.pack(
                ">HH", (((27000 >> 15) & 0x7FFF) << 1) | 1, ((27000 & 0x7FFF) << 1) | 1)
            more = pcr_field(pcr - 2700, 0)[1:] + bytes([2]) + lengthed(b"CORV") + lengthed(extension)
        mux.add(pcr - 1, [mux.packet(0x01FF, None, adaptation=pcr_field(pcr, flags, more))])

    for k, (time, pes, intra) in enumerate(video_pes_list(video)):
        adaptation = b"\x40" if intra else None  # random_access_indicator
        first_payload = 11 if k == 2 else None  # the PTS split between two packets
        mux.add(time, mux.pes(0x0200, pes, adaptation=adaptation, first_payload=first_payload))

    def audio_extra(index):
        if index == 1:  # ES_rate, additional_copy_info, PES_CRC and an extension with P-STD buffer
            return 0x17, (struct.pack(">I", 0x800001 | (1200 << 1))[1:] + bytes([0x80 | 0x15])
                          + struct.pack(">H", 0xBEEF) + bytes([0x10 | 0x0E]) + struct.pack(">H", 0x4000 | 0x2000 | 48))
        return 0, b""
    for k, (time, pes) in enumerate(audio_pes_list(mpeg_audio_frames(mp2), 0xC0, 1152, 48000, 2, audio_extra)):
        # The third PES header starts 4 bytes before the end of its packet.
        mux.add(time, mux.pes(0x0201, pes, adaptation=b"" if k == 2 else None, first_payload=4 if k == 2 else None))
    for time, pes in audio_pes_list(ac3_frames(ac3), 0xBD, 1536, 48000, 1):
        mux.add(time, mux.pes(0x0202, pes))

    # DVB subtitle and teletext PES packets with empty data: data_identifier, then nothing.
    for k in range(2):
        pts = START + k * 36000
        mux.add((pts - 20000) * 300, mux.pes(0x0203, pes_packet(0xBD, b"\x20\x00\xff", pts)))
        teletext = b"\x10" + b"\xff\x2c" + b"\xff" * 44  # data_identifier, one stuffing data unit
        mux.add((pts - 19000) * 300, mux.pes(0x0204, pes_packet(0xBD, teletext, pts)))

    # Null packets, and a PID no table announces (one PES start, one packet of data).
    for k in range(3):
        mux.add(MHZ27 // 3 + k, [mux.packet(0x1FFF, b"\xff" * 184)])
    mux.add(MHZ27 // 4, mux.pes(0x0777, pes_packet(0xC1, b"\x55" * 200, START)))
    for path, size in paths:
        mux.write(path, size)


# ---------------------------------------------------------------------------------------------
# atsc.ts


def make_atsc(video, ac3, path):
    tsid = 0x0AAA
    pat = long_section(0x00, tsid, struct.pack(">HH", 1, 0xE030))
    caption = descriptor(0x86, bytes([0xE1]) + language("eng") + bytes([0xC1, 0x3F, 0xFF]))
    ac3_audio = descriptor(0x81, bytes([0x08, 0x10, 0x03]))  # 48 kHz, bsid 8, 64 kbit/s, 1/0
    body = struct.pack(">H", 0xE000 | 0x31) + descriptors_with_length([descriptor(0x05, b"GA94")])
    body += struct.pack(">BH", 0x02, 0xE031) + descriptors_with_length([caption])
    body += struct.pack(">BH", 0x81, 0xE034) + descriptors_with_length([ac3_audio, descriptor(0x0A, language("eng") + b"\x00")])
    pmt = long_section(0x02, 1, body)

    def mgt_table(table_type, pid, version, size):
        return struct.pack(">HHBI", table_type, 0xE000 | pid, 0xE0 | version, size) + struct.pack(">H", 0xF000)
    entries = [mgt_table(0x0000, 0x1FFB, 0, 64), mgt_table(0x0100, 0x1D00, 0, 20), mgt_table(0x0004, 0x1E00, 0, 0)]
    mgt = long_section(0xC7, 0, bytes([0]) + struct.pack(">H", len(entries)) + b"".join(entries)
                       + struct.pack(">H", 0xF000), private=1)
    name = "CORV".encode("utf-16-be").ljust(14, b"\x00")
    location = descriptor(0xA1, struct.pack(">HB", 0xE031, 2) + struct.pack(">BH", 0x02, 0xE031) + b"\x00\x00\x00"
                          + struct.pack(">BH", 0x81, 0xE034) + language("eng"))
    channel = name + struct.pack(">I", 0xF0000000 | (7 << 18) | (1 << 8) | 0x04)  # 7.1, 8-VSB
    # no ETM, not access controlled, not hidden, shown in the guide, ATSC digital television
    channel += struct.pack(">IHHH", 0, tsid, 1, 0x0DC2)
    channel += struct.pack(">H", 1) + struct.pack(">H", 0xFC00 | len(location)) + location
    tvct = long_section(0xC8, tsid, bytes([0, 1]) + channel + struct.pack(">H", 0xFC00))
    gps = int((NOW - datetime.datetime(1980, 1, 6)).total_seconds()) + 18
    stt = long_section(0xCD, 0, bytes([0]) + struct.pack(">IB", gps, 18) + struct.pack(">H", 0x8000 | 0x6000))
    atsc_eit = long_section(0xCB, 1, bytes([0, 0]))

    mux = Multiplexer()
    for time in (0, MHZ27 // 4):
        mux.add(time, mux.sections(0x0000, [pat]), order=0)
        mux.add(time, mux.sections(0x0030, [pmt]), order=1)
    mux.add(MHZ27 // 20, mux.sections(0x1FFB, [mgt, tvct, stt]))
    mux.add(MHZ27 // 10, mux.sections(0x1D00, [atsc_eit]))
    pictures = video_pes_list(video)[:8]
    for k, (time, pes, intra) in enumerate(pictures):
        pcr = time // 300 * 300
        mux.add(time, mux.pes(0x0031, pes, adaptation=pcr_field(pcr, 0x50 if intra else 0x10)))
    for time, pes in audio_pes_list(ac3_frames(ac3)[:6], 0xBD, 1536, 48000, 1):
        mux.add(time, mux.pes(0x0034, pes))
    mux.write(path)


if __name__ == "__main__":
    video = open(sys.argv[1], "rb").read()
    mp2 = open(sys.argv[2], "rb").read()
    ac3 = open(sys.argv[3], "rb").read()
    make_dvb(video, mp2, ac3, [("dvb.ts", 188), ("dvb-204.ts", 204)])
    make_atsc(video, ac3, "atsc.ts")
