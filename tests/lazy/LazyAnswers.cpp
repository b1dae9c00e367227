#include "LazyAnswers.h"

#include "DatabaseCheck.h"
#include "ElementDatabase.h"
#include "ElementLocator.h"
#include "ElementSearch.h"
#include "Parser.h"
#include "ViewerDatabase.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlRecord>

#include <algorithm>
#include <random>
#include <vector>

namespace corvanta::test {

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
const char* const kOddBoundsSql[] = {
    "SELECT group_concat(`id`) FROM (SELECT `id` FROM `elements` WHERE `id` > 2.5 AND `id` <= 7.0 ORDER BY `id`)",
    "SELECT group_concat(`id`) FROM (SELECT `id` FROM `elements` WHERE `id` >= 2.5 AND `id` < 9.5 ORDER BY `id` DESC)",
    "SELECT group_concat(`id`) FROM (SELECT `id` FROM `elements` WHERE `rowid` BETWEEN 3 AND 4.5)",
    "SELECT count(*), max(`id`) FROM `elements` WHERE `id` < 'text'",
    "SELECT count(*) FROM `elements` WHERE `id` > 'text' OR `id` = 3.5 OR `id` >= NULL",
    "SELECT count(*) FROM `elements` WHERE `parent_id` = '0'",
    "SELECT group_concat(`id`) FROM (SELECT `id` FROM `elements` WHERE `parent_id` = 1.0 AND `id` > 1.5)",
    "SELECT group_concat(`id`) FROM (SELECT `id` FROM `elements` WHERE `id` = 2.0 OR `id` = 4.5)",
};
// The frames table, which a lazy analysis keeps packed: whole, and as statements filter it.
const char* const kFramesSql[] = {
    "SELECT count(*) FROM `frames`",
    "SELECT `rowid`, * FROM `frames` ORDER BY `rowid`",
    "SELECT `rowid`, `dts`, `pts` FROM `frames` WHERE `stream` = 2 AND `rowid` > 3",
    "SELECT * FROM `streams` ORDER BY `stream`",
};
const char* const kLastRootSql = "SELECT `id` FROM `elements` WHERE `parent_id` = 0 ORDER BY `id` DESC LIMIT 1";
const char* const kScanChildrenSql =
    "SELECT `id`, `offset`, `size`, `last_child_id` FROM `elements` WHERE `parent_id` = ? "
    "AND `offset` < ? AND `offset` + `size` > ? AND `size` > 0 ORDER BY `id` LIMIT 1";

}  // namespace

const char* const kBlockReadSql =
    "SELECT elements.id, elements.level, elements.parent_id, elements.last_child_id, "
    "dictionary.name, elements.offset, elements.size, elements.raw_value, elements.hrf_value, "
    "elements_seq_num.seq_num FROM elements LEFT JOIN dictionary ON elements.name_id = "
    "dictionary.id LEFT JOIN elements_seq_num ON elements.id = elements_seq_num.id WHERE "
    "elements.id >= ? ORDER BY elements.id";

QString connectionName() {
  return QString::fromLatin1(corvanta::ElementDatabase::kConnectionName);
}

void Answers::add(const QString& what, QSqlQuery& query, int most_rows) {
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
void Answers::run(const char* sql, std::initializer_list<qint64> arguments, const QString& what, int most_rows) {
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

namespace {

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
    // Bounds that are not integers: the lazy table applies them itself, so must match SQLite.
    for (const char* sql : kOddBoundsSql) answers.run(sql, {}, QString::fromLatin1(sql));
    for (const char* sql : kFramesSql) answers.run(sql, {}, QString::fromLatin1(sql));
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

}  // namespace

// Whether the parser wrote `file` on the lazy path when asked to, with these options.
bool writtenLazily(const QString& file, const QString& options) {
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

QString lazyAndEagerDiffer(const QString& file, qint64 stride, const QString& extra, qint64 stored_percent) {
  QString eager_failure, lazy_failure;
  const QStringList eager = collect(file, false, &eager_failure, stride, extra);
  if (!eager_failure.isEmpty()) return QStringLiteral("eager: ") + eager_failure;
  const QStringList lazy = collect(file, true, &lazy_failure, stride, extra, stored_percent);
  if (!lazy_failure.isEmpty()) return QStringLiteral("lazy: ") + lazy_failure;
  if (eager.size() <= 100) return QStringLiteral("only %1 answers").arg(eager.size());
  return eager == lazy ? QString() : firstDifference(eager, lazy);
}

}  // namespace corvanta::test
