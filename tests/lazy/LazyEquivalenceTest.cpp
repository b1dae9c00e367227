// The lazy path against the eager one: every committed transport stream and a few MP4 files,
// analysed with their packets or samples as lazy units (threshold forced to zero) and with every
// row written, must answer every statement the viewer runs in the same way, and pass the
// invariant check. The point lookups run in a shuffled order so that units are decoded again
// from checkpoints in any order, not only forward. A unit whose file changed after the analysis must turn into GARBAGE with its id range.
#include "DatabaseCheck.h"
#include "ElementDatabase.h"
#include "ElementWriter.h"
#include "ElementLocator.h"
#include "ElementSearch.h"
#include "Parser.h"
#include "TestSupport.h"
#include "ViewerDatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <random>

namespace {

// The viewer's statements (src/ViewerDatabase.cpp, src/ElementLocator.cpp), with the same WHERE
// and ORDER BY, so that the virtual table is asked for the same plans.
const char* const kLookupSql[] = {
    "SELECT `level` FROM `elements` WHERE `id` = ?",
    "SELECT `parent_id` FROM `elements` WHERE `id` = ?",
    "SELECT `last_child_id` FROM `elements` WHERE `id` = ?",
    "SELECT `seq_num` FROM `elements_seq_num` WHERE `id` = ?",
};
const char* const kChildIdsSql =
    "SELECT group_concat(`id`) FROM (SELECT `id` FROM `elements` WHERE `parent_id` = ? "
    "AND `id` > ? ORDER BY `id` LIMIT 65536)";
const char* const kFirstChildFromSql =
    "SELECT `id`, `offset`, `size`, `last_child_id` FROM `elements` WHERE `parent_id` = ? AND `id` >= ? "
    "ORDER BY `id` LIMIT 1";
const char* const kLastChildBeforeSql =
    "SELECT `id`, `offset`, `size`, `last_child_id` FROM `elements` WHERE `parent_id` = ? AND `id` < ? "
    "ORDER BY `id` DESC LIMIT 1";
const char* const kLastRootSql = "SELECT `id` FROM `elements` WHERE `parent_id` = 0 ORDER BY `id` DESC LIMIT 1";
const char* const kScanChildrenSql =
    "SELECT `id`, `offset`, `size`, `last_child_id` FROM `elements` WHERE `parent_id` = ? "
    "AND `offset` < ? AND `offset` + `size` > ? AND `size` > 0 ORDER BY `id` LIMIT 1";
const char* const kBlockReadSql =
    "SELECT elements.id, elements.level, elements.parent_id, elements.last_child_id, "
    "dictionary.name, elements.offset, elements.size, elements.raw_value, elements.hrf_value, "
    "elements_seq_num.seq_num FROM elements LEFT JOIN dictionary ON elements.name_id = "
    "dictionary.id LEFT JOIN elements_seq_num ON elements.id = elements_seq_num.id WHERE "
    "elements.id >= ? ORDER BY elements.id";

QString connectionName() {
  return QString::fromLatin1(corvanta::ElementDatabase::kConnectionName);
}

// Every answer of one database, one line each, in the order asked.
class Answers {
 public:
  explicit Answers(QSqlDatabase& db) : db(db) {}

  QStringList lines;

  void add(const QString& what, QSqlQuery& query, int most_rows = 1 << 30) {
    QStringList values;
    while (values.size() < most_rows && query.next()) {
      QStringList row;
      for (int i = 0; i < query.record().count(); ++i)
        row.append(query.value(i).isNull() ? QStringLiteral("NULL") : query.value(i).toString());
      values.append(row.join(QLatin1Char('|')));
    }
    lines.append(what + QStringLiteral(" -> ") + values.join(QLatin1Char(';')));
  }

  // Like the viewer's block read, `most_rows` reads only the first rows of a long answer.
  void run(const char* sql, std::initializer_list<qint64> arguments, const QString& what, int most_rows = 1 << 30) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(QString::fromLatin1(sql))) {
      lines.append(what + QStringLiteral(" fails to prepare: ") + query.lastError().text());
      return;
    }
    for (const qint64 argument : arguments) query.addBindValue(QVariant(qlonglong(argument)));
    if (!query.exec()) {
      lines.append(what + QStringLiteral(" fails: ") + query.lastError().text());
      return;
    }
    add(what, query, most_rows);
  }

 private:
  QSqlDatabase& db;
};

// Under the sanitizers every lookup costs several times more: a committed file's ids are sampled
// there too, densely enough to meet every kind of packet.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kCommittedStride = 5;
#else
constexpr qint64 kCommittedStride = 1;
#endif

// `stride`: every id is looked up in a committed file; a long stream samples them.
// `options`: further parse options, the same for both paths.
// `stored_percent`: on the lazy path, the most of the rows that may be stored rather than lazy.
QStringList collect(const QString& file, bool lazy, QString* failure, qint64 stride = 1,
                    const QString& options = {}, qint64 stored_percent = 10) {
  Parser parser;
  const int result = parser.parseFile(file, QStringLiteral(":memory:"),
                                      (lazy ? QStringLiteral("lazy=on ") : QStringLiteral("lazy=off ")) + options);
  if (result != 0) {
    *failure = parser.errorString();
    return {};
  }
  QSqlDatabase* connection = parser.getConnection();
  Answers answers(*connection);
  {
    const corvanta::DatabaseReport report = corvanta::checkDatabase(*connection, QFileInfo(file).size() * 8);
    if (!report.ok()) *failure = report.summary();
    QSqlQuery count(*connection);
    count.exec(QStringLiteral("SELECT `seq` FROM `sqlite_sequence` WHERE `name` = \"elements\""));
    answers.add(QStringLiteral("count"), count);
    const qint64 last = count.exec(QStringLiteral("SELECT `seq` FROM `sqlite_sequence` WHERE `name` = \"elements\"")) && count.next()
                            ? count.value(0).toLongLong() : 0;
    if (lazy) {
      // The lazy path was taken: in a transport stream only the bytes between packets are stored
      // rows; other formats store their headers, which may be most of a small file.
      QSqlQuery stored(*connection);
      if (!stored.exec(QStringLiteral("SELECT COUNT(*) FROM stored_elements")) || !stored.next() ||
          stored.value(0).toLongLong() * 100 > last * stored_percent)
        *failure = QStringLiteral("the repeated units were not lazy units");
    }
    answers.run(kBlockReadSql, {1}, QStringLiteral("block read from 1"));
    answers.run(kLastRootSql, {}, QStringLiteral("last root"));
    answers.run(kChildIdsSql, {0, 0}, QStringLiteral("roots"));
    std::vector<qint64> ids;
    for (qint64 id = 0; id <= last + 1; id += stride) ids.push_back(id);
    std::mt19937 random(24);
    std::shuffle(ids.begin(), ids.end(), random);
    for (const qint64 id : ids) {
      const QString at = QString::number(id);
      for (const char* sql : kLookupSql) answers.run(sql, {id}, QString::fromLatin1(sql).section(' ', 1, 1) + at);
      answers.run(kChildIdsSql, {id, id}, QStringLiteral("children of ") + at);
      answers.run(kChildIdsSql, {id, id + 3}, QStringLiteral("children after +3 of ") + at);
      answers.run(kBlockReadSql, {id}, QStringLiteral("block read from ") + at, 3);
      for (const qint64 parent : {qint64(0), id - 1, id / 2}) {
        const QString pair = QStringLiteral(" %1 %2").arg(parent).arg(id);
        answers.run(kFirstChildFromSql, {parent, id}, QStringLiteral("first child from") + pair);
        answers.run(kLastChildBeforeSql, {parent, id}, QStringLiteral("last child before") + pair);
      }
      // Children that hold a bit: a scan of one parent's children.
      answers.run(kScanChildrenSql, {id - 1, id * 8 + 8, id * 8}, QStringLiteral("scan children of %1").arg(id - 1));
    }
    ElementLocator locator(*connection);
    const qint64 size = QFileInfo(file).size();
    for (qint64 byte = size + 1; byte >= 0; byte -= 23 * stride)
      answers.lines.append(QStringLiteral("byte %1 -> %2").arg(byte).arg(locator.elementAtByte(byte)));
    for (const QString& text : {QStringLiteral("PES"), QStringLiteral("packet-7"), QStringLiteral("0x0100"), QStringLiteral("sample-7"),
                                QStringLiteral("no such text")}) {
      for (const bool backward : {false, true}) {
        ElementSearch search(*connection, text, false, backward, last / 2, last);
        while (search.step(50) == ElementSearch::State::Running) {
        }
        answers.lines.append(QStringLiteral("find %1 %2 -> %3 %4")
                                 .arg(text).arg(backward).arg(int(search.state())).arg(search.foundId()));
      }
    }
  }
  // The viewer itself: every element opened, then all rows read in pages.
  ViewerDatabase viewer;
  viewer.setConnection(connection);
  const int last_id = viewer.lastId();
  for (qint64 id = 1; id <= last_id; id += stride) viewer.openElement(id);
  for (qint64 from = 1; from <= last_id; from += 50) {
    QList<ViewerDatabase::Element> page;
    viewer.fetchRows(from, 49, page);
    for (const ViewerDatabase::Element& e : page)
      answers.lines.append(QStringLiteral("row %1 %2 %3 %4 %5 %6 %7 %8 %9 open %10 last %11")
                               .arg(e.id).arg(e.level).arg(e.parent_id).arg(e.last_child_id).arg(e.name)
                               .arg(e.offset).arg(e.size).arg(e.raw_value, e.hrf_value).arg(e.is_open).arg(e.is_last));
  }
  answers.lines.append(QStringLiteral("visible %1, move %2 %3").arg(viewer.visibleCount())
                           .arg(viewer.moveBy(1, 40)).arg(viewer.moveBy(last_id, -7)));
  for (qint64 id = last_id; id >= 1; id -= 3) viewer.closeElement(id);
  answers.lines.append(QStringLiteral("visible after closing %1").arg(viewer.visibleCount()));
  viewer.closeConnection();
  return answers.lines;
}

// Units kept decoded for the streams joined from copies: so few that units are decoded again from
// their checkpoints in any order, not once each as the first read meets them.
const QString kFewCachedUnits = QStringLiteral("lazy_cache=2");

QStringList transportStreams() {
  const QDir folder(corvanta::test::dataFile(QStringLiteral("mpegts")));
  QStringList files;
  for (const QString& name : folder.entryList({QStringLiteral("*.ts"), QStringLiteral("*.m2ts")}, QDir::Files, QDir::Name))
    files.append(folder.filePath(name));
  return files;
}

// Whether the parser wrote `file` on the lazy path when asked to, with these options.
bool writtenLazily(const QString& file, const QString& options = {}) {
  Parser parser;
  if (parser.parseFile(file, QStringLiteral(":memory:"), QStringLiteral("lazy=on ") + options) != 0) return false;
  QSqlDatabase* connection = parser.getConnection();
  const bool lazy = QSqlQuery(*connection).exec(QStringLiteral("SELECT COUNT(*) FROM stored_elements"));
  connection->close();
  delete connection;
  QSqlDatabase::removeDatabase(connectionName());
  return lazy;
}

// Every row from root `packet` on, one line each, as the first statement on a fresh database
// reads them; a line that says what failed otherwise.
QStringList rowsFromPacket(const QString& file, bool lazy, qint64 packet) {
  Parser parser;
  if (parser.parseFile(file, QStringLiteral(":memory:"), lazy ? QStringLiteral("lazy=on") : QStringLiteral("lazy=off")) != 0)
    return {QStringLiteral("no analysis: ") + parser.errorString()};
  QSqlDatabase* connection = parser.getConnection();
  QStringList rows;
  {
    // The roots' ids are read without decoding a packet.
    std::vector<qint64> roots;
    QSqlQuery query(*connection);
    if (query.exec(QStringLiteral("SELECT `id` FROM `elements` WHERE `parent_id` = 0 ORDER BY `id`")))
      while (query.next()) roots.push_back(query.value(0).toLongLong());
    if (qint64(roots.size()) <= packet) {
      rows.append(QStringLiteral("only %1 roots").arg(roots.size()));
    } else {
      Answers answers(*connection);
      answers.run(kBlockReadSql, {roots[size_t(packet)]}, QStringLiteral("from packet %1").arg(packet));
      rows = answers.lines.join(QString()).split(QLatin1Char(';'));
    }
  }
  connection->close();
  delete connection;
  QSqlDatabase::removeDatabase(connectionName());
  return rows;
}

// `count` packets of the null PID, payload only.
QByteArray nullPackets(int count) {
  QByteArray packet(188, char(0xFF));
  packet[0] = 0x47;
  packet[1] = 0x1F;
  packet[3] = 0x10;
  QByteArray packets;
  for (int i = 0; i < count; ++i) packets += packet;
  return packets;
}

// The first line where two answer lists differ, for a readable failure.
QString firstDifference(const QStringList& eager, const QStringList& lazy) {
  for (qsizetype i = 0; i < std::min(eager.size(), lazy.size()); ++i)
    if (eager[i] != lazy[i]) return QStringLiteral("eager: %1\nlazy:  %2").arg(eager[i], lazy[i]);
  return QStringLiteral("eager gives %1 answers, lazy %2").arg(eager.size()).arg(lazy.size());
}

// A transport packet of PID 0x0100 (unless `pid` says otherwise): the four header bytes, then
// `rest` (adaptation field and payload as given), then 0xAA bytes up to 188.
QByteArray tsPacket(int control, int continuity, bool unit_start, const QByteArray& rest, int pid = 0x100,
                    int scrambling = 0, bool error = false) {
  QByteArray p;
  p += char(0x47);
  p += char((error ? 0x80 : 0) | (unit_start ? 0x40 : 0) | (pid >> 8));
  p += char(pid & 0xFF);
  p += char(scrambling << 6 | control << 4 | (continuity & 15));
  p += rest;
  return (p + QByteArray(188, '\xAA')).left(188);
}

QByteArray hexBytes(const char* hex) {
  return QByteArray::fromHex(hex);
}

}  // namespace

class LazyEquivalenceTest : public QObject {
  Q_OBJECT

 private:
  // `extra`: further options for both paths; `stored_percent`: see collect().
  void compare(const QString& file, qint64 stride = 1, const QString& extra = {}, qint64 stored_percent = 10) {
    QString eager_failure, lazy_failure;
    const QStringList eager = collect(file, false, &eager_failure, stride, extra);
    QVERIFY2(eager_failure.isEmpty(), qPrintable(eager_failure));
    const QStringList lazy = collect(file, true, &lazy_failure, stride, extra, stored_percent);
    QVERIFY2(lazy_failure.isEmpty(), qPrintable(lazy_failure));
    QVERIFY(eager.size() > 100);
    QVERIFY2(eager == lazy, qPrintable(firstDifference(eager, lazy)));
  }

 private Q_SLOTS:
  void committedFilesAnswerAlike_data() {
    QTest::addColumn<QString>("file");
    const QStringList files = transportStreams();
    QVERIFY(files.size() >= 10);
    for (const QString& file : files) QTest::newRow(qPrintable(QFileInfo(file).fileName())) << file;
  }
  void committedFilesAnswerAlike() {
    QFETCH(QString, file);
    compare(file, kCommittedStride);
  }

  // Audio elementary streams and FLAC: every frame a lazy unit, found again by the analysis's
  // scan from the nearest kept frame start, across junk and cut frames.
  void audioFramesAnswerAlike_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"mpegaudio/junk-before.mp3", "adts/truncated.aac", "mpegaudio/corrupt.mp3",
                             "adts/corrupt.aac", "ac3/stereo.eac3", "dts/substreams.dts", "amr/two-channels.amr",
                             "ac4/crc.ac4", "flac/corrupt-junk.flac", "flac/truncated.flac"})
      QTest::newRow(name) << corvanta::test::dataFile(QString::fromLatin1(name));
  }
  void audioFramesAnswerAlike() {
    QFETCH(QString, file);
    QVERIFY(writtenLazily(file));
    compare(file, kCommittedStride);
  }
  // Frames enough for several kept starts: copies of one file, whose tags or metadata between the
  // copies are junk to the frame scan.
  void longAudioStreamAnswersAlike_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("copies");
    QTest::newRow("mp3") << QStringLiteral("mpegaudio/junk-before.mp3") << 20;
    QTest::newRow("flac") << QStringLiteral("flac/verbatim-noise.flac") << 6;
  }
  void longAudioStreamAnswersAlike() {
    QFETCH(QString, name);
    QFETCH(int, copies);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile part(corvanta::test::dataFile(name));
    QVERIFY(part.open(QIODevice::ReadOnly));
    const QByteArray copy = part.readAll();
    const QString path = dir.filePath(QFileInfo(name).fileName());
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    for (int i = 0; i < copies; ++i) out.write(copy);
    out.close();
    compare(path, 13, kFewCachedUnits);
  }

  // FLV: every tag a lazy unit, written again from the checkpoint before it with the codec state
  // (parameter sets, NAL length size) the tags before it left.
  void flvTagsAnswerAlike_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"flv/h264-aac.flv", "flv/hevc-enhanced.flv", "flv/corrupt-junk.flv", "flv/truncated.flv"})
      QTest::newRow(name) << corvanta::test::dataFile(QString::fromLatin1(name));
  }
  void flvTagsAnswerAlike() {
    QFETCH(QString, file);
    QVERIFY(writtenLazily(file));
    compare(file, kCommittedStride);
  }
  // Tags enough for several checkpoints: the tags of one file repeated after its header.
  void longFlvAnswersAlike() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile part(corvanta::test::dataFile(QStringLiteral("flv/h264-aac.flv")));
    QVERIFY(part.open(QIODevice::ReadOnly));
    const QByteArray whole = part.readAll();
    const QString path = dir.filePath(QStringLiteral("joined.flv"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(whole);
    constexpr int kHeaderAndFirstPreviousTagSize = 13;
    for (int i = 0; i < 12; ++i) out.write(whole.mid(kHeaderAndFirstPreviousTagSize));
    out.close();
    compare(path, 17, kFewCachedUnits);
  }

  // Ogg: every page a lazy unit, written again from the checkpoint before it with each logical
  // stream's state and the packet it is in the middle of gathered again.
  void oggPagesAnswerAlike_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"ogg/chained.ogg", "ogg/gstreamer-theora.ogv", "ogg/lost-page.ogg", "ogg/truncated.ogg"})
      QTest::newRow(name) << corvanta::test::dataFile(QString::fromLatin1(name));
  }
  void oggPagesAnswerAlike() {
    QFETCH(QString, file);
    QVERIFY(writtenLazily(file));
    compare(file, kCommittedStride);
  }
  // Pages enough for checkpoints, chained streams: 19 pages of three files, then a file whose
  // setup packet runs over its pages 2 to 4, six times, so that page 64 (the second
  // checkpoint) stands in the middle of that packet.
  void longOggAnswersAlike() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("joined.ogg"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QStringList parts = {QStringLiteral("corrupt-crc.ogg"), QStringLiteral("ffmpeg-opus.opus"), QStringLiteral("opusenc.opus")};
    for (int i = 0; i < 6; ++i) parts.append(QStringLiteral("repaged.ogg"));
    for (const QString& name : parts) {
      QFile part(corvanta::test::dataFile(QStringLiteral("ogg/") + name));
      QVERIFY(part.open(QIODevice::ReadOnly));
      out.write(part.readAll());
    }
    out.close();
    compare(path, 11, kFewCachedUnits);
  }

  // MP4 samples with their frames decoded: picture order carried across B-frames, fragments,
  // HEVC and AV1, and two video tracks interleaved over more samples than lie between two
  // checkpoints, so that a sample is decoded again from the frame decoders of both tracks.
  // The two-track file holds some 7,000 elements: a sample of its ids, as for a long stream.
  void mp4FilesAnswerAlike_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<qint64>("stride");
    for (const char* name : {"h264-high.mp4", "fragmented.mp4", "hevc-hdr10.mp4", "av1-hdr.mp4"})
      QTest::newRow(name) << corvanta::test::dataFile(QStringLiteral("isobmff/") + QLatin1String(name)) << qint64(1);
    QTest::newRow("two-tracks.mp4") << corvanta::test::dataFile(QStringLiteral("isobmff/two-tracks.mp4")) << qint64(7);
  }
  void mp4FilesAnswerAlike() {
    QFETCH(QString, file);
    QFETCH(qint64, stride);
    compare(file, stride * kCommittedStride, {}, 75);
  }

  // Without lazy=on the samples become lazy units when the module expects at least
  // lazy_elements elements before it writes them; a transport stream goes by its size only.
  void lazyForExpectedElements_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("options");
    QTest::addColumn<bool>("lazy");
    const QString mp4 = QStringLiteral("isobmff/two-tracks.mp4");
    QTest::newRow("default threshold") << mp4 << QString() << false;
    QTest::newRow("under the count") << mp4 << QStringLiteral("lazy_elements=1000") << true;
    QTest::newRow("frames off") << mp4 << QStringLiteral("lazy_elements=1000 frames=off") << false;
    QTest::newRow("forced eager") << mp4 << QStringLiteral("lazy=off lazy_elements=0") << false;
    QTest::newRow("transport stream") << QStringLiteral("mpegts/dvb.ts") << QStringLiteral("lazy_elements=0") << false;
  }
  void lazyForExpectedElements() {
    QFETCH(QString, file);
    QFETCH(QString, options);
    QFETCH(bool, lazy);
    QCOMPARE(writtenLazily(corvanta::test::dataFile(file), QStringLiteral("lazy=auto ") + options), lazy);
  }

  // Matroska Clusters as lazy units: laced blocks (Xiph, EBML, fixed), a cluster of unknown size,
  // H.264 and AV1 frames (AV1 over two Segments), VP9 clusters that start with inter frames whose
  // headers need the reference slots the cluster before left, a file cut short inside a cluster
  // and one with junk between clusters. Small files
  // store their headers and tracks (Xiph headers decoded) as most of their rows.
  void matroskaFilesAnswerAlike_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"mkvmerge-h264-aac.mkv", "mkvmerge-vorbis.mka", "mkvmerge-ac3.mka", "gstreamer-live.mkv",
                             "av1-segments.mkv", "mkvmerge-short-clusters.webm", "truncated-in-cluster.mkv",
                             "corrupt-junk.mkv"})
      QTest::newRow(name) << corvanta::test::dataFile(QStringLiteral("matroska/") + QLatin1String(name));
  }
  void matroskaFilesAnswerAlike() {
    QFETCH(QString, file);
    QVERIFY(writtenLazily(file));
    compare(file, kCommittedStride, {}, 99);
  }

  // H.264/HEVC video decoded into NAL units is lazy too: the state of its byte stream (the NAL
  // unit under way, the parameter sets) is saved at checkpoints.
  void videoIsWrittenLazily() {
    QVERIFY(writtenLazily(corvanta::test::dataFile(QStringLiteral("mpegts/h264-bframes.ts"))));
    QVERIFY(writtenLazily(corvanta::test::dataFile(QStringLiteral("mpegts/hevc-bframes.ts"))));
  }

  // A checkpoint at every packet of a video stream in turn: null packets before the stream move
  // it so that checkpoint 1 (packet 1024) falls on its packet `at`, inside a PES packet, a NAL
  // unit split over packets or a PES header. The first lookup of the lazy database decodes the
  // packet `skip` packets after that checkpoint (the ones between replayed without rows), then
  // every row to the end of the file, which must be those the eager analysis wrote.
  void videoFromACheckpointAnywhere_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("skip");
    for (const QString& name : {QStringLiteral("h264-bframes.ts"), QStringLiteral("hevc-bframes.ts")}) {
      const qint64 packets = QFileInfo(corvanta::test::dataFile(QStringLiteral("mpegts/") + name)).size() / 188;
      // The last few packets hold too little after them to compare.
      for (int at = 0; at + 8 < packets; at += int(kCommittedStride))
        QTest::newRow(qPrintable(QStringLiteral("%1 at %2").arg(name).arg(at))) << name << at << at % 3;
    }
  }
  void videoFromACheckpointAnywhere() {
    QFETCH(QString, file);
    QFETCH(int, at);
    QFETCH(int, skip);
    QFile video(corvanta::test::dataFile(QStringLiteral("mpegts/") + file));
    QVERIFY(video.open(QIODevice::ReadOnly));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("moved.ts"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(nullPackets(1024 - at));
    out.write(video.readAll());
    out.close();
    const QStringList eager = rowsFromPacket(path, false, 1024 + skip);
    const QStringList lazy = rowsFromPacket(path, true, 1024 + skip);
    QVERIFY(eager.size() > 20);
    QVERIFY2(eager == lazy, qPrintable(firstDifference(eager, lazy)));
  }

  // Committed files hold fewer packets than lie between two checkpoints; a stream made of several
  // of them one after the other is decoded again from later checkpoints too, with PIDs that break
  // off and start again where the copies meet. In the video one each copy repeats the parameter
  // sets, so that later checkpoints share one copy of the decoder.
  void longStreamAnswersAlike_data() {
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<int>("copies");
    QTest::addColumn<int>("stride");
    QTest::newRow("programs") << QStringList{"dvb.ts", "ffmpeg-programs.ts", "continuity.ts"} << 6 << 61;
    // Null packets between the copies keep it cheap: the checkpoints fall between the copies.
    QTest::newRow("H.264") << QStringList{"h264-bframes.ts", "1000 null packets"} << 3 << 37;
  }
  void longStreamAnswersAlike() {
    QFETCH(QStringList, parts);
    QFETCH(int, copies);
    QFETCH(int, stride);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray joined;
    for (int copy = 0; copy < copies; ++copy)
      for (const QString& name : parts) {
        if (name.endsWith(QLatin1String(" null packets"))) {
          joined += nullPackets(name.section(QLatin1Char(' '), 0, 0).toInt());
          continue;
        }
        QFile part(corvanta::test::dataFile(QStringLiteral("mpegts/") + name));
        QVERIFY(part.open(QIODevice::ReadOnly));
        joined += part.readAll();
      }
    QVERIFY(joined.size() / 188 > 2 * 1024);
    const QString path = dir.filePath(QStringLiteral("joined.ts"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(joined);
    out.close();
    compare(path, stride);
  }

  // On the lazy path most packets are counted from their header bytes, not decoded: each shape of
  // packet here (adaptation fields, PES starts, payloads that are not decoded, continuity faults)
  // comes several times, so that after the first, written to learn its names or its count, the
  // others are counted, and must still answer as the eager path does.
  void countedPacketsAnswerAlike() {
    // Adaptation fields, from adaptation_field_length on.
    const QByteArray kEmpty = hexBytes("00");
    const QByteArray kFlagsOnly = hexBytes("0100");
    const QByteArray kPcr = hexBytes("0710" "000000007e00");
    const QByteArray kDiscontinuityPcr = hexBytes("0790" "000000017e00");
    // PCR, OPCR, splice_countdown, then 6 stuffing bytes.
    const QByteArray kEverything = hexBytes("141c" "000000027e00" "000000017e00" "05" "ffffffffffff");
    const QByteArray kPcrPastLength = hexBytes("0310" "0000");  // the PCR runs past the length
    const QByteArray kPrivateData = hexBytes("0502" "03aabbcc");
    const QByteArray kNotStuffing = hexBytes("0400" "ff00ff");
    // PES headers: PTS only; PTS and DTS with 3 stuffing bytes; PTS, ESCR, ES_rate, copy info
    // and CRC; header data shorter than its PTS; a stream without the optional header; a
    // header longer than the packet.
    const QByteArray kPts = hexBytes("000001e00000" "808005" "2100010001");
    const QByteArray kPtsDts = hexBytes("000001e00000" "80c00d" "3100010001" "1100010001" "ffffff");
    const QByteArray kManyFlags =
        hexBytes("000001c00000" "80b611" "2100010001" "440004000401" "800001" "81" "1234");
    const QByteArray kShortHeader = hexBytes("000001e00000" "808002" "2100");
    const QByteArray kPadding = hexBytes("000001be0010");
    const QByteArray kLongHeader = hexBytes("000001e00000" "8080c8");

    QByteArray stream;
    int cc = 0;
    const auto add = [&](int control, bool unit_start, const QByteArray& rest, int repeat = 3) {
      for (int i = 0; i < repeat; ++i) stream += tsPacket(control, cc++, unit_start, rest);
    };
    add(1, false, {});  // the PES packet began before the file
    for (const QByteArray& header : {kPts, kPtsDts, kManyFlags, kShortHeader, kPadding, kLongHeader}) {
      add(1, true, header, 1);
      add(1, false, {}, 2);
      add(3, true, kPcr + header, 1);
      add(3, false, kEmpty, 1);
    }
    // A header whose end is in the next packet, after 170 bytes of stuffing.
    add(3, true, hexBytes("ab00") + QByteArray(170, '\xFF') + kPtsDts, 2);
    for (const QByteArray& adaptation : {kEmpty, kFlagsOnly, kPcr, kDiscontinuityPcr, kEverything, kPcrPastLength,
                                         kPrivateData, kNotStuffing})
      add(3, false, adaptation);
    add(2, false, hexBytes("b700") + QByteArray(182, '\xFF'));  // no payload
    add(2, false, kPcr);  // ends before the packet: data_byte
    add(0, false, {});    // reserved adaptation_field_control
    for (int i = 0; i < 3; ++i) {
      stream += tsPacket(1, i, false, {}, 0x1FFF);           // null packets
      stream += tsPacket(1, cc++, false, {}, 0x100, 2);     // scrambled
      stream += tsPacket(1, cc++, false, {}, 0x100, 0, true);  // transport error
    }
    cc += 3;  // packets lost
    add(1, false, {}, 2);
    stream += stream.right(188);  // sent twice
    add(1, false, {}, 2);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("counted.ts"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(stream);
    out.close();
    compare(path);
  }

  // A file written or cut short after the analysis: the units not decoded yet become GARBAGE
  // with their ids, and the tree keeps its shape and its invariants.
  void changedFileGivesGarbage_data() {
    QTest::addColumn<bool>("truncate");
    QTest::newRow("overwritten") << false;
    QTest::newRow("cut short") << true;
  }
  void changedFileGivesGarbage() {
    QFETCH(bool, truncate);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("changing.ts"));
    QVERIFY(QFile::copy(corvanta::test::dataFile(QStringLiteral("mpegts/dvb.ts")), path));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    Parser parser;
    QCOMPARE(parser.parseFile(path, QStringLiteral(":memory:"), QStringLiteral("lazy=on")), 0);
    QSqlDatabase* connection = parser.getConnection();
    QVERIFY(connection);
    const qint64 file_bits = QFileInfo(path).size() * 8;
    // Only ids: the roots are read without decoding a packet.
    const auto rootIds = [&connection]() {
      QSqlQuery roots(*connection);
      std::vector<qint64> ids;
      if (roots.exec(QStringLiteral("SELECT `id` FROM `elements` WHERE `parent_id` = 0 ORDER BY `id`")))
        while (roots.next()) ids.push_back(roots.value(0).toLongLong());
      return ids;
    };
    const std::vector<qint64> roots = rootIds();
    QVERIFY(roots.size() > 200);
    {
      QFile file(path);
      QVERIFY(file.open(QIODevice::ReadWrite));
      if (truncate) {
        QVERIFY(file.resize(188 * 100 + 50));
      } else {
        QVERIFY(file.seek(188 * 150 + 4));
        file.write(QByteArray(100, '\x5A'));
      }
    }
    // Packet 150: past the cut, or written over.
    QSqlQuery query(*connection);
    QVERIFY(query.exec(QStringLiteral("SELECT e.`level`, e.`parent_id`, e.`last_child_id`, d.`name`, e.`offset`, e.`size` "
                                      "FROM `elements` e JOIN `dictionary` d ON d.`id` = e.`name_id` WHERE e.`id` = %1")
                           .arg(roots[150])));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 0);
    QCOMPARE(query.value(1).toLongLong(), 0);
    QCOMPARE(query.value(2).toLongLong(), roots[151] - 1);  // the same id range
    QCOMPARE(query.value(3).toString(), QString::fromLatin1(corvanta::kGarbageName.data()));
    QCOMPARE(query.value(4).toLongLong(), 150 * 188 * 8);
    QCOMPARE(query.value(5).toLongLong(), 188 * 8);
    QVERIFY(rootIds() == roots);  // nothing after it moved
    const corvanta::DatabaseReport report = corvanta::checkDatabase(*connection, file_bits);
    QVERIFY2(report.ok(), qPrintable(report.summary()));
    query = QSqlQuery();
    connection->close();
    delete connection;
    QSqlDatabase::removeDatabase(connectionName());
  }
};

QTEST_GUILESS_MAIN(LazyEquivalenceTest)
#include "LazyEquivalenceTest.moc"
