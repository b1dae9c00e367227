// Hand-built frames for what the encoders here do not write: an ADTS frame with a CRC and two
// raw data blocks, an AC-4 frame with the 24-bit frame size, an MPEG audio VBRI header, a Layer
// III side information byte changed under its CRC; and the fields of the hand-built AC-4 and
// DTS-HD test files as their scripts describe them. Each fixture's bits are written beside it.
#include "ParsedFile.h"
#include "TestSupport.h"

using namespace corvanta::test;

namespace {

QString rawAt(const Parsed& parsed, const QString& path, qint64 from = 0) {
  const Element* e = parsed.at(path, from);
  return e ? e->raw : QStringLiteral("<missing %1>").arg(path);
}

// The top-level frame with this sequence number.
const Element* frame(const Parsed& parsed, qint64 seq) {
  for (const Element& e : parsed.elements)
    if (e.level == 0 && e.name == "frame" && e.seq == seq) return &e;
  return nullptr;
}

}  // namespace

class AudioFrameFixturesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  // ADTS, MPEG-4 AAC LC 48 kHz stereo, protection_absent 0, two raw data blocks:
  //   FFF  syncword | 0 ID | 00 layer | 0 protection_absent       -> FF F0
  //   01 profile LC | 0011 48 kHz | 0 private | 010 channels 2     -> 4C 80 (with the next bits)
  //   0 original | 0 home | 0 0 copyright bits | frame_length 40 (13 bits) | fullness 0x7FF |
  //   01 blocks (two)
  // then raw_data_block_position[1] = 0x0010, crc_check = 0xBEEF, 27 bytes of blocks.
  void adtsWithCrcAndTwoBlocks() {
    const QByteArray header = QByteArray::fromHex("FFF04C80051FFD");  // frame_length 40 at bits 30..42
    const QByteArray frame_bytes = header + u16(0x0010) + u16(0xBEEF) + QByteArray(40 - 11, '\x21');
    const Parsed parsed = parseBytesAs(frame_bytes.repeated(3), QStringLiteral("x.aac"));
    QCOMPARE(parsed.format, QStringLiteral("adts"));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.garbageCount(), 0);
    const Element* first = frame(parsed, 0);
    QVERIFY(first);
    QCOMPARE(first->byteSize(), 40);
    QCOMPARE(rawAt(parsed, "adts_variable_header/frame_length", first->id), QStringLiteral("40"));
    QCOMPARE(rawAt(parsed, "adts_variable_header/number_of_raw_data_blocks_in_frame", first->id), QStringLiteral("1"));
    QCOMPARE(rawAt(parsed, "adts_header_error_check/raw_data_block_position", first->id), QStringLiteral("16"));
    QCOMPARE(rawAt(parsed, "adts_header_error_check/crc_check", first->id), QStringLiteral("48879"));
    const Element* blocks = parsed.at("raw_data_blocks", first->id);
    QVERIFY(blocks);
    QCOMPARE(blocks->byteOffset(), 11);
    QCOMPARE(blocks->byteSize(), 29);
  }

  // AC-4 sync frames whose frame_size 0xFFFF announces a 24-bit size (here 40):
  //   AC 40 | FF FF | 00 00 28 | raw frame: bitstream_version 2, sequence_counter 5,
  //   b_wait_frames 0, fs_index 1, frame_rate_index 9 (60), b_iframe_global 0:
  //   10 0000000101 0 1 1001 0 -> 1000 0000 0101 0110 0100 0000 = 80 56 40, then 37 filler bytes.
  void ac4TwentyFourBitFrameSize() {
    const QByteArray raw = QByteArray::fromHex("805640") + QByteArray(37, '\x11');
    const QByteArray frame_bytes = QByteArray::fromHex("AC40FFFF000028") + raw;
    const Parsed parsed = parseBytesAs(frame_bytes.repeated(3), QStringLiteral("x.ac4"));
    QCOMPARE(parsed.format, QStringLiteral("ac4"));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    const Element* first = frame(parsed, 0);
    QVERIFY(first);
    QCOMPARE(first->byteSize(), 47);
    const auto sizes = parsed.children(parsed.at("ac4_syncframe", first->id)->id);
    QCOMPARE(int(sizes.size()), 3);
    QCOMPARE(sizes[2]->raw, QStringLiteral("40"));
    QCOMPARE(sizes[2]->offset, 32);
    QCOMPARE(rawAt(parsed, "raw_ac4_frame/ac4_toc/sequence_counter", first->id), QStringLiteral("5"));
    QCOMPARE(parsed.at("raw_ac4_frame/ac4_toc/frame_rate_index", first->id)->hrf, QStringLiteral("60 frames/s"));
  }

  // The first frame of an MPEG-1 Layer III stream (FF FB 90 00: 128 kbit/s, 44100 Hz, stereo,
  // 417 bytes) holds a VBRI header at byte 36, after 32 bytes of zero side information:
  // "VBRI", version 1, delay 0x1234, quality 75, bytes 1251, frames 3, 2 TOC entries, scale 1,
  // entry size 2, 1 frame per entry, entries 417 and 417.
  void vbriHeader() {
    const QByteArray header = QByteArray::fromHex("FFFB9000");
    QByteArray first = header + QByteArray(32, '\0') + QByteArray("VBRI") + u16(1) + u16(0x1234) + u16(75) + u32(1251) +
                       u32(3) + u16(2) + u16(1) + u16(2) + u16(1) + u16(417) + u16(417);
    first.append(QByteArray(417 - first.size(), '\0'));
    const QByteArray audio = header + QByteArray(413, '\x5A');
    const Parsed parsed = parseBytesAs(first + audio + audio, QStringLiteral("x.mp3"));
    QCOMPARE(parsed.format, QStringLiteral("mpegaudio"));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    const Element* vbri = parsed.at("frame/VBRI header");
    QVERIFY(vbri);
    QCOMPARE(vbri->byteOffset(), 36);
    QCOMPARE(rawAt(parsed, "frame/VBRI header/delay"), QStringLiteral("4660"));
    QCOMPARE(rawAt(parsed, "frame/VBRI header/frames"), QStringLiteral("3"));
    QCOMPARE(rawAt(parsed, "frame/VBRI header/toc/entry"), QStringLiteral("417"));
    QCOMPARE(parsed.named("entry").size(), size_t(2));
  }

  // One byte of the side information of lame-crc.mp3's fourth frame changed: that frame's CRC
  // fails, and only it.
  void changedSideInformationFailsTheCrc() {
    QByteArray bytes = readAll(dataFile("mpegaudio/lame-crc.mp3"));
    const Parsed good = parseBytesAs(bytes, QStringLiteral("x.mp3"));
    const Element* fourth = frame(good, 3);
    QVERIFY(fourth);
    bytes[int(fourth->byteOffset() + 4 + 2 + 5)] = char(bytes[int(fourth->byteOffset() + 4 + 2 + 5)] ^ 0x10);
    const Parsed parsed = parseBytesAs(bytes, QStringLiteral("x.mp3"));
    int mismatches = 0;
    for (const Element& e : parsed.elements)
      if (e.name == "crc_check" && e.hrf.startsWith("mismatch")) {
        ++mismatches;
        QCOMPARE(e.byteOffset(), fourth->byteOffset() + 4);
      }
    QCOMPARE(mismatches, 1);
  }

  // The hand-built test files hold what their scripts describe.
  void handBuiltFilesAsDescribed_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<qint64>("seq");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("value");
    QTest::newRow("AC-4 counter") << "ac4/plain.ac4" << qint64(7) << "raw_ac4_frame/ac4_toc/sequence_counter" << "7";
    QTest::newRow("AC-4 rate") << "ac4/plain.ac4" << qint64(0) << "raw_ac4_frame/ac4_toc/frame_rate_index" << "2";
    QTest::newRow("AC-4 size") << "ac4/crc.ac4" << qint64(11) << "ac4_syncframe/frame_size" << "96";
    QTest::newRow("AC-4 CRC word") << "ac4/crc.ac4" << qint64(11) << "crc_word" << "0";
    QTest::newRow("DTS-HD header size") << "dts/substreams.dts" << qint64(1) << "substream_header/nuExtSSHeaderSize" << "15";
    QTest::newRow("DTS-HD frame size") << "dts/substreams.dts" << qint64(1) << "substream_header/nuExtSSFsize" << "63";
    QTest::newRow("AMR SID") << "amr/narrowband.amr" << qint64(10) << "frame_header/FT" << "8";
    QTest::newRow("AMR no data") << "amr/narrowband.amr" << qint64(11) << "frame_header/FT" << "15";
    QTest::newRow("AMR-WB SID") << "amr/wideband.awb" << qint64(12) << "frame_header/FT" << "9";
    QTest::newRow("AMR channels") << "amr/two-channels.amr" << qint64(-1) << "file_header/chan" << "2";
  }
  void handBuiltFilesAsDescribed() {
    QFETCH(QString, file);
    QFETCH(qint64, seq);
    QFETCH(QString, path);
    QFETCH(QString, value);
    const Parsed parsed = parseFile(dataFile(file));
    const Element* from = seq >= 0 ? frame(parsed, seq) : nullptr;
    QVERIFY(seq < 0 || from);
    QCOMPARE(rawAt(parsed, path, from ? from->id : 0), value);
  }
};

CORVANTA_TEST_CORE_MAIN(AudioFrameFixturesTest)
#include "AudioFrameFixturesTest.moc"
