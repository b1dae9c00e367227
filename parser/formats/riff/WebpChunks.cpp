#include "formats/riff/WebpChunks.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"

namespace corvanta::riff {

namespace {

const ValueName kScales[] = {{0, "no upscaling"}, {1, "upscale by 5/4"}, {2, "upscale by 5/3"}, {3, "upscale by 2"}};
const ValueName kPreprocessing[] = {{0, "none"}, {1, "level reduction"}};
const ValueName kFilters[] = {{0, "none"}, {1, "horizontal"}, {2, "vertical"}, {3, "gradient"}};
const ValueName kAlphaCompression[] = {{0, "none"}, {1, "lossless"}};

// The little-endian bit fields of VP8 and VP8L count from the least significant bit of the
// first byte. A field inside one byte is shown at its exact bits; one that spans bytes covers
// the bytes it touches, since its bits are not contiguous in file order.
class LsbFields {
 public:
  // Over `bytes` (at most 8) bytes at `base`, which the caller has checked are there.
  LsbFields(ElementWriter& writer, const uint8_t* data, int64_t base, int bytes) : w(writer), start(base) {
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | data[base + i];
  }

  uint64_t field(std::string_view name, int lsb, int bits, std::string_view hrf = {}) {
    const uint64_t v = get(lsb, bits);
    const int64_t first = start + lsb / 8, last = start + (lsb + bits - 1) / 8;
    if (first == last)
      w.addField(name, first * 8 + (7 - (lsb % 8 + bits - 1)), bits, numberText(v), hrf);
    else
      w.addField(name, first * 8, (last - first + 1) * 8, numberText(v), hrf);
    return v;
  }
  uint64_t get(int lsb, int bits) const { return (value >> lsb) & ((uint64_t(1) << bits) - 1); }

 private:
  ElementWriter& w;
  int64_t start;
  uint64_t value = 0;
};

// A 24-bit little-endian "minus one" size.
uint64_t minusOne(FieldReader& f, std::string_view name) {
  const uint64_t v = f.has(24) ? f.peekLe(3) : 0;
  f.ule(name, 3, numberText(v + 1) + " pixels");
  return v + 1;
}

// VP8 key frames: 14-bit size and 2-bit upscaling in one little-endian 16-bit field.
uint64_t dimension(FieldReader& f, std::string_view size_name, std::string_view scale_name) {
  if (!f.need(16)) return 0;
  LsbFields bits(f.writer(), f.fileData(), f.bytePos(), 2);
  const uint64_t size = bits.field(size_name, 0, 14, "pixels");
  bits.field(scale_name, 14, 2, nameText(kScales, bits.get(14, 2)));
  f.skipBits(16);
  return size;
}

}  // namespace

std::string webpLossy(RiffWalk&, const Chunk&, FieldReader& f) {
  if (!f.need(24)) return "VP8";
  LsbFields tag(f.writer(), f.fileData(), f.bytePos(), 3);
  const bool key = tag.get(0, 1) == 0;
  tag.field("frame_type", 0, 1, key ? "key frame" : "interframe");
  tag.field("version", 1, 3);
  tag.field("show_frame", 4, 1);
  const uint64_t partition = tag.field("first_part_size", 5, 19, "bytes");
  f.skipBits(24);
  if (!key) {
    f.rest("frame data");
    return "interframe";
  }
  const bool start_code = f.has(24) && f.peek(24) == 0x9D012A;
  f.bytes("start_code", 3, start_code ? "ok" : "not 9D 01 2A");
  const uint64_t width = dimension(f, "width", "horizontal_scale");
  const uint64_t height = dimension(f, "height", "vertical_scale");
  f.rest("frame data");
  return "key frame " + numberText(width) + "x" + numberText(height) + ", first partition " + numberText(partition) +
         " bytes";
}

std::string webpLossless(RiffWalk&, const Chunk&, FieldReader& f) {
  const bool signature = f.has(8) && f.peek(8) == 0x2F;
  f.u("signature", 8, signature ? "ok" : "not 0x2F");
  if (!f.need(32)) return "VP8L";
  LsbFields bits(f.writer(), f.fileData(), f.bytePos(), 4);
  const uint64_t width = bits.get(0, 14) + 1, height = bits.get(14, 14) + 1;
  bits.field("image_width_minus_one", 0, 14, numberText(width) + " pixels");
  bits.field("image_height_minus_one", 14, 14, numberText(height) + " pixels");
  const bool alpha = bits.field("alpha_is_used", 28, 1) != 0;
  bits.field("version_number", 29, 3, bits.get(29, 3) == 0 ? "" : "should be 0");
  f.skipBits(32);
  f.rest("image data");
  return numberText(width) + "x" + numberText(height) + (alpha ? ", alpha" : "");
}

std::string webpExtended(RiffWalk&, const Chunk&, FieldReader& f) {
  f.u("Reserved", 2);
  const bool icc = f.flag("ICC profile");
  const bool alpha = f.flag("Alpha");
  const bool exif = f.flag("EXIF metadata");
  const bool xmp = f.flag("XMP metadata");
  const bool animation = f.flag("Animation");
  f.u("Reserved", 1);
  f.u("Reserved", 24);
  const uint64_t width = minusOne(f, "Canvas Width Minus One");
  const uint64_t height = minusOne(f, "Canvas Height Minus One");
  std::string summary = "canvas " + numberText(width) + "x" + numberText(height);
  for (const auto& [set, name] : {std::pair{animation, "animation"}, {alpha, "alpha"}, {icc, "ICC"}, {exif, "EXIF"}, {xmp, "XMP"}})
    if (set) summary += std::string(", ") + name;
  return summary;
}

std::string webpAnimation(RiffWalk&, const Chunk&, FieldReader& f) {
  if (f.has(32)) {
    const uint8_t* p = f.fileData() + f.bytePos();
    std::string argb = "#";
    for (int i : {3, 2, 1, 0}) {
      const std::string byte = hexText(p[i], 2);
      argb += byte.substr(2);
    }
    f.text("Background Color", 32, argb, "alpha, red, green, blue (stored blue first)");
  }
  const uint64_t loops = f.ule("Loop Count", 2, f.has(16) && f.peekLe(2) == 0 ? "endless" : "");
  return loops == 0 ? "endless loop" : numberText(loops) + (loops == 1 ? " loop" : " loops");
}

std::string webpFrame(RiffWalk& walk, const Chunk& chunk, FieldReader& f) {
  const uint64_t x = f.has(24) ? f.peekLe(3) * 2 : 0;
  f.ule("Frame X", 3, numberText(x) + " pixels (stored halved)");
  const uint64_t y = f.has(24) ? f.peekLe(3) * 2 : 0;
  f.ule("Frame Y", 3, numberText(y) + " pixels (stored halved)");
  const uint64_t width = minusOne(f, "Frame Width Minus One");
  const uint64_t height = minusOne(f, "Frame Height Minus One");
  const uint64_t duration = f.ule("Frame Duration", 3, "ms");
  f.u("Reserved", 6);
  const bool no_blend = f.flag("Blending method", f.has(1) && f.peek(1) ? "do not blend" : "alpha-blend");
  const bool dispose = f.flag("Disposal method", f.has(1) && f.peek(1) ? "dispose to the background colour" : "none");
  if (f.ok() && chunk.depth + 1 < RiffWalk::kMaxDepth) {
    walk.walkChunks(f.bytePos(), chunk.data_end, fourCC("ANMF"), chunk.depth + 1);
    f.skipBits(f.bitsLeft());
  }
  return numberText(width) + "x" + numberText(height) + " at " + numberText(x) + "," + numberText(y) + ", " +
         numberText(duration) + " ms" + (no_blend ? ", no blending" : "") + (dispose ? ", dispose" : "");
}

std::string webpAlpha(RiffWalk&, const Chunk&, FieldReader& f) {
  f.u("Rsv", 2);
  const uint64_t preprocessing = f.uh("P", 2, [](uint64_t v) { return nameText(kPreprocessing, v); });
  const uint64_t filter = f.uh("F", 2, [](uint64_t v) { return nameText(kFilters, v); });
  const uint64_t compression = f.uh("C", 2, [](uint64_t v) { return nameText(kAlphaCompression, v); });
  f.rest("alpha bitstream");
  return nameText(kAlphaCompression, compression) + ", filter " + nameText(kFilters, filter) +
         (preprocessing ? ", level reduction" : "");
}

}  // namespace corvanta::riff
