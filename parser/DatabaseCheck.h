#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <cstdint>

struct sqlite3;

namespace corvanta {

// What checkDatabase found in an element database.
struct DatabaseReport {
  int64_t element_count = 0;     // rows of `elements`
  int64_t top_level_count = 0;   // elements of level 0
  int64_t covered_bits = 0;      // bits of the file inside at least one top-level element
  int64_t garbage_bits = 0;      // total size of GARBAGE elements, at any level
  int64_t problem_count = 0;     // every problem found
  QStringList problems;          // readable descriptions of the first few problems

  bool ok() const { return problem_count == 0; }
  // One line: counts, coverage and the first problems, for test failure messages.
  QString summary() const;
};

// Verifies everything the viewer relies on in an element database:
// - every statement the viewer runs prepares, and the children lookup uses an index;
// - ids are 1..N in depth-first pre-order; levels, parent ids and last_child_id agree;
// - every child lies inside its parent's bit range, offsets and sizes are not negative;
// - sqlite_sequence holds the row "elements" with seq N (the key is AUTOINCREMENT);
// - every name_id has a dictionary row; at most one elements_seq_num row per element;
// - open_elements has the single column id; GARBAGE elements carry no sequence number.
// With file_bits >= 0, top-level elements must also lie inside [0, file_bits) and the
// coverage counts only that range. The database is only read; rows are streamed, so
// this also works on databases of millions of elements.
DatabaseReport checkDatabase(sqlite3* db, int64_t file_bits = -1);
DatabaseReport checkDatabase(const QSqlDatabase& db, int64_t file_bits = -1);

}  // namespace corvanta
