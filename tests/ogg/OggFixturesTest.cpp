// Hand-built Ogg pages for what the test files do not hold: a page continuing a packet that is not
// in the file, a packet whose next page never comes, a false capture pattern inside junk; the Opus
// TOC byte against RFC 6716's configuration table; the page checksum against its check value.
#include "../codecs/CodecTestSupport.h"
#include "Checksums.h"
#include "ParsedFile.h"
#include "TestSupport.h"
#include "codecs/OpusPacket.h"

using namespace corvanta::test;
using codectest::bits;

namespace {

QByteArray le(quint64 value, int bytes) {
  QByteArray out;
  for (int i = 0; i < bytes; ++i, value >>= 8) out.append(char(value & 0xff));
  return out;
}

// A page: "OggS", version 0, flags, granule, serial, sequence, its checksum, the lacing values
// and the body.
QByteArray page(int flags, qint64 granule, quint32 serial, quint32 sequence, const QList<int>& lacing,
                const QByteArray& body) {
  QByteArray out = QByteArray("OggS") + u8(0) + u8(quint64(flags)) + le(quint64(granule), 8) + le(serial, 4) +
                   le(sequence, 4) + le(0, 4) + u8(quint64(lacing.size()));
  for (int value : lacing) out += u8(quint64(value));
  out += body;
  const quint32 crc = corvanta::crc32Ogg(reinterpret_cast<const uint8_t*>(out.constData()), out.size());
  out.replace(22, 4, le(crc, 4));
  return out;
}

QByteArray bytesOf(int count, char c) { return QByteArray(count, c); }

}  // namespace

class OggFixturesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  // CRC-32 with polynomial 0x04C11DB7, initial value 0, no reflection and no final xor: its check
  // value over "123456789".
  void pageChecksumHasItsCheckValue() {
    QCOMPARE(corvanta::crc32Ogg(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x89A1897Fu);
  }

  void opusTocByte_data() {
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("summary");
    // config (5 bits), s, c (2 bits)
    QTest::newRow("SILK NB 10 ms") << bits({"00000 0 00", "10101010"}) << "SILK NB 10 ms, mono, 1 frame";
    QTest::newRow("SILK WB 60 ms") << bits({"01011 1 01"}) << "SILK WB 60 ms, stereo, 2 frames";
    QTest::newRow("Hybrid SWB 10 ms") << bits({"01100 0 10"}) << "Hybrid SWB 10 ms, mono, 2 frames";
    QTest::newRow("Hybrid FB 20 ms") << bits({"01111 1 00"}) << "Hybrid FB 20 ms, stereo, 1 frame";
    QTest::newRow("CELT NB 2.5 ms") << bits({"10000 0 00"}) << "CELT NB 2.5 ms, mono, 1 frame";
    // code 3: the frame count byte v, p, M
    QTest::newRow("CELT FB 20 ms, 3 frames") << bits({"11111 0 11", "1 0 000011"}) << "CELT FB 20 ms, mono, 3 frames";
    QTest::newRow("code 3 without its count") << bits({"11111 0 11"}) << "CELT FB 20 ms, mono, frame count missing";
  }
  void opusTocByte() {
    QFETCH(QByteArray, packet);
    QFETCH(QString, summary);
    const codectest::Decoded decoded = codectest::decodeBytes(packet, corvanta::codecs::opusPacket);
    QCOMPARE(QString::fromStdString(decoded.summary), summary);
    QVERIFY(decoded.report.ok());
  }

  // A stream met in the middle: its first page continues a packet the file does not hold.
  void continuationWithoutItsStart() {
    const QByteArray file = page(1, 100, 7, 5, {10, 3}, bytesOf(13, 'x'));
    const Parsed parsed = parseBytesAs(file, "fixture.ogg");
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    const std::vector<const Element*> packets = parsed.named("packet");
    QCOMPARE(int(packets.size()), 2);
    QVERIFY2(packets[0]->hrf.contains("not in the file"), qPrintable(packets[0]->hrf));
    QCOMPARE(packets[1]->seq, qint64(0));
  }

  // A packet that continues onto a page that never comes is shown as far as it goes.
  void packetWhoseNextPageNeverComes() {
    const QByteArray file = page(2, 0, 9, 0, {4}, "abcd") + page(0, -1, 9, 1, {255}, bytesOf(255, 'y'));
    const Parsed parsed = parseBytesAs(file, "fixture.ogg");
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    const std::vector<const Element*> packets = parsed.named("packet");
    QCOMPARE(int(packets.size()), 2);
    QVERIFY2(packets[1]->hrf.contains("incomplete"), qPrintable(packets[1]->hrf));
    QCOMPARE(parsed.at("page/granule_position")->raw, QStringLiteral("0"));
  }

  // After junk, the walk resumes at a capture pattern whose page checks or is followed by the
  // next page; a damaged page alone in the junk is part of it.
  void resynchronisation_data() {
    QTest::addColumn<bool>("chained");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("garbage_bytes");
    QTest::newRow("damaged page inside junk") << false << 2 << 4 + 31 + 9;
    QTest::newRow("damaged page before the next one") << true << 3 << 4;
  }
  void resynchronisation() {
    QFETCH(bool, chained);
    QFETCH(int, pages);
    QFETCH(int, garbage_bytes);
    QByteArray damaged = page(0, 0, 9, 1, {3}, "abc");
    damaged[30] = 'X';  // its checksum no longer holds
    const QByteArray first = page(2, 0, 9, 0, {4}, "abcd");
    const QByteArray last = page(4, 0, 9, 2, {2}, "ef");
    const QByteArray file = first + QByteArray("junk") + damaged + (chained ? "" : "more junk") + last;
    const Parsed parsed = parseBytesAs(file, "fixture.ogg");
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.garbageCount(), qint64(1));
    QCOMPARE(parsed.named(QString::fromLatin1(corvanta::kGarbageName.data())).at(0)->byteSize(), qint64(garbage_bytes));
    const std::vector<const Element*> found = parsed.named("page");
    QCOMPARE(int(found.size()), pages);
    QCOMPARE(found.back()->byteOffset(), qint64(file.size() - last.size()));
    if (chained) QVERIFY2(found[1]->hrf.contains("CRC mismatch"), qPrintable(found[1]->hrf));
    else QVERIFY2(found[1]->hrf.contains("1 page missing"), qPrintable(found[1]->hrf));
  }

  // The checksum taken eight bytes at a time is the one taken a byte at a time.
  void checksumInOneRunOrByBytes() {
    QByteArray bytes;
    for (int i = 0; i < 1000; ++i) bytes.append(char((i * 131 + 7) & 0xff));
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData());
    quint32 running = 0;
    for (int i = 0; i < bytes.size(); ++i) running = corvanta::crc32Ogg(p + i, 1, running);
    QCOMPARE(corvanta::crc32Ogg(p, bytes.size()), running);
  }
};

CORVANTA_TEST_CORE_MAIN(OggFixturesTest)
#include "OggFixturesTest.moc"
