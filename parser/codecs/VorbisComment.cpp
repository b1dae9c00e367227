#include "codecs/VorbisComment.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "codecs/FlacMetadata.h"

#include <algorithm>
#include <vector>

namespace corvanta::codecs {

namespace {

constexpr std::string_view kPictureKey = "METADATA_BLOCK_PICTURE=";

bool startsWithPictureKey(const uint8_t* p, uint64_t length) {
  if (length < kPictureKey.size()) return false;
  for (size_t i = 0; i < kPictureKey.size(); ++i) {
    const char c = char(p[i]);
    if ((c >= 'a' && c <= 'z' ? char(c - 32) : c) != kPictureKey[i]) return false;
  }
  return true;
}

// Base64 (RFC 4648) up to the first byte that is no base64 character.
std::vector<uint8_t> base64Bytes(const uint8_t* p, uint64_t length) {
  std::vector<uint8_t> out;
  out.reserve(length / 4 * 3);
  uint32_t bits = 0;
  int count = 0;
  for (uint64_t i = 0; i < length; ++i) {
    const char c = char(p[i]);
    int value = c >= 'A' && c <= 'Z' ? c - 'A' : c >= 'a' && c <= 'z' ? c - 'a' + 26 : c >= '0' && c <= '9' ? c - '0' + 52
              : c == '+' ? 62 : c == '/' ? 63 : -1;
    if (value < 0) break;
    bits = (bits << 6) | uint32_t(value);
    if (++count == 4) {
      out.push_back(uint8_t(bits >> 16));
      out.push_back(uint8_t(bits >> 8));
      out.push_back(uint8_t(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 3) {
    out.push_back(uint8_t(bits >> 10));
    out.push_back(uint8_t(bits >> 2));
  } else if (count == 2) {
    out.push_back(uint8_t(bits >> 4));
  }
  return out;
}

// The picture that a METADATA_BLOCK_PICTURE comment carries, summarised; empty for other comments.
std::string pictureSummary(const uint8_t* p, uint64_t length) {
  if (!startsWithPictureKey(p, length)) return {};
  const std::vector<uint8_t> picture = base64Bytes(p + kPictureKey.size(), length - kPictureKey.size());
  const std::string summary = flacPictureSummary(picture.data(), int64_t(picture.size()));
  return summary.empty() ? "not a FLAC picture" : "picture: " + summary;
}

// A 32-bit length and that many bytes of UTF-8. False (reader failed) when they are not there.
bool lengthPrefixedText(FieldReader& f, const char* length_name, const char* text_name, int64_t seq,
                        std::string& text) {
  const uint64_t length = f.ule(length_name, 4, {}, seq);
  if (!f.ok() || length > uint64_t(f.bytesLeft())) {
    f.fail();
    return false;
  }
  const uint8_t* p = f.byteAligned() ? f.fileData() + f.bytePos() : nullptr;
  if (p && startsWithPictureKey(p, length)) {
    // A picture in base64 can be large: the raw value keeps only its start.
    text = utf8Text(p, int64_t(std::min<uint64_t>(length, kPictureKey.size() + 16))) + "…";
    f.text(text_name, int64_t(length) * 8, text, pictureSummary(p, length), seq);
    return f.ok();
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
