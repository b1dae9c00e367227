#include "DatabaseCheck.h"
#include "ElementWriter.h"
#include "TestSupport.h"
#include "TestDatabase.h"

#include <limits>

using corvanta::ElementWriter;

class ElementWriterTest : public QObject {
  Q_OBJECT

 private:
  static void expectConsistent(const TestDatabase& database) {
    const corvanta::DatabaseReport report = corvanta::checkDatabase(database.db());
    QVERIFY2(report.ok(), qPrintable(report.summary()));
  }

 private Q_SLOTS:
  void nestsInPreOrder() {
    TestDatabase database;
    ElementWriter writer(database.db());
    QCOMPARE(writer.openUnit("moov", 0, 800, "Movie"), 1);
    writer.addField("a", 0, 64, "1");
    writer.openUnit("trak", 64, 400);
    QCOMPARE(writer.depth(), 2);
    QCOMPARE(writer.innermostEnd(), 464);
    writer.addField("b", 64, 32, "2");
    writer.closeUnit();
    writer.addField("c", 464, 8, "3");
    writer.closeUnit();
    QCOMPARE(writer.addField("free", 800, 64, ""), 6);
    QCOMPARE(writer.elementCount(), 6);
    QVERIFY(writer.finish());

    // id level parent last_child offset size
    QCOMPARE(database.row(1), QStringLiteral("1 0 0 5 0 800"));
    QCOMPARE(database.row(2), QStringLiteral("2 1 1 0 0 64"));
    QCOMPARE(database.row(3), QStringLiteral("3 1 1 4 64 400"));
    QCOMPARE(database.row(4), QStringLiteral("4 2 3 0 64 32"));
    QCOMPARE(database.row(5), QStringLiteral("5 1 1 0 464 8"));
    QCOMPARE(database.row(6), QStringLiteral("6 0 0 0 800 64"));
    QCOMPARE(database.value("SELECT raw_value FROM elements WHERE id = 1"), QStringLiteral("Movie"));
    QCOMPARE(database.number("SELECT seq FROM sqlite_sequence WHERE name = 'elements'"), 6);
    expectConsistent(database);
  }

  void clampsChildToParent_data() {
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("hrf");
    QTest::addColumn<QString>("expected");   // "offset size hrf_value"
    const qint64 max = std::numeric_limits<qint64>::max();
    const qint64 min = std::numeric_limits<qint64>::min();
    // The parent spans bits [100, 200).
    QTest::newRow("inside") << qint64(120) << qint64(50) << "" << "120 50 ";
    QTest::newRow("runs past the end") << qint64(150) << qint64(100) << "" << "150 50 truncated";
    QTest::newRow("keeps its own readable value") << qint64(150) << qint64(100) << "9 Hz" << "150 50 9 Hz, truncated";
    QTest::newRow("starts past the end") << qint64(300) << qint64(10) << "" << "200 0 truncated";
    QTest::newRow("starts before the parent") << qint64(50) << qint64(100) << "" << "100 50 truncated";
    QTest::newRow("ends before the parent") << qint64(50) << qint64(20) << "" << "100 0 truncated";
    QTest::newRow("negative size") << qint64(120) << qint64(-5) << "" << "120 0 ";
    QTest::newRow("huge size") << qint64(120) << max << "" << "120 80 truncated";
    QTest::newRow("hugely negative offset") << min << max << "" << "100 0 truncated";
  }
  void clampsChildToParent() {
    QFETCH(qint64, offset);
    QFETCH(qint64, size);
    QFETCH(QString, hrf);
    QFETCH(QString, expected);
    TestDatabase database;
    ElementWriter writer(database.db());
    writer.openUnit("parent", 100, 100);
    writer.addField("child", offset, size, "", hrf.toStdString());
    QVERIFY(writer.finish());
    QCOMPARE(database.value("SELECT \"offset\" || ' ' || size || ' ' || hrf_value FROM elements WHERE id = 2"),
             expected);
    expectConsistent(database);
  }

  void clampsTopLevelToTheFile() {
    TestDatabase database;
    ElementWriter writer(database.db());
    writer.setFileSize(800);
    writer.openUnit("mdat", 700, 1000);
    writer.addField("sample", 720, 500, "", "", 1);
    writer.closeUnit(2000);
    QVERIFY(writer.finish());
    QCOMPARE(database.row(1), QStringLiteral("1 0 0 2 700 100"));
    QCOMPARE(database.row(2), QStringLiteral("2 1 1 0 720 80"));
    QCOMPARE(database.value("SELECT hrf_value FROM elements WHERE id = 1"), QStringLiteral("truncated"));
    const corvanta::DatabaseReport report = corvanta::checkDatabase(database.db(), 800);
    QVERIFY2(report.ok(), qPrintable(report.summary()));
    QCOMPARE(report.covered_bits, 100);
  }

  void closeUnitKeepsChildrenInsideAndParentAround() {
    TestDatabase database;
    ElementWriter writer(database.db());
    writer.openUnit("outer", 0, 1000);
    writer.openUnit("shrunk", 0, 500);
    writer.addField("x", 0, 300, "");
    writer.closeUnit(100);         // smaller than its child: grows back to 300
    writer.openUnit("grown", 300, 100);
    writer.closeUnit(5000);        // larger than its parent: clamped to 700
    writer.closeUnit();
    writer.closeUnit();            // nothing open: ignored
    writer.closeUnit(42);
    QCOMPARE(writer.depth(), 0);
    QVERIFY(writer.finish());
    QCOMPARE(database.row(2), QStringLiteral("2 1 1 3 0 300"));
    QCOMPARE(database.row(4), QStringLiteral("4 1 1 0 300 700"));
    QCOMPARE(database.value("SELECT hrf_value FROM elements WHERE id = 4"), QStringLiteral("truncated"));
    expectConsistent(database);
  }

  void finishClosesOpenUnits() {
    TestDatabase database;
    ElementWriter writer(database.db());
    writer.openUnit("a", 0, 100);
    writer.openUnit("b", 8, 50);
    writer.addField("c", 8, 8, "");
    QVERIFY(writer.finish());
    QCOMPARE(database.row(1), QStringLiteral("1 0 0 2 0 100"));
    QCOMPARE(database.row(2), QStringLiteral("2 1 1 3 8 50"));
    QVERIFY(writer.finish());   // a second finish changes nothing
    expectConsistent(database);
  }

  void writesSequenceNumbersOnlyWhenGiven() {
    TestDatabase database;
    ElementWriter writer(database.db());
    writer.addField("entry", 0, 8, "", "", 0);
    writer.addField("entry", 8, 8, "", "", -1);
    writer.addField("entry", 16, 8, "", "", 7);
    writer.addGarbage(24, 16);
    QVERIFY(writer.finish());
    QCOMPARE(database.value("SELECT group_concat(id || ':' || seq_num) FROM elements_seq_num"),
             QStringLiteral("1:0,3:7"));
    QCOMPARE(database.value("SELECT name FROM dictionary JOIN elements ON name_id = dictionary.id WHERE "
                            "elements.id = 4"),
             QString::fromLatin1(corvanta::kGarbageName.data(), int(corvanta::kGarbageName.size())));
    const corvanta::DatabaseReport report = corvanta::checkDatabase(database.db(), 40);
    QVERIFY2(report.ok(), qPrintable(report.summary()));
    QCOMPARE(report.garbage_bits, 16);
    QCOMPARE(report.covered_bits, 40);
  }

  void internsNames() {
    TestDatabase database;
    ElementWriter writer(database.db());
    for (int i = 0; i < 300; ++i)
      writer.addField(i % 3 == 0 ? "stsz" : (i % 3 == 1 ? "stco" : "a name longer than the short string buffer"),
                      i * 8, 8, "");
    QVERIFY(writer.finish());
    QCOMPARE(database.number("SELECT COUNT(*) FROM dictionary"), 3);
    QCOMPARE(database.number("SELECT COUNT(*) FROM elements e JOIN dictionary d ON e.name_id = d.id "
                             "WHERE d.name = 'stco'"), 100);
    expectConsistent(database);
  }

  void emptyDatabaseHasNoSequenceRow() {
    TestDatabase database;
    ElementWriter writer(database.db());
    QVERIFY(writer.finish());
    QCOMPARE(database.value("SELECT seq FROM sqlite_sequence WHERE name = 'elements'"), QString());
    expectConsistent(database);
  }

  // Rows are written in batches: units opened before a batch went out are updated afterwards.
  void updatesUnitsAlreadyWritten() {
    TestDatabase database;
    ElementWriter writer(database.db());
    writer.openUnit("mdat", 0, 100000);
    for (int i = 0; i < 1000; ++i) {
      if (i == 50)
        writer.openUnit("chunk", 50 * 8, 8 * 900, "first");
      writer.addField("sample", i * 8, 8, std::to_string(i), "", i + 1);
      if (i == 949) {
        writer.setUnitValue("900 samples", "chunk 1");
        writer.closeUnit(8 * 900);
      }
    }
    writer.closeUnit(8000);
    QCOMPARE(writer.elementCount(), 1002);
    QVERIFY(writer.finish());
    QCOMPARE(database.row(1), QStringLiteral("1 0 0 1002 0 8000"));
    QCOMPARE(database.row(52), QStringLiteral("52 1 1 952 400 7200"));
    QCOMPARE(database.value("SELECT raw_value || '/' || hrf_value FROM elements WHERE id = 52"),
             QStringLiteral("900 samples/chunk 1"));
    QCOMPARE(database.number("SELECT COUNT(*) FROM elements_seq_num"), 1000);
    expectConsistent(database);
  }

  void boundsNestingDepth() {
    TestDatabase database;
    ElementWriter writer(database.db());
    for (int i = 0; i < 100; ++i)
      writer.openUnit("box", i, 1000 - i);
    writer.addField("leaf", 500, 8, "");
    QCOMPARE(writer.depth(), 100);
    for (int i = 0; i < 100; ++i)
      writer.closeUnit();
    QCOMPARE(writer.depth(), 0);
    writer.addField("after", 2000, 8, "");
    QVERIFY(writer.finish());
    QCOMPARE(database.number("SELECT MAX(level) FROM elements"), ElementWriter::kMaxDepth);
    QCOMPARE(database.value("SELECT level FROM elements WHERE id = 102"), QStringLiteral("0"));
    expectConsistent(database);
  }

  void reportsADatabaseWithoutSchema() {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    {
      ElementWriter writer(db);
      writer.addField("x", 0, 8, "");
      QVERIFY(!writer.finish());
      QVERIFY(writer.errorString().contains("database error"));
    }
    sqlite3_close(db);
  }
};

CORVANTA_TEST_CORE_MAIN(ElementWriterTest)
#include "ElementWriterTest.moc"
