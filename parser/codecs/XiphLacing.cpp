#include "codecs/XiphLacing.h"

#include "FieldReader.h"
#include "TextForms.h"

namespace corvanta::codecs {

bool xiphLacedSizes(FieldReader& f, int count, std::string_view name, std::vector<int64_t>& sizes) {
  for (int i = 1; i <= count && f.ok(); ++i) {
    if (!f.byteAligned()) {
      f.fail();
      break;
    }
    const uint8_t* p = f.fileData() + f.bytePos();
    const int64_t room = f.bytesLeft();
    int64_t size = 0, length = 0;
    while (length < room && p[length] == 255) size += p[length++];
    if (length == room) {
      f.fail();
      break;
    }
    size += p[length++];
    f.text(name, length * 8, numberText(uint64_t(size)), {}, i);
    sizes.push_back(size);
  }
  return f.ok();
}

}  // namespace corvanta::codecs
