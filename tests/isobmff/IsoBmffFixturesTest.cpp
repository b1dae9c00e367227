// Hand-built boxes for the cases muxers rarely write: both versions of the time boxes,
// 4-bit compact sizes, track run flag combinations, 64-bit and 0 sizes, junk, hostile counts.
#include "IsoBmffTestSupport.h"
#include "TestSupport.h"
#include "formats/isobmff/IsoBmff.h"

using namespace isotest;

namespace {

QByteArray hdlr(const char* handler) { return fullBox("hdlr", 0, 0, u32(0) + QByteArray(handler, 4) + QByteArray(12, '\0') + QByteArray("h", 2)); }

// A track with the given sample table boxes (stsd is left empty: the map does not need it).
QByteArray track(quint32 id, const QByteArray& tables) {
  const QByteArray tkhd = fullBox("tkhd", 0, 3, u32(0) + u32(0) + u32(id) + QByteArray(60 + 8, '\0') + u32(0) + u32(0));
  const QByteArray mdhd = fullBox("mdhd", 0, 0, u32(0) + u32(0) + u32(1000) + u32(0) + u16(0x55c4) + u16(0));
  const QByteArray stbl = box("stbl", fullBox("stsd", 0, 0, u32(0)) + tables);
  return box("trak", tkhd + box("mdia", mdhd + hdlr("vide") + box("minf", stbl)));
}

QByteArray stsc(quint32 per_chunk) { return fullBox("stsc", 0, 0, u32(1) + u32(1) + u32(per_chunk) + u32(1)); }
QByteArray stco(const QList<quint32>& offsets) {
  QByteArray payload = u32(quint64(offsets.size()));
  for (quint32 o : offsets) payload += u32(o);
  return fullBox("stco", 0, 0, payload);
}

// Samples in mdat as "offset+size" texts, in file order.
QStringList samples(const Parsed& parsed) {
  QStringList out;
  for (const Element& e : parsed.elements)
    if (e.name == QLatin1String("sample")) out << QStringLiteral("%1+%2").arg(e.byteOffset()).arg(e.byteSize());
  return out;
}

void expectValid(const Parsed& parsed, qint64 file_size) {
  QCOMPARE(parsed.result, 0);
  QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
  QCOMPARE(parsed.report.covered_bits, file_size * 8);
}

}  // namespace

class IsoBmffFixturesTest : public QObject {
  Q_OBJECT

 private slots:
  void boxSizes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("size_hrf");
    // size 1, 'free', largesize 24, 8 payload bytes
    QTest::newRow("largesize") << ftyp() + u32(1) + QByteArray("free") + u64(24) + QByteArray(8, 'x')
                               << QStringLiteral("free") << qint64(24) << qint64(24)
                               << QStringLiteral("64-bit size in largesize");
    // size 0 on the last box: to the end of the file (8 header + 10 bytes)
    QTest::newRow("size 0 at the end") << ftyp() + u32(0) + QByteArray("free") + QByteArray(10, 'x')
                                       << QStringLiteral("free") << qint64(24) << qint64(18)
                                       << QStringLiteral("to the end of the file");
    // size 0 inside moov: to the end of moov (moov 8 + udta 8 + a 10-byte free box)
    QTest::newRow("size 0 nested") << ftyp() + u32(26) + QByteArray("moov") + u32(0) + QByteArray("udta") +
                                          box("free", QByteArray(2, '\0'))
                                   << QStringLiteral("moov/udta") << qint64(32) << qint64(18)
                                   << QStringLiteral("to the end of the enclosing box");
  }

  void boxSizes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, path);
    QFETCH(qint64, offset);
    QFETCH(qint64, size);
    QFETCH(QString, size_hrf);
    const Parsed parsed = parseBytes(bytes);
    expectValid(parsed, bytes.size());
    QCOMPARE(parsed.garbageCount(), qint64(0));
    const Element* e = parsed.at(path);
    QVERIFY(e);
    QCOMPARE(e->byteOffset(), offset);
    QCOMPARE(e->byteSize(), size);
    QCOMPARE(parsed.at(QStringLiteral("size"), e->id)->hrf, size_hrf);
    QVERIFY(!e->hrf.contains(QLatin1String("truncated")));
  }

  // Version 0 and 1 of the boxes with times: 32- or 64-bit fields, and everything after them moves.
  void timeBoxVersions_data() {
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<QString>("field");
    QTest::addColumn<qint64>("offset");  // bytes from the start of the box
    QTest::addColumn<qint64>("bits");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("hrf");
    const quint64 y1970 = 2082844800;  // 1970-01-01 in seconds since 1904
    // mvhd v0: times 32 bit, timescale at 8+4+8 = 20
    const QByteArray mvhd0 = fullBox("mvhd", 0, 0, u32(y1970) + u32(0) + u32(600) + u32(1200) + QByteArray(80, '\0'));
    // mvhd v1: times 64 bit, timescale at 8+4+16 = 28, duration 64 bit
    const QByteArray mvhd1 = fullBox("mvhd", 1, 0, u64(y1970) + u64(0) + u32(600) + u64(1200) + QByteArray(80, '\0'));
    // mdhd: language 'eng' = 00101 01110 00111 after a pad bit
    const QByteArray mdhd0 = fullBox("mdhd", 0, 0, u32(0) + u32(0) + u32(48000) + u32(96000) + u16(0x15c7) + u16(0));
    const QByteArray mdhd1 = fullBox("mdhd", 1, 0, u64(0) + u64(0) + u32(48000) + u64(96000) + u16(0x15c7) + u16(0));
    QTest::newRow("mvhd v0 creation") << mvhd0 << "creation_time" << qint64(12) << qint64(32) << "2082844800" << "1970-01-01 00:00:00 UTC";
    QTest::newRow("mvhd v0 timescale") << mvhd0 << "timescale" << qint64(20) << qint64(32) << "600" << "600 Hz";
    QTest::newRow("mvhd v0 duration") << mvhd0 << "duration" << qint64(24) << qint64(32) << "1200" << "0:00:02.000";
    QTest::newRow("mvhd v1 creation") << mvhd1 << "creation_time" << qint64(12) << qint64(64) << "2082844800" << "1970-01-01 00:00:00 UTC";
    QTest::newRow("mvhd v1 timescale") << mvhd1 << "timescale" << qint64(28) << qint64(32) << "600" << "600 Hz";
    QTest::newRow("mvhd v1 duration") << mvhd1 << "duration" << qint64(32) << qint64(64) << "1200" << "0:00:02.000";
    QTest::newRow("mdhd v0 language") << mdhd0 << "language" << qint64(28) << qint64(15) << "5575" << "eng";
    QTest::newRow("mdhd v1 language") << mdhd1 << "language" << qint64(40) << qint64(15) << "5575" << "eng";
    QTest::newRow("mdhd v1 duration") << mdhd1 << "duration" << qint64(32) << qint64(64) << "96000" << "0:00:02.000";
  }

  void timeBoxVersions() {
    QFETCH(QByteArray, box);
    QFETCH(QString, field);
    QFETCH(qint64, offset);
    QFETCH(qint64, bits);
    QFETCH(QString, raw);
    QFETCH(QString, hrf);
    const QByteArray bytes = ftyp() + isotest::box("moov", box);
    const Parsed parsed = parseBytes(bytes);
    expectValid(parsed, bytes.size());
    const Element* b = parsed.at(QStringLiteral("moov/") + QString::fromLatin1(box.mid(4, 4)));
    QVERIFY(b);
    QVERIFY(!parsed.at(QStringLiteral("extra_data"), b->id));
    const Element* e = parsed.at(field, b->id);
    QVERIFY(e);
    QCOMPARE(e->offset - b->offset, offset * 8 + (field == QLatin1String("language") ? 1 : 0));
    QCOMPARE(e->size, bits);
    QCOMPARE(e->raw, raw);
    QCOMPARE(e->hrf, hrf);
  }

  // stz2 with 4-bit entries: sizes 3, 15, 1 packed as 0x3F 0x10 (the last nibble is padding).
  void compactSampleSizes() {
    const QByteArray stz2 = fullBox("stz2", 0, 0, be(0, 3) + u8(4) + u32(3) + QByteArray("\x3f\x10", 2));
    const QByteArray head = ftyp();
    const quint32 data_at = quint32(head.size() + box("moov", track(1, stz2 + stsc(3) + stco({0}))).size() + 8);
    const QByteArray moov = box("moov", track(1, stz2 + stsc(3) + stco({data_at})));
    const QByteArray bytes = head + moov + box("mdat", QByteArray(19, 's'));
    const Parsed parsed = parseBytes(bytes);
    expectValid(parsed, bytes.size());
    const Element* table = parsed.at(QStringLiteral("moov/trak/mdia/minf/stbl/stz2"));
    QVERIFY(table);
    QStringList entries;
    for (const Element* e : parsed.children(table->id))
      if (e->name == QLatin1String("entry_size"))
        entries << QStringLiteral("%1@%2+%3").arg(e->raw).arg(e->offset - table->offset - 20 * 8).arg(e->size);
    QCOMPARE(entries, QStringList({"3@0+4", "15@4+4", "1@8+4"}));
    QCOMPARE(samples(parsed), QStringList({QStringLiteral("%1+3").arg(data_at), QStringLiteral("%1+15").arg(data_at + 3),
                                           QStringLiteral("%1+1").arg(data_at + 18)}));
  }

  // Track runs: which fields each sample has, where the data starts, what sizes apply.
  void trackRuns_data() {
    QTest::addColumn<quint32>("tfhd_flags");
    QTest::addColumn<quint32>("trun_flags");
    QTest::addColumn<int>("fields_per_entry");
    QTest::addColumn<QStringList>("sizes");
    QTest::addColumn<bool>("first_sync_only");
    QTest::newRow("sizes, data offset, base is moof") << 0x20000u << 0x201u << 1 << QStringList({"4", "6", "2"}) << false;
    QTest::newRow("tfhd default size and base offset") << 0x11u << 0x0u << 0 << QStringList({"5", "5", "5"}) << false;
    QTest::newRow("all fields, first sample flags") << 0x20000u << 0xF05u << 4 << QStringList({"4", "6", "2"}) << true;
    QTest::newRow("trex default size") << 0x20000u << 0x101u << 1 << QStringList({"7", "7", "7"}) << false;
  }

  void trackRuns() {
    QFETCH(quint32, tfhd_flags);
    QFETCH(quint32, trun_flags);
    QFETCH(int, fields_per_entry);
    QFETCH(QStringList, sizes);
    QFETCH(bool, first_sync_only);
    const QByteArray trex = fullBox("trex", 0, 0, u32(1) + u32(1) + u32(10) + u32(7) + u32(0));
    const QByteArray head = ftyp() + box("moov", track(1, QByteArray()) + box("mvex", trex));
    const quint32 sizes_raw[] = {4, 6, 2};
    auto build = [&](quint32 data_offset, quint32 mdat_payload) {
      QByteArray tfhd_payload = u32(1);
      if (tfhd_flags & 0x1) tfhd_payload += u64(mdat_payload);
      if (tfhd_flags & 0x10) tfhd_payload += u32(5);
      QByteArray trun_payload = u32(3);
      if (trun_flags & 0x1) trun_payload += u32(data_offset);
      if (trun_flags & 0x4) trun_payload += u32(0x02000000);  // first sample: sync, depends on no other
      for (quint32 size : sizes_raw) {
        if (trun_flags & 0x100) trun_payload += u32(10);
        if (trun_flags & 0x200) trun_payload += u32(size);
        if (trun_flags & 0x400) trun_payload += u32(0x01010000);  // non-sync
        if (trun_flags & 0x800) trun_payload += u32(quint32(-2));  // composition offset -2 (version 1)
      }
      return box("moof", fullBox("mfhd", 0, 0, u32(1)) +
                             box("traf", fullBox("tfhd", 0, tfhd_flags, tfhd_payload) +
                                             fullBox("tfdt", 1, 0, u64(1000)) + fullBox("trun", 1, trun_flags, trun_payload)));
    };
    const int moof_size = build(0, 0).size();
    const quint32 mdat_payload = quint32(head.size() + moof_size + 8);
    const QByteArray bytes = head + build(quint32(moof_size + 8), mdat_payload) + box("mdat", QByteArray(21, 'd'));
    const Parsed parsed = parseBytes(bytes);
    expectValid(parsed, bytes.size());
    QCOMPARE(parsed.garbageCount(), qint64(0));
    const Element* trun = parsed.at(QStringLiteral("moof/traf/trun"));
    QVERIFY(trun);
    int entries = 0;
    for (const Element* e : parsed.children(trun->id))
      if (e->name == QLatin1String("entry")) {
        ++entries;
        QCOMPARE(int(parsed.children(e->id).size()), fields_per_entry);
      }
    QCOMPARE(entries, fields_per_entry ? 3 : 0);
    QStringList expected;
    qint64 at = mdat_payload;
    for (const QString& size : sizes) {
      expected << QStringLiteral("%1+%2").arg(at).arg(size);
      at += size.toLongLong();
    }
    QCOMPARE(samples(parsed), expected);
    const auto in_mdat = parsed.named(QStringLiteral("sample"));
    QVERIFY(in_mdat.front()->raw.contains(QLatin1String("dts 1000")));
    QCOMPARE(in_mdat.front()->raw.contains(QLatin1String(", sync")), true);
    QCOMPARE(in_mdat.back()->raw.contains(QLatin1String(", sync")), !first_sync_only);
  }

  // Junk between boxes becomes one GARBAGE element; the next plausible box is found again.
  void garbageThenResync() {
    const QByteArray bytes = ftyp() + QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d", 13) +
                             box("free", QByteArray(4, '\0'));
    const Parsed parsed = parseBytes(bytes);
    expectValid(parsed, bytes.size());
    const auto top = parsed.children(0);
    QCOMPARE(int(top.size()), 3);
    QCOMPARE(top[1]->name, QString::fromLatin1(corvanta::kGarbageName.data()));
    QCOMPARE(top[1]->byteOffset(), qint64(24));
    QCOMPARE(top[1]->byteSize(), qint64(13));
    QCOMPARE(top[2]->name, QStringLiteral("free"));
    QCOMPARE(top[2]->byteOffset(), qint64(37));
  }

  // Counts far beyond what the box holds are reported and never looped over or allocated.
  void hostileCounts_data() {
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("count_field");
    QTest::newRow("stsz") << fullBox("stsz", 0, 0, u32(0) + u32(0xffffffff) + u32(5) + u32(6)) << "sample_count";
    QTest::newRow("stco") << fullBox("stco", 0, 0, u32(0xffffffff) + u32(100)) << "entry_count";
    QTest::newRow("stts") << fullBox("stts", 0, 0, u32(0x7fffffff) + u32(1) + u32(1)) << "entry_count";
    QTest::newRow("stsc") << fullBox("stsc", 0, 0, u32(0xfffffff0) + u32(1) + u32(0xffffffff) + u32(1)) << "entry_count";
  }

  void hostileCounts() {
    QFETCH(QByteArray, table);
    QFETCH(QString, count_field);
    const QByteArray tables = table + stsc(0xffffffff) + fullBox("stsz", 0, 0, u32(1) + u32(0xffffffff)) + stco({40});
    const QByteArray bytes = ftyp() + box("moov", track(1, tables)) + box("mdat", QByteArray(64, 'm'));
    const Parsed parsed = parseBytes(bytes);
    expectValid(parsed, bytes.size());
    const Element* t = parsed.at(QStringLiteral("moov/trak/mdia/minf/stbl/") + QString::fromLatin1(table.mid(4, 4)));
    QVERIFY(t);
    const Element* count = parsed.at(count_field, t->id);
    QVERIFY(count);
    QVERIFY2(count->hrf.contains(QLatin1String("only")), qPrintable(count->hrf));
    QVERIFY(parsed.elements.size() < 1000);
  }

  // A hostile nesting depth stays bounded and valid.
  void deepNesting() {
    QByteArray inner = box("free", QByteArray(2, '\0'));
    for (int i = 0; i < 300; ++i) inner = box(i % 2 ? "moov" : "trak", inner);
    const QByteArray bytes = ftyp() + inner;
    const Parsed parsed = parseBytes(bytes);
    expectValid(parsed, bytes.size());
    qint64 deepest = 0;
    for (const Element& e : parsed.elements) deepest = qMax(deepest, e.level);
    QVERIFY(deepest <= 70);
  }

  // Two tracks claiming the same bytes, and a chunk that lies past the file. Chunk offsets
  // have a fixed width, so the layout is measured with zeros first.
  void overlappingAndOutsideClaims() {
    const QByteArray one = fullBox("stsz", 0, 0, u32(0) + u32(1) + u32(8));
    const QByteArray two = fullBox("stsz", 0, 0, u32(0) + u32(2) + u32(8) + u32(8));
    auto moov = [&](quint32 at) {
      return box("moov", track(1, one + stsc(1) + stco({at})) + track(2, two + stsc(1) + stco({at + 4, 100000})));
    };
    const quint32 data_at = quint32(ftyp().size() + moov(0).size() + 8);
    const QByteArray bytes = ftyp() + moov(data_at) + box("mdat", QByteArray(16, 'm'));
    const Parsed parsed = parseBytes(bytes);
    expectValid(parsed, bytes.size());
    const auto in_mdat = parsed.named(QStringLiteral("sample"));
    QCOMPARE(int(in_mdat.size()), 2);
    QVERIFY(in_mdat[1]->hrf.contains(QLatin1String("overlaps")));
    QCOMPARE(in_mdat[1]->byteSize(), qint64(8));
    const auto traks = parsed.named(QStringLiteral("trak"));
    QVERIFY2(traks[1]->raw.contains(QLatin1String("2 samples (1 outside mdat)")), qPrintable(traks[1]->raw));
    const auto unclaimed = parsed.named(QStringLiteral("unclaimed"));
    QCOMPARE(int(unclaimed.size()), 1);
    QCOMPARE(unclaimed.front()->byteOffset(), qint64(data_at + 12));
  }

  // Every chunk of a small file pointing at the same bytes: the tables claim 300000 samples
  // in 2 KB of media data. The map stops at its cap instead of listing each overlap.
  void chunksOverlappingWithoutEnd() {
    const QByteArray sizes = fullBox("stsz", 0, 0, u32(17) + u32(300000));
    auto moov = [&](quint32 at) { return box("moov", track(1, sizes + stsc(100) + stco(QList<quint32>(3000, at)))); };
    const quint32 data_at = quint32(ftyp().size() + moov(0).size() + 8);
    const QByteArray bytes = ftyp() + moov(data_at) + box("mdat", QByteArray(2048, 'm'));
    const Parsed parsed = parseBytes(bytes);
    expectValid(parsed, bytes.size());
    const Element* mdat = parsed.at(QStringLiteral("mdat"));
    QVERIFY(mdat);
    QVERIFY2(mdat->raw.contains(QLatin1String("sample map incomplete")), qPrintable(mdat->raw));
    QVERIFY2(parsed.elements.size() < 100000, qPrintable(QString::number(parsed.elements.size())));
  }

  void unknownBoxKeepsPayload() {
    const QByteArray bytes = ftyp() + box("abcd", QByteArray("payload!"));
    const Parsed parsed = parseBytes(bytes);
    expectValid(parsed, bytes.size());
    const Element* unknown = parsed.at(QStringLiteral("abcd"));
    QVERIFY(unknown);
    QCOMPARE(unknown->raw, QStringLiteral("Unknown box"));
    const Element* data = parsed.at(QStringLiteral("data"), unknown->id);
    QVERIFY(data);
    QCOMPARE(data->byteOffset(), qint64(32));
    QCOMPARE(data->byteSize(), qint64(8));
  }

  void probe_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<qint64>("file_size");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::newRow("ftyp") << ftyp() << qint64(1000) << 100 << 100;
    QTest::newRow("moov first") << box("moov", QByteArray(8, '\0')) << qint64(1000) << 50 << 90;
    QTest::newRow("mdat size 0") << u32(0) + QByteArray("mdat") << qint64(1000) << 30 << 70;
    QTest::newRow("largesize mdat") << u32(1) + QByteArray("mdat") + u64(500) << qint64(1000) << 30 << 70;
    QTest::newRow("size below 8") << u32(4) + QByteArray("ftyp") << qint64(1000) << 0 << 0;
    QTest::newRow("other code") << box("RIFF", QByteArray(8, '\0')) << qint64(1000) << 0 << 0;
    QTest::newRow("too short") << QByteArray("ftyp") << qint64(4) << 0 << 0;
  }

  void probe() {
    QFETCH(QByteArray, head);
    QFETCH(qint64, file_size);
    QFETCH(int, min);
    QFETCH(int, max);
    const int confidence = corvanta::isoBmffModule().probe(reinterpret_cast<const uint8_t*>(head.constData()),
                                                           head.size(), file_size);
    QVERIFY2(confidence >= min && confidence <= max, qPrintable(QString::number(confidence)));
  }
};

CORVANTA_TEST_CORE_MAIN(IsoBmffFixturesTest)
#include "IsoBmffFixturesTest.moc"
