// Files made by real muxers (see tests/data/isobmff/make-test-files.sh): the check passes,
// the boxes are where an independent walk finds them, every sample is where ffprobe found it,
// and broken copies are shown as broken without losing what is still good.
#include "IsoBmffTestSupport.h"
#include "PacketWitness.h"
#include "TestSupport.h"

#include <QRegularExpression>

#include <algorithm>
#include <set>

using namespace isotest;

namespace {

// The samples the parser put into mdat, by stream index (the order of the trak boxes).
PerStream parsedSamples(const Parsed& parsed) {
  QMap<qint64, int> stream_of_track;
  int stream = 0;
  for (const Element* trak : parsed.children(parsed.at(QStringLiteral("moov"))->id))
    if (trak->name == QLatin1String("trak"))
      if (const Element* id = parsed.at(QStringLiteral("tkhd/track_ID"), trak->id)) stream_of_track[id->raw.toLongLong()] = stream++;
  static const QRegularExpression track(QStringLiteral("^track (\\d+),"));
  PerStream out;
  for (const Element& e : parsed.elements) {
    if (e.name != QLatin1String("sample")) continue;
    const QRegularExpressionMatch m = track.match(e.raw);
    if (m.hasMatch()) out[stream_of_track.value(m.captured(1).toLongLong(), -1)].push_back({e.byteOffset(), e.byteSize()});
  }
  for (auto& list : out) std::sort(list.begin(), list.end());
  return out;
}

void compareTopLevel(const Parsed& parsed, const QByteArray& data) {
  std::vector<TopBox> actual;
  for (const Element* e : parsed.children(0)) actual.push_back({e->name, e->byteOffset(), e->byteSize()});
  const std::vector<TopBox> expected = walkTopLevel(data);
  QCOMPARE(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    QCOMPARE(actual[i].type, expected[i].type);
    QCOMPARE(actual[i].offset, expected[i].offset);
    QCOMPARE(actual[i].size, expected[i].size);
  }
}

QString bitsText(qint64 bits) {
  return bits % 8 ? QStringLiteral("%1:%2").arg(bits / 8).arg(bits % 8) : QString::number(bits / 8);
}

QString elementLine(const Element& e) {
  QString line = QString(int(e.level) * 2, QLatin1Char(' ')) + e.name;
  if (e.seq >= 0) line += QLatin1Char('-') + QString::number(e.seq);
  line += QStringLiteral(" %1 +%2 = %3").arg(bitsText(e.offset), bitsText(e.size), e.raw);
  if (!e.hrf.isEmpty()) line += QStringLiteral(" [%1]").arg(e.hrf);
  return line;
}

}  // namespace

class IsoBmffFilesTest : public QObject {
  Q_OBJECT

 private slots:
  void muxerFiles_data() {
    QTest::addColumn<QString>("file");
    for (const char* file : {"progressive.mp4", "faststart.mp4", "fragmented.mp4", "dash.mp4", "movie.mov",
                             "audio.m4a", "mobile.3gp", "gstreamer.mp4", "gstreamer.mov", "largesize.mp4",
                             "size0.mp4", "h264-high.mp4", "h264-interlaced.mp4", "h264-444.mp4", "hevc-main10.mp4",
                             "av1.mp4", "two-tracks.mp4"})
      QTest::newRow(file) << QString::fromLatin1(file);
  }

  void muxerFiles() {
    QFETCH(QString, file);
    const QString path = corvanta::test::dataFile(QStringLiteral("isobmff/") + file);
    const Parsed parsed = parseFile(path);
    QCOMPARE(parsed.result, 0);
    QCOMPARE(parsed.format, QStringLiteral("isobmff"));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.report.covered_bits, QFileInfo(path).size() * 8);
    QCOMPARE(parsed.report.garbage_bits, qint64(0));
    compareTopLevel(parsed, readAll(path));
    comparePerStream(parsedSamples(parsed), readPacketWitness(path + QStringLiteral(".packets")), "sample");
    for (const Element& e : parsed.elements) {
      QVERIFY2(!e.hrf.contains(QLatin1String("truncated")), qPrintable(elementLine(e)));
      QVERIFY2(e.name != QLatin1String("unclaimed"), qPrintable(elementLine(e)));
      QVERIFY2(e.name != QLatin1String("extra_data"), qPrintable(elementLine(e)));
      QVERIFY2(!e.hrf.contains(QLatin1String("runs past")), qPrintable(elementLine(e)));
    }
  }

  // Values a user reads first, from several muxers.
  void decodedValues_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("hrf");
    auto row = [](const char* file, const char* path, const char* raw, const char* hrf) {
      QTest::addRow("%s %s", file, path) << QString::fromLatin1(file) << QString::fromUtf8(path)
                                         << QString::fromUtf8(raw) << QString::fromUtf8(hrf);
    };
    row("progressive.mp4", "ftyp/major_brand", "isom", "ISO base media");
    row("progressive.mp4", "moov/mvhd/timescale", "1000", "1000 Hz");
    row("progressive.mp4", "moov/mvhd/duration", "1000", "0:00:01.000");
    row("progressive.mp4", "moov/trak/mdia/mdhd/language", "21956", "und");
    row("progressive.mp4", "moov/trak/mdia/hdlr/handler_type", "vide", "Video track");
    row("progressive.mp4", "moov/trak/mdia/minf/stbl/stsd/avc1/width", "160", "");
    row("progressive.mp4", "moov/trak/mdia/minf/stbl/stsd/avc1/avcC/AVCProfileIndication", "66", "Baseline");
    row("progressive.mp4", "moov/udta/meta/ilst/\xc2\xa9nam/data/value", "Corvanta test", "");
    row("audio.m4a", "ftyp/major_brand", "M4A ", "Apple audio");
    row("audio.m4a", "moov/trak/mdia/minf/stbl/stsd/mp4a/esds/ES_Descriptor/DecoderConfigDescriptor/"
                     "DecoderSpecificInfo/audioObjectType", "2", "AAC LC");
    row("movie.mov", "ftyp/major_brand", "qt  ", "QuickTime");
    row("mobile.3gp", "ftyp/major_brand", "3gp6", "3GPP release 6");
    // this GStreamer version writes dOps little-endian: decoded as stored, with a hint
    row("gstreamer.mp4", "moov/trak/mdia/minf/stbl/stsd/Opus/dOps/InputSampleRate", "2159738880",
        "Hz; written little-endian? then 48000 Hz");
    row("gstreamer.mov", "moov/trak/mdia/minf/stbl/stsd/jpeg/height", "48", "");
    row("fragmented.mp4", "moof/traf/tfhd/track_ID", "1", "");
    row("fragmented.mp4", "moof/traf/trun/sample_count", "5", "");
    row("dash.mp4", "sidx/reference_count", "2", "");
    row("largesize.mp4", "mdat/largesize", "12818", "");
    row("size0.mp4", "mdat/size", "0", "to the end of the file");
    row("image.heic", "meta/pitm/item_ID", "1", "");
    row("image.heic", "meta/iprp/ipco/ispe/image_width", "64", "");
    row("image.heic", "meta/iprp/ipco/hvcC/general_profile_idc", "3", "Main Still Picture");
    row("image.avif", "meta/iprp/ipco/av1C/seq_profile", "0", "Main");
    row("image.avif", "meta/iinf/infe/item_type", "av01", "");
  }

  void decodedValues() {
    QFETCH(QString, file);
    QFETCH(QString, path);
    QFETCH(QString, raw);
    QFETCH(QString, hrf);
    const Parsed parsed = parseFile(corvanta::test::dataFile(QStringLiteral("isobmff/") + file));
    QCOMPARE(parsed.result, 0);
    const Element* e = parsed.at(path);
    QVERIFY2(e, qPrintable(path));
    QCOMPARE(e->raw, raw);
    QCOMPARE(e->hrf, hrf);
  }

  // The image's data is claimed by its item locations: mdat holds one item extent.
  void heifItems_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("heic") << QStringLiteral("image.heic");
    QTest::newRow("avif") << QStringLiteral("image.avif");
  }

  void heifItems() {
    QFETCH(QString, file);
    const QString path = corvanta::test::dataFile(QStringLiteral("isobmff/") + file);
    const Parsed parsed = parseFile(path);
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.report.covered_bits, QFileInfo(path).size() * 8);
    QCOMPARE(parsed.report.garbage_bits, qint64(0));
    compareTopLevel(parsed, readAll(path));
    const Element* mdat = parsed.at(QStringLiteral("mdat"));
    QVERIFY(mdat);
    const auto children = parsed.children(mdat->id);
    QCOMPARE(children.size(), size_t(3));  // size, type, item
    QCOMPARE(children[2]->name, QStringLiteral("item"));
    QCOMPARE(children[2]->offset, mdat->offset + 64);
    QCOMPARE(children[2]->offset + children[2]->size, mdat->offset + mdat->size);
    QCOMPARE(parsed.at(QStringLiteral("meta/iloc/item/extent/extent_length"))->raw.toLongLong(), children[2]->byteSize());
  }

  // Broken copies: still a valid database, GARBAGE and "truncated" where the damage is, and
  // the samples that are still whole are where ffprobe found them in the intact file.
  void brokenFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("damaged");     // path of the element that must say "truncated"
    QTest::addColumn<qint64>("garbage_at");   // byte offset of a GARBAGE element, or -1
    QTest::newRow("cut inside moov") << QStringLiteral("truncated-in-moov.mp4") << QStringLiteral("moov") << qint64(-1);
    QTest::newRow("cut inside mdat") << QStringLiteral("truncated-in-mdat.mp4") << QStringLiteral("mdat") << qint64(-1);
    QTest::newRow("junk after ftyp") << QStringLiteral("corrupt-junk.mp4") << QString() << qint64(32);
    QTest::newRow("huge mvhd size") << QStringLiteral("corrupt-size.mp4") << QStringLiteral("moov/mvhd") << qint64(-1);
    QTest::newRow("junk at the end") << QStringLiteral("corrupt-tail.mp4") << QString() << qint64(14507);
  }

  void brokenFiles() {
    QFETCH(QString, file);
    QFETCH(QString, damaged);
    QFETCH(qint64, garbage_at);
    const QString path = corvanta::test::dataFile(QStringLiteral("isobmff/") + file);
    const Parsed parsed = parseFile(path);
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.report.covered_bits, QFileInfo(path).size() * 8);
    if (!damaged.isEmpty()) {
      const Element* e = parsed.at(damaged);
      QVERIFY2(e, qPrintable(damaged));
      QVERIFY2(e->hrf.contains(QLatin1String("truncated")), qPrintable(elementLine(*e)));
    }
    if (garbage_at >= 0) {
      const auto garbage = parsed.named(QString::fromLatin1(corvanta::kGarbageName.data()));
      QCOMPARE(garbage.size(), size_t(1));
      QCOMPARE(garbage.front()->byteOffset(), garbage_at);
      QCOMPARE(garbage.front()->level, qint64(0));
      // the walk found the boxes after the junk
      QVERIFY(parsed.at(QStringLiteral("moov")) && parsed.at(QStringLiteral("mdat")));
    } else {
      QCOMPARE(parsed.garbageCount(), qint64(0));
    }
  }

  // A sample cut by the end of the file is shown with what is there, the earlier ones whole.
  void truncatedMdatKeepsWholeSamples() {
    const QString path = corvanta::test::dataFile(QStringLiteral("isobmff/truncated-in-mdat.mp4"));
    const qint64 file_size = QFileInfo(path).size();
    const Parsed parsed = parseFile(path);
    PerStream expected = readPacketWitness(corvanta::test::dataFile(QStringLiteral("isobmff/faststart.mp4.packets")));
    PerStream whole;
    for (int stream : expected.keys())
      for (const Stretch& s : expected[stream])
        if (s.first + s.second <= file_size) whole[stream].push_back(s);
    PerStream actual = parsedSamples(parsed);
    int cut = 0;
    for (int stream : actual.keys()) {
      auto& list = actual[stream];
      const auto last = std::remove_if(list.begin(), list.end(), [&](const Stretch& s) {
        return s.first + s.second == file_size && !std::count(whole[stream].begin(), whole[stream].end(), s);
      });
      cut += int(list.end() - last);
      list.erase(last, list.end());
    }
    QCOMPARE(cut, 1);
    comparePerStream(actual, whole, "sample");
  }
};

CORVANTA_TEST_CORE_MAIN(IsoBmffFilesTest)
#include "IsoBmffFilesTest.moc"
