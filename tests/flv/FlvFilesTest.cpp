// Files made by real muxers and by the enhanced-FLV script (see tests/data/flv/make-test-files.sh):
// the check passes, every tag is where a backward walk of the PreviousTagSize chain finds it,
// ffprobe's packets are the tags' frames, and broken copies keep every tag that is still good.
#include "ParsedFile.h"
#include "TestSupport.h"

#include <QMap>
#include <QSet>

using namespace corvanta::test;

namespace {

// A tag as the witness lists it and as the parser shows it.
struct Tag {
  qint64 offset = 0, type = 0, data_size = 0, timestamp = 0;
  bool operator==(const Tag& o) const {
    return offset == o.offset && type == o.type && data_size == o.data_size && timestamp == o.timestamp;
  }
};

QList<QByteArray> lines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().split('\n');
}

// flv-walk.py's list: "offset,type,data_size,timestamp".
QList<Tag> witnessTags(const QString& path) {
  QList<Tag> tags;
  for (const QByteArray& line : lines(path)) {
    const QList<QByteArray> parts = line.split(',');
    if (parts.size() == 4)
      tags.append({parts[0].toLongLong(), parts[1].toLongLong(), parts[2].toLongLong(), parts[3].toLongLong()});
  }
  return tags;
}

bool isTag(const Element& e) {
  return e.level == 0 && (e.name == "audio" || e.name == "video" || e.name == "script data");
}

QString child(const Parsed& parsed, const Element& unit, const QString& name) {
  const Element* found = parsed.at(name, unit.id);
  return found ? found->raw : QString();
}

QList<Tag> parsedTags(const Parsed& parsed) {
  QList<Tag> tags;
  for (const Element& e : parsed.elements) {
    if (!isTag(e)) continue;
    tags.append({e.byteOffset(), child(parsed, e, "TagType").toLongLong(), child(parsed, e, "DataSize").toLongLong(),
                 child(parsed, e, "Timestamp").toLongLong() | child(parsed, e, "TimestampExtended").toLongLong() << 24});
  }
  return tags;
}

// The bytes ffprobe counts as a packet: the tag's data without the audio or video tag header;
// codec configurations and end-of-sequence markers are no packets. -1: no packet.
qint64 packetBytes(const Parsed& parsed, const Element& tag) {
  const qint64 data_size = child(parsed, tag, "DataSize").toLongLong();
  if (tag.name == "video") {
    if (child(parsed, tag, "CodecID") == "7") return child(parsed, tag, "AVCPacketType") == "1" ? data_size - 5 : -1;
    return data_size - 1;
  }
  if (tag.name == "audio") {
    if (child(parsed, tag, "SoundFormat") == "10") return child(parsed, tag, "AACPacketType") == "1" ? data_size - 2 : -1;
    return data_size - 1;
  }
  return -1;
}

}  // namespace

class FlvFilesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void validFiles_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"h264-aac.flv", "keyframe-index.flv", "flv1-mp3.flv", "gstreamer.flv", "hevc-enhanced.flv",
                             "av1-enhanced.flv"})
      QTest::newRow(name) << QString::fromLatin1(name);
  }
  void validFiles() {
    QFETCH(QString, file);
    const QString path = dataFile("flv/" + file);
    const Parsed parsed = parseFile(path);
    const QString problem = cleanParseProblem(parsed, path, QStringLiteral("flv"));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    const QList<Tag> tags = parsedTags(parsed);
    QCOMPARE(tags.size(), witnessTags(path + ".tags.csv").size());
    QVERIFY(tags == witnessTags(path + ".tags.csv"));
    for (const Element& e : parsed.elements) {
      QVERIFY2(!e.hrf.contains("truncated"), qPrintable(e.name));
      if (e.name == "PreviousTagSize") QCOMPARE(e.hrf, QStringLiteral("ok"));
    }
  }

  // ffprobe's packets, per stream: each starts a tag of one kind, with the tag's frame size,
  // and every frame tag is one of them.
  void packetsAgreeWithFfprobe_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"h264-aac.flv", "keyframe-index.flv", "flv1-mp3.flv", "gstreamer.flv"})
      QTest::newRow(name) << QString::fromLatin1(name);
  }
  void packetsAgreeWithFfprobe() {
    QFETCH(QString, file);
    const QString path = dataFile("flv/" + file);
    const Parsed parsed = parseFile(path);
    QMap<qint64, const Element*> tag_at;
    int frame_tags = 0;
    for (const Element& e : parsed.elements) {
      if (!isTag(e)) continue;
      tag_at[e.byteOffset()] = &e;
      if (packetBytes(parsed, e) >= 0) ++frame_tags;
    }
    QMap<int, QSet<QString>> kinds;  // stream index -> tag names
    int packets = 0;
    for (const QByteArray& line : lines(path + ".packets")) {
      const QList<QByteArray> parts = line.split(',');  // stream,pos,size
      if (parts.size() != 3) continue;
      const Element* tag = tag_at.value(parts[1].toLongLong());
      QVERIFY2(tag, line.constData());
      QCOMPARE(packetBytes(parsed, *tag), parts[2].toLongLong());
      kinds[parts[0].toInt()].insert(tag->name);
      ++packets;
    }
    QCOMPARE(packets, frame_tags);
    for (const QSet<QString>& names : kinds) QCOMPARE(names.size(), 1);
  }

  // The keyframe index of onMetaData points at tag starts, and says so.
  void keyframePositionsAreCheckedAgainstTags() {
    const Parsed parsed = parseFile(dataFile("flv/keyframe-index.flv"));
    const Element* positions = parsed.at("script data/Value/keyframes/filepositions");
    QVERIFY(positions);
    QVERIFY2(!positions->raw.contains("not at a tag start"), qPrintable(positions->raw));
    int checked = 0;
    for (const Element* item : parsed.children(positions->id)) {
      if (item->name != "item") continue;
      QCOMPARE(parsed.at("value", item->id)->hrf, QStringLiteral("tag start"));
      ++checked;
    }
    QVERIFY(checked >= 2);
  }

  // Broken copies of h264-aac.flv: every tag shown is a tag of the good file, except a last
  // one cut short; what cannot be framed is one GARBAGE stretch, and the walk goes on after it.
  void brokenCopiesKeepTheGoodTags_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("garbage");
    QTest::addColumn<bool>("cut_short");
    QTest::newRow("truncated") << "truncated.flv" << 0 << true;
    QTest::newRow("size past the file") << "corrupt-size.flv" << 1 << false;
    QTest::newRow("junk in the middle") << "corrupt-junk.flv" << 1 << false;
  }
  void brokenCopiesKeepTheGoodTags() {
    QFETCH(QString, file);
    QFETCH(int, garbage);
    QFETCH(bool, cut_short);
    const Parsed parsed = parseFile(dataFile("flv/" + file));
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.garbageCount(), qint64(garbage));
    const QList<Tag> good = witnessTags(dataFile("flv/h264-aac.flv.tags.csv"));
    QList<Tag> tags = parsedTags(parsed);
    if (cut_short) {
      const Element* last = nullptr;
      for (const Element& e : parsed.elements)
        if (isTag(e)) last = &e;
      QVERIFY(last && last->hrf.contains("truncated"));
      tags.removeLast();
    }
    for (const Tag& tag : tags) QVERIFY2(good.contains(tag), qPrintable(QString::number(tag.offset)));
    QVERIFY(tags.size() >= 10);
  }
};

CORVANTA_TEST_CORE_MAIN(FlvFilesTest)
#include "FlvFilesTest.moc"
