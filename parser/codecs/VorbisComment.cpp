#include "codecs/VorbisComment.h"

#include "FieldReader.h"
#include "TextForms.h"

namespace corvanta::codecs {

namespace {

// A 32-bit length and that many bytes of UTF-8. False (reader failed) when they are not there.
bool lengthPrefixedText(FieldReader& f, const char* length_name, const char* text_name, int64_t seq,
                        std::string& text) {
  const uint64_t length = f.ule(length_name, 4, {}, seq);
  if (!f.ok() || length > uint64_t(f.bytesLeft())) {
    f.fail();
    return false;
  }
  text = f.fixedString(text_name, int64_t(length), TextEncoding::Utf8, {}, seq);
  return f.ok();
}

}  // namespace

std::string vorbisComment(FieldReader& f, bool framing_bit) {
  std::string vendor;
  if (!lengthPrefixedText(f, "vendor_length", "vendor_string", -1, vendor)) return "broken comment list";
  // Every comment takes at least its 4-byte length, so the loop ends with the bytes.
  const uint64_t count = f.ule("user_comment_list_length", 4);
  uint64_t read = 0;
  std::string comment;
  for (uint64_t i = 1; i <= count && f.ok(); ++i)
    if (lengthPrefixedText(f, "user_comment_length", "user_comment", int64_t(i), comment)) ++read;
  if (framing_bit && f.ok()) {
    f.u("reserved", 7);
    f.u("framing_bit", 1);
  }
  return "vendor \"" + vendor + "\", " + numberText(read) + (read == 1 ? " comment" : " comments");
}

}  // namespace corvanta::codecs
