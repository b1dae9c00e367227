#pragma once

#include "BlockTable.h"

#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace corvanta {

struct RowBlock;

// Writes RowBlocks into the element tables, each part with one prepared statement:
// the rows and the sequence numbers as INSERT ... SELECT over a BlockTable, names and
// late unit closes one by one (there are few of them).
class BlockInserter {
 public:
  // `db` holds the element schema; the caller owns the transaction.
  explicit BlockInserter(sqlite3* db);
  ~BlockInserter();
  BlockInserter(const BlockInserter&) = delete;
  BlockInserter& operator=(const BlockInserter&) = delete;

  bool ready() const { return error.isEmpty(); }
  // False with errorString() on the first SQLite error; later calls do nothing.
  bool insert(const RowBlock& block);
  QString errorString() const { return error; }

 private:
  bool fail(const char* what);
  sqlite3_stmt* prepare(const char* sql);
  bool step(sqlite3_stmt* statement, const char* what);
  bool insertNames(const RowBlock& block);
  bool applyCloses(const RowBlock& block);

  sqlite3* db;
  BlockTable table;
  sqlite3_stmt* insert_rows = nullptr;
  sqlite3_stmt* insert_numbers = nullptr;
  sqlite3_stmt* insert_name = nullptr;
  sqlite3_stmt* close_unit = nullptr;
  QString error;
};

}  // namespace corvanta
