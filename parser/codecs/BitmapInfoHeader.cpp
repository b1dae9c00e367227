#include "codecs/BitmapInfoHeader.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"

#include <algorithm>

namespace corvanta::codecs {

namespace {

constexpr int kHeaderBytes = 40;

const ValueName kCompressions[] = {{0, "BI_RGB"}, {1, "BI_RLE8"}, {2, "BI_RLE4"}, {3, "BI_BITFIELDS"},
                                   {4, "BI_JPEG"}, {5, "BI_PNG"}};

}  // namespace

std::string bitmapInfoHeader(FieldReader& f) {
  const uint64_t header_size = f.ule("biSize", 4, "bytes");
  const int64_t width = f.sle("biWidth", 4, "pixels");
  const int64_t height = f.sle("biHeight", 4, f.has(32) && int32_t(f.peekLe(4)) < 0 ? "top-down" : "bottom-up");
  f.ule("biPlanes", 2);
  const uint64_t bits = f.ule("biBitCount", 2, "bits per pixel");
  // Small values are the Windows compression constants, anything else a four-character code
  // stored in reading order.
  std::string compression;
  if (f.has(32) && f.peekLe(4) < 256) {
    compression = nameText(kCompressions, f.peekLe(4));
    f.ule("biCompression", 4, compression);
  } else if (f.has(32)) {
    compression = fourCCText(uint32_t(f.peek(32)));
    f.fourcc("biCompression");
  }
  f.ule("biSizeImage", 4, "bytes");
  f.sle("biXPelsPerMeter", 4);
  f.sle("biYPelsPerMeter", 4);
  f.ule("biClrUsed", 4);
  f.ule("biClrImportant", 4);
  if (!f.ok()) return "BITMAPINFOHEADER";
  if (header_size > uint64_t(kHeaderBytes)) {
    const int64_t extension = int64_t(std::min<uint64_t>(header_size - kHeaderBytes, uint64_t(f.bytesLeft())));
    f.bytes("header_extension", extension, "fields of a longer header version");
  }
  f.rest("codec_data");
  return compression + " " + signedText(width) + "x" + signedText(height < 0 ? -height : height) + ", " +
         numberText(bits) + " bits";
}

}  // namespace corvanta::codecs
