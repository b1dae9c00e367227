// ViewerDatabase checked against a plain in-memory model of the tree: random trees and
// trees the parser library builds from real files, under random opens and closes.
#include <QDir>
#include <QSqlDatabase>

#include <random>

#include "TestSupport.h"
#include "TreeFixture.h"
#include "ViewerDatabase.h"

#ifdef CORVANTA_HAVE_PARSER
#include "DatabaseCheck.h"
#include "Parser.h"
#endif

namespace {

// Every id-based answer, including ids outside the tree.
void compareRows(const ViewerDatabase& vdb, const dbtest::TreeModel& model) {
  const std::vector<qint64> rows = model.visibleRows();
  QCOMPARE(dbtest::visibleRows(vdb), rows);
  QCOMPARE(vdb.visibleCount(), int(rows.size()));
  size_t row = 0;
  for (qint64 id = -1; id <= model.count() + 1; ++id) {
    const bool visible = row < rows.size() && rows[row] == id;
    QCOMPARE(vdb.rowOf(id), visible ? int(row) : -1);
    if (visible) ++row;
  }
}

// The page fetchRows gives, record by record, against the model.
void comparePage(ViewerDatabase& vdb, const dbtest::TreeModel& model, qint64 from, int n,
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

// Whole walks of the visible rows by moveBy(+1) and by pages, and random moves.
void compareWalks(ViewerDatabase& vdb, const dbtest::TreeModel& model, std::mt19937& random) {
  const std::vector<qint64> rows = model.visibleRows();
  std::vector<qint64> walked;
  for (qint64 id = rows.empty() ? 1 : rows.front(); walked.size() <= rows.size();) {
    walked.push_back(id);
    const qint64 next = vdb.moveBy(id, 1);
    if (next == id) break;
    id = next;
  }
  if (!rows.empty()) QCOMPARE(walked, rows);

  const int n = 1 + int(random() % 60);
  walked.clear();
  QList<ViewerDatabase::Element> page;
  for (qint64 from = 1;;) {
    comparePage(vdb, model, from, n, page);
    if (QTest::currentTestFailed()) return;
    for (qsizetype i = 0; i < page.size() && i < n; ++i) walked.push_back(page[i].id);
    if (page.size() <= n) break;
    from = page[n].id;
  }
  QCOMPARE(walked, rows);

  for (int i = 0; i < 40; ++i) {
    const qint64 id = qint64(random() % quint64(model.count() + 4)) - 1;
    const int by = int(random() % 141) - 70;
    QCOMPARE(vdb.moveBy(id, by), model.moveBy(id, by));
  }
}

// Random opens, closes and open paths, everything compared after each step.
void exercise(ViewerDatabase& vdb, QSqlDatabase& db, unsigned seed, int steps) {
  dbtest::TreeModel model(db);
  std::mt19937 random(seed);
  compareRows(vdb, model);
  for (int step = 0; step < steps && !QTest::currentTestFailed(); ++step) {
    // Mostly visible rows, as a user would click them, and now and then any id.
    const std::vector<qint64> rows = model.visibleRows();
    qint64 id = qint64(random() % quint64(model.count() + 3)) - 1;
    if (random() % 4 != 0 && !rows.empty()) id = rows[random() % rows.size()];
    switch (random() % 5) {
      case 0:
      case 1:
        QCOMPARE(vdb.openElement(id), model.openElement(id));
        break;
      case 2:
      case 3:
        QCOMPARE(vdb.closeElement(id), model.closeElement(id));
        break;
      default:
        vdb.openPath(id);
        model.openPath(id);
        if (model.exists(id)) QVERIFY(vdb.rowOf(id) >= 0);
    }
    compareRows(vdb, model);
    if (step % 10 == 9) {
      QCOMPARE(dbtest::openSet(db), model.open);
      compareWalks(vdb, model, random);
    }
  }
  if (QTest::currentTestFailed()) return;
  // Taking the connection over again rebuilds the same rows from the open set.
  vdb.setConnection(&db);
  compareRows(vdb, model);
  compareWalks(vdb, model, random);
}

}  // namespace

class TestViewerDatabaseModel : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void randomTrees_data();
  void randomTrees();
  void parsedFiles_data();
  void parsedFiles();
};

void TestViewerDatabaseModel::randomTrees_data() {
  QTest::addColumn<unsigned>("seed");
  QTest::addColumn<int>("count");
  QTest::addColumn<int>("max_depth");
  QTest::newRow("bushy") << 1u << 3000 << 5;
  QTest::newRow("deep") << 2u << 2000 << 40;
  QTest::newRow("flat") << 3u << 4000 << 1;
  QTest::newRow("small") << 4u << 40 << 4;
  QTest::newRow("mixed") << 5u << 2500 << 10;
}

void TestViewerDatabaseModel::randomTrees() {
  QFETCH(unsigned, seed);
  QFETCH(int, count);
  QFETCH(int, max_depth);
  QSqlDatabase* db = dbtest::createDatabase(QString("model-%1").arg(seed));
  dbtest::insertTree(*db, dbtest::randomLevels(seed, count, max_depth));
  // A pre-filled open set, partly under collapsed ancestors, as the parser may leave it.
  std::mt19937 random(seed);
  for (int i = 0; i < count / 20; ++i)
    dbtest::exec(*db, QString("INSERT OR IGNORE INTO open_elements SELECT id FROM elements "
                              "WHERE id = %1 AND last_child_id != 0")
                          .arg(1 + random() % unsigned(count)));
  {
    ViewerDatabase vdb;
    vdb.setConnection(db);
    exercise(vdb, *db, seed, 150);
  }
  dbtest::dropDatabase(db);
}

void TestViewerDatabaseModel::parsedFiles_data() {
  QTest::addColumn<QString>("file");
  const QDir data(corvanta::test::dataDir());
  bool any = false;
  for (const char* folder : {"isobmff", "parser"}) {
    const QDir dir(data.filePath(folder));
    for (const QString& name : dir.entryList({"*.mp4", "*.mov", "*.m4a"}, QDir::Files, QDir::Name)) {
      QTest::newRow(qPrintable(QString("%1/%2").arg(folder, name))) << dir.filePath(name);
      any = true;
    }
  }
  if (!any) QTest::newRow("none") << QString();
}

void TestViewerDatabaseModel::parsedFiles() {
#ifdef CORVANTA_HAVE_PARSER
  QFETCH(QString, file);
  if (file.isEmpty()) QSKIP("no container files in the test data yet");
  Parser parser;
  QCOMPARE(parser.parseFile(file, ":memory:", ""), 0);
  QSqlDatabase* db = parser.getConnection();
  QVERIFY(db);
  // The walks below are only meaningful on a database that keeps the invariants.
  const corvanta::DatabaseReport report = corvanta::checkDatabase(*db);
  QVERIFY2(report.ok(), qPrintable(report.summary()));
  ViewerDatabase vdb;
  vdb.setConnection(db);
  QVERIFY(vdb.lastId() > 0);
  QCOMPARE(vdb.lastId(), int(dbtest::TreeModel(*db).count()));
  exercise(vdb, *db, unsigned(qHash(file)), 60);
  vdb.closeConnection();  // the parser's connection is ours to remove
  QVERIFY(!QSqlDatabase::contains(QString::fromLatin1(ViewerDatabase::kOwnedConnectionName)));
#else
  QSKIP("built without the parser library");
#endif
}

CORVANTA_TEST_CORE_MAIN(TestViewerDatabaseModel)
#include "tst_ViewerDatabaseModel.moc"
