#include "formats/ogg/OggStream.h"

#include "ByteOrder.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "codecs/FlacMetadata.h"
#include "codecs/OpusConfiguration.h"
#include "codecs/OpusPacket.h"
#include "codecs/SpeexHeader.h"
#include "codecs/TheoraHeaders.h"
#include "codecs/VorbisComment.h"
#include "codecs/VorbisHeaders.h"

#include <algorithm>
#include <cstring>

namespace corvanta::ogg {

namespace {

bool startsWith(const uint8_t* p, int64_t size, const char* prefix, int64_t length) {
  return size >= length && std::memcmp(p, prefix, size_t(length)) == 0;
}

// The Ogg FLAC mapping header: packet type 0x7F, "FLAC", version, the number of header packets
// after this one, then the native marker and the STREAMINFO block.
std::string flacMapping(FieldReader& f) {
  f.u("packet_type", 8);
  f.fixedString("signature", 4, TextEncoding::Latin1);
  const uint64_t major = f.u("major_version", 8);
  const uint64_t minor = f.u("minor_version", 8);
  f.u("header_packets", 16, f.has(16) && f.peek(16) == 0 ? "not known" : "after this one");
  const std::string summary = codecs::flacMetadata(f);
  return "Ogg FLAC " + numberText(major) + "." + numberText(minor) + ", " + summary;
}

std::string theoraData(FieldReader& f) {
  f.u("packet_type", 1, "data packet");
  const bool inter = f.flag("frame_type", f.has(1) && f.peek(1) ? "inter frame" : "intra frame");
  f.rest("frame_data");
  return inter ? "Theora inter frame" : "Theora intra frame";
}

std::string speexComments(FieldReader& f) {
  const std::string summary = "Speex comments, " + codecs::vorbisComment(f, false);
  if (!f.ok()) f.recover();
  f.rest("padding", "bytes after the comments");
  return summary;
}

// The packet's fields; returns its summary, or empty to leave it one opaque element.
std::string packetFields(FieldReader& f, const OggStreamInfo& stream, int64_t number, bool incomplete) {
  const uint8_t* p = f.fileData() + f.bytePos();
  const int64_t size = f.bytesLeft();
  switch (stream.codec) {
    case OggCodec::Vorbis:
      if (size >= 7 && (p[0] & 1) && startsWith(p + 1, size - 1, "vorbis", 6)) return codecs::vorbisHeaderPacket(f);
      return {};
    case OggCodec::Theora:
      if (size >= 7 && (p[0] & 0x80) && startsWith(p + 1, size - 1, "theora", 6)) return codecs::theoraHeaderPacket(f);
      return size > 0 && !(p[0] & 0x80) ? theoraData(f) : std::string();
    case OggCodec::Opus:
      if (number == 0 && startsWith(p, size, "OpusHead", 8)) {
        const std::string summary = codecs::opusHead(f);
        if (!f.ok()) f.recover();
        f.rest("extra_data", "bytes after the last field");
        return summary;
      }
      if (number == 1 && startsWith(p, size, "OpusTags", 8)) return codecs::opusTags(f);
      return number >= 2 ? codecs::opusPacket(f) : std::string();
    case OggCodec::Flac:
      if (number == 0 && startsWith(p, size, "\x7F" "FLAC", 5)) return flacMapping(f);
      if (codecs::flacFrameSyncAt(p, size)) {
        const codecs::FlacFrameLayout layout = codecs::measureFlacFrame(p, size, stream.flac);
        return "FLAC frame, " + codecs::flacFrame(f, layout, size, incomplete);
      }
      if (number > 0 && size >= 4) {
        const std::string summary = codecs::flacMetadataBlocks(f);
        return summary.empty() ? "FLAC metadata block" : summary;
      }
      return {};
    case OggCodec::Speex:
      if (number == 0) return codecs::speexHeader(f);
      if (number == 1) return speexComments(f);
      return {};
    case OggCodec::Unknown: break;
  }
  return {};
}

const char* packetKind(const OggStreamInfo& stream, int64_t number) {
  switch (stream.codec) {
    case OggCodec::Vorbis: return "Vorbis audio";
    case OggCodec::Speex: return number < stream.header_packets ? "Speex extra header" : "Speex audio";
    case OggCodec::Unknown: return "unknown codec";
    default: return "";
  }
}

}  // namespace

const char* codecName(OggCodec codec) {
  switch (codec) {
    case OggCodec::Vorbis: return "Vorbis";
    case OggCodec::Opus: return "Opus";
    case OggCodec::Flac: return "FLAC";
    case OggCodec::Theora: return "Theora";
    case OggCodec::Speex: return "Speex";
    case OggCodec::Unknown: break;
  }
  return "unknown";
}

OggStreamInfo identifyStream(uint32_t serial, const uint8_t* p, int64_t size) {
  OggStreamInfo stream;
  stream.serial = serial;
  if (size >= 16 && p[0] == 1 && startsWith(p + 1, size - 1, "vorbis", 6)) {
    stream.codec = OggCodec::Vorbis;
    stream.rate = loadLe32(p + 12);
    stream.header_packets = 3;
  } else if (size >= 12 && startsWith(p, size, "OpusHead", 8)) {
    stream.codec = OggCodec::Opus;
    stream.rate = 48000;
    stream.pre_skip = loadLe16(p + 10);
    stream.header_packets = 2;
  } else if (size >= 13 && startsWith(p, size, "\x7F" "FLAC", 5)) {
    stream.codec = OggCodec::Flac;
    stream.header_packets = 1 + loadBe16(p + 7);
    if (size >= 17 + 34 && startsWith(p + 9, size - 9, "fLaC", 4)) stream.flac = codecs::flacStreamParameters(p + 17, 34);
    stream.rate = stream.flac.sample_rate;
  } else if (size >= 42 && p[0] == 0x80 && startsWith(p + 1, size - 1, "theora", 6)) {
    stream.codec = OggCodec::Theora;
    stream.frame_rate_numerator = loadBe32(p + 22);
    stream.frame_rate_denominator = loadBe32(p + 26);
    stream.keyframe_shift = (loadBe16(p + 40) >> 5) & 31;
    stream.header_packets = 3;
  } else if (size >= 80 && startsWith(p, size, "Speex   ", 8)) {
    stream.codec = OggCodec::Speex;
    stream.rate = loadLe32(p + 36);
    stream.header_packets = 2 + int64_t(std::min<uint32_t>(loadLe32(p + 76), 1000));
  }
  return stream;
}

std::string granuleText(const OggStreamInfo& stream, int64_t granule) {
  if (granule == -1) return "no packet ends on this page";
  if (stream.codec == OggCodec::Theora) {
    const int shift = stream.keyframe_shift;
    const int64_t keyframe = granule >> shift;
    const int64_t offset = granule & ((int64_t(1) << shift) - 1);
    std::string text = "keyframe " + signedText(keyframe) + " + " + signedText(offset) + " frames";
    const int64_t frames = keyframe + offset;
    const int64_t denominator = std::max<int64_t>(stream.frame_rate_denominator, 1);
    if (stream.frame_rate_numerator && keyframe >= 0 && frames <= INT64_MAX / denominator)
      text += ", " + secondsText(frames * int64_t(stream.frame_rate_denominator), stream.frame_rate_numerator);
    return text;
  }
  if (stream.rate == 0 || granule < 0) return {};
  const int64_t samples = granule - int64_t(stream.pre_skip);
  std::string text = signedText(granule) + " samples";
  if (stream.pre_skip) text += ", " + signedText(samples) + " after the pre-skip";
  if (samples >= 0) text += ", " + secondsText(samples, stream.rate);
  return text;
}

void decodePacket(FieldReader& f, const OggStreamInfo& stream, int64_t number, bool incomplete,
                  const std::string& note) {
  const int64_t bytes = f.bytesLeft();
  std::string hrf = note;
  if (incomplete) hrf += std::string(hrf.empty() ? "" : ", ") + "incomplete: the rest is not in the file";
  const uint8_t* p = f.fileData() + f.bytePos();
  const bool decodable = [&] {
    switch (stream.codec) {
      case OggCodec::Vorbis: return bytes >= 7 && (p[0] & 1) && startsWith(p + 1, bytes - 1, "vorbis", 6);
      case OggCodec::Theora: return bytes > 0;
      case OggCodec::Opus: return number < 2 ? startsWith(p, bytes, number == 0 ? "OpusHead" : "OpusTags", 8) : bytes > 0;
      case OggCodec::Flac: return bytes >= 4;
      case OggCodec::Speex: return number < 2;
      case OggCodec::Unknown: break;
    }
    return false;
  }();
  if (!decodable) {
    std::string kind = packetKind(stream, number);
    if (!kind.empty() && !hrf.empty()) kind += ", ";
    f.text("packet", bytes * 8, numberText(uint64_t(bytes)) + (bytes == 1 ? " byte" : " bytes"), kind + hrf, number);
    return;
  }
  FieldUnit unit(f, "packet", number);
  std::string summary = packetFields(f, stream, number, incomplete);
  if (!f.ok()) f.recover();
  f.rest("packet_data", "not decoded");
  if (summary.empty()) summary = numberText(uint64_t(bytes)) + " bytes";
  unit.setSummary(summary, hrf);
}

}  // namespace corvanta::ogg
