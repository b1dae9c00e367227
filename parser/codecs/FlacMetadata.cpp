#include "codecs/FlacMetadata.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/VorbisComment.h"

#include <algorithm>

namespace corvanta::codecs {

namespace {

enum BlockType : uint64_t {
  kStreamInfo = 0, kPadding = 1, kApplication = 2, kSeekTable = 3, kVorbisComment = 4, kCueSheet = 5, kPicture = 6
};

const ValueName kBlockTypes[] = {{kStreamInfo, "STREAMINFO"},  {kPadding, "PADDING"},
                                 {kApplication, "APPLICATION"}, {kSeekTable, "SEEKTABLE"},
                                 {kVorbisComment, "VORBIS_COMMENT"}, {kCueSheet, "CUESHEET"},
                                 {kPicture, "PICTURE"},         {127, "invalid"}};

const ValueName kPictureTypes[] = {
    {0, "other"}, {1, "file icon"}, {2, "other file icon"}, {3, "front cover"}, {4, "back cover"},
    {5, "leaflet page"}, {6, "media"}, {7, "lead artist"}, {8, "artist"}, {9, "conductor"}, {10, "band"},
    {11, "composer"}, {12, "lyricist"}, {13, "recording location"}, {14, "during recording"},
    {15, "during performance"}, {16, "screen capture"}, {17, "bright coloured fish"}, {18, "illustration"},
    {19, "band logotype"}, {20, "publisher logotype"}};

std::string streamInfo(FieldReader& f) {
  f.u("minimum_block_size", 16, "samples");
  f.u("maximum_block_size", 16, "samples");
  f.u("minimum_frame_size", 24, f.peek(24) ? "bytes" : "unknown");
  f.u("maximum_frame_size", 24, f.peek(24) ? "bytes" : "unknown");
  const uint64_t rate = f.u("sample_rate", 20, "Hz");
  const uint64_t channels =
      f.uh("channels_minus_1", 3, [](uint64_t v) { return numberText(v + 1) + (v ? " channels" : " channel"); }) + 1;
  const uint64_t bits = f.uh("bits_per_sample_minus_1", 5, [](uint64_t v) { return numberText(v + 1) + " bits"; }) + 1;
  const uint64_t samples = f.u("total_samples", 36, f.peek(36) ? "" : "unknown");
  if (f.has(128)) f.text("md5_signature", 128, hexDump(f.fileData() + f.bytePos(), 16));
  if (!f.ok()) return "FLAC STREAMINFO";
  std::string summary =
      "FLAC, " + numberText(channels) + " ch " + numberText(rate) + " Hz, " + numberText(bits) + " bits";
  if (samples) summary += ", " + numberText(samples) + " samples";
  return summary;
}

void seekTable(FieldReader& f) {
  for (int64_t i = 1; f.bytesLeft() >= 18; ++i) {
    FieldUnit point(f, "seek_point", i);
    const bool placeholder = f.peek(64) == ~uint64_t(0);
    f.u("sample_number", 64, placeholder ? "placeholder" : "");
    f.u("stream_offset", 64, "bytes after the first frame header");
    f.u("frame_samples", 16);
  }
}

// A 32-bit big-endian length and that many bytes of text.
std::string lengthPrefixedText(FieldReader& f, const char* length_name, const char* text_name, TextEncoding encoding) {
  const uint64_t length = f.u(length_name, 32);
  if (!f.ok() || length > uint64_t(f.bytesLeft())) {
    f.fail();
    return {};
  }
  return f.fixedString(text_name, int64_t(length), encoding);
}

std::string picture(FieldReader& f) {
  const uint64_t type = f.uh("picture_type", 32, [](uint64_t v) { return nameText(kPictureTypes, v); });
  const std::string media_type = lengthPrefixedText(f, "media_type_length", "media_type", TextEncoding::Latin1);
  lengthPrefixedText(f, "description_length", "description", TextEncoding::Utf8);
  const uint64_t width = f.u("width", 32, "pixels");
  const uint64_t height = f.u("height", 32, "pixels");
  f.u("colour_depth", 32, "bits per pixel");
  f.u("number_of_colours", 32, f.peek(32) ? "" : "not indexed");
  const uint64_t length = f.u("picture_data_length", 32, "bytes");
  if (f.ok() && length <= uint64_t(f.bytesLeft())) f.bytes("picture_data", int64_t(length));
  else f.fail();
  return nameText(kPictureTypes, type) + ", " + media_type + ", " + numberText(width) + "x" + numberText(height);
}

// The payload of one block, in a reader of its own that ends where the block does.
std::string blockPayload(FieldReader& f, uint64_t type) {
  std::string summary;
  switch (type) {
    case kStreamInfo: summary = streamInfo(f); break;
    case kPadding: f.rest("padding"); break;
    case kApplication: f.fourcc("application_id"); f.rest("application_data"); break;
    case kSeekTable: seekTable(f); break;
    case kVorbisComment: summary = vorbisComment(f, false); break;
    case kPicture: summary = picture(f); break;
    default: break;
  }
  if (!f.ok()) {
    f.recover();
    f.rest("data", "a field runs past the end of the block");
  } else {
    f.rest(type == kCueSheet ? "cuesheet_data" : "data", type == kCueSheet ? "" : "not decoded");
  }
  return summary;
}

}  // namespace

std::string flacMetadataBlocks(FieldReader& f) {
  std::string summary;
  bool last = false;
  while (!last && f.ok() && f.bytesLeft() >= 4) {
    const uint64_t type = f.peek(8) & 0x7f;
    const char* name = nameOf(kBlockTypes, type);
    FieldUnit unit(f, name ? name : "METADATA_BLOCK");
    last = f.flag("last_metadata_block", f.peek(1) ? "last" : "");
    f.uh("block_type", 7, [](uint64_t v) { return nameText(kBlockTypes, v); });
    const uint64_t length = f.u("length", 24, "bytes");
    const int64_t begin = f.bytePos();
    const int64_t end = begin + int64_t(std::min<uint64_t>(length, uint64_t(f.bytesLeft())));
    FieldReader block(f.writer(), f.fileData(), begin, end);
    std::string block_summary = blockPayload(block, type);
    f.skipBits((end - begin) * 8);
    if (type == kStreamInfo && summary.empty()) summary = block_summary;
    if (block_summary.empty()) block_summary = numberText(length) + " bytes";
    if (length > uint64_t(end - begin)) block_summary += ", truncated";
    unit.setSummary(block_summary);
  }
  return summary;
}

std::string flacMetadata(FieldReader& f) {
  const std::string marker = f.fixedString("marker", 4, TextEncoding::Latin1);
  if (!f.ok() || marker != "fLaC") {
    f.fail();
    return "not FLAC metadata";
  }
  const std::string summary = flacMetadataBlocks(f);
  return summary.empty() ? "FLAC metadata" : summary;
}

}  // namespace corvanta::codecs
