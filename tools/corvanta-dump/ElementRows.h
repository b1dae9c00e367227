#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

// One element as the printers show it.
struct ElementRow {
  int level = 0;
  std::string name;
  bool has_seq_num = false;
  int64_t seq_num = 0;
  int64_t bit_offset = 0;
  int64_t bit_size = 0;
  std::string raw_value;
  std::string hrf_value;
};

// Every element of a database in id (pre-order) order, with its name and sequence number.
class ElementRows {
 public:
  explicit ElementRows(sqlite3* db);
  ~ElementRows();
  ElementRows(const ElementRows&) = delete;
  ElementRows& operator=(const ElementRows&) = delete;

  // The next row; false at the end or on an error (see ok()).
  bool next(ElementRow& row);
  // No error so far (a finished walk that ended at the last row is ok).
  bool ok() const { return prepared && last_step != -1; }

 private:
  sqlite3_stmt* statement = nullptr;
  bool prepared = false;
  int last_step = 0;  // -1 after an error
};
