// The MPEG-1/2 video decoder on its own: the scanner finds the same units however the stream is
// cut into stretches (start codes straddling two), keeps zero stuffing with the unit before and
// bounds long headers; header fields that the test files do not reach (display and copyright
// extensions, drop-frame time codes, loaded matrices, extra picture information) are spelt out.
#include "CodecTestSupport.h"
#include "TestSupport.h"
#include "codecs/Mpeg2Video.h"

using namespace codectest;
using namespace corvanta::codecs;

namespace {

// "kind begin-end code slices" of each unit.
QStringList unitLines(const std::vector<MpegVideoUnit>& units) {
  static const char* kKinds[] = {"lead", "header", "slices", "tail"};
  QStringList out;
  for (const MpegVideoUnit& u : units)
    out << QStringLiteral("%1 %2-%3 %4 %5").arg(QLatin1String(kKinds[int(u.kind)])).arg(u.begin).arg(u.end)
               .arg(u.code, 2, 16, QLatin1Char('0')).arg(u.slices);
  return out;
}

struct Scan {
  QStringList units;
  bool mpeg2 = false;
};

// The stream fed in two stretches, cut at `cut`.
Scan scan(const QByteArray& bytes, int cut) {
  MpegVideoScanner scanner;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
  scanner.feed(data, cut);
  scanner.feed(data + cut, bytes.size() - cut);
  Scan out;
  out.mpeg2 = scanner.sawSequenceExtension();
  out.units = unitLines(scanner.finish());
  return out;
}

Decoded header(const QByteArray& bytes, MpegVideoContext context = {}) {
  return decodeBytes(bytes, [&](corvanta::FieldReader& f) {
    mpegVideoHeader(f, context);
    return std::string();
  });
}

QString field(const Decoded& decoded, const QString& name, int nth = 0) {
  for (const Element& e : decoded.elements)
    if (e.name == name && nth-- == 0) return e.hrf.isEmpty() ? e.raw : e.raw + " [" + e.hrf + "]";
  return QStringLiteral("(missing)");
}

}  // namespace

class Mpeg2VideoTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void scanner_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("units");
    QTest::addColumn<bool>("mpeg2");
    // AA BB | 000001B3 + 4 | 000001B5 1x | 00000101 + 2 | 00000102 + 1 | 000001B7
    QTest::newRow("lead, headers, one slice run")
        << QByteArray::fromHex("AABB 000001B3 11223344 000001B5 1400 00000101 5566 00000102 77 000001B7")
        << QStringList{"lead 0-2 00 0", "header 2-10 b3 0", "header 10-16 b5 0", "slices 16-27 01 2",
                       "header 27-31 b7 0"}
        << true;
    // A display extension alone makes no MPEG-2 stream; zeros before a prefix stay with the unit
    // before it.
    QTest::newRow("stuffing and a display extension")
        << QByteArray::fromHex("000001B8 00080000 00000000 000001B5 2000 00000100 0008")
        << QStringList{"header 0-12 b8 0", "header 12-18 b5 0", "header 18-24 00 0"} << false;
    QTest::newRow("no start code") << QByteArray::fromHex("0000 0200 01") << QStringList{"lead 0-5 00 0"} << false;
  }
  void scanner() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, units);
    QFETCH(bool, mpeg2);
    for (int cut = 0; cut <= bytes.size(); ++cut) {
      const Scan found = scan(bytes, cut);
      QVERIFY2(found.units == units, qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(found.units.join(", "))));
      QCOMPARE(found.mpeg2, mpeg2);
    }
  }

  // A header unit is decoded over its first kMaxMpegVideoHeaderBytes only; the rest is a tail.
  void longUserDataEndsInATail() {
    const QByteArray bytes = QByteArray::fromHex("000001B2") + QByteArray(5000, 'x') + QByteArray::fromHex("000001B7");
    const Scan found = scan(bytes, 0);
    QCOMPARE(found.units, (QStringList{"header 0-4096 b2 0", "tail 4096-5004 b2 0", "header 5004-5008 b7 0"}));
  }

  void headers_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("nth");
    QTest::addColumn<QString>("expected");
    // sequence_display_extension: 0010 | NTSC 010 | colour 1 | 01 01 01 | 720 = 00001011010000 | 1 |
    // 480 = 00000111100000 | 000 (stuffing)
    const QByteArray display = bits({"00000000 00000000 00000001 10110101", "0010 010 1", "00000001 00000001 00000001",
                                     "00001011010000 1 00000111100000 000"});
    QTest::newRow("display: video_format") << display << "video_format" << 0 << "2 [NTSC]";
    QTest::newRow("display: primaries") << display << "colour_primaries" << 0 << "1 [BT.709]";
    QTest::newRow("display: summary") << display << "sequence_display_extension" << 0 << "720x480, NTSC";
    // group_of_pictures_header: drop frame 1 | 1 h | 2 min | 1 | 3 s | 4 pictures | closed 1 | broken 1 | 00000
    const QByteArray gop = bits({"00000000 00000000 00000001 10111000", "1 00001 000010 1 000011 000100 1 1 00000"});
    QTest::newRow("GOP: time code") << gop << "time_code" << 0 << "17322180 [01:02:03;04]";
    QTest::newRow("GOP: summary") << gop << "group_of_pictures_header" << 0 << "01:02:03;04, closed, broken link";
    // picture_header: temporal_reference 7, B (011), vbv_delay 900, 0 001, 1 010, one extra byte
    // 1 10101010, then 0 and 9 bits of stuffing.
    const QByteArray picture = bits({"00000000 00000000 00000001 00000000", "0000000111 011 0000001110000100",
                                     "0 001 1 010", "1 10101010 0 000000000"});
    QTest::newRow("picture: vbv_delay") << picture << "vbv_delay" << 0 << "900 [0.010000 s]";
    QTest::newRow("picture: backward_f_code") << picture << "backward_f_code" << 0 << "2";
    QTest::newRow("picture: extra information") << picture << "extra_information_picture" << 0 << "170";
    QTest::newRow("picture: last extra bit") << picture << "extra_bit_picture" << 1 << "0";
    QTest::newRow("picture: summary") << picture << "picture_header" << 0 << "B, temporal reference 7";
    // copyright_extension: 0100 | 1 | id 5 | original 1 | 0000000 | 1 | 20 bits 1 | 1 | 22 bits 2 | 1 |
    // 22 bits 3 | 1 | 0000000 (stuffing)
    const QByteArray copyright = bits({"00000000 00000000 00000001 10110101", "0100 1 00000101 1 0000000 1",
                                       "00000000000000000001 1 0000000000000000000010 1",
                                       "0000000000000000000011 1 0000000"});
    QTest::newRow("copyright: number 3") << copyright << "copyright_number_3" << 0 << "3";
    QTest::newRow("copyright: summary") << copyright << "copyright_extension" << 0 << "copyrighted";
    // sequence_header with a loaded intra matrix of 8, 9, ..., 71 after the flag bit, then the
    // non-intra flag 0, which ends the header on a byte boundary.
    QByteArray matrix_bits;
    for (int i = 0; i < 64; ++i)
      for (int b = 7; b >= 0; --b) matrix_bits.append(((i + 8) >> b) & 1 ? '1' : '0');
    const QByteArray sequence = bits({"00000000 00000000 00000001 10110011", "000001000000 000000110000 0001 0011",
                                      "000000000001100100 1 0000000010 0 1", matrix_bits.constData(), "0"});
    QStringList values;
    for (int i = 0; i < 64; ++i) values << QString::number(i + 8);
    QTest::newRow("sequence: loaded intra matrix") << sequence << "intra_quantiser_matrix" << 0
                                                   << values.join(' ') + " [64 values in zigzag scan order]";
    QTest::newRow("sequence: flag after the matrix") << sequence << "load_non_intra_quantiser_matrix" << 0 << "0 [default]";
  }
  void headers() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(int, nth);
    QFETCH(QString, expected);
    const Decoded decoded = header(bytes);
    QVERIFY2(decoded.report.ok(), qPrintable(decoded.report.summary()));
    QCOMPARE(decoded.report.covered_bits, qint64(bytes.size()) * 8);
    QCOMPARE(field(decoded, name, nth), expected);
  }

  // How many frame centre offsets a picture_display_extension holds follows from the picture before.
  void pictureDisplayOffsets_data() {
    QTest::addColumn<bool>("progressive_sequence");
    QTest::addColumn<int>("structure");
    QTest::addColumn<bool>("repeat_first_field");
    QTest::addColumn<bool>("top_field_first");
    QTest::addColumn<int>("offsets");
    QTest::newRow("field picture") << false << 1 << false << false << 1;
    QTest::newRow("interlaced frame") << false << 3 << false << false << 2;
    QTest::newRow("interlaced frame, repeated field") << false << 3 << true << false << 3;
    QTest::newRow("progressive") << true << 3 << false << false << 1;
    QTest::newRow("progressive, repeated, top first") << true << 3 << true << true << 3;
    QTest::newRow("progressive, repeated") << true << 3 << true << false << 2;
  }
  void pictureDisplayOffsets() {
    QFETCH(bool, progressive_sequence);
    QFETCH(int, structure);
    QFETCH(bool, repeat_first_field);
    QFETCH(bool, top_field_first);
    QFETCH(int, offsets);
    MpegVideoContext context;
    context.progressive_sequence = progressive_sequence;
    context.picture_structure = uint8_t(structure);
    context.repeat_first_field = repeat_first_field;
    context.top_field_first = top_field_first;
    // 0111, then three offsets of 16 + 1 + 16 + 1 bits (3 and -2), 6 bits of padding.
    QByteArray offset_bits = "0111";
    for (int i = 0; i < 3; ++i) offset_bits += "0000000000000011 1 1111111111111110 1";
    offset_bits += "000000";
    const Decoded decoded = header(bits({"00000000 00000000 00000001 10110101", offset_bits.constData()}), context);
    QVERIFY2(decoded.report.ok(), qPrintable(decoded.report.summary()));
    QCOMPARE(decoded.named("frame_centre_horizontal_offset").size(), size_t(offsets));
    QCOMPARE(field(decoded, "frame_centre_vertical_offset"), QStringLiteral("-2 [1/16 line]"));
  }
};

CORVANTA_TEST_CORE_MAIN(Mpeg2VideoTest)
#include "Mpeg2VideoTest.moc"
