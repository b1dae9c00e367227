#include "formats/isobmff/IsoBmffText.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "TextForms.h"

namespace corvanta::isobmff {

std::string languageText(uint16_t packed) {
  if (packed < 0x400) return "Macintosh language " + numberText(packed);
  if (packed == 0x7fff) return "unspecified";
  std::string out;
  for (int shift = 10; shift >= 0; shift -= 5) out += char(((packed >> shift) & 0x1f) + 0x60);
  return out;
}

std::string sampleFlagsText(uint32_t flags) {
  static const char* const kDependsOn[] = {"depends on: unknown", "depends on others",
                                           "depends on no other", "depends on: reserved"};
  std::string out = (flags & 0x10000) ? "non-sync" : "sync";
  out += ", ";
  out += kDependsOn[(flags >> 24) & 3];
  const unsigned leading = (flags >> 26) & 3;
  if (leading) out += ", is_leading " + numberText(leading);
  const unsigned padding = (flags >> 17) & 7;
  if (padding) out += ", padding " + numberText(padding);
  if (flags & 0xffff) out += ", degradation priority " + numberText(flags & 0xffff);
  return out;
}

void matrixField(FieldReader& f, std::string_view name) {
  if (!f.need(36 * 8)) return;
  const int64_t start = f.bitPos();
  std::string raw;
  int64_t values[9];
  for (int i = 0; i < 9; ++i) {
    values[i] = int32_t(uint32_t(f.read(32)));
    if (i) raw += ' ';
    raw += signedText(values[i]);
  }
  const int64_t one = 0x10000;
  std::string hrf;
  if (values[0] == one && values[1] == 0 && values[3] == 0 && values[4] == one) hrf = "identity";
  else if (values[0] == 0 && values[1] == one && values[3] == -one && values[4] == 0) hrf = "rotate 90°";
  else if (values[0] == -one && values[1] == 0 && values[3] == 0 && values[4] == -one) hrf = "rotate 180°";
  else if (values[0] == 0 && values[1] == -one && values[3] == one && values[4] == 0) hrf = "rotate 270°";
  f.writer().addField(name, start, 36 * 8, raw, hrf);
}

}  // namespace corvanta::isobmff
