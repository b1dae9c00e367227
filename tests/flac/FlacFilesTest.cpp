// FLAC files made by ffmpeg and the reference tools (see tests/data/flac/make-test-files.sh): the
// check passes, every frame is where `flac -a` finds it, with its block size, channel assignment
// and each subframe's type, order and wasted bits, the frames are ffprobe's packets, and broken
// copies keep every frame of the good file.
#include "PacketWitness.h"
#include "ParsedFile.h"
#include "TestSupport.h"

using namespace corvanta::test;

namespace {

// A frame as flac-frames.py lists it from `flac -a`: offset, bytes, block size, channel assignment,
// and the subframes as "type/order/wasted".
struct Frame {
  qint64 offset = 0, bytes = 0, block_size = 0;
  QString assignment, subframes;
  bool operator==(const Frame& o) const {
    return offset == o.offset && bytes == o.bytes && block_size == o.block_size && assignment == o.assignment &&
           subframes == o.subframes;
  }
};

QList<Frame> witnessFrames(const QString& path) {
  QList<Frame> frames;
  for (const QByteArray& line : readAll(path).split('\n')) {
    const QList<QByteArray> p = line.split(',');
    if (p.size() == 5)
      frames.append({p[0].toLongLong(), p[1].toLongLong(), p[2].toLongLong(), QString::fromLatin1(p[3]),
                     QString::fromLatin1(p[4])});
  }
  return frames;
}

// A subframe as the analysis names it: "LPC/8/0", "CONSTANT/0/0".
QString subframeText(const Parsed& parsed, const Element& subframe) {
  const QStringList type = subframe.raw.split(QStringLiteral(", order "));
  const Element* wasted = parsed.at("wasted_bits", subframe.id);
  return type[0] + "/" + (type.size() > 1 ? type[1] : QStringLiteral("0")) + "/" + (wasted ? wasted->raw : "0");
}

QList<Frame> parsedFrames(const Parsed& parsed) {
  QList<Frame> frames;
  for (const Element& e : parsed.elements) {
    if (e.level != 0 || e.name != "frame") continue;
    QStringList subframes;
    for (const Element* sub : parsed.children(e.id))
      if (sub->name == "subframe") subframes << subframeText(parsed, *sub);
    const QString block = e.raw.section(' ', 0, 0);
    const QString assignment = e.raw.section(", ", 1, 1);
    frames.append({e.byteOffset(), e.byteSize(), block.toLongLong(), assignment, subframes.join(';')});
  }
  return frames;
}

const char* const kValidFiles[] = {"ffmpeg.flac", "picture-seektable.flac", "cuesheet.flac", "verbatim-noise.flac",
                                   "id3v2-before.flac"};

}  // namespace

class FlacFilesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void validFiles_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : kValidFiles) QTest::newRow(name) << QString::fromLatin1(name);
  }
  void validFiles() {
    QFETCH(QString, file);
    const QString path = dataFile("flac/" + file);
    const Parsed parsed = parseFile(path);
    const QString problem = cleanParseProblem(parsed, path, QStringLiteral("flac"));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    int checks = 0;
    for (const Element& e : parsed.elements) {
      if (e.name == "crc8" || e.name == "crc16") {
        QCOMPARE(e.hrf, QStringLiteral("ok"));
        ++checks;
      }
      QVERIFY2(e.name != "frame_data" && e.name != "data", qPrintable(QString::number(e.byteOffset())));
      QVERIFY2(!e.hrf.contains("truncated") && !e.hrf.contains("must be 0"), qPrintable(e.name));
    }
    QCOMPARE(checks, 2 * int(parsed.named("frame").size()));
    if (QFileInfo::exists(path + ".frames.csv")) {
      const QList<Frame> frames = parsedFrames(parsed);
      const QList<Frame> expected = witnessFrames(path + ".frames.csv");
      QCOMPARE(frames.size(), expected.size());
      for (int i = 0; i < frames.size(); ++i)
        QVERIFY2(frames[i] == expected[i],
                 qPrintable(QStringLiteral("frame %1: %2 %3 %4 %5, flac -a: %6 %7 %8 %9")
                                .arg(i).arg(frames[i].offset).arg(frames[i].bytes).arg(frames[i].assignment)
                                .arg(frames[i].subframes).arg(expected[i].offset).arg(expected[i].bytes)
                                .arg(expected[i].assignment).arg(expected[i].subframes)));
    }
  }

  void framesAreFfprobePackets_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : kValidFiles) QTest::newRow(name) << QString::fromLatin1(name);
  }
  void framesAreFfprobePackets() {
    QFETCH(QString, file);
    const QString path = dataFile("flac/" + file);
    PerStream frames;
    for (const Frame& frame : parsedFrames(parseFile(path))) frames[0].push_back({frame.offset, frame.bytes});
    comparePerStream(frames, readPacketWitness(path + ".packets"), "frame");
  }

  // The blocks the reference tools wrote, decoded: a picture, seek points, a cue sheet with its
  // tracks and index points, and APPLICATION blocks named by their id.
  void metadataBlocksAreDecoded() {
    const Parsed picture = parseFile(dataFile("flac/picture-seektable.flac"));
    QCOMPARE(picture.at("PICTURE")->raw, QStringLiteral("front cover, image/png, 8x8"));
    QCOMPARE(picture.at("PICTURE/picture_data")->byteSize(), picture.at("PICTURE/picture_data_length")->raw.toLongLong());
    QCOMPARE(int(picture.named("seek_point").size()), 4);
    const Parsed cue = parseFile(dataFile("flac/cuesheet.flac"));
    QCOMPARE(cue.at("CUESHEET")->raw, QStringLiteral("3 tracks"));  // two and the lead-out
    QCOMPARE(int(cue.named("index_point").size()), 3);
    QCOMPARE(cue.at("APPLICATION/application_id")->hrf, QStringLiteral("FLAC RIFF chunk storage"));
  }

  // Broken copies of ffmpeg.flac: the frames are those of the good file, the changed one says so,
  // a frame cut by the end of the file says that; a false check never splits a frame.
  void brokenCopiesKeepTheFrames_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("note");
    QTest::addColumn<int>("missing");
    QTest::newRow("truncated") << "truncated.flac" << "truncated" << 1;
    QTest::newRow("byte changed") << "corrupt-crc.flac" << "mismatch" << 0;
    QTest::newRow("junk over a frame") << "corrupt-junk.flac" << "mismatch" << 0;
  }
  void brokenCopiesKeepTheFrames() {
    QFETCH(QString, file);
    QFETCH(QString, note);
    QFETCH(int, missing);
    const Parsed parsed = parseFile(dataFile("flac/" + file));
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.garbageCount(), qint64(0));
    const QList<Frame> good = witnessFrames(dataFile("flac/ffmpeg.flac.frames.csv"));
    const QList<Frame> frames = parsedFrames(parsed);
    QCOMPARE(frames.size(), good.size() - missing);
    int noted = 0;
    for (int i = 0; i < frames.size(); ++i) {
      const bool last = i + 1 == frames.size();
      if (!(missing && last)) QCOMPARE(frames[i].offset, good[i].offset);
      if (!(missing && last)) QCOMPARE(frames[i].bytes, good[i].bytes);
    }
    for (const Element& e : parsed.elements)
      if (e.hrf.contains(note) && (e.name == "frame" || e.name == "crc16")) ++noted;
    QCOMPARE(noted, 1);
  }

  // An ID3v2 tag before the marker stays one element of its own size.
  void id3v2TagBeforeTheMarker() {
    const Parsed parsed = parseFile(dataFile("flac/id3v2-before.flac"));
    const Element& first = parsed.elements.at(0);
    QCOMPARE(first.name, QStringLiteral("ID3v2"));
    QCOMPARE(first.byteSize(), qint64(1400));
    QCOMPARE(parsed.at("marker")->byteOffset(), qint64(1400));
  }
};

CORVANTA_TEST_CORE_MAIN(FlacFilesTest)
#include "FlacFilesTest.moc"
