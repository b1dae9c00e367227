// Hand-built transport streams for what muxers rarely write: the header bits of a packet, PCR
// bits, M2TS and 204-byte packets, sections and PES headers split over packets, continuity
// counter errors, lost sync, PIDs that no table announces, bad CRCs, descriptors, DVB strings.
#include "MpegTsTestSupport.h"
#include "TestSupport.h"
#include "formats/mpegts/DvbText.h"

using namespace tstest;

namespace {

const QString kTs = QStringLiteral("test.ts");

void expectValid(const Parsed& parsed, qint64 file_size) {
  QCOMPARE(parsed.result, 0);
  QCOMPARE(parsed.format, QStringLiteral("mpegts"));
  QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
  QCOMPARE(parsed.report.covered_bits, file_size * 8);
}

// "name offset+size = raw [hrf]" of each child of `parent`, offsets in bits from the parent.
QStringList childLines(const Parsed& parsed, const Element& parent) {
  QStringList out;
  for (const Element* e : parsed.children(parent.id)) {
    QString line = QStringLiteral("%1 %2+%3 =").arg(e->name).arg(e->offset - parent.offset).arg(e->size);
    if (!e->raw.isEmpty()) line += QLatin1Char(' ') + e->raw;
    if (!e->hrf.isEmpty()) line += QStringLiteral(" [%1]").arg(e->hrf);
    out << line;
  }
  return out;
}

// The top level as "name@offset+size" in bytes.
QStringList topLevel(const Parsed& parsed) {
  QStringList out;
  for (const Element* e : parsed.children(0))
    out << QStringLiteral("%1@%2+%3").arg(e->name == kGarbage ? QStringLiteral("GARBAGE") : e->name)
               .arg(e->byteOffset()).arg(e->byteSize());
  return out;
}

QByteArray nullPacket() { return packet(0x1FFF, 0, QByteArray(184, char(0xFF))); }

// A packet of PID 0x100 with continuity counter `cc`; `payload` false: adaptation field only.
QByteArray counted(int cc, bool payload = true, bool discontinuity = false) {
  const QByteArray field = discontinuity ? u8(0x80) : u8(0x00);
  if (!payload) return packet(0x100, cc, {}, false, &field);
  return discontinuity ? packet(0x100, cc, QByteArray(20, 'x'), false, &field) : packet(0x100, cc, QByteArray(184, 'x'));
}

}  // namespace

class MpegTsFixturesTest : public QObject {
  Q_OBJECT

 private slots:
  // Each header field at its bit position: 47 5A BC 3B is
  // 01000111 | 0 1 0 11010 | 10111100 | 00 11 1011: PUSI, PID 0x1ABC, adaptation field and
  // payload, counter 11. The adaptation field is one length byte of 0, the payload has no PES
  // start code.
  void headerFieldBits() {
    const QByteArray bytes = QByteArray::fromHex("475ABC3B00") + QByteArray(183, '\x11');
    const Parsed parsed = parseBytes(bytes, kTs);
    expectValid(parsed, bytes.size());
    const Element& p = *packets(parsed).at(0);
    QCOMPARE(p.raw, QStringLiteral("PID 0x1ABC unreferenced, PUSI, cc 11"));
    QCOMPARE(childLines(parsed, p),
             QStringList({"sync_byte 0+8 = 0x47", "transport_error_indicator 8+1 = 0",
                          "payload_unit_start_indicator 9+1 = 1", "transport_priority 10+1 = 0",
                          "PID 11+13 = 6844 [unreferenced]", "transport_scrambling_control 24+2 = 0",
                          "adaptation_field_control 26+2 = 3 [adaptation field and payload]",
                          "continuity_counter 28+4 = 11", "adaptation_field 32+8 = empty",
                          "payload 40+1464 = [no PES start code where a payload unit starts]"}));
  }

  // PCR base 0x123456789 and extension 0x123: 91 A2 B3 C4 | 1 111111 1 | 00100011.
  void pcrBits() {
    const QByteArray field = QByteArray::fromHex("1091A2B3C4FF23");
    const QByteArray bytes = packet(0x100, 0, {}, false, &field);
    const Parsed parsed = parseBytes(bytes, kTs);
    expectValid(parsed, bytes.size());
    const Element& p = *packets(parsed).at(0);
    QCOMPARE(p.raw, QStringLiteral("PID 0x0100 unreferenced, cc 0, PCR 54296.870511 s"));
    const Element* pcr = find(parsed, QStringLiteral("PCR")).at(0);
    // 4886718345 * 300 + 291
    QCOMPARE(pcr->raw, QStringLiteral("1466015503791"));
    QCOMPARE(pcr->hrf, QStringLiteral("54296.870511 s"));
    QCOMPARE(childLines(parsed, *pcr),
             QStringList({"program_clock_reference_base 0+33 = 4886718345 [54296.870500 s]",
                          "reserved 33+6 = 63", "program_clock_reference_extension 39+9 = 291 [27 MHz ticks]"}));
    QCOMPARE(pcr->offset, p.offset + 6 * 8);
    const Element* stuffing = find(parsed, QStringLiteral("stuffing_byte")).at(0);
    QCOMPARE(stuffing->byteSize(), qint64(183 - 7));
    QCOMPARE(stuffing->raw, QStringLiteral("0xFF"));
  }

  // The stride is where sync bytes repeat, wherever the first packet starts.
  void packetSizes_data() {
    QTest::addColumn<int>("stride");
    QTest::addColumn<int>("lead");  // bytes before the first packet
    QTest::newRow("188") << 188 << 0;
    QTest::newRow("188 after a partial packet") << 188 << 100;
    QTest::newRow("192 (M2TS)") << 192 << 0;
    QTest::newRow("192 after a partial packet") << 192 << 60;
    QTest::newRow("204 (with parity)") << 204 << 0;
  }

  void packetSizes() {
    QFETCH(int, stride);
    QFETCH(int, lead);
    QByteArray bytes(lead, '\x22');
    for (int i = 0; i < 6; ++i) {
      if (stride == 192) bytes += u32(0x40000000u | quint64(1000 * i));  // copy permission 01, arrival time
      bytes += nullPacket();
      if (stride == 204) bytes += QByteArray(16, char(0xA5));
    }
    const Parsed parsed = parseBytes(bytes, kTs);
    expectValid(parsed, bytes.size());
    const auto all = packets(parsed);
    QCOMPARE(all.size(), size_t(6));
    for (size_t i = 0; i < all.size(); ++i) {
      QCOMPARE(all[i]->byteOffset(), qint64(lead) + qint64(i) * stride);
      QCOMPARE(all[i]->byteSize(), qint64(stride));
      QCOMPARE(all[i]->seq, qint64(i));
    }
    QCOMPARE(find(parsed, kGarbage).size(), size_t(lead ? 1 : 0));
    const QStringList lines = childLines(parsed, *all[1]);
    if (stride == 192) {
      QCOMPARE(lines.mid(0, 3), QStringList({"copy_permission_indicator 0+2 = 1",
                                             "arrival_time_stamp 2+30 = 1000 [0.000037 s]", "sync_byte 32+8 = 0x47"}));
    } else {
      QCOMPARE(lines.at(0), QStringLiteral("sync_byte 0+8 = 0x47"));
    }
    if (stride == 204)
      QCOMPARE(lines.last(), QStringLiteral("Reed_Solomon_parity 1504+128 = A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 [16 bytes]"));
  }

  // Bytes that break the sync become one GARBAGE element; parsing goes on where the sync byte
  // repeats at the stride again.
  void lostSync_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("top");
    const QByteArray p = nullPacket();
    QTest::newRow("junk between packets")
        << p + p + QByteArray(50, '\x01') + p + p + p + p + p
        << QStringList({"packet@0+188", "packet@188+188", "GARBAGE@376+50", "packet@426+188", "packet@614+188",
                        "packet@802+188", "packet@990+188", "packet@1178+188"});
    QTest::newRow("cut inside a packet: the stream resumes 100 bytes into it")
        << p + p + p.left(100) + p + p + p + p + p
        << QStringList({"packet@0+188", "packet@188+188", "GARBAGE@376+100", "packet@476+188", "packet@664+188",
                        "packet@852+188", "packet@1040+188", "packet@1228+188"});
    QByteArray broken = p;
    broken[0] = 0;
    QTest::newRow("one sync byte damaged")
        << p + p + broken + p + p + p + p
        << QStringList({"packet@0+188", "packet@188+188", "GARBAGE@376+188", "packet@564+188", "packet@752+188",
                        "packet@940+188", "packet@1128+188"});
    QTest::newRow("a lone sync byte in the junk")
        << p + p + QByteArray(20, '\x01') + u8(0x47) + QByteArray(29, '\x01') + p + p + p + p + p
        << QStringList({"packet@0+188", "packet@188+188", "GARBAGE@376+50", "packet@426+188", "packet@614+188",
                        "packet@802+188", "packet@990+188", "packet@1178+188"});
    // One packet before junk proves no stride: it is part of the junk.
    QTest::newRow("a lone packet before junk at the start")
        << p + QByteArray(50, '\x01') + p + p + p + p + p
        << QStringList({"GARBAGE@0+238", "packet@238+188", "packet@426+188", "packet@614+188", "packet@802+188",
                        "packet@990+188"});
    QTest::newRow("junk after the last packet")
        << p + p + QByteArray(30, '\x01')
        << QStringList({"packet@0+188", "packet@188+188", "GARBAGE@376+30"});
    QTest::newRow("the last packet cut in its payload")
        << p + p + p.left(50) << QStringList({"packet@0+188", "packet@188+188", "packet@376+50"});
    QTest::newRow("the last packet cut in its header")
        << p + p + p.left(2) << QStringList({"packet@0+188", "packet@188+188", "packet@376+2"});
  }

  void lostSync() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, top);
    const Parsed parsed = parseBytes(bytes, kTs);
    expectValid(parsed, bytes.size());
    QCOMPARE(topLevel(parsed), top);
    const Element* last = parsed.children(0).back();
    if (last->name == QLatin1String("packet") && last->byteSize() < 188)
      QVERIFY2(last->hrf.contains(QLatin1String("truncated")), qPrintable(elementLine(*last)));
  }

  // The continuity counter goes up by one with each packet that has a payload; a packet without
  // payload keeps it; a duplicate repeats it; a discontinuity_indicator excuses a jump.
  void continuity_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("summaries");
    QTest::newRow("in order, wrapping") << counted(14) + counted(15) + counted(0) + counted(1)
                                        << QStringList({"cc 14", "cc 15", "cc 0", "cc 1"});
    QTest::newRow("a packet lost") << counted(0) + counted(1) + counted(3)
                                   << QStringList({"cc 0", "cc 1", "cc 3 (expected 2)"});
    QTest::newRow("a duplicate") << counted(0) + counted(1) + counted(1) + counted(2)
                                 << QStringList({"cc 0", "cc 1", "cc 1, duplicate", "cc 2"});
    QTest::newRow("the same counter with other bytes is no duplicate")
        << counted(0) + counted(1) + packet(0x100, 1, QByteArray(184, 'y')) + counted(2)
        << QStringList({"cc 0", "cc 1", "cc 1 (expected 2)", "cc 2"});
    QTest::newRow("no payload keeps the counter") << counted(4) + counted(4, false) + counted(5)
                                                  << QStringList({"cc 4", "cc 4", "cc 5"});
    QTest::newRow("no payload must not count") << counted(4) + counted(5, false) + counted(6)
                                               << QStringList({"cc 4", "cc 5 (expected 4)", "cc 6"});
    QTest::newRow("a signalled discontinuity") << counted(4) + counted(9, true, true) + counted(10)
                                               << QStringList({"cc 4", "cc 9, discontinuity", "cc 10"});
  }

  void continuity() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, summaries);
    const Parsed parsed = parseBytes(bytes, kTs);
    expectValid(parsed, bytes.size());
    QStringList actual;
    for (const Element* p : packets(parsed)) actual << p->raw.mid(QStringLiteral("PID 0x0100 unreferenced, ").size());
    QCOMPARE(actual, summaries);
  }

  // A PMT of about 300 bytes over two packets of its PID, with another PID's packet between:
  // each packet holds its piece; a descriptor split by the packet boundary appears in both, each
  // part at its own bytes; the CRC_32 is checked in the last piece; the PMT names the PIDs.
  void splitSection() {
    QByteArray descriptors;
    for (int i = 0; i < 12; ++i) descriptors += descriptor(0x0A, QByteArray("eng") + u8(quint64(i % 4)));
    // 3 bytes of program info put the packet boundary 3 bytes into a descriptor of the third stream.
    const QByteArray pmt = pmtSection(0x101, {{0x1B, 0x101, descriptors}, {0x0F, 0x102, descriptors},
                                              {0x03, 0x103, descriptors}, {0x06, 0x104, descriptors}},
                                      descriptor(0x52, u8(1)));
    QVERIFY(pmt.size() > 183 && pmt.size() < 183 + 184);
    const QByteArray bytes = patPacket(0x100) + packet(0x100, 0, u8(0) + pmt.left(183), true) +
                             nullPacket() + packet(0x100, 1, pmt.mid(183)) + packet(0x101, 0, pesPacket(0xE0, 9000, 0, "data"), true);
    const Parsed parsed = parseBytes(bytes, kTs);
    expectValid(parsed, bytes.size());
    QCOMPARE(parsed.garbageCount(), qint64(0));
    const auto pieces = find(parsed, QStringLiteral("TS_program_map_section"));
    QCOMPARE(pieces.size(), size_t(2));
    const QString summary = QStringLiteral("PMT, program 1, PCR PID 0x0101, 4 streams, version 0, CRC ok");
    QCOMPARE(pieces[0]->raw, summary);
    QCOMPARE(pieces[1]->raw, summary);
    QCOMPARE(pieces[0]->hrf, QStringLiteral("continues in the next packet"));
    QCOMPARE(pieces[1]->hrf, QStringLiteral("continued from an earlier packet"));
    QCOMPARE(pieces[0]->byteOffset(), qint64(188 + 5));
    QCOMPARE(pieces[0]->byteSize(), qint64(183));
    QCOMPARE(pieces[1]->byteOffset(), qint64(3 * 188 + 4));
    QCOMPARE(pieces[1]->byteSize(), qint64(pmt.size() - 183));
    QVERIFY(child(parsed, *pieces[1], QStringLiteral("CRC_32")));
    QCOMPARE(child(parsed, *pieces[1], QStringLiteral("CRC_32"))->hrf, QStringLiteral("ok"));
    // Whatever straddles the boundary: every part of it ends or starts there.
    const qint64 boundary = 2 * 188 * 8;
    int straddling = 0;
    for (const Element* e : descendants(parsed, *pieces[0]))
      if (e->hrf.contains(QLatin1String("continues in the next packet"))) {
        QCOMPARE(e->offset + e->size, boundary);
        ++straddling;
      }
    QCOMPARE(straddling, 4);  // the stream entry, its descriptor, the language entry and its code
    for (const Element* e : descendants(parsed, *pieces[1]))
      if (e->hrf.contains(QLatin1String("continued from"))) QCOMPARE(e->offset, qint64(3 * 188 + 4) * 8);
    // The program map believed the split PMT: the stream's packets are named.
    QCOMPARE(child(parsed, *packets(parsed).at(4), QStringLiteral("PID"))->hrf, QStringLiteral("H.264 video, program 1"));
  }

  // A PES header split after 10 bytes (the first byte of the PTS) by an adaptation field that
  // fills the rest of its packet: the PTS is in both pieces with its whole value.
  void splitPesHeader() {
    const QByteArray pes = pesPacket(0xC0, 0x1FFFFFFFFull, 0, QByteArray(100, 'a'));
    const QByteArray stuffing;
    QByteArray first = packet(0x101, 0, pes.left(10), true, &stuffing);
    const QByteArray bytes = patPacket(0x100) + packet(0x100, 0, u8(0) + pmtSection(0x101, {{0x03, 0x101, {}}}), true) +
                             first + packet(0x101, 1, pes.mid(10), false, &stuffing);
    const Parsed parsed = parseBytes(bytes, kTs);
    expectValid(parsed, bytes.size());
    const auto headers = find(parsed, QStringLiteral("PES_header"));
    QCOMPARE(headers.size(), size_t(2));
    QCOMPARE(headers[0]->raw, QStringLiteral("stream 0xC0, PTS 95443.717678 s"));
    QCOMPARE(headers[1]->raw, headers[0]->raw);
    QCOMPARE(headers[0]->byteSize(), qint64(10));
    QCOMPARE(headers[1]->byteSize(), qint64(4));
    const auto stamps = find(parsed, QStringLiteral("PTS"));
    QCOMPARE(stamps.size(), size_t(2));
    for (const Element* pts : stamps) QCOMPARE(pts->raw, QStringLiteral("8589934591"));
    QCOMPARE(stamps[0]->size, qint64(8));
    QCOMPARE(stamps[1]->size, qint64(32));
    QCOMPARE(childLines(parsed, *stamps[0]), QStringList({"'0010' 0+4 = 2", "PTS[32..30] 4+3 = 7", "marker_bit 7+1 = 1"}));
    const Element* data = find(parsed, QStringLiteral("PES_packet_data_byte")).at(0);
    QCOMPARE(data->raw, QStringLiteral("PES bytes 14-113"));
    QCOMPARE(data->byteSize(), qint64(100));
  }

  // What a PID carries comes from the tables anywhere in the file, not only from those before it.
  void pidRoles() {
    const QByteArray cat = packet(1, 0, u8(0) + section(0x01, 0xFFFF, descriptor(0x09, u16(0x0B00) + u16(0xE000 | 0x300))), true);
    const QByteArray pmt = packet(0x100, 0, u8(0) + pmtSection(0x101, {{0x1B, 0x102, descriptor(0x09, u16(0x0B00) + u16(0xE000 | 0x301))}}), true);
    const QByteArray pcr = QByteArray::fromHex("10000000007E00");
    const QByteArray bytes = packet(0x102, 0, pesPacket(0xE0, 900, 0, "early"), true) + patPacket(0x100) + pmt + cat +
                             packet(0x101, 0, {}, false, &pcr) +
                             packet(0x300, 0, QByteArray(184, char(0xFF))) + packet(0x301, 0, QByteArray(184, char(0xFF))) +
                             packet(0x555, 0, QByteArray(184, 'z'));
    const Parsed parsed = parseBytes(bytes, kTs);
    expectValid(parsed, bytes.size());
    QStringList labels;
    for (const Element* p : packets(parsed)) labels << child(parsed, *p, QStringLiteral("PID"))->hrf;
    QCOMPARE(labels, QStringList({"H.264 video, program 1", "program association table", "PMT, program 1",
                                  "conditional access table", "PCR, program 1", "EMM, CA system 0x0B00",
                                  "ECM, program 1", "unreferenced"}));
    QCOMPARE(find(parsed, QStringLiteral("PES_header")).size(), size_t(1));
  }

  // A PAT with a wrong CRC says so, and is not believed: its PMT's PID stays unreferenced.
  void crcMismatch() {
    QByteArray pat = patPacket(0x100);
    pat[4 + 1 + 12] = char(pat[4 + 1 + 12] ^ 0x01);  // the first byte of CRC_32 (section bytes 12 to 15)
    const QByteArray bytes = pat + packet(0x100, 0, u8(0) + pmtSection(0x1FFF, {}), true);
    const Parsed parsed = parseBytes(bytes, kTs);
    expectValid(parsed, bytes.size());
    const Element* section = find(parsed, QStringLiteral("program_association_section")).at(0);
    QVERIFY2(section->raw.endsWith(QLatin1String("CRC mismatch")), qPrintable(section->raw));
    const Element* crc = child(parsed, *section, QStringLiteral("CRC_32"));
    QVERIFY2(crc->hrf.startsWith(QLatin1String("mismatch: computed 0x")), qPrintable(crc->hrf));
    QCOMPARE(child(parsed, *packets(parsed).at(1), QStringLiteral("PID"))->hrf, QStringLiteral("unreferenced"));
  }

  // Payloads that are not decoded: null packets, scrambled packets, the end of a section whose
  // start is not in the file.
  void undecodedPayloads_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("last_child");
    QTest::newRow("null packet") << nullPacket() << QStringLiteral("PID 0x1FFF null") << QStringLiteral("null_data 32+1472 =");
    QTest::newRow("scrambled") << packet(0x100, 3, QByteArray(184, 'x'), false, nullptr, 2)
                               << QStringLiteral("PID 0x0100 unreferenced, cc 3, scrambled")
                               << QStringLiteral("payload 32+1472 = [scrambled]");
    QTest::newRow("section end at the start of the file")
        << packet(0, 0, QByteArray(30, '\x33')) << QStringLiteral("PID 0x0000 PAT, cc 0")
        << QStringLiteral("section_data 32+1472 = [the end of a section that began before the file]");
    QTest::newRow("PES data at the start of the file")
        << packet(0x100, 0, QByteArray(184, 'x')) << QStringLiteral("PID 0x0100 unreferenced, cc 0")
        << QStringLiteral("PES_packet_data_byte 32+1472 = [the PES packet began before the file]");
  }

  void undecodedPayloads() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, summary);
    QFETCH(QString, last_child);
    const Parsed parsed = parseBytes(bytes, kTs);
    expectValid(parsed, bytes.size());
    const Element& p = *packets(parsed).at(0);
    QCOMPARE(p.raw, summary);
    const QStringList lines = childLines(parsed, p);
    QCOMPARE(lines.size(), 9);  // eight header fields, then the payload
    QCOMPARE(lines.last(), last_child);
  }

  // Descriptors in an ES_info loop: each a unit named for its tag, its fields decoded.
  void descriptors_data() {
    QTest::addColumn<int>("stream_type");
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("field");  // one of its fields, "name offset+size = raw [hrf]" from the unit
    auto row = [](const char* name, int type, const char* hex, const char* unit, const char* summary, const char* field) {
      QTest::newRow(name) << type << QByteArray::fromHex(hex) << QString::fromUtf8(unit) << QString::fromUtf8(summary)
                          << QString::fromUtf8(field);
    };
    // 'e' 'n' 'g', audio_type 3
    row("ISO 639 language", 0x03, "0A04656E6703", "ISO_639_language_descriptor", "eng", "language 16+32 = eng [visual impaired commentary]");
    row("registration", 0x06, "050441432D33", "registration_descriptor", "AC-3", "format_identifier 16+32 = AC-3");
    // component_type_flag and bsid_flag: 1 1 0 0 0000, component_type 0x42, bsid 16
    row("enhanced AC-3", 0x06, "7A03C04210", "enhanced_AC-3_descriptor", "E-AC-3", "bsid 32+8 = 16");
    // profile_and_level 0x58, AAC_type_flag 1, SAOC_DE 0, reserved, AAC_type 0x03
    row("AAC", 0x06, "7C03588003", "AAC_descriptor", "AAC, profile and level 0x58", "AAC_type 32+8 = 3 [HE-AAC audio, stereo]");
    // profile_idc 100, constraint flags 0, level_idc 40, still 0, 24 hour 0, frame packing 1, reserved
    row("AVC video", 0x1B, "28046400283F", "AVC_video_descriptor", "High level 4.0", "level_idc 32+8 = 40 [4.0]");
    // profile_space 0, tier 0, profile_idc 1 | compatibility 0x60000000 | 1011 + 44 zero bits |
    // level_idc 123 | 0 0 0 1 11 11
    row("HEVC video", 0x24, "380D0160000000B000000000007B1F", "HEVC_video_descriptor", "Main, Main tier, level 4.1",
        "level_idc 104+8 = 123 [4.1]");
    row("data stream alignment of audio", 0x0F, "060101", "data_stream_alignment_descriptor", "syncword",
        "alignment_type 16+8 = 1 [syncword]");
    // reserved 11, maximum_bitrate 25000 units of 50 bytes/s
    row("maximum bitrate", 0x1B, "0E03C061A8", "maximum_bitrate_descriptor", "10000000 bit/s",
        "maximum_bitrate 18+22 = 25000 [10000000 bit/s]");
    // 'd' 'e' 'u', type 0x10, composition page 2, ancillary page 3
    row("subtitling", 0x06, "59086465751000020003", "subtitling_descriptor", "deu",
        "subtitle 16+64 = deu [DVB subtitles (normal), no aspect ratio]");
    row("stream identifier", 0x02, "520107", "stream_identifier_descriptor", "component tag 7", "component_tag 16+8 = 7");
    row("user private tag", 0x06, "F002ABCD", "descriptor", "", "descriptor_data 16+16 = AB CD [user private]");
    row("ATSC tag outside ATSC", 0x81, "8103081003", "descriptor", "", "descriptor_data 16+24 = 08 10 03 [user private]");
    // AVC video with only two bytes: level_idc would run past descriptor_length
    row("fields past the length", 0x1B, "28026400", "AVC_video_descriptor", "", "profile_idc 16+8 = 100 [High]");
  }

  void descriptors() {
    QFETCH(int, stream_type);
    QFETCH(QByteArray, descriptor);
    QFETCH(QString, unit);
    QFETCH(QString, summary);
    QFETCH(QString, field);
    const QByteArray bytes = patPacket(0x100) + packet(0x100, 0, u8(0) + pmtSection(0x1FFF, {{stream_type, 0x101, descriptor}}), true);
    const Parsed parsed = parseBytes(bytes, kTs);
    expectValid(parsed, bytes.size());
    const auto stream = find(parsed, QStringLiteral("elementary_stream"));
    QCOMPARE(stream.size(), size_t(1));
    const auto units = parsed.children(stream[0]->id);
    const auto found = std::find_if(units.begin(), units.end(), [&](const Element* e) { return e->name == unit; });
    QVERIFY2(found != units.end(), qPrintable(unit));
    QCOMPARE((*found)->raw, summary);
    QCOMPARE((*found)->byteSize(), qint64(descriptor.size()));
    QVERIFY2(childLines(parsed, **found).contains(field), qPrintable(childLines(parsed, **found).join(QStringLiteral("\n"))));
  }

  // DVB strings: the first byte chooses the character table (EN 300 468 Annex A).
  void dvbText_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("table");
    QTest::newRow("default table, diacritic before its letter") << QByteArray::fromHex("436166C265") << "Café" << "";
    QTest::newRow("control codes: emphasis dropped, CR/LF a space") << QByteArray::fromHex("86416287 8A43") << "Ab C" << "";
    QTest::newRow("0x01: ISO/IEC 8859-5") << QByteArray::fromHex("01B0B1") << "АБ" << "ISO/IEC 8859-5";
    QTest::newRow("0x10 0x00 0x02: ISO/IEC 8859-2") << QByteArray::fromHex("100002B1") << "ą" << "ISO/IEC 8859-2";
    QTest::newRow("0x11: UCS-2 with a CR/LF code") << QByteArray::fromHex("110041E08A0042") << "A B" << "ISO/IEC 10646 (UCS-2)";
    QTest::newRow("0x15: UTF-8") << QByteArray::fromHex("15C3BC") << "ü" << "UTF-8";
    QTest::newRow("empty") << QByteArray() << "" << "";
    QTest::newRow("table byte only") << QByteArray::fromHex("15") << "" << "UTF-8";
  }

  void dvbText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(QString, table);
    const corvanta::mpegts::DvbText decoded =
        corvanta::mpegts::dvbText(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
    QCOMPARE(QString::fromStdString(decoded.text), text);
    QCOMPARE(QString::fromUtf8(decoded.table), table);
  }
};

CORVANTA_TEST_CORE_MAIN(MpegTsFixturesTest)
#include "MpegTsFixturesTest.moc"
