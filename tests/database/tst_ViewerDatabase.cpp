// Behaviour of ViewerDatabase on small hand-built element databases.
#include <QSqlQuery>
#include <QVariant>

#include "TestSupport.h"
#include "TreeFixture.h"
#include "ViewerDatabase.h"

using dbtest::createDatabase;
using dbtest::insertTree;
using Rows = std::vector<qint64>;

Q_DECLARE_METATYPE(Rows)

namespace {

QString uniqueConnectionName() {
  static int counter = 0;
  return QString("test-connection-%1").arg(++counter);
}

// A test database of another connection name that the test keeps and drops itself.
struct Fixture {
  explicit Fixture(const std::vector<int>& levels, const QList<qint64>& open = {})
      : db(createDatabase(uniqueConnectionName())) {
    insertTree(*db, levels);
    for (qint64 id : open) dbtest::exec(*db, QString("INSERT INTO open_elements VALUES (%1)").arg(id));
    vdb.setConnection(db);
  }
  ~Fixture() {
    vdb.closeConnection();
    dbtest::dropDatabase(db);
  }
  QSqlDatabase* db;
  ViewerDatabase vdb;
};

// 1 (2 (3 (4 5)) 6) 7 (8 (9)) 10 : levels in pre-order.
const std::vector<int> kNested = {0, 1, 2, 3, 3, 1, 0, 1, 2, 0};

}  // namespace

class TestViewerDatabase : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void fourElementExample_data();
  void fourElementExample();
  void fetchRowsEdges();
  void rowLookups();
  void moveByAcrossCollapsedSubtrees_data();
  void moveByAcrossCollapsedSubtrees();
  void openAndCloseRefusals();
  void openUnderCollapsedParent();
  void reopeningRestoresExpansion();
  void openPath_data();
  void openPath();
  void prefilledOpenSetIsHonoured();
  void moreChildrenThanOneRead();
  void displayTexts_data();
  void displayTexts();
  void recordFields();
  void withoutConnection();
  void emptyDatabase();
  void ownedConnectionIsRemoved();
  void foreignConnectionIsLeftAlone();
  void metaType();
};

void TestViewerDatabase::fourElementExample_data() {
  QTest::addColumn<int>("n");
  QTest::addColumn<Rows>("ids");
  QTest::addColumn<QList<bool>>("is_last");
  QTest::newRow("n = 2") << 2 << Rows{1, 2, 3} << QList<bool>{false, false, true};
  QTest::newRow("n = 3") << 3 << Rows{1, 2, 3, 4} << QList<bool>{false, false, true, false};
  QTest::newRow("n = 9") << 9 << Rows{1, 2, 3, 4} << QList<bool>{false, false, true, false};
}

void TestViewerDatabase::fourElementExample() {
  QFETCH(int, n);
  QFETCH(Rows, ids);
  QFETCH(QList<bool>, is_last);
  Fixture f({0, 1, 1, 0}, {1});
  QCOMPARE(dbtest::visibleRows(f.vdb), (Rows{1, 2, 3, 4}));
  QList<ViewerDatabase::Element> page;
  QCOMPARE(f.vdb.fetchRows(1, n, page), 0);
  QCOMPARE(page.size(), qsizetype(ids.size()));
  for (int i = 0; i < page.size(); ++i) {
    QCOMPARE(page[i].id, ids[size_t(i)]);
    QCOMPARE(page[i].is_last, is_last[i]);
  }
}

void TestViewerDatabase::fetchRowsEdges() {
  Fixture f(kNested, {1, 2});
  QList<ViewerDatabase::Element> page;
  QCOMPARE(f.vdb.fetchRows(11, 5, page), -1);
  QVERIFY(page.isEmpty());
  // The last visible row alone: 6 is the last child of 1, 10 a top-level element.
  QCOMPARE(f.vdb.fetchRows(6, 0, page), 0);
  QCOMPARE(page.size(), 1);
  QVERIFY(page[0].is_last);
  page.clear();
  QCOMPARE(f.vdb.fetchRows(10, 3, page), 0);
  QCOMPARE(page.size(), 1);
  QVERIFY(!page[0].is_last);
  // From a hidden id the page starts at the next visible row, whole rows only.
  page.clear();
  QCOMPARE(f.vdb.fetchRows(4, 2, page), 0);
  QCOMPARE(page.size(), 3);
  QCOMPARE(page[0].id, 6);
  QCOMPARE(page[1].id, 7);
  QCOMPARE(page[2].id, 10);
  QCOMPARE(f.vdb.fetchRows(1, -1, page), -1);
}

void TestViewerDatabase::rowLookups() {
  Fixture f(kNested, {1});
  QCOMPARE(dbtest::visibleRows(f.vdb), (Rows{1, 2, 6, 7, 10}));
  QCOMPARE(f.vdb.idAt(-1), 0);
  QCOMPARE(f.vdb.idAt(f.vdb.visibleCount()), 0);
  QCOMPARE(f.vdb.rowOf(6), 2);
  QCOMPARE(f.vdb.rowOf(3), -1);
  QCOMPARE(f.vdb.rowOf(11), -1);
  QCOMPARE(f.vdb.lastId(), 10);
}

void TestViewerDatabase::moveByAcrossCollapsedSubtrees_data() {
  QTest::addColumn<qint64>("id");
  QTest::addColumn<int>("n");
  QTest::addColumn<qint64>("expected");
  // Open: 1 and 3, so the rows are 1 2 6 7 10 with 3's children hidden under 2.
  QTest::newRow("down one over hidden 3..5") << qint64(2) << 1 << qint64(6);
  QTest::newRow("down a page stops at the end") << qint64(2) << 50 << qint64(10);
  QTest::newRow("down over collapsed 7") << qint64(7) << 1 << qint64(10);
  QTest::newRow("down from hidden id") << qint64(4) << 1 << qint64(7);
  QTest::newRow("down from past the end") << qint64(40) << 1 << qint64(10);
  QTest::newRow("up one over hidden 3..5") << qint64(6) << -1 << qint64(2);
  QTest::newRow("up over collapsed 7") << qint64(10) << -1 << qint64(7);
  QTest::newRow("up two") << qint64(10) << -2 << qint64(6);
  QTest::newRow("up stops at 1") << qint64(2) << -5 << qint64(1);
  QTest::newRow("up from 1") << qint64(1) << -1 << qint64(1);
  QTest::newRow("up from 0") << qint64(0) << -1 << qint64(1);
  QTest::newRow("zero on visible") << qint64(6) << 0 << qint64(6);
  QTest::newRow("zero on hidden") << qint64(5) << 0 << qint64(2);
  QTest::newRow("up from hidden") << qint64(9) << -1 << qint64(7);
  QTest::newRow("up two from hidden") << qint64(9) << -2 << qint64(6);
  QTest::newRow("up from missing id") << qint64(40) << -1 << qint64(-1);
}

void TestViewerDatabase::moveByAcrossCollapsedSubtrees() {
  QFETCH(qint64, id);
  QFETCH(int, n);
  QFETCH(qint64, expected);
  Fixture f(kNested, {1, 3});
  QCOMPARE(f.vdb.moveBy(id, n), expected);
}

void TestViewerDatabase::openAndCloseRefusals() {
  Fixture f(kNested, {1});
  const Rows before = dbtest::visibleRows(f.vdb);
  QCOMPARE(f.vdb.openElement(6), -1);   // leaf
  QCOMPARE(f.vdb.openElement(1), -1);   // already open
  QCOMPARE(f.vdb.openElement(40), -1);  // no such element
  QCOMPARE(f.vdb.openElement(0), -1);
  QCOMPARE(f.vdb.closeElement(7), -1);  // not open
  QCOMPARE(f.vdb.closeElement(6), -1);
  QCOMPARE(dbtest::openSet(*f.db), (std::set<qint64>{1}));
  QCOMPARE(dbtest::visibleRows(f.vdb), before);
}

void TestViewerDatabase::openUnderCollapsedParent() {
  Fixture f(kNested);
  QCOMPARE(f.vdb.openElement(2), 0);
  QCOMPARE(dbtest::visibleRows(f.vdb), (Rows{1, 7, 10}));
  QCOMPARE(f.vdb.openElement(1), 0);
  QCOMPARE(dbtest::visibleRows(f.vdb), (Rows{1, 2, 3, 6, 7, 10}));
}

void TestViewerDatabase::reopeningRestoresExpansion() {
  Fixture f(kNested, {1, 2, 3, 7});
  const Rows expanded{1, 2, 3, 4, 5, 6, 7, 8, 10};
  QCOMPARE(dbtest::visibleRows(f.vdb), expanded);
  QCOMPARE(f.vdb.closeElement(1), 0);
  QCOMPARE(dbtest::visibleRows(f.vdb), (Rows{1, 7, 8, 10}));
  QCOMPARE(dbtest::openSet(*f.db), (std::set<qint64>{2, 3, 7}));
  QCOMPARE(f.vdb.openElement(1), 0);
  QCOMPARE(dbtest::visibleRows(f.vdb), expanded);
  QCOMPARE(f.vdb.closeElement(3), 0);
  QCOMPARE(dbtest::visibleRows(f.vdb), (Rows{1, 2, 3, 6, 7, 8, 10}));
}

void TestViewerDatabase::openPath_data() {
  QTest::addColumn<qint64>("id");
  QTest::addColumn<Rows>("rows");
  QTest::addColumn<QList<qint64>>("open");
  QTest::newRow("deep leaf") << qint64(5) << Rows{1, 2, 3, 4, 5, 6, 7, 10} << QList<qint64>{1, 2, 3};
  QTest::newRow("element with children") << qint64(8) << Rows{1, 7, 8, 9, 10} << QList<qint64>{7, 8};
  QTest::newRow("top-level leaf") << qint64(10) << Rows{1, 7, 10} << QList<qint64>{};
  QTest::newRow("id 0") << qint64(0) << Rows{1, 7, 10} << QList<qint64>{};
  QTest::newRow("negative id") << qint64(-4) << Rows{1, 7, 10} << QList<qint64>{};
  QTest::newRow("missing id") << qint64(11) << Rows{1, 7, 10} << QList<qint64>{};
}

void TestViewerDatabase::openPath() {
  QFETCH(qint64, id);
  QFETCH(Rows, rows);
  QFETCH(QList<qint64>, open);
  Fixture f(kNested);
  f.vdb.openPath(id);
  QCOMPARE(dbtest::visibleRows(f.vdb), rows);
  QCOMPARE(dbtest::openSet(*f.db), std::set<qint64>(open.begin(), open.end()));
}

void TestViewerDatabase::prefilledOpenSetIsHonoured() {
  // 3 is open under the collapsed 2; 8 is open under the open 7.
  Fixture f(kNested, {1, 3, 7, 8});
  QCOMPARE(dbtest::visibleRows(f.vdb), (Rows{1, 2, 6, 7, 8, 9, 10}));
}

void TestViewerDatabase::moreChildrenThanOneRead() {
  // Children and top-level elements are read in chunks; cross a chunk boundary with both.
  const int many = 65536 + 3;
  std::vector<int> levels{0};
  levels.insert(levels.end(), size_t(many), 1);
  levels.insert(levels.end(), size_t(many), 0);
  Fixture f(levels, {1});
  const qint64 count = 1 + 2 * qint64(many);
  QCOMPARE(f.vdb.visibleCount(), int(count));
  QCOMPARE(f.vdb.idAt(int(count) - 1), count);
  QCOMPARE(f.vdb.rowOf(65537), 65536);
  QCOMPARE(f.vdb.closeElement(1), 0);
  QCOMPARE(f.vdb.visibleCount(), many + 1);
  QCOMPARE(f.vdb.idAt(1), many + 2);
  QCOMPARE(f.vdb.openElement(1), 0);
  QCOMPARE(dbtest::visibleRows(f.vdb).back(), count);
  QCOMPARE(f.vdb.visibleCount(), int(count));
}

void TestViewerDatabase::displayTexts_data() {
  QTest::addColumn<QVariant>("name");
  QTest::addColumn<QVariant>("seq_num");
  QTest::addColumn<QString>("raw");
  QTest::addColumn<QString>("hrf");
  QTest::addColumn<QString>("shown_name");
  QTest::addColumn<QString>("shown_hrf");
  const QVariant none;
  const QVariant null_name = QVariant(QMetaType::fromType<QString>());
  QTest::newRow("plain") << QVariant("moov") << none << "1" << "one" << "moov" << "one";
  QTest::newRow("control characters only") << QVariant("\x01\t\n\x7f") << none << "" << ""
                                           << "(empty)" << "";
  QTest::newRow("tab and line break inside") << QVariant(" a\tb\r\nc ") << none << "" << ""
                                             << "a b c" << "";
  QTest::newRow("non-ASCII") << QVariant(QString::fromUtf8("caf\u00e9x")) << none << "" << ""
                             << "caf x" << "";
  QTest::newRow("NULL name") << null_name << none << "" << "" << "(empty)" << "";
  QTest::newRow("empty name with seq 3") << QVariant("") << QVariant(3) << "" << "" << "(empty)-3"
                                         << "";
  QTest::newRow("seq 0 is shown") << QVariant("trak") << QVariant(0) << "" << "" << "trak-0" << "";
  QTest::newRow("seq NULL is none") << QVariant("trak") << QVariant(QMetaType::fromType<qlonglong>())
                                    << "" << "" << "trak" << "";
  QTest::newRow("hrf falls back to raw") << QVariant("x") << none << "a\x02 b" << "\x03" << "x"
                                         << "a b";
}

void TestViewerDatabase::displayTexts() {
  QFETCH(QVariant, name);
  QFETCH(QVariant, seq_num);
  QFETCH(QString, raw);
  QFETCH(QString, hrf);
  QFETCH(QString, shown_name);
  QFETCH(QString, shown_hrf);
  QSqlDatabase* db = createDatabase(uniqueConnectionName());
  insertTree(*db, {0});
  QSqlQuery update(*db);
  update.prepare("UPDATE dictionary SET name = ? WHERE id = 1");
  update.addBindValue(name);
  QVERIFY(update.exec());
  update.prepare("UPDATE elements SET raw_value = ?, hrf_value = ? WHERE id = 1");
  update.addBindValue(raw);
  update.addBindValue(hrf);
  QVERIFY(update.exec());
  if (seq_num.isValid()) {
    update.prepare("INSERT INTO elements_seq_num VALUES (1, ?)");
    update.addBindValue(seq_num);
    QVERIFY(update.exec());
  }
  {
    ViewerDatabase vdb;
    vdb.setConnection(db);
    QList<ViewerDatabase::Element> page;
    QCOMPARE(vdb.fetchRows(1, 0, page), 0);
    QCOMPARE(page.value(0).name, shown_name);
    QCOMPARE(page.value(0).hrf_value, shown_hrf);
    QCOMPARE(page.value(0).seq_num, seq_num.isNull() ? qint64(-1) : seq_num.toLongLong());
  }
  dbtest::dropDatabase(db);
}

void TestViewerDatabase::recordFields() {
  Fixture f(kNested, {1});
  dbtest::exec(*f.db, "DELETE FROM dictionary WHERE id = 6");
  QList<ViewerDatabase::Element> page;
  QCOMPARE(f.vdb.fetchRows(1, 2, page), 0);
  const ViewerDatabase::Element& e = page[1];
  QCOMPARE(e.id, 2);
  QCOMPARE(e.level, 1);
  QCOMPARE(e.parent_id, 1);
  QCOMPARE(e.last_child_id, 3);
  QCOMPARE(e.name, QString("e2"));
  QCOMPARE(e.offset, 16);
  QCOMPARE(e.size, 8);
  QCOMPARE(e.raw_value, QString("v2"));
  QCOMPARE(e.hrf_value, QString("v2"));
  QVERIFY(e.has_children && !e.is_open);
  QVERIFY(page[0].is_open);
  QVERIFY(!page[2].has_children && !page[2].is_open);
  QCOMPARE(page[2].name, QString("(empty)"));  // name_id without a dictionary row
}

void TestViewerDatabase::withoutConnection() {
  ViewerDatabase vdb;
  QList<ViewerDatabase::Element> page;
  QCOMPARE(vdb.closeConnection(), -1);
  QCOMPARE(vdb.lastId(), 0);
  QCOMPARE(vdb.visibleCount(), 0);
  QCOMPARE(vdb.moveBy(1, 1), -1);
  QCOMPARE(vdb.fetchRows(1, 5, page), -1);
  QCOMPARE(vdb.openElement(1), -1);
  QCOMPARE(vdb.closeElement(1), -1);
  vdb.openPath(1);
  QCOMPARE(vdb.setConnection(nullptr), -1);

  // A closed connection counts as none, and a null hand-over drops the one held.
  Fixture f(kNested);
  f.db->close();
  QCOMPARE(f.vdb.moveBy(1, 1), -1);
  QCOMPARE(f.vdb.openElement(1), -1);
  QCOMPARE(f.vdb.setConnection(nullptr), -1);
  QCOMPARE(f.vdb.closeConnection(), -1);
}

void TestViewerDatabase::emptyDatabase() {
  QSqlDatabase* db = createDatabase(uniqueConnectionName());
  {
    ViewerDatabase vdb;
    QCOMPARE(vdb.setConnection(db), 0);
    QList<ViewerDatabase::Element> page;
    QCOMPARE(vdb.lastId(), 0);
    QCOMPARE(vdb.visibleCount(), 0);
    QCOMPARE(vdb.fetchRows(1, 5, page), -1);
    QCOMPARE(vdb.moveBy(1, -1), 1);
    QCOMPARE(vdb.moveBy(1, 1), -1);
    vdb.openPath(1);
    QCOMPARE(vdb.closeConnection(), 0);
    QCOMPARE(vdb.closeConnection(), -1);
  }
  QVERIFY(db->isOpen());
  dbtest::dropDatabase(db);
}

void TestViewerDatabase::ownedConnectionIsRemoved() {
  const QString owned = QString::fromLatin1(ViewerDatabase::kOwnedConnectionName);
  QSqlDatabase* db = createDatabase(owned);
  insertTree(*db, kNested);
  ViewerDatabase vdb;
  QCOMPARE(vdb.setConnection(db), 0);
  QCOMPARE(vdb.setConnection(db), 0);  // the same hand-over again keeps it alive
  QCOMPARE(vdb.visibleCount(), 3);
  QCOMPARE(vdb.closeConnection(), 0);
  QVERIFY(!QSqlDatabase::contains(owned));
  QCOMPARE(vdb.visibleCount(), 0);
  QCOMPARE(vdb.closeConnection(), -1);

  // Taking over a new connection drops the owned one first, and so does destruction.
  {
    ViewerDatabase other;
    other.setConnection(createDatabase(owned));
    QSqlDatabase* second = createDatabase(uniqueConnectionName());
    other.setConnection(second);
    QVERIFY(!QSqlDatabase::contains(owned));
    other.setConnection(createDatabase(owned));
    other.closeConnection();
    dbtest::dropDatabase(second);
    other.setConnection(createDatabase(owned));
  }
  QVERIFY(!QSqlDatabase::contains(owned));
}

void TestViewerDatabase::foreignConnectionIsLeftAlone() {
  const QString name = uniqueConnectionName();
  QSqlDatabase* db = createDatabase(name);
  insertTree(*db, kNested);
  {
    ViewerDatabase vdb;
    vdb.setConnection(db);
    QCOMPARE(vdb.openElement(1), 0);
    QCOMPARE(vdb.closeConnection(), 0);
    QCOMPARE(vdb.closeConnection(), -1);
    vdb.setConnection(db);  // destroyed while holding it
  }
  QVERIFY(QSqlDatabase::contains(name));
  QVERIFY(db->isOpen());
  QCOMPARE(dbtest::openSet(*db), (std::set<qint64>{1}));
  dbtest::dropDatabase(db);
}

void TestViewerDatabase::metaType() {
  const int type_id = ViewerDatabase::registerElementMetaType();
  QCOMPARE(ViewerDatabase::registerElementMetaType(), type_id);
  QCOMPARE(QMetaType::fromName("ViewerDatabase::Element").id(), type_id);
  ViewerDatabase::Element e(-1, -1, -1);
  e.id = 7;
  e.name = "x";
  const QVariant carried = QVariant::fromValue(e);
  QCOMPARE(carried.value<ViewerDatabase::Element>().id, 7);
  QCOMPARE(carried.value<ViewerDatabase::Element>().name, QString("x"));
  const auto fallback = QVariant(42).value<ViewerDatabase::Element>();
  QCOMPARE(fallback.id, -1);
  QCOMPARE(fallback.parent_id, -1);
  QCOMPARE(fallback.offset, -1);
  QCOMPARE(fallback.size, -1);
  QCOMPARE(fallback.seq_num, -1);
  QVERIFY(!fallback.has_children && !fallback.is_open && !fallback.is_last);
}

CORVANTA_TEST_CORE_MAIN(TestViewerDatabase)
#include "tst_ViewerDatabase.moc"
