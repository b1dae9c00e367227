#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvanta {

// A value and its readable name: the lists that give a field's values a meaning are
// tables of these, one per field, looked up when a readable value is made.
struct ValueName {
  uint64_t value;
  const char* name;
};

// The name of `value` in `table`, or null when the table does not list it.
template <size_t N>
const char* nameOf(const ValueName (&table)[N], uint64_t value) {
  for (const ValueName& entry : table)
    if (entry.value == value) return entry.name;
  return nullptr;
}

// The same as text: empty when the table does not list the value.
template <size_t N>
std::string nameText(const ValueName (&table)[N], uint64_t value) {
  const char* name = nameOf(table, value);
  return name ? name : std::string();
}

}  // namespace corvanta
