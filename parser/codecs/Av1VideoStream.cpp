#include "codecs/Av1VideoStream.h"

#include "codecs/Av1Configuration.h"

namespace corvanta::codecs {

std::string Av1VideoStream::configuration(FieldReader& f) { return av1Configuration(f, context); }

std::string Av1VideoStream::frame(FieldReader& f, FramePicture& picture) {
  picture = {};
  context.first_frame_type.clear();
  context.first_frame_random_access = false;
  av1Obus(f, context);
  picture.type = context.first_frame_type;
  picture.random_access = context.first_frame_random_access;
  return picture.type;
}

}  // namespace corvanta::codecs
