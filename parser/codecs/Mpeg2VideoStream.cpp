#include "codecs/Mpeg2VideoStream.h"

#include "FieldReader.h"

namespace corvanta::codecs {

namespace {

// The units are written straight through the writer; the reader only moves past them.
void writeUnits(FieldReader& f, MpegVideoContext& context) {
  if (!f.byteAligned() || f.bytesLeft() <= 0) return;
  writeMpegVideoStream(f.writer(), f.fileData(), f.bytePos(), f.endByte(), context);
  f.skipBits(f.bitsLeft());
}

}  // namespace

std::string Mpeg2VideoStream::configuration(FieldReader& f) {
  writeUnits(f, context);
  return context.mpeg2 ? "MPEG-2 video headers" : "MPEG-1 video headers";
}

std::string Mpeg2VideoStream::frame(FieldReader& f, FramePicture& picture) {
  static const char* const kTypes[] = {"", "I", "P", "B", "D"};
  picture = {};
  context.picture_coding_type = 0;
  writeUnits(f, context);
  if (context.picture_coding_type >= 1 && context.picture_coding_type <= 4) {
    picture.type = kTypes[context.picture_coding_type];
    picture.random_access = context.picture_coding_type == 1;
  }
  return picture.type;
}

}  // namespace corvanta::codecs
