#include "codecs/XiphHeaderPacket.h"

#include "FieldReader.h"
#include "FieldUnit.h"

namespace corvanta::codecs {

std::string xiphHeaderPacket(FieldReader& f, int64_t seq, const XiphHeaderKind& kind) {
  const uint64_t type = f.has(8) ? f.peek(8) : 0;
  FieldUnit unit(f, kind.unit_name(type), seq);
  f.u(kind.type_field, 8);
  const std::string signature = f.fixedString("signature", 6, TextEncoding::Latin1);
  const std::string summary = f.ok() && signature == kind.signature ? kind.decode(f, type)
                                                                     : "not a " + std::string(kind.codec) + " header";
  if (!f.ok()) {
    f.recover();
    f.rest("data", "a field runs past the end of the packet");
  } else {
    f.rest("extra_data", "bytes after the last field");
  }
  unit.setSummary(summary);
  return summary;
}

}  // namespace corvanta::codecs
