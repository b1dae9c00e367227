// The analysis of bytes in memory that Parser and the fuzz targets share: what a probe is
// shown, and how the module's answer and the database's become a result.
#include "Analysis.h"
#include "DatabaseCheck.h"
#include "ElementDatabase.h"
#include "ElementWriter.h"
#include "FormatModule.h"
#include "TestSupport.h"

#include <sqlite3.h>

namespace {

int64_t seen_head_size = -1;
int64_t seen_file_size = -1;

int probeRecording(const uint8_t*, int64_t head_size, int64_t file_size) {
  seen_head_size = head_size;
  seen_file_size = file_size;
  return 50;
}

// The first byte says what the module does: 'W' writes one unit over everything, 'R'
// refuses with a reason, anything else refuses without one. Progress is always reported.
bool parseByFirstByte(corvanta::ParseContext& ctx) {
  ctx.progress(1);
  if (ctx.file.data()[0] == 'R')
    ctx.error = QStringLiteral("the header is broken");
  if (ctx.file.data()[0] != 'W')
    return false;
  ctx.writer.openUnit("file", 0, ctx.file.size() * 8, "Test file");
  ctx.writer.closeUnit();
  return true;
}

const corvanta::FormatModule kTestModule{QStringLiteral("test"), QStringLiteral("Test"), {QStringLiteral("tst")},
                                         probeRecording, parseByFirstByte};

struct Database {
  sqlite3* db = nullptr;
  explicit Database(bool with_schema) {
    sqlite3_open(":memory:", &db);
    if (with_schema)
      corvanta::ElementDatabase::createSchema(db, true, nullptr);
  }
  ~Database() { sqlite3_close(db); }
};

corvanta::FileBytes bytesOf(const QByteArray& bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size()};
}

}  // namespace

class AnalysisTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void probeSeesTheHeadAndTheWholeSize_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("head");
    QTest::newRow("smaller than the head") << 10 << 10;
    QTest::newRow("exactly the head") << 4096 << 4096;
    QTest::newRow("larger than the head") << 10000 << 4096;
  }
  void probeSeesTheHeadAndTheWholeSize() {
    QFETCH(int, size);
    QFETCH(int, head);
    corvanta::ScopedFormatModules modules({kTestModule});
    const QByteArray bytes(size, 'W');
    QCOMPARE(corvanta::chooseModuleFor(bytesOf(bytes), QString()), &corvanta::formatModules()[0]);
    QCOMPARE(seen_head_size, int64_t(head));
    QCOMPARE(seen_file_size, int64_t(size));
  }

  void resultOfTheModuleAndTheDatabase_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("schema");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");
    QTest::newRow("written") << QByteArray("W123") << true << int(corvanta::AnalysisResult::Done) << "";
    QTest::newRow("refused with a reason") << QByteArray("R123") << true
                                           << int(corvanta::AnalysisResult::NotThisFormat) << "the header is broken";
    QTest::newRow("refused without one") << QByteArray("x123") << true
                                         << int(corvanta::AnalysisResult::NotThisFormat) << "not a Test file";
    QTest::newRow("no element tables") << QByteArray("W123") << false
                                       << int(corvanta::AnalysisResult::DatabaseFailed) << "database error";
  }
  void resultOfTheModuleAndTheDatabase() {
    QFETCH(QByteArray, content);
    QFETCH(bool, schema);
    QFETCH(int, status);
    QFETCH(QString, reason);
    Database database(schema);
    // No progress function: the fuzz targets pass none.
    const corvanta::AnalysisResult result = corvanta::analyse(kTestModule, bytesOf(content), database.db);
    QCOMPARE(int(result.status), status);
    QVERIFY2(reason.isEmpty() ? result.reason.isEmpty() : result.reason.contains(reason), qPrintable(result.reason));
    if (result.status == corvanta::AnalysisResult::Done) {
      const corvanta::DatabaseReport report = corvanta::checkDatabase(database.db, content.size() * 8);
      QVERIFY2(report.ok(), qPrintable(report.summary()));
      QCOMPARE(report.element_count, 1);
    }
  }
};

CORVANTA_TEST_CORE_MAIN(AnalysisTest)
#include "AnalysisTest.moc"
