// The tool runner against a fake tool of our own (fake-tool), one mode per behaviour.

#include "MediaInfoProcess.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <memory>

namespace {

constexpr int generous_timeout = 30000;
const int piece_length = AbstractProcess::max_line_length;

// Exposes the child's id so that a test can see whether it still exists.
class ObservableRunner : public MediaInfoProcess {
 public:
  using MediaInfoProcess::MediaInfoProcess;
  qint64 childId() const { return process->processId(); }
};

struct Run {
  explicit Run(const QString& mode, const QString& program = QStringLiteral(FAKE_TOOL))
      : runner(mode, program) {}

  bool waitForEnd() {
    return QTest::qWaitFor([this] { return finished.count() > 0; }, generous_timeout);
  }
  bool waitForLine(const QString& line) {
    return QTest::qWaitFor([&] { return runner.output().contains(line); }, generous_timeout);
  }
  QStringList linesSignalled() const {
    QStringList result;
    for (const QList<QVariant>& arguments : lines)
      result << arguments.at(0).toString();
    return result;
  }
  QProcess::ExitStatus exitStatus() const {
    return finished.at(0).at(1).value<QProcess::ExitStatus>();
  }

  ObservableRunner runner;
  QSignalSpy lines{&runner, &AbstractProcess::lineRead};
  QSignalSpy finished{&runner, &AbstractProcess::finishedSignal};
  QSignalSpy errors{&runner, &AbstractProcess::error};
  QSignalSpy progress{&runner, &AbstractProcess::progress};
};

// Line k of the fake tool's "lines" mode.
QString longLine(int k, int length) {
  const QString alphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789");
  QString line = QStringLiteral("L%1:").arg(k);
  for (int i = line.size(); i < length; ++i)
    line += alphabet.at(i % alphabet.size());
  return line;
}

// How a line arrives: in pieces of at most piece_length bytes; when the text fills the
// last piece exactly, the line end comes alone as one more, empty, piece.
QStringList pieces(const QString& line) {
  QStringList result;
  for (int at = 0; at < line.size(); at += piece_length)
    result << line.mid(at, piece_length);
  if (line.size() % piece_length == 0)
    result << QString();
  return result;
}

QStringList shortLines(int from, int to) {
  QStringList result;
  for (int i = from; i <= to; ++i)
    result << QStringLiteral("line %1").arg(i);
  return result;
}

QStringList expectedLinesMode() {
  return shortLines(1, 200) + pieces(longLine(1, 5000)) + shortLines(201, 400) +
         pieces(longLine(2, 3072)) + QStringList{QString(), QStringLiteral("padded")} +
         QStringList{QStringLiteral("Größe: 1 KiB")} + pieces(longLine(3, 1023)) +
         pieces(longLine(4, 1025)) + shortLines(401, 600);
}

bool processExists(qint64 pid) {
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

}  // namespace

class ToolRunnerTest : public QObject {
  Q_OBJECT

 private slots:
  void everyLineArrivesInOrder() {
    Run run(QStringLiteral("lines"));
    run.runner.start();
    QVERIFY(run.waitForEnd());

    const QStringList expected = expectedLinesMode();
    QCOMPARE(run.runner.output().size(), expected.size());
    QCOMPARE(run.runner.output(), expected);
    QCOMPARE(run.linesSignalled(), expected);
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.errors.count(), 0);
  }

  void fileNameArrivesAsOneArgument() {
    const QString file_name = QStringLiteral("args: two  spaces -x \"q\" $HOME");
    Run run(file_name);
    run.runner.start();
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.runner.output(),
             (QStringList{QStringLiteral("2"), QStringLiteral("--file-name"), file_name}));
  }

  void progressLines() {
    Run run(QStringLiteral("progress"));
    run.runner.start();
    QVERIFY(run.waitForEnd());

    QList<int> reported;
    for (const QList<QVariant>& arguments : run.progress)
      reported << arguments.at(0).toInt();
    // 101 is not a percentage and is dropped; letters count as 0.
    QCOMPARE(reported, (QList<int>{100, 0, 42}));
    QCOMPARE(run.runner.output(),
             (QStringList{"progress: 100", "progress: 101", "progress: abc", "progress: 42", "done"}));
  }

  void exitCodeLineAsksToolToQuit() {
    Run run(QStringLiteral("exit-code"));
    run.runner.start();
    QVERIFY(run.waitForEnd());

    QCOMPARE(run.runner.exitCode(), 3);
    // The tool prints what it read on its input once that is closed.
    QCOMPARE(run.runner.output(),
             (QStringList{"exit code: 3", "after", "got: quit"}));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
  }

  void unterminatedLastPieceIsNotCaptured() {
    Run run(QStringLiteral("partial"));
    QList<QProcess::ExitStatus> queued_statuses;
    connect(&run.runner, &AbstractProcess::finishedSignal, this,
            [&](int, QProcess::ExitStatus status) { queued_statuses << status; },
            Qt::QueuedConnection);
    run.runner.start();
    QTRY_COMPARE_WITH_TIMEOUT(queued_statuses.size(), 1, generous_timeout);
    QCOMPARE(queued_statuses.at(0), QProcess::NormalExit);
    QCOMPARE(run.runner.output(), (QStringList{"first", "second"}));
  }

  void toolIgnoringQuitIsKilledAfterDeadline() {
    Run run(QStringLiteral("stubborn"));
    run.runner.setKillDelay(300);
    run.runner.start();
    QVERIFY(run.waitForLine(QStringLiteral("ready")));

    QElapsedTimer since_quit;
    since_quit.start();
    run.runner.close();
    QVERIFY(run.waitForEnd());
    // The deadline has a lower bound only; a busy machine may take much longer.
    QVERIFY2(since_quit.elapsed() >= 250, qPrintable(QString::number(since_quit.elapsed())));
    QCOMPARE(run.exitStatus(), QProcess::CrashExit);
  }

  void killEndsToolAtOnce() {
    Run run(QStringLiteral("stubborn"));
    run.runner.start();
    QVERIFY(run.waitForLine(QStringLiteral("ready")));
    run.runner.kill();
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitStatus(), QProcess::CrashExit);
  }

  void destroyingRunnerEndsToolAndStopsDeadline() {
    auto runner = std::make_unique<ObservableRunner>(QStringLiteral("stubborn"),
                                                     QStringLiteral(FAKE_TOOL));
    runner->setKillDelay(200);
    runner->start();
    QTRY_VERIFY_WITH_TIMEOUT(runner->output().contains(QStringLiteral("ready")), generous_timeout);
    const qint64 pid = runner->childId();
    QVERIFY(pid > 0);
    runner->close();
    runner.reset();

    QVERIFY(!processExists(pid));
    // The deadline's timer must neither fire on the deleted process nor outlive it.
    QTest::qWait(500);
  }

  void programThatCannotStart_data() {
    QTest::addColumn<QString>("program");
    QTest::newRow("missing") << QStringLiteral("/nonexistent/folder/tool");
    QTest::newRow("not executable") << QStringLiteral(NOT_EXECUTABLE_FILE);
    QTest::newRow("folder") << QStringLiteral(FAKE_TOOL_DIR);
    QTest::newRow("empty") << QString();
  }
  void programThatCannotStart() {
    QFETCH(QString, program);
    Run run(QStringLiteral("lines"), program);
    int queued_errors = 0;
    connect(&run.runner, &AbstractProcess::error, this,
            [&](QProcess::ProcessError error) {
              QCOMPARE(error, QProcess::FailedToStart);
              ++queued_errors;
            },
            Qt::QueuedConnection);
    run.runner.start();

    QTRY_COMPARE_WITH_TIMEOUT(queued_errors, 1, generous_timeout);
    QCOMPARE(run.errors.count(), 1);
    QCOMPARE(run.errors.at(0).at(0).value<QProcess::ProcessError>(), QProcess::FailedToStart);
    QCOMPARE(run.finished.count(), 0);
    QVERIFY(run.runner.output().isEmpty());
    run.runner.close();  // nothing to end; must not hang or fail
  }
};

CORVANTA_TEST_CORE_MAIN(ToolRunnerTest)
#include "ToolRunnerTest.moc"
