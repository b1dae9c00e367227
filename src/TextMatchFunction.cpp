#include "TextMatchFunction.h"

#include <sqlite3.h>

#include <array>
#include <cstring>

namespace {

constexpr std::array<unsigned char, 256> makeFoldTable() {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[size_t(c)] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return table;
}

constexpr std::array<unsigned char, 256> kFold = makeFoldTable();

bool equalFolded(const unsigned char* value, const unsigned char* needle, int length) {
  for (int i = 0; i < length; ++i)
    if (kFold[value[i]] != needle[i])
      return false;
  return true;
}

bool containsFolded(const unsigned char* value, int value_length, const unsigned char* needle, int needle_length) {
  if (needle_length == 0)
    return true;
  const unsigned char first = needle[0];
  for (int i = 0; i + needle_length <= value_length; ++i)
    if (kFold[value[i]] == first && equalFolded(value + i + 1, needle + 1, needle_length - 1))
      return true;
  return false;
}

void textMatch(sqlite3_context* context, int, sqlite3_value** arguments) {
  if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) {
    sqlite3_result_int(context, 0);
    return;
  }
  const unsigned char* value = sqlite3_value_text(arguments[0]);
  const int value_length = sqlite3_value_bytes(arguments[0]);
  const unsigned char* needle = sqlite3_value_text(arguments[1]);
  const int needle_length = sqlite3_value_bytes(arguments[1]);
  const bool whole = sqlite3_value_int(arguments[2]) != 0;
  if (!value || !needle) {
    sqlite3_result_int(context, 0);
    return;
  }
  const bool match = whole ? value_length == needle_length && equalFolded(value, needle, needle_length)
                           : containsFolded(value, value_length, needle, needle_length);
  sqlite3_result_int(context, match ? 1 : 0);
}

}  // namespace

bool registerTextMatchFunction(sqlite3* db) {
  return db && sqlite3_create_function_v2(db, "corvanta_text_match", 3,
                                          SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                          textMatch, nullptr, nullptr, nullptr) == SQLITE_OK;
}
