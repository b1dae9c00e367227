// Files made by real muxers and encoders and by odml-avi.py (see tests/data/riff/make-test-files.sh):
// the check passes, every chunk is where riff-walk.py's independent walk finds it, ffprobe's
// packets are the AVI frames with ffprobe's key-frame flags, and broken copies keep every chunk
// and frame that is still whole.
#include "FormatModule.h"
#include "PacketWitness.h"
#include "ParsedFile.h"
#include "TestSupport.h"

#include <QDirIterator>

using namespace corvanta::test;

namespace {

// A chunk as riff-walk.py lists it and as the parser shows it.
struct Chunk {
  qint64 depth = 0, offset = 0;
  QString id;
  qint64 size = 0;
  bool operator==(const Chunk& o) const { return depth == o.depth && offset == o.offset && id == o.id && size == o.size; }
};

QList<Chunk> witnessChunks(const QString& path) {
  QList<Chunk> chunks;
  for (const QByteArray& line : readAll(path).split('\n')) {
    const QList<QByteArray> parts = line.split(',');
    if (parts.size() == 4)
      chunks.append({parts[0].toLongLong(), parts[1].toLongLong(), QString::fromLatin1(parts[2]), parts[3].toLongLong()});
  }
  return chunks;
}

const Element* child(const Parsed& parsed, const Element& unit, const QString& name) {
  for (const Element* e : parsed.children(unit.id))
    if (e->name == name) return e;
  return nullptr;
}

// A chunk unit starts with its ckID; its payload size is what the unit covers without the
// header and the pad byte.
QList<Chunk> parsedChunks(const Parsed& parsed) {
  QList<Chunk> chunks;
  for (const Element& e : parsed.elements) {
    const auto kids = parsed.children(e.id);
    if (kids.empty() || kids.front()->name != "ckID" || kids.front()->offset != e.offset) continue;
    const qint64 pad = child(parsed, e, "pad") ? 1 : 0;
    chunks.append({e.level, e.byteOffset(), kids.front()->raw, e.byteSize() - 8 - pad});
  }
  return chunks;
}

// "00dc" and the like: movi frames, by stream.
bool isFrame(const Element& e) {
  return e.seq >= 0 && e.name.size() == 4 && e.name[0].isDigit() && e.name[1].isDigit();
}

// The frames as ffprobe counts them: data offset and size per stream, empty chunks left out
// (they stand for dropped frames, and ffprobe makes no packet of them).
PerStream parsedFrames(const Parsed& parsed, QMap<qint64, bool>* key_by_offset = nullptr) {
  PerStream frames;
  for (const Element& e : parsed.elements) {
    if (!isFrame(e)) continue;
    const qint64 size = child(parsed, e, "ckSize")->raw.toLongLong();
    if (size == 0) continue;
    frames[e.name.left(2).toInt()].push_back({e.byteOffset() + 8, size});
    if (key_by_offset) (*key_by_offset)[e.byteOffset() + 8] = e.raw.endsWith(", key frame");
  }
  for (auto& list : frames) std::sort(list.begin(), list.end());
  return frames;
}

// ffprobe splits a long PCM chunk into packets of its own size: packets that follow each other
// without a gap are one chunk's data (chunks never touch, their headers lie between them).
PerStream mergeAdjacent(const PerStream& packets) {
  PerStream merged;
  for (auto it = packets.begin(); it != packets.end(); ++it) {
    std::vector<Stretch>& out = merged[it.key()];
    for (const Stretch& packet : it.value()) {
      if (!out.empty() && out.back().first + out.back().second == packet.first)
        out.back().second += packet.second;
      else
        out.push_back(packet);
    }
  }
  return merged;
}

void verifyClean(const Parsed& parsed, const QString& path) {
  const QString problem = cleanParseProblem(parsed, path);
  QVERIFY2(problem.isEmpty(), qPrintable(problem));
  for (const Element& e : parsed.elements) {
    QVERIFY2(!e.hrf.contains("truncated"), qPrintable(e.name + " at " + QString::number(e.byteOffset())));
    QVERIFY2(!e.hrf.contains(", not "), qPrintable(e.name + " at " + QString::number(e.byteOffset()) + ": " + e.hrf));
    QVERIFY2(e.name != "undecoded", qPrintable("undecoded bytes at " + QString::number(e.byteOffset())));
  }
}

}  // namespace

class RiffFilesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void validFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("module");
    const QList<QPair<const char*, const char*>> files = {
        {"mpeg4-mp3.avi", "riff.avi"},   {"pcm-6ch.avi", "riff.avi"},     {"gstreamer.avi", "riff.avi"},
        {"odml.avi", "riff.avi"},        {"ffmpeg-bext.wav", "riff.wave"}, {"rf64.wav", "riff.wave"},
        {"float.wav", "riff.wave"},      {"gstreamer.wav", "riff.wave"},   {"sox-3ch.wav", "riff.wave"},
        {"mp3.wav", "riff.wave"},        {"sox.aiff", "riff.aiff"},        {"sox.aifc", "riff.aiff"},
        {"ffmpeg.aiff", "riff.aiff"},    {"lossy.webp", "riff.webp"},      {"lossless.webp", "riff.webp"},
        {"alpha.webp", "riff.webp"},     {"animated.webp", "riff.webp"},   {"metadata.webp", "riff.webp"}};
    for (const auto& [file, module] : files) QTest::newRow(file) << QString::fromLatin1(file) << QString::fromLatin1(module);
  }
  void validFiles() {
    QFETCH(QString, file);
    QFETCH(QString, module);
    const QString path = dataFile("riff/" + file);
    const Parsed parsed = parseFile(path);
    QCOMPARE(parsed.format, module);
    verifyClean(parsed, path);
    const QList<Chunk> expected = witnessChunks(path + ".chunks.csv");
    const QList<Chunk> actual = parsedChunks(parsed);
    QVERIFY(!expected.isEmpty());
    for (qsizetype i = 0; i < std::min(actual.size(), expected.size()); ++i)
      QVERIFY2(actual[i] == expected[i], qPrintable(QStringLiteral("chunk %1: %2 at %3 (%4 bytes, depth %5), the walk: %6 at %7 (%8 bytes, depth %9)")
                                                        .arg(i).arg(actual[i].id).arg(actual[i].offset).arg(actual[i].size).arg(actual[i].depth)
                                                        .arg(expected[i].id).arg(expected[i].offset).arg(expected[i].size).arg(expected[i].depth)));
    QCOMPARE(actual.size(), expected.size());
  }

  // ffprobe's packets, per stream, are the frame chunks of movi (and of every AVIX), and its key
  // frames are the frames the indexes call so.
  void framesAgreeWithFfprobe_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"mpeg4-mp3.avi", "pcm-6ch.avi", "gstreamer.avi", "odml.avi"})
      QTest::newRow(name) << QString::fromLatin1(name);
  }
  void framesAgreeWithFfprobe() {
    QFETCH(QString, file);
    const QString path = dataFile("riff/" + file);
    const Parsed parsed = parseFile(path);
    QMap<qint64, bool> key_by_offset;
    comparePerStream(parsedFrames(parsed, &key_by_offset), mergeAdjacent(readPacketWitness(path + ".packets")), "frame");
    int video_keys = 0;
    for (const QByteArray& line : readAll(path + ".packets").split('\n')) {
      const QList<QByteArray> parts = line.split(',');  // stream,size,pos,flags
      if (parts.size() < 4 || parts[0] != "0") continue;  // stream 0 is the video in every file
      const bool key = parts[3].startsWith('K');
      QVERIFY2(key_by_offset.value(parts[2].toLongLong()) == key, line.constData());
      video_keys += key;
    }
    QVERIFY(video_keys >= 1);
  }

  // The OpenDML file: the super index names both ix00 chunks, the second RIFF is an AVIX, and
  // frames are numbered on across it.
  void openDmlIndexesLeadToTheirChunks() {
    const Parsed parsed = parseFile(dataFile("riff/odml.avi"));
    const auto entries = parsed.named("qwOffset");
    QCOMPARE(int(entries.size()), 2);
    for (const Element* entry : entries) QCOMPARE(entry->hrf, QStringLiteral("points at ix00"));
    QCOMPARE(parsed.named("ix00").size(), size_t(2));
    int checked = 0;
    for (const Element* offset : parsed.named("dwOffset")) {
      QCOMPARE(offset->hrf, QStringLiteral("points at 00dc"));
      ++checked;
    }
    QCOMPARE(checked, 10);
    const Element* last = parsed.named("00dc").back();
    QCOMPARE(last->seq, qint64(9));
    QCOMPARE(parsed.elements.front().raw, QStringLiteral("AVI "));
    QCOMPARE(parsed.named("RIFF").back()->raw, QStringLiteral("AVIX"));
  }

  // Broken copies: every chunk shown is a chunk of the good file, but for those cut short; what
  // cannot be framed is one GARBAGE stretch and the walk goes on after it.
  void brokenCopiesKeepWhatIsWhole_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("good");
    QTest::addColumn<int>("garbage");
    QTest::addColumn<int>("cut_short");
    QTest::newRow("AVI cut inside movi") << "truncated.avi" << "mpeg4-mp3.avi" << 0 << 3;
    QTest::newRow("AVI with junk over frames") << "corrupt-junk.avi" << "mpeg4-mp3.avi" << 1 << 0;
    QTest::newRow("WAVE cut inside data") << "truncated.wav" << "ffmpeg-bext.wav" << 0 << 2;
    QTest::newRow("WebP chunk past the file") << "corrupt-size.webp" << "lossy.webp" << 0 << 1;
    QTest::newRow("AIFF cut inside SSND") << "truncated.aiff" << "sox.aiff" << 0 << 2;
  }
  void brokenCopiesKeepWhatIsWhole() {
    QFETCH(QString, file);
    QFETCH(QString, good);
    QFETCH(int, garbage);
    QFETCH(int, cut_short);
    const QString path = dataFile("riff/" + file);
    const Parsed parsed = parseFile(path);
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.report.covered_bits, QFileInfo(path).size() * 8);
    QCOMPARE(parsed.garbageCount(), qint64(garbage));
    const QList<Chunk> whole = witnessChunks(dataFile("riff/" + good + ".chunks.csv"));
    int truncated = 0, kept = 0;
    for (const Element& e : parsed.elements) {
      const auto kids = parsed.children(e.id);
      if (kids.empty() || kids.front()->name != "ckID") continue;
      if (e.hrf.contains("truncated")) {
        ++truncated;
        continue;
      }
      const qint64 pad = child(parsed, e, "pad") ? 1 : 0;
      const Chunk chunk{e.level, e.byteOffset(), kids.front()->raw, e.byteSize() - 8 - pad};
      QVERIFY2(whole.contains(chunk), qPrintable(chunk.id + " at " + QString::number(chunk.offset)));
      ++kept;
    }
    QCOMPARE(truncated, cut_short);
    QVERIFY(kept >= 1);
  }

  // The junk covers frames in the middle of movi: the frames on either side of it are all there.
  void junkInMoviLosesOnlyTheFramesItCovers() {
    const Parsed good = parseFile(dataFile("riff/mpeg4-mp3.avi"));
    const Parsed broken = parseFile(dataFile("riff/corrupt-junk.avi"));
    const auto junk = broken.named(QString::fromLatin1(corvanta::kGarbageName.data()));
    QCOMPARE(int(junk.size()), 1);
    const qint64 junk_begin = junk.front()->byteOffset(), junk_end = junk_begin + junk.front()->byteSize();
    PerStream expected;
    for (auto [stream, frames] : parsedFrames(good).toStdMap()) {
      for (const Stretch& frame : frames)
        if (frame.first + frame.second <= junk_begin || frame.first - 8 >= junk_end) expected[stream].push_back(frame);
    }
    comparePerStream(parsedFrames(broken), expected, "frame");
  }

  // A RIFF or IFF file goes to the module of its form; no file of another family goes to any of them.
  void registryChoosesByForm() {
    const QDir data(dataDir());
    int others = 0;
    QDirIterator it(dataDir(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString path = it.next();
      const QString family = data.relativeFilePath(path).section('/', 0, 0);
      if (family == "riff" || QFileInfo(path).suffix() == "golden" || QFileInfo(path).suffix() == "packets" ||
          QFileInfo(path).suffix() == "csv" || QFileInfo(path).suffix() == "py" || QFileInfo(path).suffix() == "sh")
        continue;
      const QByteArray head = readAll(path).left(4096);
      const corvanta::FormatModule* module = corvanta::chooseModule(reinterpret_cast<const uint8_t*>(head.constData()),
                                                                    head.size(), QFileInfo(path).size(), path);
      QVERIFY2(!module || !module->id.startsWith("riff."), qPrintable(path));
      ++others;
    }
    QVERIFY(others > 10);
  }
};

CORVANTA_TEST_CORE_MAIN(RiffFilesTest)
#include "RiffFilesTest.moc"
