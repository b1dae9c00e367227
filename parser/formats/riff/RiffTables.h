#pragma once

#include "ValueName.h"

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::riff {

// The names of the bits set in `value`, in table order, space-separated; bits the table does
// not know are added as one hex number.
template <size_t N>
std::string flagNames(const ValueName (&table)[N], uint64_t value) {
  std::string out;
  uint64_t known = 0;
  for (const ValueName& flag : table) {
    known |= flag.value;
    if (value & flag.value) out += (out.empty() ? "" : " ") + std::string(flag.name);
  }
  if (value & ~known) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (uint64_t rest = value & ~known; rest; rest >>= 4) hex.insert(hex.begin(), kDigits[rest & 15]);
    out += (out.empty() ? "0x" : " 0x") + hex;
  }
  return out;
}

using corvanta::FieldReader;

// The name of a LIST INFO tag ("INAM" = "title"), or null.
const char* infoTagName(uint32_t id);

// What a LIST type or form type holds ("movi" = "frames"), or null.
const char* listTypeName(uint32_t type);

// At most `limit` bytes of UTF-8 text for a summary, cut between characters, "…" when cut.
std::string shortText(const std::string& text, size_t limit = 80);

class RiffWalk;
struct Chunk;

// Payloads that any form may hold: padding, and text (a LIST INFO tag, a name, XML).
std::string junkPayload(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string textPayload(RiffWalk& walk, const Chunk& chunk, FieldReader& f);

}  // namespace corvanta::riff
