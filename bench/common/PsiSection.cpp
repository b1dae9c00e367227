#include "PsiSection.h"

#include "Checksums.h"

namespace corvanta::bench {

void put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}

void put32(std::string& out, uint32_t v) {
  put16(out, v >> 16);
  put16(out, v);
}

std::string psiSection(uint8_t table_id, uint16_t extension, const std::string& body) {
  std::string s;
  s += static_cast<char>(table_id);
  put16(s, 0xB000u | static_cast<uint32_t>(5 + body.size() + 4));
  put16(s, extension);
  s += static_cast<char>(0xC1);
  s += '\0';
  s += '\0';
  s += body;
  put32(s, crc32Mpeg2(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int64_t>(s.size())));
  return s;
}

}  // namespace corvanta::bench
