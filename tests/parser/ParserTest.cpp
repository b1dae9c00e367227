#include "DatabaseCheck.h"
#include "ElementWriter.h"
#include "FormatModule.h"
#include "MappedFile.h"
#include "Parser.h"
#include "TestSupport.h"

#include <QtConcurrent>
#include <QtSql>

#include <sqlite3.h>

#include <cstring>
#include <memory>
#include <thread>

namespace {

const QString kConnection = QStringLiteral("corvanta-container-viewer-connection");

// A format of our own: "FAKE" then one byte per sample; "FAIL" is a file the module
// accepts at first sight but then rejects. Progress is reported with repeats and a
// step back, as a careless module might.
int probeFake(const uint8_t* head, int64_t size, int64_t) {
  if (size >= 4 && (std::memcmp(head, "FAKE", 4) == 0 || std::memcmp(head, "FAIL", 4) == 0))
    return 80;
  return 0;
}

bool parseFake(corvanta::ParseContext& ctx) {
  const uint8_t* data = ctx.file.data();
  const int64_t size = ctx.file.size();
  if (std::memcmp(data, "FAIL", 4) == 0) {
    ctx.error = QStringLiteral("the fake header is broken");
    return false;
  }
  ctx.writer.openUnit("file", 0, size * 8, "Fake file");
  ctx.writer.addField("magic", 0, 32, "FAKE");
  ctx.writer.openUnit("samples", 32, (size - 4) * 8);
  for (int64_t i = 4; i < size; ++i) {
    ctx.writer.addField("sample", i * 8, 8, std::to_string(data[i]), "", i - 4);
    ctx.progress(i);
    ctx.progress(i);
    ctx.progress(i - 2);
  }
  ctx.writer.closeUnit();
  ctx.writer.closeUnit();
  return true;
}

// "PAGE": a large file read one byte per page, the way a module skips payloads it does
// not decode; progress after every page.
constexpr int64_t kPage = 4096;
int probePaged(const uint8_t* head, int64_t size, int64_t) {
  return size >= 4 && std::memcmp(head, "PAGE", 4) == 0 ? 90 : 0;
}
bool parsePaged(corvanta::ParseContext& ctx) {
  const uint8_t* data = ctx.file.data();
  const int64_t size = ctx.file.size();
  ctx.writer.openUnit("file", 0, size * 8);
  for (int64_t page = 0; page < size; page += kPage) {
    ctx.writer.addField("page", page * 8, std::min(kPage, size - page) * 8, std::to_string(data[page]));
    ctx.progress(page + kPage);
  }
  ctx.writer.closeUnit();
  return true;
}

// "STRV": a module during whose analysis SQLite runs out of the memory it may use, so
// that an insert fails while the rows go out on the writer's second thread.
int probeStarved(const uint8_t* head, int64_t size, int64_t) {
  return size >= 4 && std::memcmp(head, "STRV", 4) == 0 ? 90 : 0;
}
bool parseStarved(corvanta::ParseContext& ctx) {
  sqlite3_hard_heap_limit64(sqlite3_memory_used() + (1 << 20));
  ctx.writer.openUnit("file", 0, ctx.file.size() * 8);
  for (int64_t i = 0; i < 1000000; ++i)
    ctx.writer.addField("sample", 0, 8, "a sample of a starved analysis", "", i);
  ctx.writer.closeUnit();
  return true;
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(file.write(bytes), bytes.size());
}

// The fake file of 1000 samples: 1003 elements in 1004 bytes.
QByteArray fakeContent() {
  QByteArray bytes("FAKE");
  for (int i = 0; i < 1000; ++i)
    bytes.append(char(i % 251));
  return bytes;
}

// Gives the connection back the way the viewer does.
void release(QSqlDatabase* connection) {
  delete connection;
  QSqlDatabase::removeDatabase(kConnection);
}

// Every statement the viewer runs, verbatim, with the rows it must yield on the fake file:
// columns joined by '|', rows by ';', NULL as "NULL"; ";..." stands for more rows.
void runViewerStatements(const QSqlDatabase& db) {
  const struct {
    QString sql;
    QVariant bound;
    QString rows;
  } statements[] = {
      {"PRAGMA foreign_keys = ON", {}, ""},
      {"SELECT `level` FROM `elements` WHERE `id` = ?", 3, "1"},
      {"SELECT `parent_id` FROM `elements` WHERE `id` = ?", 4, "3"},
      {"SELECT `last_child_id` FROM `elements` WHERE `id` = ?", 1, "3"},
      {"SELECT `id` FROM `open_elements` WHERE `id` = ?", 3, ""},
      {"INSERT INTO `open_elements` VALUES(?)", 3, ""},
      {"SELECT `id` FROM `open_elements` WHERE `id` = ?", 3, "3"},
      {"DELETE FROM `open_elements` WHERE `id` = ?", 3, ""},
      {"SELECT `id` FROM `open_elements` WHERE `id` = ?", 3, ""},
      {"SELECT `id`, `last_child_id` FROM `elements` WHERE `parent_id` = ? ORDER BY `id`", 1, "2|0;3|1003"},
      {"SELECT `id` FROM `elements` WHERE `parent_id` = 0 ORDER BY `id`", {}, "1"},
      {"SELECT elements.id, elements.level, elements.parent_id, elements.last_child_id, dictionary.name, "
       "elements.offset, elements.size, elements.raw_value, elements.hrf_value, elements_seq_num.seq_num FROM "
       "elements LEFT JOIN dictionary ON elements.name_id = dictionary.id LEFT JOIN elements_seq_num ON "
       "elements.id = elements_seq_num.id WHERE elements.id >= ? ORDER BY elements.id",
       3, "3|1|1|1003|samples|32|8000|||NULL;4|2|3|0|sample|32|8|0||0;..."},
      {"SELECT `seq` FROM `sqlite_sequence` WHERE `name` = \"elements\"", {}, "1003"},
  };
  for (const auto& statement : statements) {
    QSqlQuery query(db);
    QVERIFY2(query.prepare(statement.sql), qPrintable(statement.sql));
    if (statement.bound.isValid())
      query.addBindValue(statement.bound);
    QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
    QStringList rows;
    while (query.next()) {
      QStringList columns;
      for (int c = 0; c < query.record().count(); ++c)
        columns << (query.isNull(c) ? QStringLiteral("NULL") : query.value(c).toString());
      rows << columns.join('|');
    }
    if (statement.rows.endsWith(";..."))
      rows = rows.mid(0, int(statement.rows.count(';'))) << "...";
    QCOMPARE(rows.join(';'), statement.rows);
  }
}

}  // namespace

class ParserTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir;
  std::unique_ptr<corvanta::ScopedFormatModules> modules;

  QString path(const QString& name) const { return dir.filePath(name); }

 private Q_SLOTS:
  void initTestCase() {
    QVERIFY(dir.isValid());
    modules = std::make_unique<corvanta::ScopedFormatModules>(std::vector<corvanta::FormatModule>{
        {QStringLiteral("fake"), QStringLiteral("Fake"), {QStringLiteral("fake")}, probeFake, parseFake},
        {QStringLiteral("paged"), QStringLiteral("Paged"), {QStringLiteral("paged")}, probePaged, parsePaged},
        {QStringLiteral("starved"), QStringLiteral("Starved"), {}, probeStarved, parseStarved}});
    writeFile(path("good.fake"), fakeContent());
  }
  void cleanup() { QVERIFY(!QSqlDatabase::contains(kConnection)); }

  void choosesByContentThenExtension_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("only the content fits") << "x.zzz" << QByteArray("AA") << "a";
    QTest::newRow("tie: the extension decides") << "x.bbb" << QByteArray("AA") << "b";
    QTest::newRow("tie: extension in capitals") << "X.BBB" << QByteArray("AA") << "b";
    QTest::newRow("content beats the extension") << "x.bbb" << QByteArray("AC") << "c";
    QTest::newRow("nobody accepts") << "x.bbb" << QByteArray("ZZ") << "";
  }
  void choosesByContentThenExtension() {
    QFETCH(QString, file);
    QFETCH(QByteArray, head);
    QFETCH(QString, chosen);
    auto probeA = [](const uint8_t* data, int64_t, int64_t) { return data[0] == 'A' ? 50 : 0; };
    auto probeC = [](const uint8_t* data, int64_t, int64_t) { return data[0] == 'A' && data[1] == 'C' ? 90 : 0; };
    const std::vector<corvanta::FormatModule> modules = {
        {"a", "A", {"aaa"}, probeA, parseFake},
        {"b", "B", {"bbb"}, probeA, parseFake},
        {"c", "C", {"ccc"}, probeC, parseFake},
    };
    const auto* data = reinterpret_cast<const uint8_t*>(head.constData());
    const corvanta::FormatModule* module = corvanta::chooseModuleFrom(modules, data, head.size(), 100, file);
    QCOMPARE(module ? module->id : QString(), chosen);
  }

  void failsWithAReason_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");   // null: do not create the file
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "missing.fake" << QByteArray() << int(Parser::CannotReadFile) << "cannot open file";
    QTest::newRow("empty") << "empty.fake" << QByteArray("") << int(Parser::EmptyFile) << "empty file";
    QTest::newRow("unknown") << "text.fake" << QByteArray("hello") << int(Parser::UnknownFormat) << "unknown format";
    QTest::newRow("rejected") << "fail.fake" << QByteArray("FAIL....") << int(Parser::UnknownFormat)
                              << "fake header is broken";
  }
  void failsWithAReason() {
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(int, result);
    QFETCH(QString, reason);
    if (!content.isNull())
      writeFile(path(file), content);
    Parser parser;
    QCOMPARE(parser.parseFile(path(file), QStringLiteral(":memory:"), QString()), result);
    QVERIFY2(parser.errorString().contains(reason), qPrintable(parser.errorString()));
    QCOMPARE(parser.getConnection(), nullptr);
  }

  // The viewer's road: the analysis on a pool thread, reporting progress; the connection
  // taken over on the GUI thread, where every viewer statement runs. While the viewer
  // holds the database no other analysis may start, and a parser analyses only once.
  void parseOnAPoolThreadThenViewOnTheGuiThread() {
    Parser parser;
    QList<int> values;
    connect(&parser, &Parser::progress, this, [&values](int percent) { values.append(percent); },
            Qt::DirectConnection);
    QFuture<int> future = QtConcurrent::run(&Parser::parseFile, &parser, path("good.fake"),
                                            QStringLiteral(":memory:"), QString());
    QCOMPARE(future.result(), 0);
    QCOMPARE(parser.formatId(), QStringLiteral("fake"));
    QVERIFY(values.size() > 50);
    QCOMPARE(values.first(), 0);
    QCOMPARE(values.last(), 100);
    for (int i = 1; i < values.size(); ++i)
      QVERIFY2(values[i] > values[i - 1], qPrintable(QStringLiteral("%1 after %2").arg(values[i]).arg(values[i - 1])));

    QSqlDatabase* connection = parser.getConnection();
    QVERIFY(connection && connection->isOpen());
    QCOMPARE(parser.getConnection(), nullptr);
    QCOMPARE(connection->connectionName(), kConnection);
    Parser second;
    QCOMPARE(second.parseFile(path("good.fake"), QStringLiteral(":memory:"), QString()), int(Parser::InvalidRequest));
    QVERIFY(second.errorString().contains("still in use"));
    QCOMPARE(parser.parseFile(path("good.fake"), QStringLiteral(":memory:"), QString()), int(Parser::InvalidRequest));
    {
      QSqlDatabase db = QSqlDatabase::database(kConnection, false);
      const corvanta::DatabaseReport report = corvanta::checkDatabase(db, 1004 * 8);
      QVERIFY2(report.ok(), qPrintable(report.summary()));
      QCOMPARE(report.covered_bits, 1004 * 8);
      runViewerStatements(db);
    }
    release(connection);
  }

  // A database error in the middle of an analysis fails it with SQLite's reason and
  // leaves nothing behind: no thread, no connection; the next analysis works.
  void abortsCleanlyOnADatabaseError() {
    writeFile(path("starved.bin"), QByteArray("STRV...."));
    const int threads_before = corvanta::test::threadCount();
    Parser parser;
    const int result = parser.parseFile(path("starved.bin"), QStringLiteral(":memory:"), QString());
    sqlite3_hard_heap_limit64(0);
    QCOMPARE(result, int(Parser::DatabaseFailed));
    QVERIFY2(parser.errorString().contains("database error"), qPrintable(parser.errorString()));
    QCOMPARE(parser.getConnection(), nullptr);
    QVERIFY(!QSqlDatabase::contains(kConnection));
    // Pool threads of earlier tests may end meanwhile, none may be added.
    QVERIFY(corvanta::test::threadCount() <= threads_before);

    Parser next;
    QCOMPARE(next.parseFile(path("good.fake"), QStringLiteral(":memory:"), QString()), int(Parser::Success));
    release(next.getConnection());
  }

  void neverWritesOverTheInput_data() {
    QTest::addColumn<QString>("output");
    QTest::newRow("same path") << path("good.fake");
    QTest::newRow("through a link") << path("link.fake");
    QTest::newRow("with dots") << dir.path() + "/./sub/../good.fake";
  }
  void neverWritesOverTheInput() {
    QFETCH(QString, output);
    QDir(dir.path()).mkpath("sub");
    QFile::link(path("good.fake"), path("link.fake"));
    Parser parser;
    QCOMPARE(parser.parseFile(path("good.fake"), output, QString()), int(Parser::InvalidRequest));
    QFile input(path("good.fake"));
    QVERIFY(input.open(QIODevice::ReadOnly));
    QCOMPARE(input.readAll(), fakeContent());
  }

  // Another program cuts the file short while it is being analysed: reads past the new end
  // would raise SIGBUS on the mapping. The analysis ends with a clear reason, the process
  // lives on, and the next analysis works.
  void survivesAFileTruncatedDuringTheAnalysis() {
    const QString file = path("shrinking.paged");
    QByteArray content(64 << 20, 'x');
    content.replace(0, 4, "PAGE");
    writeFile(file, content);
    Parser parser;
    bool truncated = false;
    connect(&parser, &Parser::progress, &parser, [&](int percent) {
      if (percent < 10 || truncated) return;
      std::thread cutter([&] { truncated = QFile::resize(file, 3 * kPage + 100); });
      cutter.join();
    }, Qt::DirectConnection);
    QCOMPARE(parser.parseFile(file, QStringLiteral(":memory:"), QString()), int(Parser::CannotReadFile));
    QVERIFY(truncated);
    QVERIFY2(parser.errorString().contains("changed while it was being analysed"), qPrintable(parser.errorString()));
    QCOMPARE(parser.getConnection(), nullptr);

    Parser next;
    QCOMPARE(next.parseFile(file, QStringLiteral(":memory:"), QString()), int(Parser::Success));
    release(next.getConnection());
  }

  // What the parser relies on: past the new end the mapping reads zeros and says so; a
  // file that did not change says nothing.
  void mappedFileReadsZerosPastATruncation() {
    const QString file = path("cut.bin");
    writeFile(file, QByteArray(8 * kPage, char(0x5a)));
    corvanta::MappedFile mapped;
    QVERIFY(mapped.open(file));
    QCOMPARE(mapped.data()[5 * kPage], uint8_t(0x5a));
    QVERIFY(!mapped.changed());
    QVERIFY(QFile::resize(file, 2 * kPage));
    QCOMPARE(mapped.data()[kPage], uint8_t(0x5a));
    QVERIFY(!mapped.changed());
    QCOMPARE(mapped.data()[6 * kPage + 7], uint8_t(0));
    QVERIFY(mapped.changed());
    QCOMPARE(mapped.data()[8 * kPage - 1], uint8_t(0));
  }
};

CORVANTA_TEST_MAIN(ParserTest)
#include "ParserTest.moc"
