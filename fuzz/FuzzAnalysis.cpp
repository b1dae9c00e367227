#include "FuzzAnalysis.h"

#include "Analysis.h"
#include "DatabaseCheck.h"
#include "ElementDatabase.h"
#include "ElementWriter.h"
#include "FormatModule.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// Every row with its name and number, in id order (or backwards), one text per row.
std::vector<std::string> allRows(sqlite3* db, bool backwards) {
  std::vector<std::string> rows;
  sqlite3_stmt* statement = nullptr;
  const std::string sql = std::string(
      "SELECT e.id, e.level, e.parent_id, e.last_child_id, d.name, e.\"offset\", e.size, e.raw_value, "
      "e.hrf_value, s.seq_num FROM elements e LEFT JOIN dictionary d ON d.id = e.name_id "
      "LEFT JOIN elements_seq_num s ON s.id = e.id ORDER BY e.id") + (backwards ? " DESC" : "");
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    rows.push_back(std::string("cannot read the rows: ") + sqlite3_errmsg(db));
    return rows;
  }
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      const unsigned char* text = sqlite3_column_text(statement, i);
      row += text ? reinterpret_cast<const char*>(text) : "NULL";
      row += '|';
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(statement);
  if (backwards) std::reverse(rows.begin(), rows.end());
  return rows;
}

// The same input on the lazy path: the module's lazy units decoded again, once forward and once
// backwards (from their checkpoints), must give the eager rows and pass the same check.
void checkLazyPath(const FormatModule& module, const FileBytes& bytes, sqlite3* eager, AnalysisOptions options) {
  MemoryDatabase database;
  options.lazy = AnalysisOptions::Lazy::On;
  const AnalysisResult result = analyse(module, bytes, database.handle(), {}, options);
  const size_t size = size_t(bytes.size());
  if (result.status != AnalysisResult::Done)
    finding(module.id, size, QStringLiteral("the lazy analysis failed where the eager one did not: ") + result.reason);
  const DatabaseReport report = checkDatabase(database.handle(), bytes.size() * 8);
  if (!report.ok())
    finding(module.id, size, QStringLiteral("lazy path: ") + report.summary());
  const std::vector<std::string> expected = allRows(eager, false);
  for (const bool backwards : {false, true}) {
    const std::vector<std::string> rows = allRows(database.handle(), backwards);
    if (rows == expected) continue;
    size_t at = 0;
    while (at < rows.size() && at < expected.size() && rows[at] == expected[at]) ++at;
    finding(module.id, size,
            QStringLiteral("the lazy path reads %1 rows %2, the eager one %3; first difference at row %4: %5 / %6")
                .arg(rows.size()).arg(backwards ? "backwards" : "forward").arg(expected.size()).arg(at)
                .arg(QString::fromStdString(at < rows.size() ? rows[at] : std::string("(none)")),
                     QString::fromStdString(at < expected.size() ? expected[at] : std::string("(none)"))));
  }
}

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

  // A third of the inputs go lean, as a stream too long to number every field would.
  AnalysisOptions options;
  if (size % 3 == 0) options.lean = AnalysisOptions::Lean::On;
  MemoryDatabase database;
  const AnalysisResult result = analyse(*module, bytes, database.handle(), {}, options);
  if (result.status == AnalysisResult::NotThisFormat)
    return;
  if (result.status == AnalysisResult::DatabaseFailed)
    finding(module->id, size, QStringLiteral("writing the element database failed: ") + result.reason);

  checkCoverage(database.handle(), module->id, size);
  checkLazyPath(*module, bytes, database.handle(), options);
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
