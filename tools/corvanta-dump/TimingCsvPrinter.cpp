#include "TimingCsvPrinter.h"

#include <sqlite3.h>

#include <cstring>

std::string TimingCsvPrinter::field(const char* text) {
  if (!text)
    return {};
  if (!std::strpbrk(text, ",\"\r\n"))
    return text;
  std::string quoted = "\"";
  for (const char* c = text; *c; ++c) {
    if (*c == '"')
      quoted += '"';
    quoted += *c;
  }
  quoted += '"';
  return quoted;
}

bool TimingCsvPrinter::printFrames(sqlite3* db) {
  return printQuery(db,
                    "element_id,stream,kind,codec,container_id,time_base,byte_offset,size,dts,pts,duration,key,"
                    "picture_type\n",
                    "SELECT f.element_id, f.stream, s.kind, s.codec, s.container_id,"
                    " CASE WHEN s.time_base_num IS NULL THEN NULL ELSE s.time_base_num || '/' || s.time_base_den END,"
                    " f.byte_offset, f.size, f.dts, f.pts, f.duration, f.key, f.picture_type"
                    " FROM frames f LEFT JOIN streams s ON s.stream = f.stream ORDER BY f.rowid");
}

bool TimingCsvPrinter::printFaults(sqlite3* db) {
  return printQuery(db, "element_id,stream,check_name,priority,detail\n",
                    "SELECT element_id, stream, check_name, priority, detail FROM faults ORDER BY rowid");
}

bool TimingCsvPrinter::printQuery(sqlite3* db, const char* header, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (!db || sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
    return false;
  bool ok = std::fputs(header, out) >= 0;
  const int columns = sqlite3_column_count(statement);
  std::string line;
  int step = SQLITE_ERROR;
  while (ok && (step = sqlite3_step(statement)) == SQLITE_ROW) {
    line.clear();
    for (int i = 0; i < columns; ++i) {
      if (i > 0)
        line += ',';
      line += field(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)));
    }
    line += '\n';
    ok = std::fwrite(line.data(), 1, line.size(), out) == line.size();
  }
  sqlite3_finalize(statement);
  return ok && step == SQLITE_DONE;
}
