// The MediaInfo bridge (tools/mediainfo/mediainfo): its command line, its search for the
// system tool, and a real report through the tool runner when the system tool is installed.

#include "MediaInfoProcess.h"
#include "TestSupport.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

constexpr int generous_timeout = 30000;
const QString bridge = QStringLiteral(MEDIAINFO_BRIDGE);

// A tenth of a second of a 8 kHz, 16-bit mono square wave.
bool writeWav(const QString& path) {
  constexpr quint32 sample_rate = 8000;
  constexpr quint32 samples = 800;
  constexpr quint32 data_size = samples * 2;
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    return false;
  QDataStream out(&file);
  out.setByteOrder(QDataStream::LittleEndian);
  out.writeRawData("RIFF", 4);
  out << quint32(36 + data_size);
  out.writeRawData("WAVEfmt ", 8);
  out << quint32(16) << quint16(1) << quint16(1) << sample_rate << quint32(sample_rate * 2)
      << quint16(2) << quint16(16);
  out.writeRawData("data", 4);
  out << data_size;
  for (quint32 i = 0; i < samples; ++i)
    out << qint16((i / 10) % 2 ? 8000 : -8000);
  return out.status() == QDataStream::Ok;
}

QString systemTool() {
  return QStandardPaths::findExecutable(QStringLiteral("mediainfo"));
}

// The value of the report's "Complete name" line.
QString completeName(const QStringList& report) {
  static const QRegularExpression line(QStringLiteral("^Complete name\\s*: (.*)$"));
  for (const QString& text : report) {
    const QRegularExpressionMatch match = line.match(text);
    if (match.hasMatch())
      return match.captured(1);
  }
  return QString();
}

bool hasLine(const QStringList& report, const QString& pattern) {
  return report.indexOf(QRegularExpression(pattern)) >= 0;
}

struct BridgeResult {
  bool finished = false;
  int exit_code = -1;
  QByteArray output;
};

// Runs the bridge directly, to control its folder and search path.
BridgeResult runBridge(const QString& program, const QStringList& arguments,
                       const QString& path_variable, const QString& working_directory = QString()) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("PATH"), path_variable);
  process.setProcessEnvironment(environment);
  process.setProcessChannelMode(QProcess::MergedChannels);
  if (!working_directory.isEmpty())
    process.setWorkingDirectory(working_directory);
  process.start(program, arguments);
  BridgeResult result;
  result.finished = process.waitForFinished(generous_timeout);
  if (!result.finished)
    process.kill();
  result.exit_code = process.exitCode();
  result.output = process.readAll();
  return result;
}

QString folderOf(const QString& path) {
  return QFileInfo(path).absolutePath();
}

}  // namespace

class MediaInfoBridgeTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(QFileInfo(bridge).isExecutable());
    QVERIFY(folder.isValid());
    // A copy as the build places it, in a folder of its own.
    QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("copy")));
    bridge_copy = folder.filePath(QStringLiteral("copy/mediainfo"));
    QVERIFY(QFile::copy(bridge, bridge_copy));
    QVERIFY(QFileInfo(bridge_copy).isExecutable());
  }

  void reportThroughRunner_data() {
    QTest::addColumn<QString>("file_name");
    QTest::newRow("plain") << QStringLiteral("tone.wav");
    QTest::newRow("spaces") << QStringLiteral("a  tone with spaces.wav");
    QTest::newRow("leading dash") << QStringLiteral("-tone.wav");
    QTest::newRow("looks like an option") << QStringLiteral("--Output=XML");
  }
  void reportThroughRunner() {
    if (systemTool().isEmpty())
      QSKIP("the system's mediainfo tool is not installed");
    QFETCH(QString, file_name);
    const QString path = folder.filePath(file_name);
    QVERIFY(writeWav(path));

    MediaInfoProcess runner(path, bridge);
    QSignalSpy finished(&runner, &AbstractProcess::finishedSignal);
    runner.start();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, generous_timeout);

    const QStringList report = runner.output();
    QVERIFY2(report.contains(QStringLiteral("General")), qPrintable(report.join('\n')));
    QCOMPARE(completeName(report), path);
    QVERIFY(hasLine(report, QStringLiteral("^Format\\s*: Wave$")));
  }

  void relativeNameWithLeadingDash_data() {
    QTest::addColumn<QString>("file_name");
    QTest::newRow("dash") << QStringLiteral("-x.wav");
    QTest::newRow("option") << QStringLiteral("--Help");
  }
  void relativeNameWithLeadingDash() {
    if (systemTool().isEmpty())
      QSKIP("the system's mediainfo tool is not installed");
    QFETCH(QString, file_name);
    QVERIFY(writeWav(folder.filePath(file_name)));

    const BridgeResult result = runBridge(bridge, {QStringLiteral("--file-name"), file_name},
                                          qEnvironmentVariable("PATH"), folder.path());
    QVERIFY(result.finished);
    const QStringList report = QString::fromUtf8(result.output).split('\n');
    QVERIFY2(report.contains(QStringLiteral("General")), result.output.constData());
    QCOMPARE(completeName(report), QStringLiteral("./") + file_name);
  }

  // The bridge's own folder, or a copy of it, on the search path must never start the
  // bridge again: with no system tool it ends quietly with a failure.
  void missingSystemTool_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("path_variable");
    const QString own = folderOf(bridge);
    const QString copy = folder.filePath(QStringLiteral("copy"));
    QTest::newRow("own folder only") << bridge << own;
    QTest::newRow("copy first") << bridge << copy + ':' + own;
    QTest::newRow("copy started, original behind") << bridge_copy << copy + ':' + own;
    QTest::newRow("empty and relative entries") << bridge << QStringLiteral(":.:copy");
  }
  void missingSystemTool() {
    QFETCH(QString, program);
    QFETCH(QString, path_variable);
    const QString file = folder.filePath(QStringLiteral("missing-tool.wav"));
    QVERIFY(writeWav(file));
    // The relative entries would find the copy from this folder.
    const BridgeResult result =
        runBridge(program, {QStringLiteral("--file-name"), file}, path_variable, folder.path());
    QVERIFY(result.finished);
    QVERIFY(result.exit_code != 0);
    QCOMPARE(result.output, QByteArray());
  }

  void findsSystemToolBehindOwnFolder() {
    const QString tool = systemTool();
    if (tool.isEmpty())
      QSKIP("the system's mediainfo tool is not installed");
    const QString file = folder.filePath(QStringLiteral("behind.wav"));
    QVERIFY(writeWav(file));
    const QString path_variable = folderOf(bridge) + ':' + folder.filePath(QStringLiteral("copy")) +
                                  ':' + folderOf(tool);
    const BridgeResult result =
        runBridge(bridge_copy, {QStringLiteral("--file-name"), file}, path_variable);
    QVERIFY(result.finished);
    QCOMPARE(result.exit_code, 0);
    QVERIFY2(result.output.startsWith("General"), result.output.constData());
  }

  void badCommandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("none") << QStringList();
    QTest::newRow("no file") << QStringList{"--file-name"};
    QTest::newRow("empty file") << QStringList{"--file-name", ""};
    QTest::newRow("other option") << QStringList{"--Output=XML", "x.wav"};
    QTest::newRow("two files") << QStringList{"--file-name", "a.wav", "b.wav"};
  }
  void badCommandLine() {
    QFETCH(QStringList, arguments);
    const BridgeResult result = runBridge(bridge, arguments, qEnvironmentVariable("PATH"));
    QVERIFY(result.finished);
    QCOMPARE(result.exit_code, 2);
    QVERIFY(result.output.startsWith("usage: "));
  }

 private:
  QTemporaryDir folder;
  QString bridge_copy;
};

CORVANTA_TEST_CORE_MAIN(MediaInfoBridgeTest)
#include "MediaInfoBridgeTest.moc"
