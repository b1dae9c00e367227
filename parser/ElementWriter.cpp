#include "ElementWriter.h"

#include "ElementDatabase.h"

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvanta {

namespace {

// Rows per multi-row INSERT: measured to be where SQLite's per-statement cost stops mattering.
constexpr int kRowsPerInsert = 64;
constexpr int kElementColumns = 9;
constexpr int64_t kNoSequence = -1;
constexpr std::string_view kTruncated = "truncated";

struct Row {
  int64_t id = 0;
  int64_t level = 0;
  int64_t parent_id = 0;
  int64_t last_child_id = 0;
  int64_t name_id = 0;
  int64_t offset = 0;
  int64_t size = 0;
  std::string raw_value;
  std::string hrf_value;
};

struct SequenceRow {
  int64_t id;
  int64_t seq_num;
};

// A unit whose children are still being added.
struct OpenUnit {
  int64_t id = 0;
  int64_t offset = 0;
  int64_t end = 0;         // declared end after clamping; children are kept inside
  int64_t parent_end = 0;  // what the unit itself must stay inside
  int64_t last_child_id = 0;
  int64_t children_end = 0;  // the furthest end of a child so far
  std::string raw_value;   // kept to rewrite the row when the unit is closed
  std::string hrf_value;
  bool truncated = false;
};

std::string insertSql(const char* table, const char* columns, int column_count, int rows) {
  std::string group = "(";
  for (int c = 0; c < column_count; ++c)
    group += c ? ",?" : "?";
  group += ')';
  std::string sql = std::string("INSERT INTO ") + table + " (" + columns + ") VALUES ";
  for (int r = 0; r < rows; ++r) {
    if (r)
      sql += ',';
    sql += group;
  }
  return sql;
}

void appendTruncated(std::string& hrf_value) {
  if (hrf_value.find(kTruncated) != std::string::npos)
    return;
  if (!hrf_value.empty())
    hrf_value += ", ";
  hrf_value += kTruncated;
}

}  // namespace

struct ElementWriter::Impl {
  sqlite3* db = nullptr;
  bool failed = false;
  bool in_transaction = false;
  bool finished = false;
  QString error;

  std::vector<Row> rows = std::vector<Row>(kRowsPerInsert);
  int row_count = 0;
  int64_t first_buffered_id = 1;   // id of rows[0]
  std::vector<SequenceRow> sequence_rows;

  std::vector<OpenUnit> stack;
  int overflow_depth = 0;          // openUnit calls beyond kMaxDepth, written as leaves
  int64_t next_id = 1;
  int64_t file_end = std::numeric_limits<int64_t>::max();

  std::unordered_map<std::string, int64_t> names;
  std::string name_key;
  std::string last_name;
  int64_t last_name_id = 0;

  sqlite3_stmt* insert_rows = nullptr;
  sqlite3_stmt* insert_sequences = nullptr;
  sqlite3_stmt* insert_name = nullptr;
  sqlite3_stmt* update_unit = nullptr;

  ~Impl() {
    for (sqlite3_stmt* statement : {insert_rows, insert_sequences, insert_name, update_unit})
      sqlite3_finalize(statement);
    if (in_transaction)
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  bool fail(const char* what) {
    if (!failed) {
      failed = true;
      error = QStringLiteral("database error while %1: %2")
                  .arg(QLatin1String(what), QString::fromUtf8(db ? sqlite3_errmsg(db) : "no database"));
    }
    return false;
  }

  sqlite3_stmt* prepare(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &statement, nullptr) != SQLITE_OK) {
      fail("preparing a statement");
      return nullptr;
    }
    return statement;
  }

  bool start() {
    if (!db) {
      failed = true;
      error = QStringLiteral("no database to write to");
      return false;
    }
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
      return fail("starting the transaction");
    in_transaction = true;
    insert_rows = prepare(elementInsertSql(kRowsPerInsert));
    insert_sequences = prepare(sequenceInsertSql(kRowsPerInsert));
    insert_name = prepare("INSERT INTO dictionary (id, name) VALUES (?, ?)");
    update_unit = prepare(
        "UPDATE elements SET size = ?, last_child_id = ?, raw_value = ?, hrf_value = ? WHERE id = ?");
    sequence_rows.reserve(kRowsPerInsert);
    return !failed;
  }

  static std::string elementInsertSql(int count) {
    return insertSql("elements",
                     "id, level, parent_id, last_child_id, name_id, \"offset\", size, raw_value, hrf_value",
                     kElementColumns, count);
  }
  static std::string sequenceInsertSql(int count) {
    return insertSql("elements_seq_num", "id, seq_num", 2, count);
  }

  bool step(sqlite3_stmt* statement, const char* what) {
    const int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (result != SQLITE_DONE)
      return fail(what);
    return true;
  }

  static void bindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  }

  int64_t nameId(std::string_view name) {
    if (name == last_name && last_name_id != 0)
      return last_name_id;
    name_key.assign(name.data(), name.size());
    auto found = names.find(name_key);
    int64_t id;
    if (found != names.end()) {
      id = found->second;
    } else {
      id = static_cast<int64_t>(names.size()) + 1;
      names.emplace(name_key, id);
      if (!failed && insert_name) {
        sqlite3_bind_int64(insert_name, 1, id);
        bindText(insert_name, 2, name_key);
        step(insert_name, "adding a name");
      }
    }
    last_name = name_key;
    last_name_id = id;
    return id;
  }

  void flushRows() {
    if (row_count == 0)
      return;
    if (!failed) {
      sqlite3_stmt* statement = insert_rows;
      sqlite3_stmt* remainder = nullptr;
      if (row_count != kRowsPerInsert)
        statement = remainder = prepare(elementInsertSql(row_count));
      if (statement) {
        int index = 1;
        for (int r = 0; r < row_count; ++r) {
          const Row& row = rows[r];
          sqlite3_bind_int64(statement, index++, row.id);
          sqlite3_bind_int64(statement, index++, row.level);
          sqlite3_bind_int64(statement, index++, row.parent_id);
          sqlite3_bind_int64(statement, index++, row.last_child_id);
          sqlite3_bind_int64(statement, index++, row.name_id);
          sqlite3_bind_int64(statement, index++, row.offset);
          sqlite3_bind_int64(statement, index++, row.size);
          bindText(statement, index++, row.raw_value);
          bindText(statement, index++, row.hrf_value);
        }
        step(statement, "adding elements");
      }
      sqlite3_finalize(remainder);
    }
    first_buffered_id += row_count;
    row_count = 0;
  }

  void flushSequences() {
    if (sequence_rows.empty())
      return;
    if (!failed) {
      const int count = static_cast<int>(sequence_rows.size());
      sqlite3_stmt* statement = insert_sequences;
      sqlite3_stmt* remainder = nullptr;
      if (count != kRowsPerInsert)
        statement = remainder = prepare(sequenceInsertSql(count));
      if (statement) {
        int index = 1;
        for (const SequenceRow& row : sequence_rows) {
          sqlite3_bind_int64(statement, index++, row.id);
          sqlite3_bind_int64(statement, index++, row.seq_num);
        }
        step(statement, "adding sequence numbers");
      }
      sqlite3_finalize(remainder);
    }
    sequence_rows.clear();
  }

  int64_t bottomOfStack() const { return stack.empty() ? 0 : stack.back().offset; }
  int64_t topOfStack() const { return stack.empty() ? file_end : stack.back().end; }

  // Appends one element under the innermost open unit, kept inside that unit's range.
  Row& add(std::string_view name, int64_t offset, int64_t size, std::string_view raw_value,
           std::string_view hrf_value, int64_t seq_num, bool* truncated_out) {
    const int64_t low = bottomOfStack();
    const int64_t high = topOfStack();
    bool truncated = false;
    size = std::max<int64_t>(size, 0);
    if (offset < low) {
      // Unsigned, since a hostile offset may be so negative that the difference overflows.
      const uint64_t cut = static_cast<uint64_t>(low) - static_cast<uint64_t>(offset);
      size = cut >= static_cast<uint64_t>(size) ? 0 : size - static_cast<int64_t>(cut);
      offset = low;
      truncated = true;
    }
    if (offset > high) {
      offset = high;
      size = 0;
      truncated = true;
    } else if (size > high - offset) {
      size = high - offset;
      truncated = true;
    }

    const int64_t id = next_id++;
    if (row_count == kRowsPerInsert)
      flushRows();
    Row& row = rows[row_count++];
    row.id = id;
    row.level = static_cast<int64_t>(stack.size());
    row.parent_id = stack.empty() ? 0 : stack.back().id;
    row.last_child_id = 0;
    row.name_id = nameId(name);
    row.offset = offset;
    row.size = size;
    row.raw_value.assign(raw_value.data(), raw_value.size());
    row.hrf_value.assign(hrf_value.data(), hrf_value.size());
    if (truncated)
      appendTruncated(row.hrf_value);

    if (!stack.empty()) {
      OpenUnit& parent = stack.back();
      parent.last_child_id = id;
      parent.children_end = std::max(parent.children_end, offset + size);
    }
    if (seq_num >= 0) {
      if (sequence_rows.size() == static_cast<size_t>(kRowsPerInsert))
        flushSequences();
      sequence_rows.push_back({id, seq_num});
    }
    if (truncated_out)
      *truncated_out = truncated;
    return row;
  }

  void close(int64_t requested_size) {
    if (overflow_depth > 0) {
      --overflow_depth;
      return;
    }
    if (stack.empty())
      return;
    OpenUnit unit = std::move(stack.back());
    stack.pop_back();
    int64_t size = std::max<int64_t>(requested_size, 0);
    // Children already written must stay inside their parent.
    size = std::max(size, unit.children_end - unit.offset);
    if (size > unit.parent_end - unit.offset) {
      size = unit.parent_end - unit.offset;
      unit.truncated = true;
    }
    if (unit.truncated)
      appendTruncated(unit.hrf_value);

    if (unit.id >= first_buffered_id) {
      Row& row = rows[static_cast<size_t>(unit.id - first_buffered_id)];
      row.size = size;
      row.last_child_id = unit.last_child_id;
      row.raw_value = std::move(unit.raw_value);
      row.hrf_value = std::move(unit.hrf_value);
    } else if (!failed && update_unit) {
      sqlite3_bind_int64(update_unit, 1, size);
      sqlite3_bind_int64(update_unit, 2, unit.last_child_id);
      bindText(update_unit, 3, unit.raw_value);
      bindText(update_unit, 4, unit.hrf_value);
      sqlite3_bind_int64(update_unit, 5, unit.id);
      step(update_unit, "closing a unit");
    }
    if (!stack.empty()) {
      OpenUnit& parent = stack.back();
      parent.children_end = std::max(parent.children_end, unit.offset + size);
    }
  }
};

ElementWriter::ElementWriter(sqlite3* db) : impl(std::make_unique<Impl>()) {
  impl->db = db;
  impl->start();
}

ElementWriter::~ElementWriter() = default;

void ElementWriter::setFileSize(int64_t bit_size) {
  impl->file_end = std::max<int64_t>(bit_size, 0);
}

int64_t ElementWriter::openUnit(std::string_view name, int64_t bit_offset, int64_t bit_size,
                                std::string_view raw_value, std::string_view hrf_value, int64_t seq_num) {
  Impl& d = *impl;
  const bool too_deep = d.overflow_depth > 0 || static_cast<int>(d.stack.size()) >= kMaxDepth;
  const int64_t parent_end = d.topOfStack();
  bool truncated = false;
  const Row& row = d.add(name, bit_offset, bit_size, raw_value, hrf_value, seq_num, &truncated);
  if (too_deep) {
    ++d.overflow_depth;
    return row.id;
  }
  OpenUnit unit;
  unit.id = row.id;
  unit.offset = row.offset;
  unit.end = row.offset + row.size;
  unit.parent_end = parent_end;
  unit.children_end = row.offset;
  unit.raw_value = row.raw_value;
  unit.hrf_value = row.hrf_value;
  unit.truncated = truncated;
  d.stack.push_back(std::move(unit));
  return row.id;
}

void ElementWriter::setUnitValue(std::string_view raw_value, std::string_view hrf_value) {
  if (impl->overflow_depth > 0 || impl->stack.empty())
    return;
  OpenUnit& unit = impl->stack.back();
  unit.raw_value.assign(raw_value.data(), raw_value.size());
  unit.hrf_value.assign(hrf_value.data(), hrf_value.size());
}

void ElementWriter::closeUnit() {
  if (impl->overflow_depth == 0 && !impl->stack.empty()) {
    const OpenUnit& unit = impl->stack.back();
    impl->close(unit.end - unit.offset);
    return;
  }
  impl->close(0);
}

void ElementWriter::closeUnit(int64_t bit_size) {
  impl->close(bit_size);
}

int64_t ElementWriter::addField(std::string_view name, int64_t bit_offset, int64_t bit_size,
                                std::string_view raw_value, std::string_view hrf_value, int64_t seq_num) {
  return impl->add(name, bit_offset, bit_size, raw_value, hrf_value, seq_num, nullptr).id;
}

int64_t ElementWriter::addGarbage(int64_t bit_offset, int64_t bit_size) {
  return impl->add(kGarbageName, bit_offset, bit_size, {}, {}, kNoSequence, nullptr).id;
}

int ElementWriter::depth() const {
  return static_cast<int>(impl->stack.size()) + impl->overflow_depth;
}

int64_t ElementWriter::elementCount() const {
  return impl->next_id - 1;
}

int64_t ElementWriter::innermostEnd() const {
  return impl->stack.empty() ? std::numeric_limits<int64_t>::max() : impl->stack.back().end;
}

bool ElementWriter::finish() {
  Impl& d = *impl;
  if (d.finished)
    return !d.failed;
  d.finished = true;
  d.overflow_depth = 0;
  while (!d.stack.empty())
    closeUnit();
  d.flushRows();
  d.flushSequences();
  if (d.failed)
    return false;
  if (!ElementDatabase::createIndexes(d.db, &d.error)) {
    d.failed = true;
    return false;
  }
  if (sqlite3_exec(d.db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
    return d.fail("committing");
  d.in_transaction = false;
  return true;
}

QString ElementWriter::errorString() const {
  return impl->error;
}

}  // namespace corvanta
