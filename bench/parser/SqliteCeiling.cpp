#include "SqliteCeiling.h"

#include "BlockInserter.h"
#include "ElementDatabase.h"

#include <QElapsedTimer>

#include <sqlite3.h>

#include <string>

namespace {

constexpr int kRowsPerStatement = 64;

const char* columnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text ? reinterpret_cast<const char*>(text) : "";
}

std::string valuesSql(const char* head, int columns, int rows) {
  std::string group = "(?";
  for (int c = 1; c < columns; ++c)
    group += ",?";
  group += ')';
  std::string sql = head;
  for (int r = 0; r < rows; ++r)
    sql += (r ? "," : " VALUES ") + group;
  return sql;
}

sqlite3_stmt* prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  return statement;
}

void run(sqlite3_stmt* statement) {
  sqlite3_step(statement);
  sqlite3_reset(statement);
}

void bindText(sqlite3_stmt* statement, int index, const corvanta::RowBlock& block, corvanta::TextSpan span) {
  sqlite3_bind_text(statement, index, block.textAt(span), static_cast<int>(span.length), SQLITE_STATIC);
}

}  // namespace

SqliteCeiling::SqliteCeiling(sqlite3* db) {
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, "SELECT level, parent_id, last_child_id, name_id, \"offset\", size, raw_value, hrf_value "
                         "FROM elements ORDER BY id", -1, &statement, nullptr);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    corvanta::BlockRow& row = rows.rows.emplace_back();
    row.level = sqlite3_column_int(statement, 0);
    row.parent_id = sqlite3_column_int64(statement, 1);
    row.last_child_id = sqlite3_column_int64(statement, 2);
    row.name_id = sqlite3_column_int(statement, 3);
    row.offset = sqlite3_column_int64(statement, 4);
    row.size = sqlite3_column_int64(statement, 5);
    row.raw_value = rows.keep(columnText(statement, 6));
    row.hrf_value = rows.keep(columnText(statement, 7));
  }
  sqlite3_finalize(statement);
  sqlite3_prepare_v2(db, "SELECT id, seq_num FROM elements_seq_num ORDER BY id", -1, &statement, nullptr);
  while (sqlite3_step(statement) == SQLITE_ROW)
    rows.sequence_numbers.push_back({sqlite3_column_int64(statement, 0), sqlite3_column_int64(statement, 1)});
  sqlite3_finalize(statement);
  sqlite3_prepare_v2(db, "SELECT id, name FROM dictionary ORDER BY id", -1, &statement, nullptr);
  while (sqlite3_step(statement) == SQLITE_ROW)
    rows.names.push_back({sqlite3_column_int64(statement, 0), rows.keep(columnText(statement, 1))});
  sqlite3_finalize(statement);
}

double SqliteCeiling::rate(Loop loop, Index index) const {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  QString error;
  corvanta::ElementDatabase::createSchema(db, true, &error);
  QElapsedTimer timer;
  timer.start();
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  if (index == Index::Present)
    corvanta::ElementDatabase::createIndexes(db, &error);
  if (loop == Loop::BoundValues)
    insertBound(db);
  else
    insertThroughTable(db);
  if (index == Index::BuiltAfter)
    corvanta::ElementDatabase::createIndexes(db, &error);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  sqlite3_close(db);
  return static_cast<double>(rows.rows.size()) / seconds;
}

void SqliteCeiling::insertBound(sqlite3* db) const {
  sqlite3_stmt* name = prepare(db, "INSERT INTO dictionary (id, name) VALUES (?, ?)");
  for (const corvanta::NewName& entry : rows.names) {
    sqlite3_bind_int64(name, 1, entry.id);
    bindText(name, 2, rows, entry.name);
    run(name);
  }
  sqlite3_finalize(name);
  const char* elements_head =
      "INSERT INTO elements (id, level, parent_id, last_child_id, name_id, \"offset\", size, raw_value, hrf_value)";
  const char* numbers_head = "INSERT INTO elements_seq_num (id, seq_num)";
  sqlite3_stmt* full = prepare(db, valuesSql(elements_head, 9, kRowsPerStatement));
  const size_t count = rows.rows.size();
  for (size_t start = 0; start < count; start += kRowsPerStatement) {
    const size_t end = std::min(count, start + kRowsPerStatement);
    sqlite3_stmt* statement =
        end - start == kRowsPerStatement ? full : prepare(db, valuesSql(elements_head, 9, int(end - start)));
    int index = 1;
    for (size_t r = start; r < end; ++r) {
      const corvanta::BlockRow& row = rows.rows[r];
      sqlite3_bind_int64(statement, index++, static_cast<int64_t>(r) + 1);
      sqlite3_bind_int64(statement, index++, row.level);
      sqlite3_bind_int64(statement, index++, row.parent_id);
      sqlite3_bind_int64(statement, index++, row.last_child_id);
      sqlite3_bind_int64(statement, index++, row.name_id);
      sqlite3_bind_int64(statement, index++, row.offset);
      sqlite3_bind_int64(statement, index++, row.size);
      bindText(statement, index++, rows, row.raw_value);
      bindText(statement, index++, rows, row.hrf_value);
    }
    run(statement);
    if (statement != full)
      sqlite3_finalize(statement);
  }
  sqlite3_finalize(full);

  sqlite3_stmt* numbers = prepare(db, valuesSql(numbers_head, 2, kRowsPerStatement));
  const size_t numbered = rows.sequence_numbers.size();
  for (size_t start = 0; start < numbered; start += kRowsPerStatement) {
    const size_t end = std::min(numbered, start + kRowsPerStatement);
    sqlite3_stmt* statement =
        end - start == kRowsPerStatement ? numbers : prepare(db, valuesSql(numbers_head, 2, int(end - start)));
    int index = 1;
    for (size_t r = start; r < end; ++r) {
      sqlite3_bind_int64(statement, index++, rows.sequence_numbers[r].id);
      sqlite3_bind_int64(statement, index++, rows.sequence_numbers[r].seq_num);
    }
    run(statement);
    if (statement != numbers)
      sqlite3_finalize(statement);
  }
  sqlite3_finalize(numbers);
}

// The writer's own inserter, given every row as one block.
void SqliteCeiling::insertThroughTable(sqlite3* db) const {
  corvanta::BlockInserter(db).insert(rows);
}
