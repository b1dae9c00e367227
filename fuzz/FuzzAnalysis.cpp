#include "FuzzAnalysis.h"

#include "Analysis.h"
#include "DatabaseCheck.h"
#include "ElementDatabase.h"
#include "ElementWriter.h"
#include "FormatModule.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

namespace corvanta::fuzz {

namespace {

[[noreturn]] void finding(const QString& module_id, size_t size, const QString& what) {
  std::fprintf(stderr, "corvanta fuzz finding: module %s, input of %zu bytes: %s\n", qPrintable(module_id), size,
               qPrintable(what));
  std::abort();
}

// A fresh ":memory:" database with the element schema, as Parser makes for the viewer.
class MemoryDatabase {
 public:
  MemoryDatabase() {
    QString error;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK || !ElementDatabase::createSchema(db, true, &error))
      finding(QStringLiteral("(none)"), 0, QStringLiteral("cannot create the element database: ") + error);
  }
  ~MemoryDatabase() { sqlite3_close(db); }
  MemoryDatabase(const MemoryDatabase&) = delete;
  MemoryDatabase& operator=(const MemoryDatabase&) = delete;

  sqlite3* handle() const { return db; }

 private:
  sqlite3* db = nullptr;
};

}  // namespace

namespace {

// The database of an input that the elements should cover whole: its invariants hold and its
// top-level elements leave no bit of the input out.
void checkCoverage(sqlite3* db, const QString& what, size_t size) {
  const int64_t file_bits = static_cast<int64_t>(size) * 8;
  const DatabaseReport report = checkDatabase(db, file_bits);
  if (!report.ok())
    finding(what, size, report.summary());
  // Bytes that belong to no structure are GARBAGE elements, so the top level covers everything.
  if (report.covered_bits != file_bits)
    finding(what, size,
            QStringLiteral("the top-level elements cover %1 of the input's %2 bits: %3")
                .arg(report.covered_bits).arg(file_bits).arg(report.summary()));
}

}  // namespace

void analyseAndCheck(const uint8_t* data, size_t size, const FormatModule* module) {
  // Parser refuses an empty file before any module sees it.
  if (size == 0)
    return;
  const FileBytes bytes(data, static_cast<int64_t>(size));
  if (!module)
    module = chooseModuleFor(bytes, QString());
  if (!module)
    return;

  MemoryDatabase database;
  const AnalysisResult result = analyse(*module, bytes, database.handle());
  if (result.status == AnalysisResult::NotThisFormat)
    return;
  if (result.status == AnalysisResult::DatabaseFailed)
    finding(module->id, size, QStringLiteral("writing the element database failed: ") + result.reason);

  checkCoverage(database.handle(), module->id, size);
}

void writeAndCheck(size_t size, const QString& what, const std::function<void(ElementWriter&)>& write) {
  if (size == 0)
    return;
  MemoryDatabase database;
  {
    ElementWriter writer(database.handle());
    writer.setFileSize(static_cast<int64_t>(size) * 8);
    write(writer);
    if (!writer.finish())
      finding(what, size, QStringLiteral("writing the element database failed"));
  }
  checkCoverage(database.handle(), what, size);
}

}  // namespace corvanta::fuzz
