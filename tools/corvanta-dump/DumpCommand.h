#pragma once

#include <QString>
#include <QStringList>

class Parser;

// The command line of corvanta-dump: reads the arguments, runs the parser and
// prints or writes its result. Exit statuses are listed in usage().
class DumpCommand {
 public:
  enum ExitStatus {
    Ok = 0,
    Failed = 1,          // the analysis or the database write failed
    BadArguments = 2,
    UnreadableFile = 3,  // missing, unreadable, not a regular file, or empty
    UnknownFormat = 4,
    CheckFailed = 5,     // --check found the database inconsistent
  };

  int run(const QStringList& arguments);

 private:
  int listFormats();
  int analyse();
  int badArguments(const QString& message);
  int reportFailure(const Parser& parser, int result);
  int checkConnection(const QString& connection_name);
  void showProgress(int percent);
  static QString usage();

  QString program = QStringLiteral("corvanta-dump");
  QString input_file;
  QString database_file;
  bool check = false;
  bool json = false;
  bool frames_csv = false;  // --frames: the frames table as CSV instead of the tree
  bool faults_csv = false;  // --faults: the faults table as CSV
  bool count_only = false;  // --count: the number of elements only
  bool no_frames = false;
  bool lean = false;
  QString lazy;  // the parse option that --lazy or --eager gives, empty for the parser's choice
  bool progress_on_terminal = false;
};
