#include "BlockInserter.h"

#include "RowBlock.h"

#include <sqlite3.h>

#include <string>

namespace corvanta {

namespace {

const std::string kInsertRows =
    std::string("INSERT INTO elements (id, level, parent_id, last_child_id, name_id, \"offset\", size, raw_value,"
                " hrf_value) SELECT * FROM ") + BlockTable::kRowsTable;
const std::string kInsertNumbers =
    std::string("INSERT INTO elements_seq_num (id, seq_num) SELECT * FROM ") + BlockTable::kNumbersTable;

void bindText(sqlite3_stmt* statement, int index, const RowBlock& block, TextSpan span) {
  sqlite3_bind_text(statement, index, block.textAt(span), static_cast<int>(span.length), SQLITE_STATIC);
}

// Clears the block out of the tables whatever way insert() leaves.
class ServedBlock {
 public:
  ServedBlock(BlockTable& table, const RowBlock& block) : table(table) { table.setBlock(&block); }
  ~ServedBlock() { table.setBlock(nullptr); }
  ServedBlock(const ServedBlock&) = delete;
  ServedBlock& operator=(const ServedBlock&) = delete;

 private:
  BlockTable& table;
};

}  // namespace

BlockInserter::BlockInserter(sqlite3* database) : db(database), table(database) {
  if (!table.registered()) {
    fail("registering the row tables");
    return;
  }
  insert_rows = prepare(kInsertRows.c_str());
  insert_numbers = prepare(kInsertNumbers.c_str());
  insert_name = prepare("INSERT INTO dictionary (id, name) VALUES (?, ?)");
  close_unit = prepare("UPDATE elements SET size = ?, last_child_id = ?, raw_value = ?, hrf_value = ? WHERE id = ?");
}

BlockInserter::~BlockInserter() {
  // Before `table` unregisters the modules that two of them read.
  for (sqlite3_stmt* statement : {insert_rows, insert_numbers, insert_name, close_unit})
    sqlite3_finalize(statement);
}

bool BlockInserter::fail(const char* what) {
  if (error.isEmpty())
    error = QStringLiteral("database error while %1: %2")
                .arg(QLatin1String(what), QString::fromUtf8(sqlite3_errmsg(db)));
  return false;
}

sqlite3_stmt* BlockInserter::prepare(const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (error.isEmpty() &&
      sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK)
    fail("preparing a statement");
  return statement;
}

bool BlockInserter::step(sqlite3_stmt* statement, const char* what) {
  const int result = sqlite3_step(statement);
  sqlite3_reset(statement);
  return result == SQLITE_DONE || fail(what);
}

bool BlockInserter::insertNames(const RowBlock& block) {
  for (const NewName& name : block.names) {
    sqlite3_bind_int64(insert_name, 1, name.id);
    bindText(insert_name, 2, block, name.name);
    if (!step(insert_name, "adding a name"))
      return false;
  }
  return true;
}

bool BlockInserter::applyCloses(const RowBlock& block) {
  for (const UnitClose& close : block.closes) {
    sqlite3_bind_int64(close_unit, 1, close.size);
    sqlite3_bind_int64(close_unit, 2, close.last_child_id);
    bindText(close_unit, 3, block, close.raw_value);
    bindText(close_unit, 4, block, close.hrf_value);
    sqlite3_bind_int64(close_unit, 5, close.id);
    if (!step(close_unit, "closing a unit"))
      return false;
  }
  return true;
}

bool BlockInserter::insert(const RowBlock& block) {
  if (!ready())
    return false;
  const ServedBlock served(table, block);
  return insertNames(block) && (block.rows.empty() || step(insert_rows, "adding elements")) &&
         (block.sequence_numbers.empty() || step(insert_numbers, "adding sequence numbers")) &&
         applyCloses(block);
}

}  // namespace corvanta
