// The tool runner against a fake tool of our own (fake-tool), one mode per behaviour.

#include "MediaInfoProcess.h"
#include "TestSupport.h"

#include <cerrno>
#include <csignal>
#include <memory>

namespace {

constexpr int generous_timeout = 30000;

// Exposes the child's id so that a test can see whether it still exists.
class ObservableRunner : public MediaInfoProcess {
 public:
  using MediaInfoProcess::MediaInfoProcess;
  qint64 childId() const { return process->processId(); }
};

// The runner of one mode of the fake tool, with its signals recorded.
struct Run {
  explicit Run(const QString& mode, const QString& program = QStringLiteral(FAKE_TOOL)) : runner(mode, program) {}
  bool waitForEnd() { return QTest::qWaitFor([this] { return finished.count() > 0; }, generous_timeout); }
  bool waitForReady() {
    return QTest::qWaitFor([this] { return runner.output().contains("ready"); }, generous_timeout);
  }
  QProcess::ExitStatus exitStatus() const { return finished.at(0).at(1).value<QProcess::ExitStatus>(); }

  ObservableRunner runner;
  QSignalSpy finished{&runner, &AbstractProcess::finishedSignal};
  QSignalSpy errors{&runner, &AbstractProcess::error};
  QSignalSpy progress{&runner, &AbstractProcess::progress};
};

// Line k of the fake tool's "lines" mode: "L<k>:" and then a-z0-9 over and over.
QString longLine(int k, int length) {
  const QString alphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789");
  QString line = QStringLiteral("L%1:").arg(k);
  for (int i = line.size(); i < length; ++i)
    line += alphabet.at(i % alphabet.size());
  return line;
}

// How a line arrives when read with a limit of 1024: in pieces of at most 1023 bytes with
// the line end (readLine keeps one byte for a terminating zero); when the text fills the
// last piece exactly, the line end comes alone as one more, empty, piece.
QStringList pieces(const QString& line) {
  const int piece_length = 1023;
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

bool processExists(qint64 pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH; }

}  // namespace

class ToolRunnerTest : public QObject {
  Q_OBJECT

 private slots:
  void everyLineArrivesInOrder() {
    Run run(QStringLiteral("lines"));
    run.runner.start();
    QVERIFY(run.waitForEnd());
    // Blank lines stay; the spaces around a line do not.
    const QStringList expected = shortLines(1, 200) + pieces(longLine(1, 5000)) + shortLines(201, 400) +
                                 pieces(longLine(2, 3072)) + QStringList{QString(), "padded", "Größe: 1 KiB"} +
                                 pieces(longLine(3, 1023)) + pieces(longLine(4, 1025)) +
                                 pieces(longLine(5, 1022)) + pieces(longLine(6, 2046)) + shortLines(401, 600);
    QCOMPARE(run.runner.output(), expected);
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
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
    // The line after it, written in the same burst, still arrives; then the tool
    // prints what it read on its input once that is closed.
    QCOMPARE(run.runner.output(), (QStringList{"exit code: 3", "after", "got: quit"}));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
  }

  void unterminatedLastPieceIsNotCaptured() {
    Run run(QStringLiteral("partial"));
    // Across the event queue, as the viewer connects it.
    QList<QProcess::ExitStatus> queued_statuses;
    connect(&run.runner, &AbstractProcess::finishedSignal, this,
            [&](int, QProcess::ExitStatus status) { queued_statuses << status; }, Qt::QueuedConnection);
    run.runner.start();
    QTRY_COMPARE_WITH_TIMEOUT(queued_statuses, QList<QProcess::ExitStatus>{QProcess::NormalExit}, generous_timeout);
    QCOMPARE(run.runner.output(), (QStringList{"first", "second"}));
  }

  void toolIgnoringQuitIsKilledAfterDeadline() {
    Run run(QStringLiteral("stubborn"));
    run.runner.setKillDelay(300);
    run.runner.start();
    QVERIFY(run.waitForReady());
    QElapsedTimer since_quit;
    since_quit.start();
    run.runner.close();
    QVERIFY(run.waitForEnd());
    // The deadline has a lower bound only; a busy machine may take much longer.
    QVERIFY2(since_quit.elapsed() >= 250, qPrintable(QString::number(since_quit.elapsed())));
    QCOMPARE(run.exitStatus(), QProcess::CrashExit);
  }

  void destroyingRunnerEndsToolAndStopsDeadline() {
    auto run = std::make_unique<Run>(QStringLiteral("stubborn"));
    run->runner.setKillDelay(200);
    run->runner.start();
    QVERIFY(run->waitForReady());
    const qint64 pid = run->runner.childId();
    QVERIFY(pid > 0);
    run->runner.close();
    run.reset();
    QVERIFY(!processExists(pid));
    // The deadline's timer must neither fire on the deleted process nor outlive it.
    QTest::qWait(500);
  }

  void programThatCannotStart() {
    Run run(QStringLiteral("lines"), QStringLiteral("/nonexistent/folder/tool"));
    QList<QProcess::ProcessError> queued_errors;
    connect(&run.runner, &AbstractProcess::error, this,
            [&](QProcess::ProcessError error) { queued_errors << error; }, Qt::QueuedConnection);
    run.runner.start();
    QTRY_COMPARE_WITH_TIMEOUT(queued_errors, QList<QProcess::ProcessError>{QProcess::FailedToStart}, generous_timeout);
    QCOMPARE(run.errors.count(), 1);
    QCOMPARE(run.finished.count(), 0);
    QVERIFY(run.runner.output().isEmpty());
    run.runner.close();  // nothing to end; must not hang or fail
  }
};

CORVANTA_TEST_CORE_MAIN(ToolRunnerTest)
#include "ToolRunnerTest.moc"
