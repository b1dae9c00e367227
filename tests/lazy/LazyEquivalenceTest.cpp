// The lazy path against the eager one: every committed transport stream, analysed with its
// packets as lazy units (threshold forced to zero) and with every row written, must answer every
// statement the viewer runs in the same way, and pass the invariant check. The point lookups run
// in a shuffled order so that packets are decoded again from checkpoints in any order, not only
// forward. A unit whose file changed after the analysis must turn into GARBAGE with its id range.
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
QStringList collect(const QString& file, bool lazy, QString* failure, qint64 stride = 1,
                    const QString& options = {}) {
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
      // The lazy path was taken: only the bytes between packets are stored rows.
      QSqlQuery stored(*connection);
      if (!stored.exec(QStringLiteral("SELECT COUNT(*) FROM stored_elements")) || !stored.next() ||
          stored.value(0).toLongLong() * 10 > last)
        *failure = QStringLiteral("the packets were not lazy units");
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
    for (const QString& text : {QStringLiteral("PES"), QStringLiteral("packet-7"), QStringLiteral("0x0100"),
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
  void compare(const QString& file, qint64 stride = 1) {
    // H.264/HEVC NAL units across packets keep a file eager (see stayEagerWithNalVideo); with
    // frames off its packets are lazy units like any other.
    const QString options = writtenLazily(file) ? QString() : QStringLiteral("frames=off");
    QString eager_failure, lazy_failure;
    const QStringList eager = collect(file, false, &eager_failure, stride, options);
    QVERIFY2(eager_failure.isEmpty(), qPrintable(eager_failure));
    const QStringList lazy = collect(file, true, &lazy_failure, stride, options);
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

  // The state of a NAL unit running across packets is not saved at checkpoints, so a stream whose
  // NAL units are decoded is written eagerly even when lazy units are asked for.
  void stayEagerWithNalVideo() {
    QVERIFY(!writtenLazily(corvanta::test::dataFile(QStringLiteral("mpegts/h264-bframes.ts"))));
    QVERIFY(!writtenLazily(corvanta::test::dataFile(QStringLiteral("mpegts/hevc-bframes.ts"))));
    QVERIFY(writtenLazily(corvanta::test::dataFile(QStringLiteral("mpegts/h264-bframes.ts")), QStringLiteral("frames=off")));
    QVERIFY(writtenLazily(corvanta::test::dataFile(QStringLiteral("mpegts/dvb.ts"))));
  }

  // Committed files hold fewer packets than lie between two checkpoints; a stream made of several
  // of them one after the other is decoded again from later checkpoints too, with PIDs that break
  // off and start again where the copies meet.
  void longStreamAnswersAlike() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray joined;
    for (int copy = 0; copy < 6; ++copy)
      for (const QString& name : {QStringLiteral("dvb.ts"), QStringLiteral("ffmpeg-programs.ts"), QStringLiteral("continuity.ts")}) {
        QFile part(corvanta::test::dataFile(QStringLiteral("mpegts/") + name));
        QVERIFY(part.open(QIODevice::ReadOnly));
        joined += part.readAll();
      }
    QVERIFY(joined.size() / 188 > 3 * 1024);
    const QString path = dir.filePath(QStringLiteral("joined.ts"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(joined);
    out.close();
    compare(path, 61);
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
