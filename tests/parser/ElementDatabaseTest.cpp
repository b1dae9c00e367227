// The element writer and the invariant check, on in-memory databases made through the
// SQLite C API; every database the writer makes must pass the check.

#include "DatabaseCheck.h"
#include "ElementDatabase.h"
#include "ElementWriter.h"
#include "TestSupport.h"

#include <sqlite3.h>

#include <limits>

using corvanta::ElementWriter;

namespace {

// A fresh in-memory database with the element schema.
class TestDatabase {
 public:
  TestDatabase() {
    sqlite3_open(":memory:", &handle);
    QString error;
    if (!corvanta::ElementDatabase::createSchema(handle, true, &error))
      qFatal("cannot create the schema: %s", qPrintable(error));
  }
  ~TestDatabase() { sqlite3_close(handle); }

  sqlite3* db() const { return handle; }

  // The first column of the first row as text; "NULL" for a null value, "" for no row.
  QString value(const QString& sql) const {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(handle, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
      return QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(handle));
    QString text;
    if (sqlite3_step(statement) == SQLITE_ROW)
      text = sqlite3_column_type(statement, 0) == SQLITE_NULL
                 ? QStringLiteral("NULL")
                 : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    return text;
  }

  // "id level parent last_child offset size" of one element.
  QString row(int64_t id) const {
    return value(QStringLiteral("SELECT id || ' ' || level || ' ' || parent_id || ' ' || last_child_id || ' ' || "
                                "\"offset\" || ' ' || size FROM elements WHERE id = %1").arg(id));
  }

  // Checks the invariants; returns the report for further checks.
  corvanta::DatabaseReport expectConsistent(int64_t file_bits = -1) const {
    const corvanta::DatabaseReport report = corvanta::checkDatabase(handle, file_bits);
    if (!report.ok())
      QTest::qFail(qPrintable(report.summary()), __FILE__, __LINE__);
    return report;
  }

 private:
  sqlite3* handle = nullptr;
};

// id name     range       parent
//  1 moov     [0, 800)    -
//  2 a        [0, 64)     1
//  3 trak     [64, 464)   1
//  4 b-1      [64, 96)    3
//  5 a        [464, 472)  1
//  6 GARBAGE  [800, 864)  -
void writeGoodTree(const TestDatabase& database) {
  ElementWriter writer(database.db());
  writer.openUnit("moov", 0, 800, "Movie");
  writer.addField("a", 0, 64, "1");
  writer.openUnit("trak", 64, 400);
  writer.addField("b", 64, 32, "2", "", 1);
  writer.closeUnit();
  writer.addField("a", 464, 8, "3", "", -1);
  writer.closeUnit();
  writer.addGarbage(800, 64);
  QVERIFY(writer.finish());
}

}  // namespace

class ElementDatabaseTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void writesInPreOrder() {
    TestDatabase database;
    writeGoodTree(database);
    // id level parent last_child offset size
    const QStringList rows = {"1 0 0 5 0 800", "2 1 1 0 0 64",   "3 1 1 4 64 400",
                              "4 2 3 0 64 32", "5 1 1 0 464 8", "6 0 0 0 800 64"};
    for (int id = 1; id <= 6; ++id)
      QCOMPARE(database.row(id), rows[id - 1]);
    QCOMPARE(database.value("SELECT raw_value FROM elements WHERE id = 1"), QStringLiteral("Movie"));
    QCOMPARE(database.value("SELECT seq FROM sqlite_sequence WHERE name = 'elements'"), QStringLiteral("6"));
    QCOMPARE(database.value("SELECT group_concat(id || ':' || seq_num) FROM elements_seq_num"), QStringLiteral("4:1"));
    QCOMPARE(database.value("SELECT COUNT(*) FROM dictionary"), QStringLiteral("5"));
    QCOMPARE(database.value("SELECT name FROM dictionary JOIN elements ON name_id = dictionary.id WHERE "
                            "elements.id = 6"),
             QString::fromLatin1(corvanta::kGarbageName.data(), int(corvanta::kGarbageName.size())));
    const corvanta::DatabaseReport report = database.expectConsistent(864);
    // Elements, top-level elements, bits covered, bits of GARBAGE.
    QCOMPARE(QList<int64_t>({report.element_count, report.top_level_count, report.covered_bits, report.garbage_bits}),
             QList<int64_t>({6, 2, 864, 64}));

    TestDatabase empty;
    QVERIFY(ElementWriter(empty.db()).finish());
    QCOMPARE(empty.value("SELECT seq FROM sqlite_sequence WHERE name = 'elements'"), QString());
    empty.expectConsistent();
  }

  void clampsChildToParent_data() {
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("hrf");
    QTest::addColumn<QString>("expected");   // "offset size hrf_value"
    const qint64 max = std::numeric_limits<qint64>::max(), min = std::numeric_limits<qint64>::min();
    // The parent spans bits [100, 200).
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
    database.expectConsistent();
  }

  // Final sizes too small for the children grow back, sizes past the parent or the file
  // are cut; stray closes are ignored and finish() closes what was left open.
  void closingKeepsChildrenInsideParentsAndTheFile() {
    TestDatabase database;
    ElementWriter writer(database.db());
    writer.setFileSize(1000);
    writer.openUnit("outer", 0, 900);
    writer.openUnit("shrunk", 0, 500);
    writer.addField("x", 0, 300, "");
    writer.closeUnit(100);
    writer.openUnit("grown", 300, 100);
    writer.closeUnit(5000);
    writer.closeUnit();
    writer.closeUnit();
    writer.closeUnit(42);
    writer.openUnit("mdat", 900, 1000);
    writer.addField("sample", 920, 500, "", "", 1);
    QVERIFY(writer.finish());
    QVERIFY(writer.finish());
    QCOMPARE(database.row(2), QStringLiteral("2 1 1 3 0 300"));
    QCOMPARE(database.row(4), QStringLiteral("4 1 1 0 300 600"));
    QCOMPARE(database.row(5), QStringLiteral("5 0 0 6 900 100"));
    QCOMPARE(database.row(6), QStringLiteral("6 1 5 0 920 80"));
    QCOMPARE(database.value("SELECT group_concat(hrf_value) FROM elements WHERE id IN (4, 5)"),
             QStringLiteral("truncated,truncated"));
    QCOMPARE(database.expectConsistent(1000).covered_bits, 1000);
  }

  // A unit that declared the most it might take and closed smaller lets its parent close
  // smaller too: the parent keeps what its children finally take, not what they declared.
  void parentsShrinkWithTheirUnits() {
    TestDatabase database;
    ElementWriter writer(database.db());
    writer.openUnit("outer", 0, 1000);
    writer.openUnit("inner", 0, 1000);
    writer.addField("x", 0, 8, "");
    writer.closeUnit(8);
    writer.closeUnit(16);
    QVERIFY(writer.finish());
    QCOMPARE(database.row(1), QStringLiteral("1 0 0 2 0 16"));
    QCOMPARE(database.row(2), QStringLiteral("2 1 1 3 0 8"));
    database.expectConsistent();
  }

  // Rows go out in blocks to a second thread while the writer goes on: units whose rows
  // went out blocks ago still get their final size, last child, summary and truncation
  // mark, and every numbered row keeps its number. Ids below are from the plan in the
  // comments, not from the writer.
  void closesUnitsWhoseRowsWentOutLongAgo() {
    constexpr int kChunks = 40;
    constexpr int kSamples = 2500;    // 100,000 samples: several blocks of rows
    TestDatabase database;
    ElementWriter writer(database.db());
    writer.setFileSize(8 * 1000000);
    writer.openUnit("mdat", 0, 8 * 2000000, "data");             // id 1, past the file: cut at close
    for (int chunk = 0; chunk < kChunks; ++chunk) {
      const int64_t first_byte = int64_t(chunk) * kSamples * 10;
      writer.openUnit("chunk", first_byte * 8, 8 * 10 * kSamples, "chunk", "", chunk);
      for (int i = 0; i < kSamples; ++i)
        writer.addField("sample", (first_byte + i * 10) * 8, 80, std::to_string(i), "", i);
      if (chunk % 2 == 0)
        writer.setUnitValue(std::to_string(kSamples) + " samples", "chunk " + std::to_string(chunk));
      writer.closeUnit();
    }
    writer.closeUnit(8 * 2000000);
    QVERIFY2(writer.finish(), qPrintable(writer.errorString()));

    // chunk c has id 2 + c * (kSamples + 1); its samples follow it.
    const int64_t last_chunk = 2 + int64_t(kChunks - 1) * (kSamples + 1);
    QCOMPARE(database.row(1), QStringLiteral("1 0 0 %1 0 8000000").arg(last_chunk));
    QCOMPARE(database.value("SELECT hrf_value FROM elements WHERE id = 1"), QStringLiteral("truncated"));
    for (int chunk : {0, 1, 17, kChunks - 1}) {
      const int64_t id = 2 + int64_t(chunk) * (kSamples + 1);
      QCOMPARE(database.row(id), QStringLiteral("%1 1 1 %2 %3 %4")
                                     .arg(id).arg(id + kSamples).arg(int64_t(chunk) * kSamples * 80)
                                     .arg(kSamples * 80));
      QCOMPARE(database.value(QStringLiteral("SELECT raw_value || '/' || hrf_value FROM elements WHERE id = %1")
                                  .arg(id)),
               chunk % 2 == 0 ? QStringLiteral("2500 samples/chunk %1").arg(chunk) : QStringLiteral("chunk/"));
      QCOMPARE(database.value(QStringLiteral("SELECT seq_num FROM elements_seq_num WHERE id = %1").arg(id + kSamples)),
               QString::number(kSamples - 1));
    }
    QCOMPARE(database.value("SELECT COUNT(*) FROM elements_seq_num"), QString::number(kChunks * (kSamples + 1)));
    QCOMPARE(database.value("SELECT COUNT(*) FROM dictionary"), QStringLiteral("3"));
    QCOMPARE(database.expectConsistent(8 * 1000000).element_count, 1 + kChunks * (kSamples + 1));
  }

  // An SQLite error in the middle (a trigger refuses one row of a later block) fails
  // finish() with SQLite's own message, ends the inserting thread and the transaction;
  // a writer dropped without finish() (a module that threw) does the same.
  void stopsCleanlyOnAnSqliteError_data() {
    QTest::addColumn<bool>("finish");
    QTest::newRow("finished") << true;
    QTest::newRow("dropped midway") << false;
  }
  void stopsCleanlyOnAnSqliteError() {
    QFETCH(bool, finish);
    TestDatabase database;
    QCOMPARE(sqlite3_exec(database.db(),
                          "CREATE TEMP TRIGGER refuse BEFORE INSERT ON main.elements WHEN new.id = 40000 "
                          "BEGIN SELECT RAISE(ABORT, 'row 40000 refused'); END",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);
    const int threads_before = corvanta::test::threadCount();
    {
      ElementWriter writer(database.db());
      writer.openUnit("file", 0, 8 * 200000);
      for (int i = 0; i < 200000; ++i)
        writer.addField("byte", i * 8, 8, "0", "", i);
      if (finish) {
        QVERIFY(!writer.finish());
        QVERIFY2(writer.errorString().contains("row 40000 refused"), qPrintable(writer.errorString()));
        QCOMPARE(corvanta::test::threadCount(), threads_before);
      }
    }
    QCOMPARE(corvanta::test::threadCount(), threads_before);
    // Without a journal nothing is undone, but the transaction is over and the
    // connection free for the caller to discard.
    QCOMPARE(sqlite3_get_autocommit(database.db()), 1);
    QVERIFY(database.value("SELECT COUNT(*) FROM elements").toInt() < 40000);
  }

  // A hostile file cannot nest without end, and closing past the limit stays balanced.
  void boundsNestingDepth() {
    TestDatabase database;
    ElementWriter writer(database.db());
    for (int i = 0; i < 100; ++i)
      writer.openUnit("box", i, 1000 - i);
    writer.addField("leaf", 500, 8, "");
    for (int i = 0; i < 100; ++i)
      writer.closeUnit();
    writer.addField("after", 2000, 8, "");
    QVERIFY(writer.finish());
    QCOMPARE(database.value("SELECT MAX(level) FROM elements").toInt(), ElementWriter::kMaxDepth);
    QCOMPARE(database.value("SELECT level FROM elements WHERE id = 102"), QStringLiteral("0"));
    database.expectConsistent();
  }

  // Below the deepest level nothing is written and nothing takes an id: a unit at that level
  // becomes childless, and the calls below it name that unit.
  void writesNothingBelowTheDeepestLevel() {
    TestDatabase database;
    ElementWriter writer(database.db());
    writer.setDeepestLevel(1);
    QCOMPARE(writer.openUnit("packet", 0, 1504), int64_t(1));
    QCOMPARE(writer.openUnit("header", 0, 32, "0x47"), int64_t(2));
    QCOMPARE(writer.addField("PID", 11, 13, "256"), int64_t(2));
    QCOMPARE(writer.openUnit("deeper", 24, 8), int64_t(2));
    writer.setUnitValue("not kept");
    QCOMPARE(writer.addGarbage(24, 4), int64_t(2));
    QCOMPARE(writer.depth(), 3);
    writer.closeUnit();
    writer.setUnitValue("header summary");
    writer.closeUnit();
    QCOMPARE(writer.addField("payload", 32, 1472, ""), int64_t(3));
    writer.closeUnit();
    QCOMPARE(writer.addField("top", 1504, 8, ""), int64_t(4));
    QVERIFY(writer.finish());
    QCOMPARE(database.value("SELECT seq FROM sqlite_sequence WHERE name = 'elements'"), QStringLiteral("4"));
    QCOMPARE(database.row(2), QStringLiteral("2 1 1 0 0 32"));
    QCOMPARE(database.value("SELECT raw_value FROM elements WHERE id = 2"), QStringLiteral("header summary"));
    database.expectConsistent(1512);
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

  void checkFindsEachKindOfDamage_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<qint64>("file_bits");  // -1: unknown
    QTest::addColumn<QString>("problem");
    auto row = [](const char* name, const char* damage, const char* problem, qint64 file_bits = -1) {
      QTest::newRow(name) << QString(damage) << file_bits << QString(problem);
    };
    row("gap in ids", "UPDATE elements SET id = 10 WHERE id = 6", "not 1..N");
    row("wrong level", "UPDATE elements SET level = 2 WHERE id = 2", "element 2 has level 2");
    row("top-level with a level", "UPDATE elements SET level = 1 WHERE id = 6", "top-level element 6");
    row("parent not an ancestor", "UPDATE elements SET parent_id = 2 WHERE id = 5", "not pre-order");
    row("wrong last child", "UPDATE elements SET last_child_id = 2 WHERE id = 1", "last_child_id 2");
    row("leaf claims a child", "UPDATE elements SET last_child_id = 5 WHERE id = 2", "last_child_id 5");
    row("child outside parent", "UPDATE elements SET size = 1000 WHERE id = 5", "outside its parent");
    row("negative size", "UPDATE elements SET size = -8 WHERE id = 2", "size -8");
    row("wrong sequence row", "UPDATE sqlite_sequence SET seq = 5", "says 5 elements");
    row("no sequence row", "DELETE FROM sqlite_sequence", "no row");
    row("dangling name", "DELETE FROM dictionary WHERE name = 'b'", "without a dictionary row");
    row("two sequence numbers",
        "DROP TABLE elements_seq_num; CREATE TABLE elements_seq_num (id INTEGER, seq_num INTEGER);"
        "INSERT INTO elements_seq_num VALUES (4, 1), (4, 2)", "element 4 has 2 sequence number rows");
    row("no parent index", "DROP INDEX elements_parent_id", "no index");
    row("open set with two columns", "DROP TABLE open_elements; CREATE TABLE open_elements (id INTEGER, extra)",
        "open_elements");
    row("numbered garbage", "INSERT INTO elements_seq_num VALUES (6, 3)", "GARBAGE element 6");
    row("missing table", "DROP TABLE dictionary", "statement");
    row("top level past the file", "", "outside the file", 840);
  }
  void checkFindsEachKindOfDamage() {
    QFETCH(QString, damage);
    QFETCH(qint64, file_bits);
    QFETCH(QString, problem);
    TestDatabase database;
    writeGoodTree(database);
    QCOMPARE(sqlite3_exec(database.db(), damage.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    const corvanta::DatabaseReport report = corvanta::checkDatabase(database.db(), file_bits);
    QVERIFY(!report.ok());
    QVERIFY2(report.summary().contains(problem), qPrintable(report.summary()));
  }
};

CORVANTA_TEST_CORE_MAIN(ElementDatabaseTest)
#include "ElementDatabaseTest.moc"
