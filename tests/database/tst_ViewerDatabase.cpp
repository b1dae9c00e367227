// ViewerDatabase on small hand-built element databases, and checked against a plain
// in-memory model of the tree on random trees and on trees the parser library builds
// from real files, under random opens and closes.
#include <QDir>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <memory>
#include <random>

#include "DatabaseCheck.h"
#include "ElementTreeFixture.h"
#include "Parser.h"
#include "TestSupport.h"
#include "ViewerDatabase.h"

using namespace corvanta::test;
using Rows = std::vector<qint64>;
Q_DECLARE_METATYPE(Rows)

namespace {

QString uniqueConnectionName() {
  static int counter = 0;
  return QStringLiteral("test-connection-%1").arg(++counter);
}

// A database under a connection name of its own, which the test keeps and drops itself.
struct Fixture {
  explicit Fixture(const QList<Node>& nodes, const QList<qint64>& open = {})
      : db(buildDatabase(uniqueConnectionName(), nodes, open)) {
    vdb.setConnection(db);
  }
  explicit Fixture(const std::vector<int>& levels, const QList<qint64>& open = {})
      : Fixture(nodesOfLevels(levels), open) {}
  ~Fixture() {
    vdb.closeConnection();
    dropDatabase(db);
  }
  Rows rows() const {
    Rows ids;
    for (int row = 0; row < vdb.visibleCount(); ++row)
      ids.push_back(vdb.idAt(row));
    return ids;
  }
  QSqlDatabase* db;
  ViewerDatabase vdb;
};

// 1 (2 (3 (4 5)) 6) 7 (8 (9)) 10 : levels in pre-order.
const std::vector<int> kNested = {0, 1, 2, 3, 3, 1, 0, 1, 2, 0};

// The tree read back from a database's own columns, with the visible-row rules applied
// by plain walks over it.
class TreeModel {
 public:
  explicit TreeModel(QSqlDatabase& db) : open(openSet(db)) {
    QSqlQuery query(QStringLiteral("SELECT level, parent_id, last_child_id FROM elements ORDER BY id"), db);
    while (query.next())
      elements.push_back({query.value(0).toInt(), query.value(1).toLongLong(), query.value(2).toLongLong()});
  }
  qint64 count() const { return qint64(elements.size()); }
  bool exists(qint64 id) const { return id >= 1 && id <= count(); }
  int level(qint64 id) const { return exists(id) ? at(id).level : -1; }
  qint64 parent(qint64 id) const { return exists(id) ? at(id).parent : -1; }
  qint64 lastChild(qint64 id) const { return exists(id) ? at(id).last_child : -1; }
  bool hasChildren(qint64 id) const { return lastChild(id) > 0; }
  bool isVisible(qint64 id) const { return level(id) == 0 || (open.count(parent(id)) && isVisible(parent(id))); }
  Rows visibleRows() const {
    Rows rows;
    for (qint64 id = 1; id <= count(); ++id)
      if (isVisible(id)) rows.push_back(id);
    return rows;
  }

  int openElement(qint64 id) { return hasChildren(id) && open.insert(id).second ? 0 : -1; }
  int closeElement(qint64 id) { return hasChildren(id) && open.erase(id) ? 0 : -1; }
  void openPath(qint64 id) {
    if (hasChildren(id)) open.insert(id);
    for (qint64 p = parent(id); p > 0; p = parent(p)) open.insert(p);
  }
  // Ids and is_last flags of the page fetchRows(from, n) should give.
  std::vector<std::pair<qint64, bool>> fetch(qint64 from, int n) const {
    std::vector<std::pair<qint64, bool>> page;
    for (qint64 id = std::max<qint64>(from, 1); id <= count() && int(page.size()) < n + 1; ++id)
      if (isVisible(id)) page.emplace_back(id, false);
    for (size_t i = 0; i + 1 < page.size(); ++i)
      page[i].second = level(page[i].first) != 0 && level(page[i].first) != level(page[i + 1].first);
    if (!page.empty()) page.back().second = lastChild(parent(page.back().first)) == page.back().first;
    return page;
  }
  // Forwards: the n-th row after the first row at or after id. Backwards and by 0: from
  // the row holding id (itself, or its nearest visible ancestor), reaching which is one step.
  qint64 moveBy(qint64 id, int n) const {
    const Rows rows = visibleRows();
    if (n > 0) {
      const size_t first = size_t(std::lower_bound(rows.begin(), rows.end(), id) - rows.begin());
      return first == rows.size() ? rows.back() : rows[std::min(first + size_t(n), rows.size() - 1)];
    }
    if (id == 0) return 1;
    if (!exists(id)) return -1;
    const auto holder = std::upper_bound(rows.begin(), rows.end(), id) - 1;
    const long steps = std::max(0L, long(-n) - (*holder == id ? 0L : 1L));
    return *(holder - std::min(steps, long(holder - rows.begin())));
  }

  std::set<qint64> open;

 private:
  struct Element {
    int level;
    qint64 parent, last_child;
  };
  const Element& at(qint64 id) const { return elements[size_t(id - 1)]; }
  std::vector<Element> elements;
};

// Every id-based answer, including ids outside the tree.
void compareRows(const ViewerDatabase& vdb, const TreeModel& model) {
  const Rows rows = model.visibleRows();
  QCOMPARE(vdb.visibleCount(), int(rows.size()));
  QCOMPARE(vdb.idAt(-1), 0);
  QCOMPARE(vdb.idAt(int(rows.size())), 0);
  for (size_t row = 0; row < rows.size(); ++row)
    QCOMPARE(vdb.idAt(int(row)), rows[row]);
  for (qint64 id = -1; id <= model.count() + 1; ++id) {
    const auto found = std::lower_bound(rows.begin(), rows.end(), id);
    QCOMPARE(vdb.rowOf(id), found != rows.end() && *found == id ? int(found - rows.begin()) : -1);
  }
}

// One page of fetchRows, record by record, against the model.
void comparePage(ViewerDatabase& vdb, const TreeModel& model, qint64 from, int n,
                 QList<ViewerDatabase::Element>& page) {
  page.clear();
  const auto expected = model.fetch(from, n);
  QCOMPARE(vdb.fetchRows(from, n, page), expected.empty() ? -1 : 0);
  QCOMPARE(page.size(), qsizetype(expected.size()));
  for (qsizetype i = 0; i < page.size(); ++i) {
    const ViewerDatabase::Element& e = page[i];
    QCOMPARE(e.id, expected[size_t(i)].first);
    QCOMPARE(e.is_last, expected[size_t(i)].second);
    QCOMPARE(e.level, model.level(e.id));
    QCOMPARE(e.parent_id, model.parent(e.id));
    QCOMPARE(e.last_child_id, model.lastChild(e.id));
    QCOMPARE(e.has_children, model.hasChildren(e.id));
    QCOMPARE(e.is_open, model.hasChildren(e.id) && model.open.count(e.id) != 0);
  }
}

// Whole walks of the visible rows by moveBy(+1) and by pages of fetchRows, and random reads.
void compareWalks(ViewerDatabase& vdb, const TreeModel& model, std::mt19937& random) {
  const Rows rows = model.visibleRows();
  Rows walked{rows.front()};
  while (walked.size() <= rows.size()) {
    const qint64 next = vdb.moveBy(walked.back(), 1);
    if (next == walked.back()) break;
    walked.push_back(next);
  }
  QCOMPARE(walked, rows);

  const int n = 1 + int(random() % 60);
  walked.clear();
  QList<ViewerDatabase::Element> page;
  for (qint64 from = 1;; from = page[n].id) {
    comparePage(vdb, model, from, n, page);
    if (QTest::currentTestFailed()) return;
    for (qsizetype i = 0; i < page.size() && i < n; ++i) walked.push_back(page[i].id);
    if (page.size() <= n) break;
  }
  QCOMPARE(walked, rows);

  // From any id: visible, hidden, missing or past the end.
  for (int i = 0; i < 40 && !QTest::currentTestFailed(); ++i) {
    const qint64 id = qint64(random() % quint64(model.count() + 4)) - 1;
    const int by = int(random() % 141) - 70;
    QCOMPARE(vdb.moveBy(id, by), model.moveBy(id, by));
    comparePage(vdb, model, id, int(random() % 9) - 1, page);
  }
}

// Random opens, closes and open paths, everything compared after each step.
void exercise(ViewerDatabase& vdb, QSqlDatabase& db, unsigned seed, int steps) {
  TreeModel model(db);
  std::mt19937 random(seed);
  compareRows(vdb, model);
  for (int step = 0; step < steps && !QTest::currentTestFailed(); ++step) {
    // Mostly visible rows, as a user would click them, and now and then any id.
    const Rows rows = model.visibleRows();
    qint64 id = qint64(random() % quint64(model.count() + 3)) - 1;
    if (random() % 4 != 0) id = rows[random() % rows.size()];
    const auto action = random() % 5;
    if (action < 2) {
      QCOMPARE(vdb.openElement(id), model.openElement(id));
    } else if (action < 4) {
      QCOMPARE(vdb.closeElement(id), model.closeElement(id));
    } else {
      vdb.openPath(id);
      model.openPath(id);
    }
    compareRows(vdb, model);
    if (step % 10 == 9) {
      QCOMPARE(openSet(db), model.open);
      compareWalks(vdb, model, random);
    }
  }
  if (QTest::currentTestFailed()) return;
  // Taking the connection over again rebuilds the same rows from the open set.
  vdb.setConnection(&db);
  compareRows(vdb, model);
  compareWalks(vdb, model, random);
}

// Levels of a random pre-order tree of `count` elements, no deeper than `max_depth`.
std::vector<int> randomLevels(std::mt19937& random, int count, int max_depth) {
  std::vector<int> levels{0};
  while (int(levels.size()) < count) {
    const int previous = levels.back(), roll = int(random() % 100);
    if (roll < 45 && previous < max_depth) levels.push_back(previous + 1);
    else if (roll < 75) levels.push_back(previous);
    else levels.push_back(int(random() % unsigned(previous + 1)));
  }
  return levels;
}

// Runs one statement as written, with an optional id bound in position 0, and collects
// its rows. False when it does not prepare or execute.
bool runVerbatim(QSqlDatabase& db, const QString& sql, QList<QVariantList>* rows, const QVariant& bound = {}) {
  QSqlQuery query(db);
  query.setForwardOnly(true);
  if (!query.prepare(sql)) return false;
  if (bound.isValid()) query.bindValue(0, bound, QSql::In);
  if (!query.exec()) return false;
  rows->clear();
  while (query.next()) {
    QVariantList row;
    for (int column = 0; column < query.record().count(); ++column) row.append(query.value(column));
    rows->append(row);
  }
  return true;
}

QList<qint64> firstColumn(const QList<QVariantList>& rows) {
  QList<qint64> ids;
  for (const QVariantList& row : rows) ids.append(row.at(0).toLongLong());
  return ids;
}

const QString kChildrenRead =
    QStringLiteral("SELECT `id`, `last_child_id` FROM `elements` WHERE `parent_id` = ? ORDER BY `id`");
const QString kRootsRead = QStringLiteral("SELECT `id` FROM `elements` WHERE `parent_id` = 0 ORDER BY `id`");
const QString kBlockRead = QStringLiteral(
    "SELECT elements.id, elements.level, elements.parent_id, elements.last_child_id, dictionary.name, "
    "elements.offset, elements.size, elements.raw_value, elements.hrf_value, elements_seq_num.seq_num FROM "
    "elements LEFT JOIN dictionary ON elements.name_id = dictionary.id LEFT JOIN elements_seq_num ON "
    "elements.id = elements_seq_num.id WHERE elements.id >= ? ORDER BY elements.id");

// The viewer on a transport stream analysed with its packets as lazy units (`lazy` true) or
// with every row written: first the random walk against the tree read back from the database,
// then a transcript of opens, closes and open paths at random rows, with every visible row and
// one page after each, for comparing the two databases step by step.
QStringList viewerTranscript(const QString& file, bool lazy, unsigned seed) {
  Parser parser;
  // Frames off: a stream whose video NAL units are decoded stays eager.
  if (parser.parseFile(file, ":memory:", lazy ? "lazy=on frames=off" : "lazy=off frames=off") != 0)
    return {"no analysis"};
  QSqlDatabase* db = parser.getConnection();
  QStringList lines;
  // Only the lazy path keeps the written rows aside.
  const bool stored_aside = QSqlQuery(*db).exec(QStringLiteral("SELECT 1 FROM stored_elements"));
  lines << QString::fromLatin1(stored_aside ? "lazy true" : "lazy false");
  ViewerDatabase vdb;
  vdb.setConnection(db);
  exercise(vdb, *db, seed, 30);
  std::mt19937 random(seed);
  for (int step = 0; step < 60 && !QTest::currentTestFailed(); ++step) {
    const int count = vdb.visibleCount();
    const qint64 id = vdb.idAt(int(random() % unsigned(std::max(count, 1))));
    const auto action = random() % 3;
    int result = 0;
    if (action == 0) result = vdb.openElement(id);
    else if (action == 1) result = vdb.closeElement(id);
    else vdb.openPath(id);
    QStringList rows;
    for (int row = 0; row < vdb.visibleCount(); ++row) rows << QString::number(vdb.idAt(row));
    QStringList page;
    QList<ViewerDatabase::Element> records;
    vdb.fetchRows(id, 20, records);
    for (const ViewerDatabase::Element& e : records)
      page << QStringLiteral("%1:%2%3").arg(e.id).arg(e.is_open ? "o" : "").arg(e.is_last ? "l" : "");
    lines << QStringLiteral("%1 %2 -> %3, rows %4, page %5, up %6")
                 .arg(action).arg(id).arg(result).arg(rows.join(' '), page.join(' '))
                 .arg(vdb.moveBy(id, -7));
  }
  vdb.closeConnection();
  return lines;
}

}  // namespace

class TestViewerDatabase : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void fourElementExample_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<Rows>("ids");
    QTest::addColumn<QList<bool>>("is_last");
    QTest::newRow("n = 2") << 2 << Rows{1, 2, 3} << QList<bool>{false, false, true};
    QTest::newRow("n = 3") << 3 << Rows{1, 2, 3, 4} << QList<bool>{false, false, true, false};
  }
  void fourElementExample() {
    QFETCH(int, n);
    QFETCH(Rows, ids);
    QFETCH(QList<bool>, is_last);
    Fixture f({0, 1, 1, 0}, {1});
    QList<ViewerDatabase::Element> page;
    QCOMPARE(f.vdb.fetchRows(1, n, page), 0);
    QCOMPARE(page.size(), qsizetype(ids.size()));
    for (int i = 0; i < page.size(); ++i) {
      QCOMPARE(page[i].id, ids[size_t(i)]);
      QCOMPARE(page[i].is_last, is_last[i]);
    }
  }

  void moveByAcrossCollapsedSubtrees_data() {
    QTest::addColumn<qint64>("id");
    QTest::addColumn<int>("n");
    QTest::addColumn<qint64>("expected");
    // Open: 1 and 3, so the rows are 1 2 6 7 10 with 3's children hidden under 2.
    QTest::newRow("down one over hidden 3..5") << qint64(2) << 1 << qint64(6);
    QTest::newRow("down a page stops at the end") << qint64(2) << 50 << qint64(10);
    QTest::newRow("down from hidden id") << qint64(4) << 1 << qint64(7);
    QTest::newRow("down from past the end: the last row") << qint64(40) << 1 << qint64(10);
    QTest::newRow("up two over collapsed 7") << qint64(10) << -2 << qint64(6);
    QTest::newRow("zero on hidden: the row holding it") << qint64(5) << 0 << qint64(2);
    QTest::newRow("up two from hidden") << qint64(9) << -2 << qint64(6);
  }
  void moveByAcrossCollapsedSubtrees() {
    QFETCH(qint64, id);
    QFETCH(int, n);
    QFETCH(qint64, expected);
    Fixture f(kNested, {1, 3});
    QCOMPARE(f.vdb.moveBy(id, n), expected);
  }

  void reopeningRestoresExpansion() {
    Fixture f(kNested, {1, 2, 3, 7});
    QCOMPARE(f.vdb.closeElement(1), 0);
    QCOMPARE(f.rows(), (Rows{1, 7, 8, 10}));
    QCOMPARE(openSet(*f.db), (std::set<qint64>{2, 3, 7}));
    QCOMPARE(f.vdb.openElement(1), 0);
    QCOMPARE(f.rows(), (Rows{1, 2, 3, 4, 5, 6, 7, 8, 10}));
  }

  void moreChildrenThanOneRead() {
    // Children and top-level elements are read in chunks; cross a chunk boundary with both.
    const int many = 65536 + 3, count = 1 + 2 * many;
    std::vector<int> levels{0};
    levels.insert(levels.end(), size_t(many), 1);
    levels.insert(levels.end(), size_t(many), 0);
    Fixture f(levels, {1});
    QCOMPARE(f.vdb.visibleCount(), count);
    QCOMPARE(f.vdb.idAt(count - 1), count);
    QCOMPARE(f.vdb.closeElement(1), 0);
    QCOMPARE(f.vdb.visibleCount(), many + 1);
    QCOMPARE(f.vdb.idAt(1), many + 2);
    QCOMPARE(f.vdb.openElement(1), 0);
    QCOMPARE(f.rows().back(), count);
    QCOMPARE(f.vdb.rowOf(65537), 65536);
  }

  void displayTexts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("seq_num");  // -1: none
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("hrf");
    QTest::addColumn<QString>("sql");  // run on the database before it is shown
    QTest::addColumn<QString>("shown_name");
    QTest::addColumn<QString>("shown_hrf");
    QTest::newRow("control characters only") << "\x01\t\n\x7f" << qint64(-1) << "" << "" << "" << "(empty)" << "";
    QTest::newRow("white space inside") << " a\tb\r\nc " << qint64(-1) << "" << "" << "" << "a b c" << "";
    QTest::newRow("non-ASCII") << QString::fromUtf8("caf\u00e9x") << qint64(-1) << "" << "" << "" << "caf x" << "";
    QTest::newRow("NULL name") << "x" << qint64(-1) << "" << "" << "UPDATE dictionary SET name = NULL"
                               << "(empty)" << "";
    QTest::newRow("no dictionary row") << "x" << qint64(-1) << "" << "" << "DELETE FROM dictionary"
                                       << "(empty)" << "";
    QTest::newRow("empty name, seq 3") << "" << qint64(3) << "" << "" << "" << "(empty)-3" << "";
    QTest::newRow("seq 0 is shown") << "trak" << qint64(0) << "" << "" << "" << "trak-0" << "";
    QTest::newRow("seq NULL is none") << "trak" << qint64(-1) << "" << ""
                                      << "INSERT INTO elements_seq_num VALUES (1, NULL)" << "trak" << "";
    QTest::newRow("hrf falls back to raw") << "x" << qint64(-1) << "a\x02 b" << "\x03" << "" << "x" << "a b";
  }
  void displayTexts() {
    QFETCH(QString, name);
    QFETCH(qint64, seq_num);
    QFETCH(QString, raw);
    QFETCH(QString, hrf);
    QFETCH(QString, sql);
    QFETCH(QString, shown_name);
    QFETCH(QString, shown_hrf);
    Fixture f(QList<Node>{{0, name, raw, -1, -1, seq_num, hrf}});
    if (!sql.isEmpty())  // records are read when asked for, so this still counts
      exec(*f.db, sql);
    QList<ViewerDatabase::Element> page;
    QCOMPARE(f.vdb.fetchRows(1, 0, page), 0);
    QCOMPARE(page.value(0).name, shown_name);
    QCOMPARE(page.value(0).hrf_value, shown_hrf);
    QCOMPARE(page.value(0).seq_num, seq_num);
  }

  void withoutUsableConnection_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("none") << 0;
    QTest::newRow("closed connection") << 1;
    QTest::newRow("empty database") << 2;
  }
  void withoutUsableConnection() {
    QFETCH(int, kind);
    Fixture f(kind == 2 ? std::vector<int>{} : kNested);
    if (kind == 0)
      QCOMPARE(f.vdb.setConnection(nullptr), -1);
    if (kind == 1)
      f.db->close();
    QList<ViewerDatabase::Element> page;
    QCOMPARE(f.vdb.moveBy(1, 1), -1);
    QCOMPARE(f.vdb.fetchRows(1, 5, page), -1);
    QCOMPARE(f.vdb.openElement(1), -1);
    f.vdb.openPath(1);
    if (kind != 1)  // a connection closed behind its back leaves the rows it had
      QCOMPARE(f.vdb.visibleCount(), 0);
  }

  void closeConnectionTwice() {
    // A connection of another name is neither deleted nor removed, whatever happens.
    QSqlDatabase* db = buildDatabase(uniqueConnectionName(), nodesOfLevels(kNested));
    {
      ViewerDatabase vdb;
      QCOMPARE(vdb.setConnection(db), 0);
      QCOMPARE(vdb.openElement(1), 0);
      QCOMPARE(vdb.closeConnection(), 0);
      QCOMPARE(vdb.closeConnection(), -1);
      vdb.setConnection(db);  // and destroyed while holding it
    }
    QVERIFY(db->isOpen());
    QCOMPARE(openSet(*db), (std::set<qint64>{1}));
    // The owned one goes with closeConnection, with a new hand-over and with destruction.
    const QString owned(ViewerDatabase::kOwnedConnectionName);
    auto vdb = std::make_unique<ViewerDatabase>();
    QSqlDatabase* first = buildDatabase(owned, {});
    QCOMPARE(vdb->setConnection(first), 0);
    QCOMPARE(vdb->setConnection(first), 0);  // the same hand-over again keeps it alive
    QCOMPARE(vdb->closeConnection(), 0);
    QCOMPARE(vdb->closeConnection(), -1);
    QVERIFY(!QSqlDatabase::contains(owned));
    vdb->setConnection(buildDatabase(owned, {}));
    vdb->setConnection(db);
    QVERIFY(!QSqlDatabase::contains(owned));
    vdb->setConnection(buildDatabase(owned, {}));
    vdb.reset();
    QVERIFY(!QSqlDatabase::contains(owned));
    dropDatabase(db);
  }

  void randomTrees_data() {
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("max_depth");
    QTest::newRow("bushy") << 1u << 3000 << 5;
    QTest::newRow("deep") << 2u << 2000 << 40;
    QTest::newRow("flat") << 3u << 4000 << 1;
    QTest::newRow("small") << 4u << 40 << 4;
  }
  void randomTrees() {
    QFETCH(unsigned, seed);
    QFETCH(int, count);
    QFETCH(int, max_depth);
    std::mt19937 random(seed);
    const std::vector<int> levels = randomLevels(random, count, max_depth);
    // A pre-filled open set, partly under collapsed ancestors, as the parser may leave it.
    QList<qint64> open;
    for (size_t i = 0; i + 1 < levels.size(); ++i)
      if (levels[i + 1] > levels[i] && random() % 20 == 0) open.append(qint64(i) + 1);
    Fixture f(levels, open);
    exercise(f.vdb, *f.db, seed, 150);
  }

  void parsedFiles_data() {
    QTest::addColumn<QString>("file");
    const QDir data(corvanta::test::dataDir());
    for (const char* folder : {"isobmff", "parser"}) {
      const QDir dir(data.filePath(folder));
      for (const QString& name : dir.entryList({"*.mp4", "*.mov", "*.m4a"}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(folder, name))) << dir.filePath(name);
    }
  }

  // Every statement of the element database interface, run as written on every database
  // the parser writes. The viewer reads children and roots in a faster form of its own;
  // a reader using the plain statements must find the same tree, and so must the viewer.
  void verbatimStatementsOnParsedFiles_data() { parsedFiles_data(); }
  void verbatimStatementsOnParsedFiles() {
    QFETCH(QString, file);
    Parser parser;
    QCOMPARE(parser.parseFile(file, ":memory:", ""), 0);
    QSqlDatabase* db = parser.getConnection();
    QVERIFY(db);
    exec(*db, QStringLiteral("DELETE FROM open_elements"));
    const TreeModel model(*db);
    const qint64 n = model.count();
    QVERIFY(n > 0);
    QList<QVariantList> rows;

    QVERIFY(runVerbatim(*db, QStringLiteral("PRAGMA foreign_keys = ON"), &rows));
    QVERIFY(runVerbatim(*db, QStringLiteral("SELECT `seq` FROM `sqlite_sequence` WHERE `name` = \"elements\""),
                        &rows));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0].toInt(), int(n));

    QVERIFY(runVerbatim(*db, kRootsRead, &rows));
    Rows roots;
    for (qint64 id = 1; id <= n; ++id)
      if (model.level(id) == 0) roots.push_back(id);
    const QList<qint64> root_ids = firstColumn(rows);
    QCOMPARE(Rows(root_ids.begin(), root_ids.end()), roots);

    for (qint64 id = 1; id <= n && !QTest::currentTestFailed(); ++id) {
      const QVariant bound{qlonglong(id)};
      QVERIFY(runVerbatim(*db, QStringLiteral("SELECT `level` FROM `elements` WHERE `id` = ?"), &rows, bound));
      QCOMPARE(rows.size(), 1);
      QCOMPARE(rows[0][0].toInt(), model.level(id));
      QVERIFY(runVerbatim(*db, QStringLiteral("SELECT `parent_id` FROM `elements` WHERE `id` = ?"), &rows, bound));
      QCOMPARE(rows[0][0].toLongLong(), model.parent(id));
      QVERIFY(runVerbatim(*db, QStringLiteral("SELECT `last_child_id` FROM `elements` WHERE `id` = ?"), &rows,
                          bound));
      QCOMPARE(rows[0][0].toLongLong(), model.lastChild(id));

      // Children: in id order, the first right after the parent, the last its last child.
      QVERIFY(runVerbatim(*db, kChildrenRead, &rows, bound));
      Rows children;
      for (qint64 child = id + 1; child <= n; ++child)
        if (model.parent(child) == id) children.push_back(child);
      const QList<qint64> child_ids = firstColumn(rows);
      QCOMPARE(Rows(child_ids.begin(), child_ids.end()), children);
      for (const QVariantList& row : rows)
        QCOMPARE(row[1].toLongLong(), model.lastChild(row[0].toLongLong()));
      if (!children.empty()) {
        QCOMPARE(children.front(), id + 1);
        QCOMPARE(children.back(), model.lastChild(id));
      }
    }

    for (const qint64 from : {qint64(1), (n + 1) / 2, n, n + 1}) {
      QVERIFY(runVerbatim(*db, kBlockRead, &rows, QVariant(qlonglong(from))));
      QCOMPARE(rows.size(), qsizetype(n - from + 1));
      for (qsizetype i = 0; i < rows.size(); ++i) {
        const qint64 id = from + i;
        QCOMPARE(rows[i].size(), 10);
        QCOMPARE(rows[i][0].toLongLong(), id);
        QCOMPARE(rows[i][1].toInt(), model.level(id));
        QCOMPARE(rows[i][2].toLongLong(), model.parent(id));
        QCOMPARE(rows[i][3].toLongLong(), model.lastChild(id));
      }
    }

    // Opening and closing through the open set, on the first element with children.
    qint64 parent = 1;
    while (parent <= n && !model.hasChildren(parent)) ++parent;
    QVERIFY(parent <= n);
    const QVariant bound{qlonglong(parent)};
    const QString lookup = QStringLiteral("SELECT `id` FROM `open_elements` WHERE `id` = ?");
    QVERIFY(runVerbatim(*db, lookup, &rows, bound));
    QVERIFY(rows.isEmpty());
    QVERIFY(runVerbatim(*db, QStringLiteral("INSERT INTO `open_elements` VALUES(?)"), &rows, bound));
    QVERIFY(runVerbatim(*db, lookup, &rows, bound));
    QCOMPARE(firstColumn(rows), QList<qint64>{parent});
    QVERIFY(runVerbatim(*db, QStringLiteral("DELETE FROM `open_elements` WHERE `id` = ?"), &rows, bound));
    QVERIFY(runVerbatim(*db, lookup, &rows, bound));
    QVERIFY(rows.isEmpty());

    // The viewer's own reads find the same roots, and with everything open every element.
    ViewerDatabase vdb;
    vdb.setConnection(db);
    QCOMPARE(vdb.lastId(), int(n));
    Rows shown;
    for (int row = 0; row < vdb.visibleCount(); ++row) shown.push_back(vdb.idAt(row));
    QCOMPARE(shown, roots);
    for (qint64 id = 1; id <= n; ++id)
      if (model.hasChildren(id)) QCOMPARE(vdb.openElement(id), 0);
    QCOMPARE(vdb.visibleCount(), int(n));
    for (int row = 0; row < int(n); ++row)
      QCOMPARE(vdb.idAt(row), qint64(row) + 1);
    vdb.closeConnection();
  }

  // Packets decoded on demand give the viewer the same rows as packets written as rows, after
  // each open and close anywhere: packets with stored rows between them too (junk, a cut).
  void lazyTransportStreamLikeEager_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"dvb.ts", "junk.ts", "cut-stretch.ts"})
      QTest::newRow(name) << corvanta::test::dataFile(QStringLiteral("mpegts/") + QLatin1String(name));
  }
  void lazyTransportStreamLikeEager() {
    QFETCH(QString, file);
    const unsigned seed = unsigned(qHash(file));
    const QStringList eager = viewerTranscript(file, false, seed);
    if (QTest::currentTestFailed()) return;
    const QStringList lazy = viewerTranscript(file, true, seed);
    if (QTest::currentTestFailed()) return;
    QCOMPARE(eager.value(0), QStringLiteral("lazy false"));
    QCOMPARE(lazy.value(0), QStringLiteral("lazy true"));
    QCOMPARE(lazy.size(), eager.size());
    for (qsizetype i = 1; i < lazy.size(); ++i) QCOMPARE(lazy[i], eager[i]);
  }

  void parsedFiles() {
    QFETCH(QString, file);
    Parser parser;
    QCOMPARE(parser.parseFile(file, ":memory:", ""), 0);
    QSqlDatabase* db = parser.getConnection();
    QVERIFY(db);
    // The walks below are only meaningful on a database that keeps the invariants.
    const corvanta::DatabaseReport report = corvanta::checkDatabase(*db);
    QVERIFY2(report.ok(), qPrintable(report.summary()));
    ViewerDatabase vdb;
    vdb.setConnection(db);
    QCOMPARE(vdb.lastId(), int(TreeModel(*db).count()));
    exercise(vdb, *db, unsigned(qHash(file)), 60);
    vdb.closeConnection();  // the parser's connection is ours to remove
    QVERIFY(!QSqlDatabase::contains(QString::fromLatin1(ViewerDatabase::kOwnedConnectionName)));
  }
};

CORVANTA_TEST_CORE_MAIN(TestViewerDatabase)
#include "tst_ViewerDatabase.moc"
