#include "AbstractProcess.h"

#include <QTimer>

#include <cstdio>

namespace {

const QByteArray progress_prefix = QByteArrayLiteral("progress: ");
const QByteArray exit_code_prefix = QByteArrayLiteral("exit code: ");
// Progress is a percentage; 101 and above are not progress reports.
constexpr int progress_limit = 101;

}  // namespace

Process::Process(QObject* parent) : QProcess(parent) {}

Process::~Process() {
  if (kill_timer) {
    emit stopKillTimer();
    kill_timer->deleteLater();
  }
  // QProcess would do the same, but warns about it; a cancelled tool is no surprise.
  if (state() != QProcess::NotRunning) {
    QProcess::kill();
    waitForFinished();
  }
}

void Process::scheduleKill(int interval) {
  if (kill_timer && kill_timer->isActive())
    return;
  if (!kill_timer) {
    kill_timer = new QTimer();
    kill_timer->setSingleShot(true);
    connect(kill_timer, &QTimer::timeout, this, &QProcess::kill, Qt::DirectConnection);
    connect(this, &Process::startKillTimer, kill_timer, qOverload<int>(&QTimer::start),
            Qt::DirectConnection);
    connect(this, &Process::stopKillTimer, kill_timer, &QTimer::stop, Qt::DirectConnection);
  }
  emit startKillTimer(interval);
}

AbstractProcess::AbstractProcess(QObject* parent) : QObject(parent), process(new Process()) {
  registerMetaTypes();
  process->setProcessChannelMode(QProcess::MergedChannels);
  process->setReadChannel(QProcess::StandardOutput);
  connect(process, &QIODevice::readyRead, this, &AbstractProcess::updateConsole);
}

AbstractProcess::~AbstractProcess() {
  // Deleting a running child kills it and waits for it; its last signals must not
  // reach this half-destroyed object.
  process->disconnect(this);
  delete process;
}

void AbstractProcess::registerMetaTypes() {
  // The forwarded end and error signals are connected across the event queue by callers.
  static const bool registered = [] {
    qRegisterMetaType<QProcess::ExitStatus>("QProcess::ExitStatus");
    qRegisterMetaType<QProcess::ProcessError>("QProcess::ProcessError");
    return true;
  }();
  Q_UNUSED(registered)
}

void AbstractProcess::start() {
  connect(process, &QProcess::finished, this, &AbstractProcess::finishedSignal,
          Qt::UniqueConnection);
  connect(process, &QProcess::errorOccurred, this, &AbstractProcess::error,
          Qt::UniqueConnection);
  process->start(program, arguments, QIODevice::ReadWrite);
}

void AbstractProcess::close() {
  if (process->state() == QProcess::NotRunning)
    return;
  process->write("quit");
  process->closeWriteChannel();
  process->scheduleKill(kill_delay);
}

void AbstractProcess::kill() {
  process->kill();
}

void AbstractProcess::updateConsole() {
  while (process->canReadLine()) {
    const QByteArray piece = process->readLine(read_line_limit);
    if (piece.isEmpty())
      return;
    if (!handleLine(piece.trimmed()))
      return;
  }
}

bool AbstractProcess::handleLine(const QByteArray& line) {
  emit lineRead(QString::fromUtf8(line));
  if (line.startsWith(progress_prefix)) {
    handleProgressLine(line.mid(progress_prefix.size()));
    return true;
  }
  if (line.startsWith(exit_code_prefix)) {
    handleExitCodeLine(line.mid(exit_code_prefix.size()));
    return false;
  }
  echo(name.toLocal8Bit() + ": " + line + '\n');
  return true;
}

void AbstractProcess::handleProgressLine(const QByteArray& value) {
  const int percent = value.toInt();  // 0 when it is not a number
  if (percent < progress_limit)
    emit progress(percent);
}

void AbstractProcess::handleExitCodeLine(const QByteArray& value) {
  exit_code = value.toInt();
  echo(name.toLocal8Bit() + " exit code: " + QByteArray::number(exit_code) + '\n');
  close();
}

void AbstractProcess::echo(const QByteArray& text) const {
  std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
  std::fflush(stdout);
}
