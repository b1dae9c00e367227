// Hand-built FLAC frames for what the test files do not hold: a variable block size with the
// header's uncommon block size and sample rate, a side channel (one bit more per sample) and wasted
// bits; a false frame header inside a frame whose subframes cannot be walked. The checksums against
// their published check values.
#include "../codecs/CodecTestSupport.h"
#include "Checksums.h"
#include "ParsedFile.h"
#include "TestSupport.h"

using namespace corvanta::test;
using codectest::bits;

namespace {

// "fLaC" and a last STREAMINFO block: block sizes 4..4096, 8000 Hz, 2 channels, 16 bits.
QByteArray flacStart(int channels = 2) {
  const quint64 packed = (quint64(8000) << 44) | (quint64(channels - 1) << 41) | (quint64(15) << 36);
  return QByteArray("fLaC") + u8(0x80) + be(34, 3) + u16(4) + u16(4096) + be(0, 3) + be(0, 3) + u64(packed) +
         QByteArray(16, '\0');
}

QByteArray withCrc8(const QByteArray& header) {
  return header + u8(corvanta::crc8Flac(reinterpret_cast<const uint8_t*>(header.constData()), header.size()));
}

QByteArray withCrc16(const QByteArray& frame) {
  return frame + u16(corvanta::crc16Flac(reinterpret_cast<const uint8_t*>(frame.constData()), frame.size()));
}

// A frame of 192 samples of one channel, 8000 Hz, 16 bits, frame number `number`, whose subframe
// is constant.
QByteArray constantFrame(int number) {
  const QByteArray header = withCrc8(bits({
      "11111111 111110 0 0",  // sync code, reserved, fixed block size
      "0001 0100",            // block size code 1 (192), sample rate code 4 (8000 Hz)
      "0000 100 0",           // 1 channel, sample size code 4 (16 bits), reserved
  }) + u8(quint64(number)));  // frame number, one byte
  return withCrc16(header + bits({"0 000000 0", "00000000 00000101"}));  // CONSTANT, value 5
}

const char* element(const Parsed& parsed, const char* path, qint64 from = 0) {
  const Element* e = parsed.at(QString::fromLatin1(path), from);
  static QByteArray text;
  text = e ? e->raw.toUtf8() : QByteArray("(none)");
  return text.constData();
}

}  // namespace

class FlacFixturesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  // The check values of CRC-8/SMBUS and CRC-16/UMTS over "123456789", the same algorithms.
  void checksumsHaveTheirCheckValues() {
    const auto* digits = reinterpret_cast<const uint8_t*>("123456789");
    QCOMPARE(int(corvanta::crc8Flac(digits, 9)), 0xF4);
    QCOMPARE(int(corvanta::crc16Flac(digits, 9)), 0xFEE8);
    QCOMPARE(int(corvanta::crc16Flac(digits + 4, 5, corvanta::crc16Flac(digits, 4))), 0xFEE8);
  }

  void uncommonHeaderSideChannelAndWastedBits() {
    const QByteArray header = withCrc8(bits({
        "11111111 111110 0 1",  // sync code, reserved, variable block size
        "0111 1101",            // block size code 7 (16 bits follow), sample rate code 13 (16 bits in Hz)
        "1001 100 0",           // SIDE_RIGHT, sample size code 4 (16 bits), reserved
        "110 00100 10 000000",  // sample number 256 in two bytes: (0b00100 << 6) | 0
        "00000000 00000011",    // block size - 1 = 3
        "00011111 01000000",    // 8000 Hz
    }));
    const QByteArray subframes = bits({
        "0 000000 0",           // subframe 0 (the side channel: 17 bits): CONSTANT, no wasted bits
        "11111111111111111",    // sample_value -1 in 17 bits
        "0 000001 1 01",        // subframe 1: VERBATIM, wasted bits flag, unary 01: 2 wasted bits
        "00000000000001 00000000000010 00000000000011 00000000000100",  // 4 samples of 14 bits
        "00000",                // zero padding to the byte
    });
    const Parsed parsed = parseBytesAs(flacStart() + withCrc16(header + subframes), "fixture.flac");
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.garbageCount(), qint64(0));
    const Element* frame = parsed.at("frame");
    QVERIFY(frame);
    QCOMPARE(frame->raw, QStringLiteral("4 samples, SIDE_RIGHT"));
    QCOMPARE(element(parsed, "frame_header/sample_number", frame->id), "256");
    QCOMPARE(element(parsed, "frame_header/block_size_minus_1", frame->id), "3");
    QCOMPARE(element(parsed, "frame_header/sample_rate_hz", frame->id), "8000");
    QCOMPARE(parsed.at("frame_header/crc8", frame->id)->hrf, QStringLiteral("ok"));
    const std::vector<const Element*> subs = parsed.named("subframe");
    QCOMPARE(int(subs.size()), 2);
    QCOMPARE(parsed.at("sample_value", subs[0]->id)->size, qint64(17));
    QCOMPARE(element(parsed, "sample_value", subs[0]->id), "-1");
    QCOMPARE(parsed.at("wasted_bits", subs[1]->id)->size, qint64(2));
    QCOMPARE(element(parsed, "wasted_bits", subs[1]->id), "2");
    QCOMPARE(parsed.at("samples", subs[1]->id)->size, qint64(4 * 14));
    QCOMPARE(parsed.at("zero_padding", frame->id)->size, qint64(5));
    QCOMPARE(parsed.at("crc16", frame->id)->hrf, QStringLiteral("ok"));
  }

  // A frame whose subframe type is reserved cannot be walked: it ends at the next frame header
  // before which its CRC-16 checks, not at the header-like bytes (CRC-8 right) inside its data.
  void falseSyncInsideAFrameDoesNotSplitIt() {
    const QByteArray fake = constantFrame(7).left(6);  // a whole header, CRC-8 included
    const QByteArray header = withCrc8(bits({
        "11111111 111110 0 0",  // sync code, reserved, fixed block size
        "0001 0100",            // 192 samples, 8000 Hz
        "0000 100 0",           // 1 channel, 16 bits
        "00000000",             // frame number 0
    }));
    const QByteArray broken = withCrc16(header + bits({"0 000010 0"}) /* reserved type */ + fake + QByteArray("data"));
    const QByteArray file = flacStart(1) + broken + constantFrame(1);
    const Parsed parsed = parseBytesAs(file, "fixture.flac");
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    const std::vector<const Element*> frames = parsed.named("frame");
    QCOMPARE(int(frames.size()), 2);
    QCOMPARE(frames[0]->byteSize(), qint64(broken.size()));
    QVERIFY(parsed.at("frame_data", frames[0]->id));
    QCOMPARE(parsed.at("crc16", frames[0]->id)->hrf, QStringLiteral("ok"));
    QCOMPARE(parsed.at("crc16", frames[1]->id)->hrf, QStringLiteral("ok"));
  }

  // Bytes that are no frame between two frames: one GARBAGE element, then the next frame whose
  // whole bytes check.
  void junkBetweenFramesIsGarbage() {
    const QByteArray junk = QByteArray("\xFF\xF8 not a frame", 14);
    const Parsed parsed = parseBytesAs(flacStart(1) + constantFrame(0) + junk + constantFrame(1), "fixture.flac");
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.garbageCount(), qint64(1));
    QCOMPARE(int(parsed.named("frame").size()), 2);
  }
};

CORVANTA_TEST_CORE_MAIN(FlacFixturesTest)
#include "FlacFixturesTest.moc"
