#include "DatabaseCheck.h"
#include "ElementWriter.h"
#include "TestSupport.h"
#include "TestDatabase.h"

namespace {

// id name  range        parent
//  1 A     [0, 800)     -
//  2 a     [0, 64)      1
//  3 B     [64, 464)    1
//  4 b-1   [64, 96)     3
//  5 c     [464, 472)   1
//  6 GARBAGE [800, 864) -
void writeGoodTree(TestDatabase& database) {
  corvanta::ElementWriter writer(database.db());
  writer.openUnit("A", 0, 800);
  writer.addField("a", 0, 64, "1");
  writer.openUnit("B", 64, 400);
  writer.addField("b", 64, 32, "2", "", 1);
  writer.closeUnit();
  writer.addField("c", 464, 8, "3");
  writer.closeUnit();
  writer.addGarbage(800, 64);
  QVERIFY(writer.finish());
}

}  // namespace

class DatabaseCheckTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void acceptsAGoodDatabase() {
    TestDatabase database;
    writeGoodTree(database);
    const corvanta::DatabaseReport report = corvanta::checkDatabase(database.db(), 864);
    QVERIFY2(report.ok(), qPrintable(report.summary()));
    QCOMPARE(report.element_count, 6);
    QCOMPARE(report.top_level_count, 2);
    QCOMPARE(report.covered_bits, 864);
    QCOMPARE(report.garbage_bits, 64);
  }

  void findsEachKindOfDamage_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("problem");
    QTest::newRow("gap in ids") << "UPDATE elements SET id = 10 WHERE id = 6" << "not 1..N";
    QTest::newRow("wrong level") << "UPDATE elements SET level = 2 WHERE id = 2" << "element 2 has level 2";
    QTest::newRow("top-level with a level") << "UPDATE elements SET level = 1 WHERE id = 6" << "top-level element 6";
    QTest::newRow("parent not an ancestor") << "UPDATE elements SET parent_id = 2 WHERE id = 5" << "not pre-order";
    QTest::newRow("wrong last child") << "UPDATE elements SET last_child_id = 2 WHERE id = 1" << "last_child_id 2";
    QTest::newRow("leaf claims a child") << "UPDATE elements SET last_child_id = 5 WHERE id = 2" << "last_child_id 5";
    QTest::newRow("child outside parent") << "UPDATE elements SET size = 1000 WHERE id = 5" << "outside its parent";
    QTest::newRow("negative size") << "UPDATE elements SET size = -8 WHERE id = 2" << "size -8";
    QTest::newRow("wrong sequence row") << "UPDATE sqlite_sequence SET seq = 5" << "says 5 elements";
    QTest::newRow("no sequence row") << "DELETE FROM sqlite_sequence" << "no row";
    QTest::newRow("dangling name") << "DELETE FROM dictionary WHERE name = 'b'" << "without a dictionary row";
    QTest::newRow("two sequence numbers")
        << "DROP TABLE elements_seq_num; CREATE TABLE elements_seq_num (id INTEGER, seq_num INTEGER);"
           "INSERT INTO elements_seq_num VALUES (4, 1), (4, 2)"
        << "element 4 has 2 sequence number rows";
    QTest::newRow("no parent index") << "DROP INDEX elements_parent_id" << "no index";
    QTest::newRow("open set with two columns")
        << "DROP TABLE open_elements; CREATE TABLE open_elements (id INTEGER, extra)" << "open_elements";
    QTest::newRow("numbered garbage") << "INSERT INTO elements_seq_num VALUES (6, 3)" << "GARBAGE element 6";
    QTest::newRow("missing table") << "DROP TABLE dictionary" << "statement";
  }
  void findsEachKindOfDamage() {
    QFETCH(QString, damage);
    QFETCH(QString, problem);
    TestDatabase database;
    writeGoodTree(database);
    database.exec(damage.toUtf8().constData());
    const corvanta::DatabaseReport report = corvanta::checkDatabase(database.db());
    QVERIFY(!report.ok());
    QVERIFY2(report.summary().contains(problem), qPrintable(report.summary()));
  }

  void checksTopLevelAgainstTheFile() {
    TestDatabase database;
    writeGoodTree(database);
    const corvanta::DatabaseReport report = corvanta::checkDatabase(database.db(), 840);
    QVERIFY2(report.summary().contains("outside the file"), qPrintable(report.summary()));
    QCOMPARE(report.covered_bits, 840);
  }

  void keepsOnlyTheFirstProblems() {
    TestDatabase database;
    writeGoodTree(database);
    database.exec("UPDATE elements SET level = 7");
    const corvanta::DatabaseReport report = corvanta::checkDatabase(database.db());
    QCOMPARE(report.problem_count, 6);
    QVERIFY(report.problems.size() <= 10);
  }
};

CORVANTA_TEST_CORE_MAIN(DatabaseCheckTest)
#include "DatabaseCheckTest.moc"
