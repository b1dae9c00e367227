#include "codecs/ParameterSets.h"

#include "FieldReader.h"

namespace corvanta::codecs {

void lengthPrefixedParameterSet(FieldReader& f, std::string_view length_name, std::string_view unit_name,
                                int64_t seq) {
  const uint64_t length = f.u(length_name, 16, {}, seq);
  if (!f.ok()) return;
  if (int64_t(length) > f.bytesLeft()) {
    f.fail();
    return;
  }
  f.bytes(unit_name, int64_t(length), {}, seq);
}

}  // namespace corvanta::codecs
