#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

class QTimer;

// A child process that can kill itself once a delay has passed.
class Process : public QProcess {
  Q_OBJECT

 public:
  explicit Process(QObject* parent = nullptr);
  ~Process() override;

  // Kills the child when `interval` milliseconds have passed. A deadline that is
  // already running is kept: the first one scheduled ends the child.
  void scheduleKill(int interval);

 signals:
  void startKillTimer(int interval);
  void stopKillTimer();

 private:
  QTimer* kill_timer = nullptr;
};

// Runs a command-line tool, hands on its output line by line and understands the
// status lines "progress: N" and "exit code: N". The tool is asked to end with "quit"
// on its standard input and is killed when it has not ended after a while.
class AbstractProcess : public QObject {
  Q_OBJECT

 public:
  static constexpr int default_kill_delay = 20000;
  // The limit handed to each readLine(). Qt keeps one byte of it for a terminating
  // zero, so a piece holds at most read_line_limit - 1 bytes, the line end included; a
  // longer line arrives as several lines.
  static constexpr int read_line_limit = 1024;

  explicit AbstractProcess(QObject* parent = nullptr);
  ~AbstractProcess() override;

  // Starts the program; output, the end and failures arrive as signals.
  void start();

  // The number from the last "exit code: " line, 0 until one was read.
  int exitCode() const { return exit_code; }

  // Time a tool gets to end after "quit" before it is killed (tests shorten it).
  void setKillDelay(int milliseconds) { kill_delay = milliseconds; }

 signals:
  void finishedSignal(int exit_code, QProcess::ExitStatus exit_status);
  void error(QProcess::ProcessError error);
  void progress(int progress);
  void lineRead(const QString& line);

 public slots:
  void close();
  void kill();
  virtual void updateConsole();

 protected:
  int exit_code = 0;
  Process* process = nullptr;
  QStringList arguments;
  QString program;
  QString name;

 private:
  static void registerMetaTypes();
  // Returns false when reading must pause until the next output arrives.
  bool handleLine(const QByteArray& line);
  void handleProgressLine(const QByteArray& value);
  void handleExitCodeLine(const QByteArray& value);
  void echo(const QByteArray& text) const;

  int kill_delay = default_kill_delay;
};
