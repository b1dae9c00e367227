#include "Parser.h"

#include "Analysis.h"
#include "ElementDatabase.h"
#include "FormatModule.h"
#include "MappedFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>

#include <algorithm>
#include <functional>
#include <memory>
#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <unistd.h>

namespace {

const QString kMemoryDatabase = QStringLiteral(":memory:");

QString connectionName() {
  return QString::fromLatin1(corvanta::ElementDatabase::kConnectionName);
}

bool sameFile(const QString& a, const QString& b) {
  const QString canonical_a = QFileInfo(a).canonicalFilePath();
  return !canonical_a.isEmpty() && canonical_a == QFileInfo(b).canonicalFilePath();
}

// Flushes a finished database file to the disk before it replaces an older one.
bool syncFile(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

// Whether the mapped file is no longer the one analysed: cut short under the map, or written to.
// Asked before and after every lazy unit is decoded, so it costs one fstat.
std::function<bool()> fileChangedCheck(const corvanta::MappedFile* file) {
  return [file]() { return file->changed() || file->writtenSinceOpened(); };
}

// Thrown through a format module when the mapped file was truncated under it.
struct FileChanged {};

// Turns "bytes done" into 0..100 and reports only increases.
class ProgressMeter {
 public:
  explicit ProgressMeter(Parser* parser) : owner(parser) {}

  void setTotal(int64_t total) { total_bytes = std::max<int64_t>(total, 1); }

  void report(int64_t bytes_done) {
    const double fraction = static_cast<double>(std::clamp<int64_t>(bytes_done, 0, total_bytes)) /
                            static_cast<double>(total_bytes);
    // 100 is kept for the moment the database is complete, after the last rows and the index.
    update(std::min(static_cast<int>(fraction * 100.0), 99));
  }
  void update(int percent) {
    if (percent <= last_percent)
      return;
    last_percent = percent;
    Q_EMIT owner->progress(percent);
  }

 private:
  int64_t total_bytes = 1;
  Parser* owner;
  int last_percent = -1;
};

}  // namespace

Parser::Parser(QObject* parent) : QObject(parent) {}

Parser::~Parser() {
  // Only a connection that was never handed over is still ours to remove.
  if (connection) {
    delete connection;
    connection = nullptr;
    QSqlDatabase::removeDatabase(connectionName());
  }
}

QString Parser::errorString() const {
  return error_string;
}

QString Parser::formatId() const {
  return format_id;
}

QSqlDatabase* Parser::getConnection() {
  QSqlDatabase* handed_over = connection;
  connection = nullptr;
  return handed_over;
}

int Parser::fail(int result, const QString& reason) {
  error_string = reason;
  return result;
}

int Parser::parseFile(const QString& file_name, const QString& database_name, const QString& extra) {
  error_string.clear();
  if (used)
    return fail(InvalidRequest, QStringLiteral("a parser analyses one file only"));
  used = true;
  if (QSqlDatabase::contains(connectionName()))
    return fail(InvalidRequest, QStringLiteral("the previous element database is still in use"));
  return writeDatabase(file_name, database_name.isEmpty() ? kMemoryDatabase : database_name,
                       corvanta::parseOptions(extra));
}

int Parser::writeDatabase(const QString& file_name, const QString& database_name,
                          const corvanta::AnalysisOptions& options) {
  const bool in_memory = database_name == kMemoryDatabase;
  ProgressMeter meter(this);
  meter.update(0);

  if (!in_memory) {
    if (sameFile(database_name, file_name))
      return fail(InvalidRequest, QStringLiteral("refusing to write the database over the analysed file"));
    if (QFileInfo(database_name).isDir())
      return fail(InvalidRequest, QStringLiteral("the database path is a folder"));
  }

  // Shared: on the lazy path the database keeps the map to decode units from.
  const auto mapped = std::make_shared<corvanta::MappedFile>();
  corvanta::MappedFile& file = *mapped;
  if (!file.open(file_name))
    return fail(CannotReadFile, file.errorString());
  if (file.size() == 0)
    return fail(EmptyFile, QStringLiteral("empty file"));
  const corvanta::FileBytes bytes(file.data(), file.size());
  const corvanta::FormatModule* module = corvanta::chooseModuleFor(bytes, file_name);
  if (!module)
    return fail(UnknownFormat, QStringLiteral("unknown format: no parser recognises this file"));

  QString temporary_path;
  if (!in_memory) {
    temporary_path = database_name + QStringLiteral(".partial-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(temporary_path);
  }

  int result = Success;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName());
    db.setDatabaseName(in_memory ? kMemoryDatabase : temporary_path);
    sqlite3* handle = nullptr;
    QString reason;
    if (!db.open()) {
      result = DatabaseFailed;
      reason = QStringLiteral("cannot create the element database: %1").arg(db.lastError().text());
    } else if (!(handle = corvanta::ElementDatabase::handle(db))) {
      result = DatabaseFailed;
      reason = QStringLiteral("the SQLite driver gives no handle");
    } else if (!corvanta::ElementDatabase::createSchema(handle, in_memory, &reason)) {
      result = DatabaseFailed;
    }

    if (result == Success) {
      meter.setTotal(file.size());
      // A file cut short under the mapping reads as zeros from then on; the next progress
      // report ends the analysis instead of letting the module walk those zeros.
      corvanta::AnalysisResult analysis;
      try {
        // A database file is complete: only the in-memory one serves lazy units.
        corvanta::AnalysisOptions chosen = options;
        if (!in_memory) chosen.lazy = corvanta::AnalysisOptions::Lazy::Off;
        analysis = corvanta::analyse(*module, bytes, handle, [&meter, &file](int64_t done) {
          if (file.changed()) throw FileChanged();
          meter.report(done);
        }, chosen, {mapped, fileChangedCheck(mapped.get())});
      } catch (const FileChanged&) {
      }
#ifdef __GLIBC__
      // The analysis has freed its row blocks and its timing rows, much of it in the middle of the
      // heap: those pages go back to the system, so that what stays resident is what the database
      // holds (on the lazy path, a few bytes per unit).
      malloc_trim(0);
#endif
      if (file.changed()) {
        result = CannotReadFile;
        reason = QStringLiteral("the file changed while it was being analysed (it is shorter now)");
      } else if (analysis.status != corvanta::AnalysisResult::Done) {
        result = analysis.status == corvanta::AnalysisResult::NotThisFormat ? UnknownFormat : DatabaseFailed;
        reason = analysis.reason;
      }
    }

    if (result == Success && !in_memory) {
      db.close();
      if (!syncFile(temporary_path) || ::rename(QFile::encodeName(temporary_path).constData(),
                                                QFile::encodeName(database_name).constData()) != 0) {
        result = DatabaseFailed;
        reason = QStringLiteral("cannot write the database file %1").arg(database_name);
      } else {
        db.setDatabaseName(database_name);
        if (!db.open()) {
          result = DatabaseFailed;
          reason = QStringLiteral("cannot reopen the database file: %1").arg(db.lastError().text());
        }
      }
    }

    if (result == Success) {
      // The connection was made on this (worker) thread; the viewer uses it on its own.
      if (QCoreApplication::instance() && db.driver()->thread() != QCoreApplication::instance()->thread())
        db.driver()->moveToThread(QCoreApplication::instance()->thread());
      connection = new QSqlDatabase(db);
      format_id = module->id;
    } else {
      db.close();
      error_string = reason;
    }
  }
  if (result != Success) {
    QSqlDatabase::removeDatabase(connectionName());
    if (!temporary_path.isEmpty())
      QFile::remove(temporary_path);
    return result;
  }
  meter.update(100);
  return Success;
}
