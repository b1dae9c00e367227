#pragma once

#include "RowBlock.h"

#include <string>
#include <vector>

struct sqlite3;

// The fastest bare SQLite loops that put a given set of element rows into the element
// schema: what the element writer is measured against, in the same run, on the same rows.
class SqliteCeiling {
 public:
  enum class Index { None, BuiltAfter, Present };
  enum class Loop {
    BoundValues,   // bound 64-row INSERT ... VALUES
    VirtualTable,  // one INSERT ... SELECT from a virtual table over all rows in memory
  };

  // Reads every row, name and sequence number of a finished element database.
  explicit SqliteCeiling(sqlite3* db);

  int64_t rowCount() const { return static_cast<int64_t>(rows.rows.size()); }
  // Rows per second of wall-clock time, into a fresh in-memory database.
  double rate(Loop loop, Index index) const;

 private:
  void insertBound(sqlite3* db) const;
  void insertThroughTable(sqlite3* db) const;

  corvanta::RowBlock rows;  // every row, with the names and the sequence numbers
};
