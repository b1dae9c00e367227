#include "codecs/Vp8Frame.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"

namespace corvanta::codecs {

namespace {

const ValueName kScales[] = {{0, "no upscaling"}, {1, "upscale by 5/4"}, {2, "upscale by 5/3"}, {3, "upscale by 2"}};
constexpr uint64_t kStartCode = 0x9D012A;

// The fields of the frame tag and of the sizes are little-endian bit fields, whose bits are not
// contiguous in file order: each group is one element, its fields named in the readable value.
uint64_t dimension(FieldReader& f, std::string_view name) {
  if (!f.need(16)) return 0;
  const uint64_t value = f.peekLe(2);
  const uint64_t size = value & 0x3FFF;
  f.ule(name, 2, numberText(size) + " pixels, " + nameText(kScales, value >> 14));
  return size;
}

}  // namespace

std::string vp8Frame(FieldReader& f, bool& key) {
  key = false;
  if (!f.byteAligned() || !f.need(24)) return "VP8";
  const uint64_t tag = f.peekLe(3);
  key = (tag & 1) == 0;
  const uint64_t version = (tag >> 1) & 7;
  const bool shown = (tag >> 4) & 1;
  const uint64_t partition = tag >> 5;
  f.ule("frame_tag", 3,
        std::string(key ? "key frame" : "interframe") + ", version " + numberText(version) +
            (shown ? ", shown" : ", not shown") + ", first partition " + numberText(partition) + " bytes");
  if (!key) {
    f.rest("frame data");
    return "interframe";
  }
  const bool start_code = f.has(24) && f.peek(24) == kStartCode;
  f.bytes("start_code", 3, start_code ? "ok" : "not 9D 01 2A");
  const uint64_t width = dimension(f, "width");
  const uint64_t height = dimension(f, "height");
  f.rest("frame data");
  return "key frame " + numberText(width) + "x" + numberText(height) + ", first partition " + numberText(partition) +
         " bytes";
}

}  // namespace corvanta::codecs
