// Hand-built program streams and video, their bits spelt out beside each case: pack headers of
// both versions, a system header, MPEG-1 PES headers, a program stream map and its CRC, DVD
// sub-stream headers, navigation packets, a video header split over two PES packets, and the
// probe's confidence.
#include "Checksums.h"
#include "FormatModule.h"
#include "ParsedFile.h"
#include "TestSupport.h"

using namespace corvanta::test;

namespace {

// Bits most significant first, from (value, width) pairs.
class Bits {
 public:
  Bits& operator()(quint64 value, int width) {
    for (int i = width - 1; i >= 0; --i) {
      byte = uchar((byte << 1) | ((value >> i) & 1));
      if (++filled == 8) {
        out.append(char(byte));
        filled = 0;
        byte = 0;
      }
    }
    return *this;
  }
  QByteArray bytes() const {
    if (filled) qFatal("fixture bits do not fill whole bytes");
    return out;
  }

 private:
  QByteArray out;
  int filled = 0;
  uchar byte = 0;
};

// A 33-bit clock in its three parts, each followed by a marker bit.
Bits& stamp(Bits& b, quint64 v) { return b(v >> 30, 3)(1, 1)((v >> 15) & 0x7FFF, 15)(1, 1)(v & 0x7FFF, 15)(1, 1); }

// 0000 01BA | 01 | SCR base | SCR extension 9 | 1 | program_mux_rate 22 | 11 | 11111 | stuffing 3
QByteArray mpeg2Pack(quint64 base, quint64 extension, quint64 rate, int stuffing = 0) {
  Bits b;
  b(0x1BA, 32)(1, 2);
  stamp(b, base)(extension, 9)(1, 1)(rate, 22)(3, 2)(0x1F, 5)(quint64(stuffing), 3);
  return b.bytes() + QByteArray(stuffing, '\xFF');
}

// 0000 01BA | 0010 | SCR | 1 | mux_rate 22 | 1
QByteArray mpeg1Pack(quint64 scr, quint64 rate) {
  Bits b;
  b(0x1BA, 32)(2, 4);
  stamp(b, scr)(1, 1)(rate, 22)(1, 1);
  return b.bytes();
}

QByteArray packet(int stream_id, const QByteArray& body) { return u32(0x100 + quint64(stream_id)) + u16(quint64(body.size())) + body; }

// An MPEG-2 PES header with a PTS only: 10 00 0 0 0 0 | 10 000000 | 5 | 0010 PTS
QByteArray mpeg2PesWithPts(quint64 pts) {
  Bits b;
  b(0x80, 8)(0x80, 8)(5, 8)(2, 4);
  stamp(b, pts);
  return b.bytes();
}

Parsed parse(const QByteArray& bytes, const QString& name = QStringLiteral("fixture.mpg")) { return parseBytesAs(bytes, name); }

QString fieldAt(const Parsed& parsed, const QString& path, qint64 from = 0) {
  const Element* e = parsed.at(path, from);
  return e ? (e->hrf.isEmpty() ? e->raw : e->raw + " [" + e->hrf + "]") : QStringLiteral("(missing)");
}

// 64x48, 4:3 display, 25 fps, bit_rate_value 100, marker, vbv 2, no matrices:
// 000001B3 | 000001000000 000000110000 | 0010 0011 | 000000000001100100 1 0000000010 0 0 0
QByteArray sequenceHeader() {
  Bits b;
  b(0x1B3, 32)(64, 12)(48, 12)(2, 4)(3, 4)(100, 18)(1, 1)(2, 10)(0, 1)(0, 1)(0, 1);
  return b.bytes();
}

}  // namespace

class MpegPsFixturesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void packHeaders_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    // SCR base 90000 and extension 150: 90000 * 300 + 150 ticks of 27 MHz.
    const QByteArray two = mpeg2Pack(90000, 150, 2500, 2) + u32(0x1B9);
    QTest::newRow("MPEG-2 SCR") << two << "pack/pack_header/system_clock_reference" << "27000150 [1.000006 s]";
    QTest::newRow("MPEG-2 SCR extension") << two << "pack/pack_header/system_clock_reference/system_clock_reference_extension" << "150";
    QTest::newRow("MPEG-2 mux rate") << two << "pack/pack_header/program_mux_rate" << "2500 [125000 bytes/s]";
    QTest::newRow("MPEG-2 stuffing") << two << "pack/pack_header/stuffing_byte" << "FF FF [2 bytes]";
    QTest::newRow("MPEG-2 summary") << two << "pack" << "MPEG-2, SCR 1.000006 s, 125000 bytes/s";
    QTest::newRow("end code") << two << "MPEG_program_end_code" << "0x000001B9";
    const QByteArray one = mpeg1Pack(45000, 100) + u32(0x1B9);
    QTest::newRow("MPEG-1 SCR") << one << "pack/pack_header/system_clock_reference" << "45000 [0.500000 s]";
    QTest::newRow("MPEG-1 version bits") << one << "pack/pack_header/'0010'" << "2";
    QTest::newRow("MPEG-1 summary") << one << "pack" << "MPEG-1, SCR 0.500000 s, 5000 bytes/s";
  }
  void packHeaders() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const Parsed parsed = parse(bytes);
    QCOMPARE(parsed.format, QStringLiteral("mpegps"));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(fieldAt(parsed, path), expected);
  }

  // 000001BB 0012 | 1 rate_bound 2500 1 | audio_bound 1, fixed 0, CSPS 0, locks 1 1 | 1 video_bound 1 |
  // restriction 0, reserved 1111111 | stream C0: 11 0 0000000100000 | stream E0: 11 1 0000000101110
  void systemHeader() {
    Bits b;
    b(1, 1)(2500, 22)(1, 1)(1, 6)(0, 1)(0, 1)(1, 1)(1, 1)(1, 1)(1, 5)(0, 1)(0x7F, 7);
    b(0xC0, 8)(3, 2)(0, 1)(32, 13)(0xE0, 8)(3, 2)(1, 1)(46, 13);
    const QByteArray body = b.bytes();
    const Parsed parsed = parse(mpeg2Pack(0, 0, 2500) + packet(0xBB, body));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(fieldAt(parsed, "pack/system_header"), QStringLiteral("1 audio, 1 video, 2 stream bounds"));
    QCOMPARE(fieldAt(parsed, "pack/system_header/rate_bound"), QStringLiteral("2500 [125000 bytes/s]"));
    const auto streams = parsed.named("stream");
    QCOMPARE(streams.size(), size_t(2));
    QCOMPARE(fieldAt(parsed, "P-STD_buffer_size_bound", streams[0]->id), QStringLiteral("32 [4096 bytes]"));
    QCOMPARE(fieldAt(parsed, "P-STD_buffer_size_bound", streams[1]->id), QStringLiteral("46 [47104 bytes]"));
  }

  // The MPEG-1 PES header form inside an MPEG-1 pack: two stuffing bytes, the STD buffer field,
  // PTS and DTS: FF FF | 01 1 0000000101110 | 0011 PTS | 0001 DTS.
  void mpeg1PesHeader() {
    Bits b;
    b(0xFFFF, 16)(1, 2)(1, 1)(46, 13)(3, 4);
    stamp(b, 93600)(1, 4);
    stamp(b, 90000);
    const QByteArray header = b.bytes();
    const Parsed parsed = parse(mpeg1Pack(0, 100) + packet(0xE0, header + QByteArray(4, '\x11')));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(fieldAt(parsed, "pack/PES_packet/PES_header/stuffing_byte"), QStringLiteral("FF FF [2 bytes]"));
    QCOMPARE(fieldAt(parsed, "pack/PES_packet/PES_header/STD_buffer_size"), QStringLiteral("46 [47104 bytes]"));
    QCOMPARE(fieldAt(parsed, "pack/PES_packet/PES_header/PTS"), QStringLiteral("93600 [1.040000 s]"));
    QCOMPARE(fieldAt(parsed, "pack/PES_packet/PES_header/DTS"), QStringLiteral("90000 [1.000000 s]"));
    QCOMPARE(parsed.at("pack/PES_packet")->raw, QStringLiteral("stream 0xE0, PTS 1.040000 s, DTS 1.000000 s"));
  }

  // 000001BC len | 1 0 0 00011 | 1111111 1 | 0000 | 0008 | 02 E0 0000 | 04 C0 0000 | CRC_32
  void programStreamMap_data() {
    QTest::addColumn<bool>("good_crc");
    QTest::addColumn<QString>("summary");
    QTest::newRow("CRC ok") << true << "version 3, 2 streams, CRC ok";
    QTest::newRow("CRC wrong") << false << "version 3, 2 streams, CRC wrong";
  }
  void programStreamMap() {
    QFETCH(bool, good_crc);
    QFETCH(QString, summary);
    const QByteArray fields = QByteArray::fromHex("83FF0000000802E0000004C00000");
    QByteArray map = packet(0xBC, fields + QByteArray(4, '\0'));
    const quint32 crc = corvanta::crc32Mpeg2(reinterpret_cast<const uint8_t*>(map.constData()), map.size() - 4);
    map.replace(map.size() - 4, 4, u32(good_crc ? crc : crc ^ 1));
    const Parsed parsed = parse(mpeg2Pack(0, 0, 2500) + map);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.at("pack/PES_packet")->raw, QStringLiteral("stream 0xBC, ") + summary);
    const auto streams = parsed.named("elementary_stream");
    QCOMPARE(streams.size(), size_t(2));
    QCOMPARE(fieldAt(parsed, "stream_type", streams[0]->id), QStringLiteral("0x02 [MPEG-2 video]"));
    QCOMPARE(fieldAt(parsed, "elementary_stream_id", streams[1]->id), QStringLiteral("0xC0 [audio stream 0]"));
  }

  // private_stream_1: sub-stream A0 (LPCM 0) | 1 frame | pointer 4 | 0 0 0 00011 | 01 01 0 001 | 80
  void lpcmSubStream() {
    const QByteArray payload = QByteArray::fromHex("A00100040351 80") + QByteArray(8, '\x22');
    const Parsed parsed = parse(mpeg2Pack(0, 0, 2500) + packet(0xBD, mpeg2PesWithPts(9000) + payload));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    const qint64 id = parsed.at("pack/PES_packet")->id;
    QCOMPARE(fieldAt(parsed, "sub_stream_id", id), QStringLiteral("0xA0 [LPCM 0]"));
    QCOMPARE(fieldAt(parsed, "audio_frame_number", id), QStringLiteral("3"));
    QCOMPARE(fieldAt(parsed, "quantization_word_length", id), QStringLiteral("1 [20 bits]"));
    QCOMPARE(fieldAt(parsed, "audio_sampling_frequency", id), QStringLiteral("1 [96000 Hz]"));
    QCOMPARE(fieldAt(parsed, "number_of_audio_channels", id), QStringLiteral("1 [2 channels]"));
    QCOMPARE(fieldAt(parsed, "LPCM samples", id), QStringLiteral("22 22 22 22 22 22 22 22 [8 bytes]"));
    QCOMPARE(parsed.at("pack/PES_packet")->raw, QStringLiteral("stream 0xBD, PTS 0.100000 s, LPCM 0"));
  }

  // private_stream_2 DSI: 01 | nv_pck_scr 90000 | nv_pck_lbn 7 | vobu_ea 99 | refs 1 2 3 |
  // vob 1, 00, cell 2 | c_eltm 00:00:01.05 at 25 fps (01 000101) | 20 more bytes
  void navigationPacket() {
    const QByteArray dsi = QByteArray::fromHex("01" "00015F90" "00000007" "00000063" "00000001" "00000002" "00000003"
                                               "0001" "00" "02" "00000145") + QByteArray(20, '\0');
    const Parsed parsed = parse(mpeg2Pack(0, 0, 2500) + packet(0xBF, dsi));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(fieldAt(parsed, "pack/PES_packet/dsi_gi/nv_pck_lbn"), QStringLiteral("7 [logical block of this navigation pack]"));
    QCOMPARE(fieldAt(parsed, "pack/PES_packet/dsi_gi/c_eltm"), QStringLiteral("0x00000145 [00:00:01.05, 25 fps]"));
    QCOMPARE(parsed.at("pack/PES_packet/dsi_gi")->raw, QStringLiteral("DSI, block 7"));
    QCOMPARE(fieldAt(parsed, "pack/PES_packet/dsi data"), QStringLiteral("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 … [20 bytes]"));
  }

  // A sequence header of 12 bytes whose first 7 bytes end one video PES packet and whose last 5
  // start the next: its fields appear under each packet that holds their bits, a field across the
  // edge in both, marked.
  void videoHeaderSplitOverTwoPackets() {
    const QByteArray header = sequenceHeader();
    const QByteArray first = packet(0xE0, mpeg2PesWithPts(3600) + header.left(7));
    const QByteArray second = packet(0xE0, QByteArray::fromHex("80 00 00") + header.mid(7) + u32(0x1B7));
    const Parsed parsed = parse(mpeg2Pack(0, 0, 2500) + first + second + u32(0x1B9));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.report.covered_bits, qint64(14 + first.size() + second.size() + 4) * 8);
    const auto packets = parsed.named("PES_packet");
    QCOMPARE(packets.size(), size_t(2));
    const Element* part1 = parsed.at("sequence_header", packets[0]->id);
    const Element* part2 = parsed.at("sequence_header", packets[1]->id);
    QVERIFY(part1 && part2);
    QCOMPARE(part1->byteSize(), qint64(7));
    QCOMPARE(part2->byteSize(), qint64(5));
    QCOMPARE(fieldAt(parsed, "horizontal_size_value", part1->id), QStringLiteral("64"));
    QCOMPARE(fieldAt(parsed, "vertical_size_value", part1->id), QStringLiteral("48"));
    QCOMPARE(fieldAt(parsed, "frame_rate_code", part2->id), QStringLiteral("3 [25 fps]"));
    // bit_rate_value spans bytes 8 to 10 of the header: all of it in the second packet.
    QCOMPARE(fieldAt(parsed, "bit_rate_value", part2->id), QStringLiteral("100 [40000 bit/s]"));
    QVERIFY2(part1->hrf.contains("continues in the next PES packet"), qPrintable(part1->hrf));
    QVERIFY2(part2->hrf.contains("continued from an earlier PES packet"), qPrintable(part2->hrf));
    QVERIFY(parsed.at("sequence_end", packets[1]->id));
  }

  // Raw elementary video: a sequence header, a picture header of a P picture and a slice.
  // 00000100 | temporal_reference 5, type 010, vbv_delay FFFF | 0 011 | 0 | 000 (stuffing)
  void elementaryVideo() {
    Bits picture;
    picture(0x100, 32)(5, 10)(2, 3)(0xFFFF, 16)(0, 1)(3, 3)(0, 1)(0, 6);
    const QByteArray bytes = sequenceHeader() + picture.bytes() + u32(0x101) + QByteArray(20, '\x55') + u32(0x102) +
                             QByteArray(5, '\x66');
    const Parsed parsed = parse(bytes, QStringLiteral("fixture.m2v"));
    QCOMPARE(parsed.format, QStringLiteral("mpegps"));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.report.covered_bits, qint64(bytes.size()) * 8);
    QCOMPARE(fieldAt(parsed, "sequence_header/aspect_ratio_information"), QStringLiteral("2 [0.6735]"));
    QCOMPARE(parsed.at("picture_header")->raw, QStringLiteral("P, temporal reference 5"));
    QCOMPARE(fieldAt(parsed, "picture_header/forward_f_code"), QStringLiteral("3"));
    QCOMPARE(fieldAt(parsed, "picture_header/stuffing"), QStringLiteral(" [zero bits up to the next start code]"));
    QCOMPARE(parsed.at("slices")->raw, QStringLiteral("2 slices, rows 1-2"));
    QCOMPARE(parsed.at("slices")->byteSize(), qint64(4 + 20 + 4 + 5));
  }

  void probe_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("confidence");
    QTest::newRow("pack and packet") << mpeg2Pack(0, 0, 2500) + packet(0xBE, QByteArray(4, '\xFF')) << 85;
    QTest::newRow("pack and junk") << mpeg2Pack(0, 0, 2500) + QByteArray(8, '\x12') << 40;
    QTest::newRow("pack start code, unknown version") << QByteArray::fromHex("000001BA C0000000000000000000") << 0;
    QTest::newRow("sequence header") << sequenceHeader() << 45;
    QTest::newRow("sequence header, frame rate 0") << QByteArray::fromHex("000001B3 040030 20 FFFFE0 0000") << 0;
    QTest::newRow("nothing") << QByteArray::fromHex("47000000 00000000") << 0;
  }
  void probe() {
    QFETCH(QByteArray, head);
    QFETCH(int, confidence);
    const corvanta::FormatModule* module = corvanta::findModule(QStringLiteral("mpegps"));
    QVERIFY(module);
    QCOMPARE(module->probe(reinterpret_cast<const uint8_t*>(head.constData()), head.size(), head.size()), confidence);
  }
};

CORVANTA_TEST_CORE_MAIN(MpegPsFixturesTest)
#include "MpegPsFixturesTest.moc"
