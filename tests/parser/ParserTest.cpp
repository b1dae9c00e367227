#include "DatabaseCheck.h"
#include "ElementDatabase.h"
#include "ElementWriter.h"
#include "FormatModule.h"
#include "MappedFile.h"
#include "Parser.h"
#include "Plugins.h"
#include "TestSupport.h"

#include <sqlite3.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtConcurrent>

#include <cstring>
#include <memory>

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

std::vector<corvanta::FormatModule> fakeModules() {
  return {{QStringLiteral("fake"), QStringLiteral("Fake"), {QStringLiteral("fake")}, probeFake, parseFake}};
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray fakeContent(int samples) {
  QByteArray bytes("FAKE");
  for (int i = 0; i < samples; ++i)
    bytes.append(char(i % 251));
  return bytes;
}

// Gives the connection back the way the viewer does.
void release(QSqlDatabase* connection) {
  delete connection;
  QSqlDatabase::removeDatabase(kConnection);
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
    modules = std::make_unique<corvanta::ScopedFormatModules>(fakeModules());
    writeFile(path("good.fake"), fakeContent(1000));
  }
  void cleanup() { QVERIFY(!QSqlDatabase::contains(kConnection)); }

  void listsPlugins() {
    const QList<Plugins::Plugin> plugins = Plugins::collectPlugins(false);
    QCOMPARE(plugins.size(), 1);
    QCOMPARE(plugins[0].name, QStringLiteral("Fake"));
    QCOMPARE(plugins[0].extensions, QStringList{QStringLiteral("fake")});
  }

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
    QTest::newRow("folder") << "" << QByteArray() << int(Parser::CannotReadFile) << "folder";
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

  void progressRisesFromZeroToHundredOnlyOnChange() {
    Parser parser;
    QList<int> values;
    connect(&parser, &Parser::progress, this, [&values](int percent) { values.append(percent); });
    QCOMPARE(parser.parseFile(path("good.fake"), QStringLiteral(":memory:"), QString()), 0);
    QCOMPARE(values.first(), 0);
    QCOMPARE(values.last(), 100);
    for (int i = 1; i < values.size(); ++i)
      QVERIFY2(values[i] > values[i - 1], qPrintable(QStringLiteral("step %1: %2 after %3")
                                                         .arg(i).arg(values[i]).arg(values[i - 1])));
    QVERIFY(values.size() > 50);
    QCOMPARE(parser.formatId(), QStringLiteral("fake"));
    release(parser.getConnection());
  }

  // The viewer takes the connection over on its own thread after a parse on a pool thread.
  void viewerStatementsRunOnTheGuiThread() {
    Parser parser;
    QFuture<int> future = QtConcurrent::run(&Parser::parseFile, &parser, path("good.fake"),
                                            QStringLiteral(":memory:"), QString());
    future.waitForFinished();
    QCOMPARE(future.result(), 0);
    QSqlDatabase* connection = parser.getConnection();
    QVERIFY(connection && connection->isOpen());
    QCOMPARE(parser.getConnection(), nullptr);
    QCOMPARE(connection->connectionName(), kConnection);
    {
      QSqlDatabase db = QSqlDatabase::database(kConnection, false);
      const corvanta::DatabaseReport report = corvanta::checkDatabase(db, 1004 * 8);
      QVERIFY2(report.ok(), qPrintable(report.summary()));
      QCOMPARE(report.covered_bits, 1004 * 8);
      runViewerStatements(db);
    }
    release(connection);
  }

  void refusesWhileThePreviousDatabaseIsInUse() {
    Parser first;
    QCOMPARE(first.parseFile(path("good.fake"), QStringLiteral(":memory:"), QString()), 0);
    QSqlDatabase* connection = first.getConnection();
    Parser second;
    QCOMPARE(second.parseFile(path("good.fake"), QStringLiteral(":memory:"), QString()), int(Parser::InvalidRequest));
    QVERIFY(second.errorString().contains("still in use"));
    QSqlQuery query(*connection);
    QVERIFY(query.exec("SELECT COUNT(*) FROM elements") && query.next());
    QCOMPARE(query.value(0).toInt(), 1003);
    query = QSqlQuery();
    QCOMPARE(first.parseFile(path("good.fake"), QStringLiteral(":memory:"), QString()), int(Parser::InvalidRequest));
    release(connection);
  }

  void writesADatabaseFile() {
    const QString output = path("out.sqlite");
    writeFile(output, "an older file that is replaced");
    {
      Parser parser;
      QCOMPARE(parser.parseFile(path("good.fake"), output, QString()), 0);
    }   // the parser removes a connection it did not hand over
    QVERIFY(!QSqlDatabase::contains(kConnection));
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("*partial*")}), QStringList());
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open_v2(QFile::encodeName(output).constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    const corvanta::DatabaseReport report = corvanta::checkDatabase(db, 1004 * 8);
    sqlite3_close(db);
    QVERIFY2(report.ok(), qPrintable(report.summary()));
    QCOMPARE(report.element_count, 1003);
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
    const QByteArray before = fakeContent(1000);
    Parser parser;
    QCOMPARE(parser.parseFile(path("good.fake"), output, QString()), int(Parser::InvalidRequest));
    QFile input(path("good.fake"));
    QVERIFY(input.open(QIODevice::ReadOnly));
    QCOMPARE(input.readAll(), before);
  }

 private:
  // Every statement the viewer runs, verbatim, with what it must yield on the fake file.
  static void runViewerStatements(const QSqlDatabase& db) {
    QSqlQuery query(db);
    query.exec("PRAGMA foreign_keys = ON");

    auto lookup = [&db](const char* sql, qlonglong id) {
      QSqlQuery kept(db);
      kept.prepare(QString::fromLatin1(sql));
      kept.addBindValue(QVariant(id));
      if (!kept.exec())
        return QVariant(QStringLiteral("failed"));
      const QVariant value = kept.next() ? kept.value(0) : QVariant();
      kept.finish();
      return value;
    };
    QCOMPARE(lookup("SELECT `level` FROM `elements` WHERE `id` = ?", 3).toInt(), 1);
    QCOMPARE(lookup("SELECT `parent_id` FROM `elements` WHERE `id` = ?", 4).toLongLong(), 3);
    QCOMPARE(lookup("SELECT `last_child_id` FROM `elements` WHERE `id` = ?", 1).toLongLong(), 3);
    QVERIFY(lookup("SELECT `id` FROM `open_elements` WHERE `id` = ?", 3).isNull());
    QVERIFY(!lookup("INSERT INTO `open_elements` VALUES(?)", 3).isValid());
    QCOMPARE(lookup("SELECT `id` FROM `open_elements` WHERE `id` = ?", 3).toLongLong(), 3);
    QVERIFY(!lookup("DELETE FROM `open_elements` WHERE `id` = ?", 3).isValid());
    QVERIFY(lookup("SELECT `id` FROM `open_elements` WHERE `id` = ?", 3).isNull());

    QSqlQuery children(db);
    QVERIFY(children.prepare("SELECT `id`, `last_child_id` FROM `elements` WHERE `parent_id` = ? ORDER BY `id`"));
    children.addBindValue(QVariant(qlonglong(1)));
    QVERIFY(children.exec());
    QStringList rows;
    while (children.next())
      rows << children.value(0).toString() + "/" + children.value(1).toString();
    QCOMPARE(rows, QStringList({"2/0", "3/1003"}));

    QVERIFY(query.exec("SELECT `id` FROM `elements` WHERE `parent_id` = 0 ORDER BY `id`"));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toLongLong(), 1);
    QVERIFY(!query.next());

    QSqlQuery block(db);
    QVERIFY(block.prepare(
        "SELECT elements.id, elements.level, elements.parent_id, elements.last_child_id, dictionary.name, "
        "elements.offset, elements.size, elements.raw_value, elements.hrf_value, elements_seq_num.seq_num FROM "
        "elements LEFT JOIN dictionary ON elements.name_id = dictionary.id LEFT JOIN elements_seq_num ON "
        "elements.id = elements_seq_num.id WHERE elements.id >= ? ORDER BY elements.id"));
    block.addBindValue(QVariant(qlonglong(3)));
    QVERIFY(block.exec());
    QVERIFY(block.next());
    QCOMPARE(block.value(4).toString(), QStringLiteral("samples"));
    QVERIFY(block.value(9).isNull());
    QVERIFY(block.next());
    QCOMPARE(block.value(0).toLongLong(), 4);
    QCOMPARE(block.value(2).toLongLong(), 3);
    QCOMPARE(block.value(5).toLongLong(), 32);
    QCOMPARE(block.value(6).toLongLong(), 8);
    QCOMPARE(block.value(7).toString(), QStringLiteral("0"));
    QCOMPARE(block.value(9).toLongLong(), 0);   // a real sequence number 0
    QVERIFY(!block.value(9).isNull());

    QVERIFY(query.exec("SELECT `seq` FROM `sqlite_sequence` WHERE `name` = \"elements\""));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 1003);
  }
};

CORVANTA_TEST_MAIN(ParserTest)
#include "ParserTest.moc"
