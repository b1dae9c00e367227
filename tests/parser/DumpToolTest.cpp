#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <functional>

namespace {

// ftyp (isom, minor 512, compatible isom), free, and an mdat of four bytes.
const QByteArray kMinimalMp4 = QByteArray::fromHex(
    "00000014" "66747970" "69736f6d" "00000200" "69736f6d"
    "00000008" "66726565"
    "0000000c" "6d646174" "01020304");

struct Run {
  int exit_code = -1;
  QString out;
  QString err;
};

Run runTool(const QStringList& arguments) {
  QProcess process;
  process.start(QStringLiteral(CORVANTA_DUMP_TOOL), arguments);
  Run run;
  if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
    return run;
  run.exit_code = process.exitCode();
  run.out = QString::fromUtf8(process.readAllStandardOutput());
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(file.write(bytes), bytes.size());
}

}  // namespace

class DumpToolTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir;
  QString path(const QString& name) const { return dir.filePath(name); }

 private Q_SLOTS:
  void initTestCase() {
    QVERIFY(dir.isValid());
    writeFile(path("text.mp4"), QByteArray("just some text, no container\n"));
    writeFile(path("minimal.mp4"), kMinimalMp4);
  }

  // 2 a bad command line, 3 a file that cannot be read, 4 an unknown format.
  void exitsWithAClearStatus_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exit_code");
    QTest::addColumn<QString>("message");   // expected in standard error
    QTest::newRow("no file") << QStringList() << 2 << "no container file given";
    QTest::newRow("unknown option") << QStringList{"--verbose", path("text.mp4")} << 2 << "unknown option '--verbose'";
    QTest::newRow("database over the input") << QStringList{"--db", path("text.mp4"), path("text.mp4")} << 2
                                             << "refusing";
    QTest::newRow("json into a database") << QStringList{"--json", "--db", path("x.sqlite"), path("text.mp4")} << 2
                                          << "does not go with --db";
    QTest::newRow("frames and faults") << QStringList{"--frames", "--faults", path("text.mp4")} << 2 << "give one";
    QTest::newRow("frames into a database") << QStringList{"--frames", "--db", path("x.sqlite"), path("text.mp4")}
                                            << 2 << "do not go with --db";
    QTest::newRow("count into a database") << QStringList{"--count", "--db", path("x.sqlite"), path("text.mp4")}
                                           << 2 << "does not go with --db";
    QTest::newRow("count and json") << QStringList{"--count", "--json", path("text.mp4")} << 2 << "give one";
    QTest::newRow("missing file") << QStringList{path("missing.mp4")} << 3 << "cannot open file";
    QTest::newRow("unknown format") << QStringList{path("text.mp4")} << 4 << "unknown format";
  }
  void exitsWithAClearStatus() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exit_code);
    QFETCH(QString, message);
    const Run run = runTool(arguments);
    QCOMPARE(run.exit_code, exit_code);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
  }

  void listsFormats() {
    const Run run = runTool({"--formats"});
    QCOMPARE(run.exit_code, 0);
    QVERIFY2(run.out.contains(QRegularExpression("^isobmff\tMP4\t.*\\bmp4\\b", QRegularExpression::MultilineOption)),
             qPrintable(run.out));
  }

  void printsTheTreeAndWritesTheDatabase() {
    const Run run = runTool({"--check", path("minimal.mp4")});
    QCOMPARE(run.exit_code, 0);
    // Standard error is no terminal here: no progress, only the check's summary.
    QVERIFY2(!run.err.contains('%') && run.err.contains("0 problems"), qPrintable(run.err));
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 3, qPrintable(run.out));
    QVERIFY2(lines.first().startsWith("ftyp 0 +20"), qPrintable(lines.first()));

    // An older file is replaced, with no partial file left behind; the check runs on
    // the database as written.
    const QString output = path("out.sqlite");
    writeFile(output, "an older file");
    const Run to_file = runTool({"--check", "--db", output, path("minimal.mp4")});
    QCOMPARE(to_file.exit_code, 0);
    QVERIFY2(to_file.err.contains("0 problems"), qPrintable(to_file.err));
    QVERIFY(to_file.out.isEmpty());
    QFile database(output);
    QVERIFY(database.open(QIODevice::ReadOnly));
    QVERIFY(database.read(16).startsWith("SQLite format 3"));
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("*partial*")}), QStringList());
  }

  // --count gives the element count the viewer reads, the same on both paths as the tree's lines;
  // the lazy one decodes no Cluster for it.
  void printsTheElementCount_data() {
    QTest::addColumn<QString>("mode");
    QTest::newRow("eager") << "--eager";
    QTest::newRow("lazy") << "--lazy";
  }
  void printsTheElementCount() {
    QFETCH(QString, mode);
    const QString file = corvanta::test::dataFile(QStringLiteral("matroska/mkvmerge-h264-aac.mkv"));
    const Run tree = runTool({file});
    const Run count = runTool({mode, "--count", file});
    QCOMPARE(count.exit_code, 0);
    QCOMPARE(count.out, QString::number(tree.out.count('\n')) + '\n');
  }

  // The hand-built file: ftyp of 20 bytes, free of 8 at byte 20, mdat of 12 at byte 28.
  void printsTheTreeAsNestedJson() {
    const Run run = runTool({"--json", path("minimal.mp4")});
    QCOMPARE(run.exit_code, 0);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString() + "\n" + run.out));
    const QJsonArray roots = document.array();
    QCOMPARE(roots.size(), 3);
    const QStringList names{"ftyp", "free", "mdat"};
    const QList<int> offsets{0, 160, 224};
    const QList<int> sizes{160, 64, 96};
    for (int i = 0; i < 3; ++i) {
      const QJsonObject root = roots.at(i).toObject();
      QCOMPARE(root.value("name").toString(), names.at(i));
      QCOMPARE(root.value("offset").toInt(), offsets.at(i));
      QCOMPARE(root.value("size").toInt(), sizes.at(i));
      QVERIFY(root.value("seq_num").isNull());
      QVERIFY(!root.value("children").toArray().isEmpty());
    }
    const QJsonObject size_field = roots.at(0).toObject().value("children").toArray().at(0).toObject();
    QCOMPARE(size_field.value("name").toString(), QStringLiteral("size"));
    QCOMPARE(size_field.value("raw_value").toString(), QStringLiteral("20"));
    QCOMPARE(size_field.value("children").toArray().size(), 0);
  }

  // Walked in pre-order, the JSON tree is the text listing line for line: same names,
  // sequence numbers, offsets, sizes and nesting.
  void jsonAndTextListingAgree() {
    const QString file = corvanta::test::dataFile("isobmff/progressive.mp4");
    const Run text = runTool({file});
    const Run json = runTool({"--json", file});
    QCOMPARE(text.exit_code, 0);
    QCOMPARE(json.exit_code, 0);
    const QStringList lines = text.out.split('\n', Qt::SkipEmptyParts);
    QStringList walked;
    std::function<void(const QJsonArray&, int)> walk = [&](const QJsonArray& elements, int level) {
      for (const QJsonValue& value : elements) {
        const QJsonObject e = value.toObject();
        QString name = e.value("name").toString();
        if (!e.value("seq_num").isNull())
          name += QString("-%1").arg(e.value("seq_num").toInteger());
        const qint64 offset = e.value("offset").toInteger();
        const qint64 size = e.value("size").toInteger();
        auto bits = [](qint64 b) { return b % 8 ? QString("%1:%2").arg(b / 8).arg(b % 8) : QString::number(b / 8); };
        walked.append(QString(level * 2, ' ') + name + ' ' + bits(offset) + " +" + bits(size));
        walk(e.value("children").toArray(), level + 1);
      }
    };
    walk(QJsonDocument::fromJson(json.out.toUtf8()).array(), 0);
    QCOMPARE(walked.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i)
      QVERIFY2(lines.at(i).startsWith(walked.at(i) + ' ') || lines.at(i) == walked.at(i),
               qPrintable(lines.at(i) + " | " + walked.at(i)));
  }

  // Without frame decoding every sample, block frame and tag keeps its name, place and size:
  // only the elements inside the frames go (an FLV tag's NAL units become one "frames" field).
  void framesOffLeavesFramesWhole_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("MP4") << "isobmff/progressive.mp4";
    QTest::newRow("Matroska") << "matroska/mkvmerge-h264-aac.mkv";
    QTest::newRow("FLV") << "flv/h264-aac.flv";
  }
  void framesOffLeavesFramesWhole() {
    QFETCH(QString, file);
    const Run full = runTool({corvanta::test::dataFile(file)});
    const Run whole = runTool({"--no-frames", corvanta::test::dataFile(file)});
    QCOMPARE(full.exit_code, 0);
    QCOMPARE(whole.exit_code, 0);
    QVERIFY(full.out.contains("NAL unit-"));
    QVERIFY(!whole.out.contains("NAL unit-"));
    auto place = [](const QString& line) { return line.section(' ', 0, 2, QString::SectionSkipEmpty); };
    QSet<QString> full_places;
    for (const QString& line : full.out.split('\n', Qt::SkipEmptyParts)) full_places.insert(place(line));
    int kept = 0;
    for (const QString& line : whole.out.split('\n', Qt::SkipEmptyParts)) {
      if (place(line).startsWith("frames ")) continue;
      QVERIFY2(full_places.contains(place(line)), qPrintable(line));
      ++kept;
    }
    QVERIFY(kept > 50);
  }

  // The frames and faults tables as CSV: the committed listings of the files made for the
  // viewer's timing checks (tests/data/mpegts/make-timing-files.sh), byte for byte.
  void printsTheTimingTablesAsCsv_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("file");
    QTest::newRow("frames, a DTS back") << "--frames" << "mpegts/timing-backward-dts.ts";
    QTest::newRow("frames, a gap") << "--frames" << "mpegts/timing-gap.ts";
    QTest::newRow("faults, a gap") << "--faults" << "mpegts/timing-gap.ts";
  }
  void printsTheTimingTablesAsCsv() {
    QFETCH(QString, option);
    QFETCH(QString, file);
    const QString input = corvanta::test::dataFile(file);
    const Run run = runTool({option, input});
    QCOMPARE(run.exit_code, 0);
    QFile expected(input + (option == "--frames" ? ".frames.csv" : ".faults.csv"));
    QVERIFY(expected.open(QIODevice::ReadOnly));
    QCOMPARE(run.out, QString::fromUtf8(expected.readAll()));
  }

  void quotesCsvFields() {
    const Run run = runTool({"--faults", corvanta::test::dataFile("mpegts/fault-continuity.ts")});
    QCOMPARE(run.exit_code, 0);
    QCOMPARE(run.out.section('\n', 0, 0), QStringLiteral("element_id,stream,check_name,priority,detail"));
    QVERIFY2(run.out.contains(",\"cc 6, expected 5\"\n"), qPrintable(run.out));
  }
};

CORVANTA_TEST_CORE_MAIN(DumpToolTest)
#include "DumpToolTest.moc"
