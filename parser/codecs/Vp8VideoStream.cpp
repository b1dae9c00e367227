#include "codecs/Vp8VideoStream.h"

#include "FieldReader.h"
#include "codecs/Vp8Frame.h"

namespace corvanta::codecs {

std::string Vp8VideoStream::configuration(FieldReader& f) {
  f.rest("data");
  return {};
}

std::string Vp8VideoStream::frame(FieldReader& f, FramePicture& picture) {
  bool key = false;
  vp8Frame(f, key);
  picture.type = key ? "key" : "inter";
  picture.random_access = key;
  return picture.type;
}

}  // namespace corvanta::codecs
