#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct sqlite3;

// Prints the element tree of an element database as text, one element per line,
// indented by level: name (with "-N" for a sequence number), offset and size in
// bits-text form, then " = raw value" and " [readable value]" when present.
// Control characters in values are escaped so that every element stays one line.
class TreePrinter {
 public:
  explicit TreePrinter(std::FILE* output) : out(output) {}

  // False when the database cannot be read or the output fails.
  bool print(sqlite3* db);
  int64_t printedCount() const { return printed; }

  // One line of the listing, without the newline (exposed for tests of the format).
  static std::string line(int level, const std::string& name, bool has_seq_num, int64_t seq_num,
                          int64_t bit_offset, int64_t bit_size, const std::string& raw_value,
                          const std::string& hrf_value);

 private:
  bool write(const std::string& text);

  std::FILE* out;
  int64_t printed = 0;
};
