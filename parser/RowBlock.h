#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta {

// A stretch of text kept in a RowBlock's arena.
struct TextSpan {
  uint32_t at = 0;
  uint32_t length = 0;
};

// One element row; its id is the block's first id plus its index.
struct BlockRow {
  int64_t parent_id = 0;
  int64_t last_child_id = 0;
  int64_t offset = 0;
  int64_t size = 0;
  int32_t level = 0;
  int32_t name_id = 0;
  TextSpan raw_value;
  TextSpan hrf_value;
};

struct SequenceNumber {
  int64_t id = 0;
  int64_t seq_num = 0;
};

struct NewName {
  int64_t id = 0;
  TextSpan name;
};

// The final values of a unit whose row went out in an earlier block.
struct UnitClose {
  int64_t id = 0;
  int64_t size = 0;
  int64_t last_child_id = 0;
  TextSpan raw_value;
  TextSpan hrf_value;
};

// Rows handed from the element writer to the database in one piece. The parts are
// written in this order: names, rows, sequence numbers, then the closes, which only
// name rows of earlier blocks.
struct RowBlock {
  int64_t first_id = 1;
  std::vector<BlockRow> rows;
  std::vector<SequenceNumber> sequence_numbers;
  std::vector<NewName> names;
  std::vector<UnitClose> closes;
  std::string text;  // every text of the block, one after the other

  TextSpan keep(std::string_view value) {
    const TextSpan span{static_cast<uint32_t>(text.size()), static_cast<uint32_t>(value.size())};
    text.append(value.data(), value.size());
    return span;
  }
  // Never a null pointer, even for an empty text: SQLite would read that as NULL.
  const char* textAt(TextSpan span) const { return text.data() + span.at; }

  bool empty() const { return rows.empty() && names.empty() && closes.empty(); }

  void clear(int64_t next_first_id) {
    first_id = next_first_id;
    rows.clear();
    sequence_numbers.clear();
    names.clear();
    closes.clear();
    text.clear();
  }
};

}  // namespace corvanta
