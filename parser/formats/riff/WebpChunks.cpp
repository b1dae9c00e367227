#include "formats/riff/WebpChunks.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/LsbBitFields.h"
#include "codecs/Vp8Frame.h"

namespace corvanta::riff {

namespace {

const ValueName kPreprocessing[] = {{0, "none"}, {1, "level reduction"}};
const ValueName kFilters[] = {{0, "none"}, {1, "horizontal"}, {2, "vertical"}, {3, "gradient"}};
const ValueName kAlphaCompression[] = {{0, "none"}, {1, "lossless"}};

// A 24-bit little-endian "minus one" size.
uint64_t minusOne(FieldReader& f, std::string_view name) {
  const uint64_t v = f.has(24) ? f.peekLe(3) : 0;
  f.ule(name, 3, numberText(v + 1) + " pixels");
  return v + 1;
}

}  // namespace

std::string webpLossy(RiffWalk&, const Chunk&, FieldReader& f) {
  bool key = false;
  return codecs::vp8Frame(f, key);
}

std::string webpLossless(RiffWalk&, const Chunk&, FieldReader& f) {
  const bool signature = f.has(8) && f.peek(8) == 0x2F;
  f.u("signature", 8, signature ? "ok" : "not 0x2F");
  if (!f.need(32)) return "VP8L";
  codecs::LsbBitFields bits(f.writer(), f.fileData(), f.bytePos(), 4);
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
