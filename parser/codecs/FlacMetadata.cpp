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

// Registered APPLICATION ids and what wrote them.
const ValueName kApplications[] = {
    {fourCC("ATCH"), "FlacFile"},         {fourCC("BSOL"), "beSolo"},
    {fourCC("BUGS"), "Bugs Player"},      {fourCC("Cues"), "GoldWave cue points"},
    {fourCC("Fica"), "CUE Splitter"},     {fourCC("Ftol"), "flac-tools"},
    {fourCC("MOTB"), "MOTB MetaCzar"},    {fourCC("MPSE"), "MP3 Stream Editor"},
    {fourCC("MuML"), "MusicML"},          {fourCC("RIFF"), "Sound Devices RIFF chunk storage"},
    {fourCC("SFFL"), "Sound Font FLAC"},  {fourCC("SONY"), "Sony Creative Software"},
    {fourCC("SQEZ"), "flacsqueeze"},      {fourCC("TtWv"), "TwistedWave"},
    {fourCC("UITS"), "UITS Embedding tools"}, {fourCC("aiff"), "FLAC AIFF chunk storage"},
    {fourCC("imag"), "flac-image"},       {fourCC("peem"), "Parseable Embedded Extensible Metadata"},
    {fourCC("qfst"), "QFLAC Studio"},     {fourCC("riff"), "FLAC RIFF chunk storage"},
    {fourCC("tune"), "TagTuner"},         {fourCC("w64 "), "FLAC Wave64 chunk storage"},
    {fourCC("xbat"), "XBAT"},             {fourCC("xmcd"), "xmcd"}};

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

// Reserved bits that must be zero, as one field.
void reservedBits(FieldReader& f, int64_t bits) {
  bool zero = true;
  if (f.has(bits) && f.byteAligned())
    for (int64_t i = 0; i < bits / 8 && zero; ++i) zero = f.fileData()[f.bytePos() + i] == 0;
  f.text("reserved", bits, {}, zero ? "" : "not all 0");
}

std::string cueSheet(FieldReader& f) {
  const std::string catalog = f.fixedString("media_catalog_number", 128, TextEncoding::Latin1);
  f.u("lead_in_samples", 64);
  const bool cd = f.flag("is_cd", f.has(1) && f.peek(1) ? "CD-DA" : "not CD-DA");
  f.u("reserved", 7);
  reservedBits(f, 258 * 8);
  const uint64_t tracks = f.u("number_of_tracks", 8);
  for (uint64_t t = 1; t <= tracks && f.ok(); ++t) {
    FieldUnit track(f, "track", int64_t(t));
    f.u("track_offset", 64, "samples");
    const uint64_t number = f.uh("track_number", 8, [](uint64_t v) { return v == 170 || v == 255 ? "lead-out" : ""; });
    f.fixedString("isrc", 12, TextEncoding::Latin1);
    f.uh("track_type", 1, [](uint64_t v) { return v ? "non-audio" : "audio"; });
    f.flag("pre_emphasis");
    f.u("reserved", 6);
    reservedBits(f, 13 * 8);
    const uint64_t points = f.u("number_of_index_points", 8);
    for (uint64_t i = 1; i <= points && f.ok(); ++i) {
      FieldUnit point(f, "index_point", int64_t(i));
      f.u("index_offset", 64, "samples after the track offset");
      const uint64_t index = f.u("index_number", 8);
      reservedBits(f, 3 * 8);
      point.setSummary("index " + numberText(index));
    }
    track.setSummary("track " + numberText(number) + ", " + numberText(points) + " index points");
  }
  std::string summary = numberText(tracks) + (tracks == 1 ? " track" : " tracks") + (cd ? ", CD-DA" : "");
  if (!catalog.empty()) summary += ", catalog " + catalog;
  return summary;
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
    case kApplication:
      summary = nameText(kApplications, f.has(32) ? f.peek(32) : 0);
      f.fourcc("application_id", summary);
      f.rest("application_data");
      break;
    case kSeekTable: seekTable(f); break;
    case kVorbisComment: summary = vorbisComment(f, false); break;
    case kPicture: summary = picture(f); break;
    case kCueSheet: summary = cueSheet(f); break;
    default: break;
  }
  if (!f.ok()) {
    f.recover();
    f.rest("data", "a field runs past the end of the block");
  } else {
    f.rest("data", "not decoded");
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

std::string flacPictureSummary(const uint8_t* data, int64_t size) {
  int64_t at = 0;
  const auto number = [&](uint64_t& value) {
    if (size - at < 4) return false;
    value = (uint64_t(data[at]) << 24) | (uint64_t(data[at + 1]) << 16) | (uint64_t(data[at + 2]) << 8) | data[at + 3];
    at += 4;
    return true;
  };
  uint64_t type = 0, media_length = 0, description_length = 0, width = 0, height = 0, depth = 0, colours = 0,
           length = 0;
  if (!number(type) || !number(media_length) || media_length > uint64_t(size - at)) return {};
  const std::string media_type = latin1Text(data + at, int64_t(media_length));
  at += int64_t(media_length);
  if (!number(description_length) || description_length > uint64_t(size - at)) return {};
  at += int64_t(description_length);
  if (!number(width) || !number(height) || !number(depth) || !number(colours) || !number(length)) return {};
  std::string summary = nameText(kPictureTypes, type);
  if (summary.empty()) summary = "picture type " + numberText(type);
  summary += ", " + media_type + ", " + numberText(width) + "x" + numberText(height) + ", " + numberText(depth) +
             " bits, " + numberText(length) + " bytes";
  if (length > uint64_t(size - at)) summary += ", cut short";
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
