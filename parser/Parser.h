#pragma once

#include <QObject>
#include <QString>

class QSqlDatabase;

namespace corvanta {
struct AnalysisOptions;
}

// Analyses one container file into an element database.
//
// parseFile runs on a worker thread, once per object. On success the database is
// open as the connection "corvanta-container-viewer-connection" and getConnection()
// hands it over: the caller then owns the QSqlDatabase object and removes the
// connection when done with it.
class Parser : public QObject {
  Q_OBJECT

 public:
  // What parseFile returns; the viewer only tells 0 from the rest.
  enum Result {
    Success = 0,
    CannotReadFile = 1,     // missing, unreadable, not a regular file
    EmptyFile = 2,
    UnknownFormat = 3,      // no module accepts the file
    DatabaseFailed = 4,     // the element database could not be created or written
    InvalidRequest = 5,     // called twice, connection name busy, output path is the input
  };

  explicit Parser(QObject* parent = nullptr);
  ~Parser() override;

  // file_name: the container; database_name: ":memory:" or a database file path to
  // write; extra: options as key=value pairs ("frames=off": frames stay one field each, their
  // codec headers undecoded; "lazy=on|off|auto", "lazy_threshold=BYTES" and "lazy_elements=COUNT":
  // repeated units decoded only when read, see AnalysisOptions; a database file is always written complete). Returns 0
  // on success.
  int parseFile(const QString& file_name, const QString& database_name, const QString& extra);

  // The open connection after a successful parse, or null. Ownership passes to the caller.
  QSqlDatabase* getConnection();

  // Why the last parse failed, for the command-line tool; empty after success.
  QString errorString() const;

  // The id of the format module that analysed the file, empty when none did.
  QString formatId() const;

 Q_SIGNALS:
  // 0 to 100 by bytes consumed, emitted only when the value changes.
  void progress(int percent);

 private:
  int fail(int result, const QString& reason);
  int writeDatabase(const QString& file_name, const QString& database_name, const corvanta::AnalysisOptions& options);

  QSqlDatabase* connection = nullptr;
  bool used = false;
  QString error_string;
  QString format_id;
};
