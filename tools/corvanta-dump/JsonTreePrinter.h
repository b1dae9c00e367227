#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct sqlite3;

// Writes the element tree of an element database as nested JSON: an array of the
// top-level elements, each an object with "name", "seq_num" (a number or null),
// "offset" and "size" in bits, "raw_value", "hrf_value" and "children" (an array of
// the same objects). One element per line, indented by level, so that two dumps
// diff line by line. The elements are read in id order and written as they come;
// only the number of elements still open is kept, whatever the size of the tree.
class JsonTreePrinter {
 public:
  explicit JsonTreePrinter(std::FILE* output) : out(output) {}

  // False when the database cannot be read or the output fails.
  bool print(sqlite3* db);
  int64_t printedCount() const { return printed; }

  // One JSON string literal, quotes included (exposed for tests of the format).
  static std::string quoted(const std::string& text);

 private:
  void openElement(int level, const std::string& name, bool has_seq_num, int64_t seq_num, int64_t bit_offset,
                   int64_t bit_size, const std::string& raw_value, const std::string& hrf_value);
  void closeElements(int64_t down_to);
  bool flush(bool force);

  std::FILE* out;
  std::string buffer;
  int64_t open_count = 0;  // elements whose "children" array is still open
  bool first_in_array = true;
  int64_t printed = 0;
};
