// Hand-built EBML for what muxers rarely write: long size codes, unknown sizes ended by each kind
// of element, the three lacings and broken lacing, every value type, CRC-32 checks, sizes that
// run past their parent, junk at each level, deep nesting, hostile counts.
#include "MatroskaTestSupport.h"
#include "TestSupport.h"
#include "formats/matroska/MatroskaTime.h"

#include <limits>

using namespace mkvtest;
using isotest::be;

namespace {

constexpr quint32 kSegment = 0x18538067, kCluster = 0x1F43B675, kTimestamp = 0xE7, kSimpleBlock = 0xA3,
                  kBlockGroup = 0xA0, kBlock = 0xA1, kReferenceBlock = 0xFB, kCues = 0x1C53BB6B, kInfo = 0x1549A966,
                  kVoid = 0xEC, kCrc32 = 0xBF, kTracks = 0x1654AE6B, kTrackEntry = 0xAE, kSeekHead = 0x114D9B74,
                  kSeek = 0x4DBB, kChapters = 0x1043A770, kEditionEntry = 0x45B9, kChapterAtom = 0xB6,
                  kAttachments = 0x1941A469;

// A Segment of known size, its size always in 8 bytes: its data starts at 52 after the header.
QByteArray segment(const QByteArray& payload) {
  return idBytes(kSegment) + sizeCode(quint64(payload.size()), 8) + payload;
}
QByteArray unknownSegment(const QByteArray& payload) { return idBytes(kSegment) + unknownSize(8) + payload; }
QByteArray cluster(const QByteArray& payload) { return element(kCluster, payload); }
QByteArray unknownCluster(const QByteArray& payload) { return idBytes(kCluster) + unknownSize(1) + payload; }

// A SimpleBlock of track 1: track number 0x81, timestamp, flags, then the rest.
QByteArray simpleBlock(qint16 timestamp, quint8 flags, const QByteArray& rest) {
  return element(kSimpleBlock, QByteArray("\x81", 1) + be(quint16(timestamp), 2) + be(flags, 1) + rest);
}

// A file of one Segment of known size holding `body`, with an audio track 1.
QByteArray file(const QByteArray& body, const QByteArray& tracks = audioTracks()) {
  return ebmlHeader() + segment(tracks + body);
}

void expectValid(const Parsed& parsed, qint64 file_size) {
  QCOMPARE(parsed.result, 0);
  QCOMPARE(parsed.format, QStringLiteral("matroska"));
  QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
  QCOMPARE(parsed.report.covered_bits, file_size * 8);
  const QString overlapping = overlap(parsed);
  QVERIFY2(overlapping.isEmpty(), qPrintable(overlapping));
}

Parsed parse(const QByteArray& bytes, const QString& name = QStringLiteral("test.mkv")) {
  return isotest::parseBytes(bytes, name);
}

// "name offset+size" of the children of an element, to compare whole layouts at once.
QStringList layout(const Parsed& parsed, const Element* parent) {
  QStringList out;
  for (const Element* child : parsed.children(parent ? parent->id : 0))
    out << QStringLiteral("%1 %2+%3").arg(child->name).arg(child->byteOffset()).arg(child->byteSize());
  return out;
}

QString garbage() { return QString::fromLatin1(corvanta::kGarbageName.data()); }

}  // namespace

class MatroskaFixturesTest : public QObject {
  Q_OBJECT

 private slots:
  // Block times as summaries show them: hours unpadded, the fraction in as few groups of three
  // digits as it needs, the most negative time too.
  void nanosecondsTexts_data() {
    QTest::addColumn<qint64>("nanoseconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "0:00:00.000";
    QTest::newRow("milliseconds") << qint64(3723004000000) << "1:02:03.004";
    QTest::newRow("microseconds") << qint64(1000) << "0:00:00.000001";
    QTest::newRow("negative nanoseconds") << qint64(-61000000007) << "-0:01:01.000000007";
    QTest::newRow("hundred hours") << qint64(360000) * 1000000000 << "100:00:00.000";
    QTest::newRow("most negative") << std::numeric_limits<qint64>::min() << "-2562047:47:16.854775808";
  }
  void nanosecondsTexts() {
    QFETCH(qint64, nanoseconds);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(corvanta::matroska::nanosecondsText(nanoseconds)), text);
  }

  // The same TrackNumber with its size written in 1 and in 8 bytes; IDs of each class.
  void headerFields_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("id_hrf");
    QTest::addColumn<qint64>("size_bytes");
    QTest::addColumn<QString>("value");
    // D7 | 81 | 05: class A ID, 1-byte size 1, value 5
    QTest::newRow("1-byte size") << file({}, element(kTracks, element(kTrackEntry, QByteArray::fromHex("D78105"))))
                                 << "Segment/Tracks/TrackEntry/TrackNumber" << "class A (1 byte)" << qint64(1) << "5";
    // D7 | 01 00 00 00 00 00 00 01 | 05: the same size 1 in an 8-byte code
    QTest::newRow("8-byte size") << file({}, element(kTracks, element(kTrackEntry, QByteArray::fromHex("D7010000000000000105"))))
                                 << "Segment/Tracks/TrackEntry/TrackNumber" << "class A (1 byte)" << qint64(8) << "5";
    // 2A D7 B1 | 83 | 0F 42 40: class C TimestampScale 1000000
    QTest::newRow("class C") << file(element(kInfo, QByteArray::fromHex("2AD7B1830F4240")))
                             << "Segment/Info/TimestampScale" << "class C (3 bytes)" << qint64(1) << "1000000";
    // 42 86 | 81 | 01: class B EBMLVersion
    QTest::newRow("class B") << file({}) << "EBML/EBMLVersion" << "class B (2 bytes)" << qint64(1) << "1";
  }

  void headerFields() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, path);
    QFETCH(QString, id_hrf);
    QFETCH(qint64, size_bytes);
    QFETCH(QString, value);
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    QCOMPARE(parsed.garbageCount(), qint64(0));
    const Element* e = atPath(parsed, path);
    QVERIFY(e);
    QCOMPARE(e->raw, value);
    QCOMPARE(atPath(parsed, path + QStringLiteral("/ID"))->hrf, id_hrf);
    QCOMPARE(atPath(parsed, path + QStringLiteral("/size"))->byteSize(), size_bytes);
    QCOMPARE(atPath(parsed, path + QStringLiteral("/value"))->raw, value);
  }

  // A Cluster of unknown size ends where an element that cannot be its descendant begins; the
  // elements of its own family and unknown IDs stay inside it.
  void unknownSizeEnds_data() {
    QTest::addColumn<QByteArray>("after");    // what follows the unknown-size cluster's block
    QTest::addColumn<QStringList>("top");     // the Segment's children from the cluster on
    QTest::addColumn<int>("cluster_children");
    // The cluster starts at 80 (40 EBML header, 12 Segment header, 28 Tracks): ID 4, size 1,
    // Timestamp 3, block 8 (0x80: keyframe, no lacing), so what follows starts at 96.
    QTest::newRow("next cluster") << cluster(element(kTimestamp, be(5, 1)))
                                  << QStringList{"Cluster 80+16", "Cluster 96+8"} << 4;
    QTest::newRow("Cues") << element(kCues, {}) << QStringList{"Cluster 80+16", "Cues 96+5"} << 4;
    QTest::newRow("Info") << element(kInfo, {}) << QStringList{"Cluster 80+16", "Info 96+5"} << 4;
    // Void is global, a BlockGroup is a child, 0x4ABC is an ID the table does not know.
    QTest::newRow("Void stays") << element(kVoid, "xy") << QStringList{"Cluster 80+20"} << 5;
    QTest::newRow("BlockGroup stays") << element(kBlockGroup, {}) << QStringList{"Cluster 80+18"} << 5;
    QTest::newRow("unknown ID stays") << element(0x4ABC, "z") << QStringList{"Cluster 80+20"} << 5;
    // A Block belongs deeper (in a BlockGroup), but is still a descendant of the Cluster.
    QTest::newRow("misplaced Block stays") << element(kBlock, QByteArray::fromHex("8100000061"))
                                           << QStringList{"Cluster 80+23"} << 5;
  }

  void unknownSizeEnds() {
    QFETCH(QByteArray, after);
    QFETCH(QStringList, top);
    QFETCH(int, cluster_children);
    const QByteArray bytes =
        ebmlHeader() + unknownSegment(audioTracks() + unknownCluster(element(kTimestamp, be(0, 1)) +
                                                                     simpleBlock(0, 0x80, "ab") + after));
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    QCOMPARE(parsed.garbageCount(), qint64(0));
    const Element* seg = parsed.at(QStringLiteral("Segment"));
    QCOMPARE(seg->byteSize(), qint64(bytes.size() - 40));
    QVERIFY(seg->hrf.contains(QLatin1String("unknown size")));
    QStringList from_cluster = layout(parsed, seg).mid(3);  // after ID, size, Tracks
    QCOMPARE(from_cluster, top);
    const Element* c = parsed.at(QStringLiteral("Segment/Cluster"));
    QCOMPARE(int(parsed.children(c->id).size()), cluster_children);  // ID, size, Timestamp, block, ...
    QVERIFY(c->hrf.contains(QLatin1String("unknown size")));
  }

  // A second EBML header ends an unknown-size Segment: two files one after the other.
  void concatenatedStreams() {
    const QByteArray one = ebmlHeader() + unknownSegment(audioTracks() + unknownCluster(element(kTimestamp, be(0, 1))));
    const QByteArray bytes = one + one;
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    QCOMPARE(layout(parsed, nullptr),
             (QStringList{"EBML 0+40", QStringLiteral("Segment 40+%1").arg(one.size() - 40),
                          QStringLiteral("EBML %1+40").arg(one.size()),
                          QStringLiteral("Segment %1+%2").arg(one.size() + 40).arg(one.size() - 40)}));
  }

  // The three lacings, each frame at its offset with its size; the sizes in comments.
  void lacing_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QStringList>("frames");       // offset+size, from the block's first byte
    QTest::addColumn<QStringList>("size_fields");  // the lace size fields' raw values
    // flags 0x82: keyframe, Xiph lacing; 02: 3 frames; sizes 300 (FF 2D) and 2; then 300 + 2 + 1 bytes
    QTest::newRow("Xiph") << simpleBlock(0, 0x82, QByteArray::fromHex("02FF2D02") + QByteArray(303, 'x'))
                          << QStringList{"11+300", "311+2", "313+1"} << QStringList{"300", "2"};
    // flags 0x86: EBML lacing; 03: 4 frames; 4 0C8 = 200 (2-byte code), then differences:
    // 9F = 31 - 63 = -32 (168), C0 = 64 - 63 = +1 (169); the last takes the rest (10)
    QTest::newRow("EBML") << simpleBlock(0, 0x86, QByteArray::fromHex("03") + QByteArray::fromHex("40C8") +
                                                      QByteArray::fromHex("9FC0") + QByteArray(200 + 168 + 169 + 10, 'y'))
                          << QStringList{"12+200", "212+168", "380+169", "549+10"} << QStringList{"200", "-32", "1"};
    // flags 0x84: fixed-size lacing; 02: 3 frames of 5 bytes
    QTest::newRow("fixed") << simpleBlock(0, 0x84, QByteArray::fromHex("02") + QByteArray(15, 'z'))
                           << QStringList{"7+5", "12+5", "17+5"} << QStringList{};
    // 0x80: no lacing, one frame of 4 bytes
    QTest::newRow("none") << simpleBlock(0, 0x80, "data") << QStringList{"6+4"} << QStringList{};
  }

  void lacing() {
    QFETCH(QByteArray, block);
    QFETCH(QStringList, frames);
    QFETCH(QStringList, size_fields);
    const QByteArray bytes = file(cluster(element(kTimestamp, be(0, 1)) + block));
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    QCOMPARE(parsed.garbageCount(), qint64(0));
    const Element* b = parsed.at(QStringLiteral("Segment/Cluster/SimpleBlock"));
    QVERIFY(b);
    QStringList found, sizes;
    for (const Element* child : parsed.children(b->id)) {
      if (child->name == QLatin1String("frame"))
        found << QStringLiteral("%1+%2").arg(child->byteOffset() - b->byteOffset()).arg(child->byteSize());
      if (child->name.startsWith(QLatin1String("frame_size"))) sizes << child->raw;
    }
    QCOMPARE(found, frames);
    QCOMPARE(sizes, size_fields);
  }

  // Lacing that does not fit its block: the frames stay one opaque field, nothing is guessed.
  void brokenLacing_data() {
    QTest::addColumn<QByteArray>("block");
    // Xiph: 2 frames, the first said to be 200 bytes of a 10-byte rest
    QTest::newRow("Xiph size too large") << simpleBlock(0, 0x82, QByteArray::fromHex("01C8") + QByteArray(10, 'x'));
    // Xiph: a run of 255s that never ends inside the block
    QTest::newRow("Xiph run without end") << simpleBlock(0, 0x82, QByteArray::fromHex("01FFFFFF"));
    // EBML: a difference that makes a size negative: 8A = 10, then 81 = 1 - 63 = -62
    QTest::newRow("EBML negative size") << simpleBlock(0, 0x86, QByteArray::fromHex("02") + QByteArray::fromHex("8A81") +
                                                                QByteArray(50, 'y'));
    // fixed: 3 frames in 10 bytes
    QTest::newRow("fixed uneven") << simpleBlock(0, 0x84, QByteArray::fromHex("02") + QByteArray(10, 'z'));
  }

  void brokenLacing() {
    QFETCH(QByteArray, block);
    const QByteArray bytes = file(cluster(element(kTimestamp, be(0, 1)) + block));
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    const Element* b = parsed.at(QStringLiteral("Segment/Cluster/SimpleBlock"));
    QVERIFY(b);
    QVERIFY(!parsed.at(QStringLiteral("frame"), b->id));
    const Element* frames = parsed.at(QStringLiteral("frames"), b->id);
    QVERIFY(frames);
    QVERIFY2(frames->hrf.contains(QLatin1String("does not fit the block")), qPrintable(frames->hrf));
    QCOMPARE(frames->byteOffset() + frames->byteSize(), b->byteOffset() + b->byteSize());
  }

  // Block headers: flags as bit fields, the absolute time from the cluster's timestamp and the
  // timestamp scale, the frames of a laced block timed by the track's DefaultDuration.
  void blockTiming() {
    // TimestampScale 1000 (1 µs), Cluster timestamp 1000000 (1 s), block +250 (250 µs),
    // DefaultDuration 20 ms: frames at 1.000250 and 1.020250 s
    const QByteArray info = element(kInfo, QByteArray::fromHex("2AD7B1820" "3E8"));
    const QByteArray bytes =
        ebmlHeader() + segment(info + audioTracks("A_PCM/INT/LIT", 20000000) +
                               cluster(element(kTimestamp, be(1000000, 3)) +
                                       // 0x8D: keyframe, invisible, fixed lacing, discardable
                                       simpleBlock(250, 0x8D, QByteArray::fromHex("01") + QByteArray(4, 'a'))));
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    const Element* b = parsed.at(QStringLiteral("Segment/Cluster/SimpleBlock"));
    QCOMPARE(b->raw, QStringLiteral("track 1, 0:00:01.000250, keyframe, invisible, discardable, 2 frames (fixed-size lacing)"));
    QStringList bits;
    for (const char* name : {"keyframe", "reserved", "invisible", "lacing", "discardable"})
      bits << parsed.at(QString::fromLatin1(name), b->id)->raw;
    QCOMPARE(bits, (QStringList{"1", "0", "1", "2", "1"}));
    const auto frames = parsed.children(b->id);
    QCOMPARE(frames.back()->raw, QStringLiteral("track 1, 0:00:01.020250"));
    QCOMPARE(parsed.at(QStringLiteral("timestamp"), b->id)->hrf, QStringLiteral("0:00:01.000250"));
    QCOMPARE(parsed.at(QStringLiteral("track_number"), b->id)->hrf, QStringLiteral("audio, A_PCM/INT/LIT"));
  }

  // A Block in a BlockGroup: the group's summary says whether it references others.
  void blockGroups_data() {
    QTest::addColumn<QByteArray>("group");
    QTest::addColumn<QString>("summary");
    const QByteArray block = element(kBlock, QByteArray::fromHex("81000A00") + "abc");
    QTest::newRow("keyframe") << element(kBlockGroup, block) << "track 1, 0:00:00.010, keyframe";
    // FB 81 9C: ReferenceBlock -100
    QTest::newRow("reference") << element(kBlockGroup, block + QByteArray::fromHex("FB819C"))
                               << "track 1, 0:00:00.010, references 1 block";
    QTest::newRow("no block") << element(kBlockGroup, QByteArray::fromHex("FB819C")) << "no Block";
  }

  void blockGroups() {
    QFETCH(QByteArray, group);
    QFETCH(QString, summary);
    const QByteArray bytes = file(cluster(element(kTimestamp, be(0, 1)) + group));
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    QCOMPARE(parsed.at(QStringLiteral("Segment/Cluster/BlockGroup"))->raw, summary);
    if (const Element* ref = parsed.at(QStringLiteral("Segment/Cluster/BlockGroup/ReferenceBlock/value"))) {
      QCOMPARE(ref->raw, QStringLiteral("-100"));
      QCOMPARE(ref->hrf, QStringLiteral("-0:00:00.100"));
    }
  }

  // Each EBML type, including the sizes that make a value unreadable.
  void values_data() {
    QTest::addColumn<QByteArray>("info");  // the data of Info
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("hrf");
    // 44 89 | 84 | 44 7A 00 00: Duration as float32 1000.0 ticks of 1 ms
    QTest::newRow("float32") << QByteArray::fromHex("4489" "84" "447A0000") << "Duration" << "1000" << "0:00:01.000";
    // 44 89 | 88 | 40 8F 40 00 00 00 00 00: float64 1000.0
    QTest::newRow("float64") << QByteArray::fromHex("4489" "88" "408F400000000000") << "Duration" << "1000" << "0:00:01.000";
    QTest::newRow("float empty") << QByteArray::fromHex("4489" "80") << "Duration" << "0" << "0:00:00.000, empty";
    QTest::newRow("float of 3 bytes") << QByteArray::fromHex("4489" "83" "010203") << "Duration" << "3 bytes"
                                      << "a float of neither 4 nor 8 bytes";
    // 44 61 | 88 | 0: DateUTC 0 is 2001-01-01
    QTest::newRow("date") << QByteArray::fromHex("4461" "88" "0000000000000000") << "DateUTC" << "0"
                          << "2001-01-01 00:00:00 UTC";
    QTest::newRow("date empty") << QByteArray::fromHex("4461" "80") << "DateUTC" << "0" << "2001-01-01 00:00:00 UTC";
    // one second before the epoch: -1000000000 = C4 65 36 00 as the low 32 bits of 64
    QTest::newRow("date before 2001") << QByteArray::fromHex("4461" "88" "FFFFFFFFC4653600") << "DateUTC"
                                      << "-1000000000" << "2000-12-31 23:59:59 UTC";
    QTest::newRow("integer of 9 bytes") << QByteArray::fromHex("2AD7B1" "89" "000000000000000001") << "TimestampScale"
                                        << "9 bytes" << "an integer of more than 8 bytes";
    QTest::newRow("integer empty") << QByteArray::fromHex("2AD7B1" "80") << "TimestampScale" << "0"
                                   << "invalid: 0 ns per tick, empty";
    // 7B A9 | 86 | "Caf" C3 A9 00: UTF-8 with a zero byte of padding
    QTest::newRow("UTF-8 padded") << QByteArray::fromHex("7BA9" "86" "436166C3A900") << "Title" << "Café" << "";
    // an invalid UTF-8 byte reads U+FFFD
    QTest::newRow("UTF-8 broken") << QByteArray::fromHex("7BA9" "82" "41FF") << "Title" << "A\xEF\xBF\xBD" << "";
    // 73 A4 | 90 | 16 bytes: SegmentUUID as a UUID
    QTest::newRow("UUID") << QByteArray::fromHex("73A4" "90" "00112233445566778899AABBCCDDEEFF") << "SegmentUUID"
                          << "00112233-4455-6677-8899-aabbccddeeff" << "";
  }

  void values() {
    QFETCH(QByteArray, info);
    QFETCH(QString, name);
    QFETCH(QString, raw);
    QFETCH(QString, hrf);
    const QByteArray bytes = file(element(kInfo, info));
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    QCOMPARE(parsed.garbageCount(), qint64(0));
    const Element* e = atPath(parsed, QStringLiteral("Segment/Info/") + name);
    QVERIFY(e);
    QCOMPARE(e->raw, raw);
    QCOMPARE(e->hrf, hrf);
  }

  // A CRC-32 first in its parent is checked over the rest of the parent's data.
  void crc32_data() {
    QTest::addColumn<QByteArray>("info");
    QTest::addColumn<QString>("hrf");
    // CRC-32 of 7B A9 81 41 (Title "A") is 0x68904662 (zlib.crc32), stored little-endian
    const QByteArray title = QByteArray::fromHex("7BA98141");
    QTest::newRow("ok") << QByteArray::fromHex("BF8462469068") + title << "ok";
    QTest::newRow("mismatch") << QByteArray::fromHex("BF8462469069") + title
                              << "mismatch: the data after it gives 0x68904662";
    QTest::newRow("not first") << title + QByteArray::fromHex("BF8462469068")
                               << "not the first element of a master: not checked";
    QTest::newRow("wrong size") << QByteArray::fromHex("BF83624690") + title << "a CRC-32 holds 4 bytes";
  }

  void crc32() {
    QFETCH(QByteArray, info);
    QFETCH(QString, hrf);
    const QByteArray bytes = file(element(kInfo, info));
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    QCOMPARE(parsed.at(QStringLiteral("Segment/Info/CRC-32"))->hrf, hrf);
    QCOMPARE(parsed.at(QStringLiteral("Segment/Info"))->hrf.contains(QLatin1String("CRC-32 mismatch")),
             hrf.startsWith(QLatin1String("mismatch")));
  }

  // A CRC-32 first in a Cluster of unknown size covers the Cluster's data up to where the next
  // Cluster begins: 0x48C9DC3F is zlib's crc32 of E7 81 00 A3 86 81 00 00 80 61 62.
  void crc32UnknownSize() {
    const QByteArray bytes =
        file(unknownCluster(QByteArray::fromHex("BF843FDCC948") + element(kTimestamp, be(0, 1)) + simpleBlock(0, 0x80, "ab")) +
             cluster(element(kTimestamp, be(1, 1))));
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    QCOMPARE(parsed.at(QStringLiteral("Segment/Cluster/CRC-32"))->hrf, QStringLiteral("ok"));
    QCOMPARE(named(parsed, "Cluster").size(), size_t(2));
  }

  // An element whose size runs past its parent is cut at the parent's end and marked; the
  // parent's siblings are still found.
  void sizePastParent() {
    // TrackEntry declares 100 bytes inside a Tracks of 8 bytes of data
    const QByteArray tracks = element(kTracks, QByteArray::fromHex("AEE4") + QByteArray::fromHex("D781018381" "02"));
    const QByteArray bytes = file(tracks + cluster(element(kTimestamp, be(0, 1))), {});
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    const Element* entry = parsed.at(QStringLiteral("Segment/Tracks/TrackEntry"));
    const Element* t = parsed.at(QStringLiteral("Segment/Tracks"));
    QVERIFY(entry->hrf.contains(QLatin1String("truncated")));
    QCOMPARE(entry->byteOffset() + entry->byteSize(), t->byteOffset() + t->byteSize());
    QCOMPARE(parsed.at(QStringLiteral("size"), entry->id)->hrf,
             QStringLiteral("runs past its parent or the file: 6 bytes present"));
    QVERIFY(parsed.at(QStringLiteral("Segment/Cluster")));
  }

  // Bytes where no element can stand: GARBAGE, then the walk goes on at the next element of
  // the upper levels; inside a Cluster the junk runs to that element, which ends the Cluster.
  void junk_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("segment_children");
    const QByteArray next = cluster(element(kTimestamp, be(1, 1)));  // 8 bytes
    // Segment data starts at 52, Tracks take 28: the body starts at 80.
    // 00 00 00: no EBML code starts with a zero byte
    QTest::newRow("zeros between clusters") << QByteArray(3, '\0') + next
                                            << QStringList{"Tracks 52+28", garbage() + " 80+3", "Cluster 83+8"};
    // In a Cluster of 20 bytes: Timestamp, 2 zero bytes (GARBAGE inside the Cluster), then a
    // Cluster before the end of the first one's declared size, which ends the first there; then
    // "xy" (a 2-byte ID, junk at the Segment level) to the end.
    QTest::newRow("zeros in a cluster")
        << idBytes(kCluster) + sizeCode(20) + element(kTimestamp, be(0, 1)) + QByteArray(2, '\0') + next + "xyzab" +
               QByteArray(2, '\0')
        << QStringList{"Tracks 52+28", "Cluster 80+10", "Cluster 90+8", garbage() + " 98+7"};
    // A 2-byte ID (0x4ABC, not in the table) at the Segment level is junk, not an element.
    QTest::newRow("short unknown ID at the top") << element(0x4ABC, "abc") + next
                                                 << QStringList{"Tracks 52+28", garbage() + " 80+6", "Cluster 86+8"};
    // A 4-byte ID the table does not know, with a size that fits, is an unknown element.
    QTest::newRow("unknown level-1 element") << element(0x1ABCDEF0, "abc") + next
                                             << QStringList{"Tracks 52+28", "0x1ABCDEF0 80+8", "Cluster 88+8"};
    // No element anywhere after the junk: GARBAGE to the end of the Segment.
    QTest::newRow("junk to the end") << QByteArray::fromHex("0000FF01")
                                     << QStringList{"Tracks 52+28", garbage() + " 80+4"};
  }

  void junk() {
    QFETCH(QByteArray, body);
    QFETCH(QStringList, segment_children);
    const QByteArray bytes = file(body);
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    QCOMPARE(layout(parsed, parsed.at(QStringLiteral("Segment"))).mid(2), segment_children);
  }

  // Junk before the first element and after the last.
  void junkAtTheTop() {
    const QByteArray inner = file({});
    const QByteArray bytes = QByteArray(5, '\0') + inner + "tail";
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    QCOMPARE(layout(parsed, nullptr), (QStringList{garbage() + " 0+5", "EBML 5+40",
                                                   QStringLiteral("Segment 45+%1").arg(inner.size() - 40),
                                                   garbage() + QStringLiteral(" %1+4").arg(bytes.size() - 4)}));
  }

  // A Cluster whose size runs over the next Cluster ends where that one begins.
  void clusterInCluster() {
    const QByteArray second = cluster(element(kTimestamp, be(2, 1)));
    const QByteArray first = idBytes(kCluster) + sizeCode(3 + 8 + quint64(second.size())) + element(kTimestamp, be(1, 1)) +
                             simpleBlock(0, 0x80, "ab");
    const QByteArray bytes = file(first + second);
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    const auto clusters = named(parsed, "Cluster");
    QCOMPARE(clusters.size(), size_t(2));
    QCOMPARE(clusters[0]->byteSize(), qint64(first.size()));
    QCOMPARE(clusters[0]->hrf, QStringLiteral("ends early, where a Cluster begins"));
    QCOMPARE(clusters[1]->level, clusters[0]->level);
  }

  // A BlockGroup in a Cluster, both with sizes that run over the next Cluster: both end where it
  // begins, and nothing overlaps it.
  void nestedEarlyEnds() {
    const QByteArray second = cluster(element(kTimestamp, be(2, 1)));
    const QByteArray group = idBytes(kBlockGroup) + sizeCode(7 + 10) + element(kBlock, QByteArray::fromHex("8100000061"));
    const QByteArray first = idBytes(kCluster) + sizeCode(3 + quint64(group.size()) + 10 + quint64(second.size())) +
                             element(kTimestamp, be(1, 1)) + group;
    const QByteArray bytes = file(first + second + QByteArray(10, '\0'));
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    const auto clusters = named(parsed, "Cluster");
    QCOMPARE(clusters.size(), size_t(2));
    const Element* g = parsed.at(QStringLiteral("Segment/Cluster/BlockGroup"));
    QCOMPARE(g->byteOffset() + g->byteSize(), clusters[1]->byteOffset());
    QCOMPARE(clusters[0]->byteOffset() + clusters[0]->byteSize(), clusters[1]->byteOffset());
    QVERIFY(g->hrf.contains(QLatin1String("ends early, where a Cluster begins")));
  }

  // Seek and cue positions that point nowhere say so in their readable value.
  void positions_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("hrf");
    // The Segment's data starts at 52; Tracks at 52 (position 0), 28 bytes; the Cluster at 80
    // (position 28), its data at 85, its SimpleBlock at 88.
    auto seek = [](quint32 target, quint64 position) {
      return element(kSeekHead, element(kSeek, element(0x53AB, be(target, 4)) + element(0x53AC, be(position, 8))));
    };
    const QByteArray c = cluster(element(kTimestamp, be(0, 1)) + simpleBlock(0, 0x80, "ab"));
    QTest::newRow("seek found") << c + seek(kCluster, 28) << "Segment/SeekHead/Seek/SeekPosition"
                                << "file offset 80, Cluster there";
    QTest::newRow("seek to another element") << c + seek(kCues, 28) << "Segment/SeekHead/Seek/SeekPosition"
                                             << "file offset 80: points nowhere, no Cues there but a Cluster";
    QTest::newRow("seek past the end") << c + seek(kCues, 1000000) << "Segment/SeekHead/Seek/SeekPosition"
                                       << "points past the end of the file";
    // 83 holds the Cluster ID's last byte 75 and its size code 90: an ID the table does not know
    QTest::newRow("seek into an element") << c + seek(kCluster, 31) << "Segment/SeekHead/Seek/SeekPosition"
                                          << "file offset 83: points nowhere, no Cluster there";
    // Cue: CueTime 0, track 1, cluster at position 28, block at 3 in the cluster's data (after
    // the Timestamp), or at 4: the block's size code 86, which reads as the ID of a CodecID
    auto cue = [](quint64 relative) {
      return element(kCues, element(0xBB, element(0xB3, be(0, 1)) +
                                              element(0xB7, element(0xF7, be(1, 1)) + element(0xF1, be(28, 1)) +
                                                                element(0xF0, be(relative, 1)))));
    };
    QTest::newRow("cue block found") << c + cue(3) << "Segment/Cues/CuePoint/CueTrackPositions/CueRelativePosition"
                                     << "file offset 88, SimpleBlock there";
    QTest::newRow("cue block missing") << c + cue(4) << "Segment/Cues/CuePoint/CueTrackPositions/CueRelativePosition"
                                       << "file offset 89: points nowhere, no SimpleBlock or BlockGroup there but a CodecID";
    QTest::newRow("cue cluster found") << c + cue(3) << "Segment/Cues/CuePoint/CueTrackPositions/CueClusterPosition"
                                       << "file offset 80, Cluster there";
  }

  void positions() {
    QFETCH(QByteArray, body);
    QFETCH(QString, path);
    QFETCH(QString, hrf);
    const QByteArray bytes = file(body);
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    const Element* e = atPath(parsed, path);
    QVERIFY(e);
    QCOMPARE(e->hrf, hrf);
  }

  // Masters nest at most 32 deep: deeper data stays one field, and the database stays valid.
  void deepNesting() {
    QByteArray atom = QByteArray::fromHex("9181" "00");  // ChapterTimeStart 0
    for (int i = 0; i < 60; ++i) atom = element(kChapterAtom, atom);
    const QByteArray bytes = file(element(kChapters, element(kEditionEntry, atom)));
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    qint64 deepest = 0;
    for (const Element& e : parsed.elements) deepest = std::max(deepest, e.level);
    QVERIFY(deepest <= 34);
    QCOMPARE(named(parsed, "data").size(), size_t(1));
    QCOMPARE(named(parsed, "data").front()->hrf, QStringLiteral("nested too deeply to show"));
  }

  // Elements outside the WebM subset are marked in a WebM file, not in a Matroska one.
  void webmSubset_data() {
    QTest::addColumn<QByteArray>("doc_type");
    QTest::addColumn<bool>("marked");
    QTest::newRow("webm") << QByteArray("webm") << true;
    QTest::newRow("matroska") << QByteArray("matroska") << false;
  }

  void webmSubset() {
    QFETCH(QByteArray, doc_type);
    QFETCH(bool, marked);
    const QByteArray bytes = ebmlHeader(doc_type) + segment(element(kAttachments, {}) + element(kInfo, {}));
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    QCOMPARE(parsed.at(QStringLiteral("Segment/Attachments"))->hrf.contains(QLatin1String("not part of WebM")), marked);
    QVERIFY(!parsed.at(QStringLiteral("Segment/Info"))->hrf.contains(QLatin1String("not part of WebM")));
  }

  // Frames of a track with header stripping say how many bytes they lack; a block of a track the
  // Tracks do not declare says so.
  void trackFacts() {
    // ContentEncodings/ContentEncoding/ContentCompression: ContentCompAlgo 3, settings 2 bytes
    const QByteArray encodings =
        element(0x6D80, element(0x6240, element(0x5034, QByteArray::fromHex("4254" "81" "03") +
                                                            element(0x4255, QByteArray::fromHex("0B77")))));
    const QByteArray tracks = element(kTracks, element(kTrackEntry, QByteArray::fromHex("D78101" "8381" "02") +
                                                                        stringElement(0x86, "A_AC3") + encodings));
    const QByteArray blocks = simpleBlock(0, 0x80, "abc") +
                              element(kSimpleBlock, QByteArray::fromHex("82000080") + "d");  // track 2
    const QByteArray bytes = ebmlHeader() + segment(tracks + cluster(element(kTimestamp, be(0, 1)) + blocks));
    const Parsed parsed = parse(bytes);
    expectValid(parsed, bytes.size());
    const auto frames = named(parsed, "frame");
    QCOMPARE(frames.size(), size_t(2));
    QCOMPARE(frames[0]->hrf, QStringLiteral("2 stripped header bytes not stored"));
    QCOMPARE(frames[1]->hrf, QString());
    const auto numbers = named(parsed, "track_number");
    QCOMPARE(numbers[1]->hrf, QStringLiteral("no such track"));
    QCOMPARE(parsed.at(QStringLiteral("Segment/Tracks/TrackEntry/ContentEncodings/ContentEncoding"))->raw,
             QStringLiteral("compression, Header Stripping"));
  }

  // The format is found by content: an EBML header with a Matroska DocType whatever the name;
  // a stream cut out of a file (starting with a Cluster) too.
  void probe_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("result");
    QTest::newRow("mkv named .bin") << file({}) << "data.bin" << 0;
    QTest::newRow("webm") << ebmlHeader("webm") + segment({}) << "x.webm" << 0;
    QTest::newRow("cluster only") << cluster(element(kTimestamp, be(0, 1)) + simpleBlock(0, 0x80, "ab")) << "x.webm" << 0;
    QTest::newRow("not EBML") << QByteArray("plain text, no media at all") << "x.mkv" << 1;
  }

  void probe() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(int, result);
    const Parsed parsed = parse(bytes, name);
    QCOMPARE(parsed.result != 0, result != 0);
    if (result == 0) {
      QCOMPARE(parsed.format, QStringLiteral("matroska"));
      QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    }
  }
};

CORVANTA_TEST_CORE_MAIN(MatroskaFixturesTest)
#include "MatroskaFixturesTest.moc"
