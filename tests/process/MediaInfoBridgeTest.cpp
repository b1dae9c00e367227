// The MediaInfo bridge (tools/mediainfo/mediainfo): its command line, its search for the
// system tool, and a real report through the tool runner when the system tool is installed.

#include "MediaInfoProcess.h"
#include "TestSupport.h"

#include <QStandardPaths>

namespace {

constexpr int generous_timeout = 30000;
const QString bridge = QStringLiteral(MEDIAINFO_BRIDGE);
const QString bridge_folder = QFileInfo(bridge).absolutePath();
const QString system_tool = QStandardPaths::findExecutable(QStringLiteral("mediainfo"));

// A WAV header for 8 kHz 16-bit mono, without samples.
const QByteArray wav = QByteArray::fromHex("52494646240000005741564566" "6d74201000000001000100401f"
                                           "0000803e0000020010006461746100000000");

// The report's "Complete name", provided it also names the format.
QString completeName(const QByteArray& report) {
  static const QRegularExpression pattern(QStringLiteral("^General\nComplete name\\s*: (.*)\nFormat\\s*: Wave\n"));
  return pattern.match(QString::fromUtf8(report)).captured(1);
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
    QVERIFY(QFile::copy(bridge, folder.filePath(QStringLiteral("copy/mediainfo"))));
  }

  void reportThroughTheRunner() {
    if (system_tool.isEmpty())
      QSKIP("the system's mediainfo tool is not installed");
    const QString path = wavFile(QStringLiteral("a  tone with spaces.wav"));
    MediaInfoProcess runner(path, bridge);
    QSignalSpy finished(&runner, &AbstractProcess::finishedSignal);
    runner.start();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, generous_timeout);
    QCOMPARE(completeName(runner.output().join('\n').toUtf8() + '\n'), path);
  }

  // The bridge's own folder, or a copy of it, on the search path must never start the
  // bridge again: without the system tool behind them it ends quietly with a failure.
  // A relative name typed by hand must not pass for an option of the system tool.
  void searchPathAndNames_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("path_variable");
    QTest::addColumn<QString>("file_name");
    QTest::addColumn<QString>("complete_name");  // empty: no report, a failure
    const QString copy = folder.filePath(QStringLiteral("copy")), copied = copy + "/mediainfo";
    const QString system = QFileInfo(system_tool).path();
    QTest::newRow("own folder only") << bridge << bridge_folder << "a.wav" << "";
    QTest::newRow("copy first") << bridge << copy + ':' + bridge_folder << "a.wav" << "";
    QTest::newRow("copy started, original behind") << copied << copy + ':' + bridge_folder << "a.wav" << "";
    // From this folder, the relative entries would find the copy.
    QTest::newRow("empty and relative entries") << bridge << ":.:copy" << "a.wav" << "";
    QTest::newRow("system tool behind both") << copied << bridge_folder + ':' + copy + ':' + system << "a.wav"
                                             << "a.wav";
    QTest::newRow("leading dash") << bridge << system << "-x.wav" << "./-x.wav";
    QTest::newRow("looks like an option") << bridge << system << "--Help" << "./--Help";
  }

  void searchPathAndNames() {
    QFETCH(QString, program);
    QFETCH(QString, path_variable);
    QFETCH(QString, file_name);
    QFETCH(QString, complete_name);
    if (!complete_name.isEmpty() && system_tool.isEmpty())
      QSKIP("the system's mediainfo tool is not installed");
    wavFile(file_name);
    const QByteArray output = runBridge(program, {"--file-name", file_name}, path_variable);
    QCOMPARE(exit_code == 0, !complete_name.isEmpty());
    if (complete_name.isEmpty())
      QCOMPARE(output, QByteArray());
    else
      QCOMPARE(completeName(output), complete_name);
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
    QVERIFY(runBridge(bridge, arguments, qEnvironmentVariable("PATH")).startsWith("usage: "));
    QCOMPARE(exit_code, 2);
  }

 private:
  // Runs the bridge directly in the test folder, to control its folder and search path.
  QByteArray runBridge(const QString& program, const QStringList& arguments, const QString& path_variable) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), path_variable);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(folder.path());
    process.start(program, arguments);
    exit_code = process.waitForFinished(generous_timeout) ? process.exitCode() : -1;
    return process.readAll();
  }

  QString wavFile(const QString& name) {
    QFile file(folder.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(wav) != wav.size())
      qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
  }

  QTemporaryDir folder;
  int exit_code = -1;
};

CORVANTA_TEST_CORE_MAIN(MediaInfoBridgeTest)
#include "MediaInfoBridgeTest.moc"
