#pragma once

#include <string>

struct sqlite3;

namespace corvanta {

struct RowBlock;

// Two read-only virtual tables over the RowBlock being inserted, so that a whole block
// goes into the database with one INSERT ... SELECT instead of binding every value:
//   kRowsTable    (id, level, parent_id, last_child_id, name_id, offset, size, raw_value, hrf_value)
//   kNumbersTable (id, seq_num)
// Texts are served straight from the block's arena, without copies.
class BlockTable {
 public:
  static constexpr const char* kRowsTable = "corvanta_block_rows";
  static constexpr const char* kNumbersTable = "corvanta_block_numbers";

  // Registers both tables on `db`; they serve no rows until setBlock.
  explicit BlockTable(sqlite3* db);
  // Unregisters them: statements that read them must be finalized before.
  ~BlockTable();
  BlockTable(const BlockTable&) = delete;
  BlockTable& operator=(const BlockTable&) = delete;

  bool registered() const { return ok; }
  // The block that both tables serve until the next call; null serves nothing.
  void setBlock(const RowBlock* block) { current = block; }

  // What one registered table reads: the current block, as rows or as numbers.
  struct Source {
    const RowBlock* const* block;
    bool numbers;
  };

 private:
  sqlite3* db;
  const RowBlock* current = nullptr;
  Source rows_source{&current, false};
  Source numbers_source{&current, true};
  bool ok = false;
};

}  // namespace corvanta
