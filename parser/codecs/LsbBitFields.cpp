#include "codecs/LsbBitFields.h"

#include "ElementWriter.h"
#include "TextForms.h"

namespace corvanta::codecs {

LsbBitFields::LsbBitFields(ElementWriter& writer, const uint8_t* data, int64_t base, int bytes)
    : w(writer), start(base) {
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | data[base + i];
}

uint64_t LsbBitFields::field(std::string_view name, int lsb, int bits, std::string_view hrf) {
  const uint64_t v = get(lsb, bits);
  const int64_t first = start + lsb / 8, last = start + (lsb + bits - 1) / 8;
  if (first == last)
    w.addField(name, first * 8 + (7 - (lsb % 8 + bits - 1)), bits, numberText(v), hrf);
  else
    w.addField(name, first * 8, (last - first + 1) * 8, numberText(v), hrf);
  return v;
}

}  // namespace corvanta::codecs
