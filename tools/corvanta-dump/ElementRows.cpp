#include "ElementRows.h"

#include <sqlite3.h>

namespace {

std::string columnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column))) : std::string();
}

}  // namespace

ElementRows::ElementRows(sqlite3* db) {
  const char* sql =
      "SELECT e.level, d.name, s.seq_num, e.\"offset\", e.size, e.raw_value, e.hrf_value FROM elements e "
      "LEFT JOIN dictionary d ON e.name_id = d.id LEFT JOIN elements_seq_num s ON e.id = s.id ORDER BY e.id";
  prepared = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK;
}

ElementRows::~ElementRows() {
  sqlite3_finalize(statement);
}

bool ElementRows::next(ElementRow& row) {
  if (!prepared || last_step != 0)
    return false;
  const int step = sqlite3_step(statement);
  if (step != SQLITE_ROW) {
    last_step = step == SQLITE_DONE ? 1 : -1;
    return false;
  }
  row.level = sqlite3_column_int(statement, 0);
  row.name = columnText(statement, 1);
  row.has_seq_num = sqlite3_column_type(statement, 2) != SQLITE_NULL;
  row.seq_num = sqlite3_column_int64(statement, 2);
  row.bit_offset = sqlite3_column_int64(statement, 3);
  row.bit_size = sqlite3_column_int64(statement, 4);
  row.raw_value = columnText(statement, 5);
  row.hrf_value = columnText(statement, 6);
  return true;
}
