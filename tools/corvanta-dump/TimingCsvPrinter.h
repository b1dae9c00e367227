#pragma once

#include <cstdio>
#include <string>

struct sqlite3;

// Prints the timing tables of an element database as CSV with a header line: the frames with
// their stream's columns joined in, or the faults. Values with a comma, a quote or a line break
// are quoted, NULL is an empty field.
class TimingCsvPrinter {
 public:
  explicit TimingCsvPrinter(std::FILE* output) : out(output) {}

  // False when the database cannot be read or the output fails.
  bool printFrames(sqlite3* db);
  bool printFaults(sqlite3* db);

  // One CSV field (exposed for tests of the quoting).
  static std::string field(const char* text);

 private:
  bool printQuery(sqlite3* db, const char* header, const char* sql);

  std::FILE* out;
};
