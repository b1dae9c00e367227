#include "codecs/Id3v2Tag.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "codecs/Id3v2Frames.h"

#include <cstring>

namespace corvanta::codecs {

namespace {

using id3::FrameContext;

constexpr int64_t kHeaderBytes = 10;
// Frames inside CHAP and CTOC nest; deeper ones are shown as data.
constexpr int kMostNesting = 4;

bool syncSafeBytes(const uint8_t* p, int count) {
  for (int i = 0; i < count; ++i)
    if (p[i] & 0x80) return false;
  return true;
}

uint32_t syncSafeValue(const uint8_t* p) {
  return uint32_t(p[0]) << 21 | uint32_t(p[1]) << 14 | uint32_t(p[2]) << 7 | p[3];
}

uint32_t plainValue(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Header or footer ("ID3" / "3DI") at p: the bytes after it up to the end of the frames.
int64_t declaredBytes(const uint8_t* p, const char* magic) {
  if (std::memcmp(p, magic, 3) != 0 || p[3] < 2 || p[3] > 4 || p[4] == 0xFF || !syncSafeBytes(p + 6, 4)) return 0;
  return kHeaderBytes + syncSafeValue(p + 6);
}

bool hasFooter(const uint8_t* p) {
  return p[3] == 4 && (p[5] & 0x10);
}

bool frameIdChar(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::string versionHrf(uint64_t major) {
  return "ID3v2." + numberText(major);
}

// The frames of a tag, or those embedded in a CHAP or CTOC frame.
class FrameWalk {
 public:
  explicit FrameWalk(const FrameContext& context) : ctx(context) {}

  // Every frame up to the padding or the end; returns the number of frames.
  int64_t walk(FieldReader& f) {
    int64_t count = 0;
    while (f.ok() && f.bytesLeft() > 0) {
      if (f.peek(8) == 0) {
        padding(f);
        break;
      }
      if (!plausibleFrame(f)) {
        unknownBytes(f);
        break;
      }
      frame(f, count++);
    }
    return count;
  }

  static void embedded(FieldReader& f, const FrameContext& context) {
    if (context.depth >= kMostNesting) return;
    FrameContext inner = context;
    ++inner.depth;
    FrameWalk(inner).walk(f);
  }

 private:
  int idBytes() const { return ctx.version == 2 ? 3 : 4; }
  int headerBytes() const { return ctx.version == 2 ? 6 : 10; }

  bool plausibleFrame(const FieldReader& f) const {
    if (!f.has(headerBytes() * 8)) return false;
    // Looks ahead through a reader of just the header, so that no frame copies the skipped
    // bytes of the whole tag.
    FieldReader look = f.subPayload(headerBytes());
    for (int i = 0; i < idBytes(); ++i)
      if (!frameIdChar(uint8_t(look.read(8)))) return false;
    return true;
  }

  // Frame size of ID3v2.4 is sync-safe, but some writers stored a plain number: the plain
  // reading is taken when only it lands on the next frame or the end.
  bool plainSizeInVersion4(const FieldReader& f) const {
    FieldReader look = f.subPayload(8);
    look.skipBits(32);
    uint8_t size_bytes[4];
    for (uint8_t& b : size_bytes) b = uint8_t(look.read(8));
    if (syncSafeBytes(size_bytes, 4) && !lands(look, syncSafeValue(size_bytes) + 2) &&
        lands(look, plainValue(size_bytes) + 2))
      return true;
    return !syncSafeBytes(size_bytes, 4);
  }

  // True when `bytes` from the reader end at its end, at padding or at a frame id.
  bool lands(const FieldReader& f, int64_t bytes) const {
    if (bytes > f.bytesLeft()) return false;
    if (bytes == f.bytesLeft()) return true;
    FieldReader look = f.subPayload(bytes + 4);
    look.skipBits(bytes * 8);
    if (look.peek(8) == 0) return true;
    for (int i = 0; i < 4 && look.has(8); ++i)
      if (!frameIdChar(uint8_t(look.read(8)))) return false;
    return true;
  }

  void frame(FieldReader& f, int64_t seq) {
    FieldReader look = f.subPayload(idBytes());
    std::string id;
    for (int i = 0; i < idBytes(); ++i) id.push_back(char(look.read(8)));
    const std::string id_v3 = ctx.version == 2 ? id3::frameIdV3(id) : id;
    const std::string name = id3::frameName(id_v3);
    FieldUnit unit(f, id, seq);
    f.fixedString("frame_id", idBytes(), TextEncoding::Latin1, name);
    uint64_t size = 0;
    uint64_t flags = 0;
    if (ctx.version == 2) {
      size = f.u("size", 24, "bytes");
    } else if (ctx.version == 3) {
      size = f.u("size", 32, "bytes");
      flags = flagsVersion3(f);
    } else if (plainSizeInVersion4(f)) {
      size = f.u("size", 32, "bytes, not sync-safe");
      flags = flagsVersion4(f);
    } else {
      size = f.syncSafe("size", 4, "bytes");
      flags = flagsVersion4(f);
    }
    if (!f.ok()) return;
    const int64_t declared = int64_t(size);
    FieldReader body = f.subPayload(declared);
    const bool cut = body.bitsLeft() < declared * 8;
    const std::string summary = frameBody(body, id_v3, flags);
    f.skipPast(body);
    unit.setSummary(summary, cut ? (name.empty() ? "truncated" : name + ", truncated") : name);
  }

  // Flags of ID3v2.3 as one number in the ID3v2.4 layout (0x40 grouping, 0x08 compression,
  // 0x04 encryption), so that one frameBody serves both.
  uint64_t flagsVersion3(FieldReader& f) {
    f.flag("tag_alter_preservation");
    f.flag("file_alter_preservation");
    f.flag("read_only");
    f.u("reserved", 5);
    const bool compression = f.flag("compression");
    const bool encryption = f.flag("encryption");
    const bool grouping = f.flag("grouping_identity");
    f.u("reserved", 5);
    return (grouping ? 0x40 : 0) | (compression ? 0x08 : 0) | (encryption ? 0x04 : 0) | kVersion3;
  }

  uint64_t flagsVersion4(FieldReader& f) {
    f.u("reserved", 1);
    f.flag("tag_alter_preservation");
    f.flag("file_alter_preservation");
    f.flag("read_only");
    f.u("reserved", 4);
    f.u("reserved", 1);
    const bool grouping = f.flag("grouping_identity");
    f.u("reserved", 2);
    const bool compression = f.flag("compression");
    const bool encryption = f.flag("encryption");
    const bool unsynchronisation = f.flag("unsynchronisation");
    const bool length = f.flag("data_length_indicator");
    return (grouping ? 0x40 : 0) | (compression ? 0x08 : 0) | (encryption ? 0x04 : 0) |
           (unsynchronisation ? 0x02 : 0) | (length ? 0x01 : 0);
  }

  std::string frameBody(FieldReader& body, const std::string& id, uint64_t flags) {
    const bool compression = flags & 0x08, encryption = flags & 0x04;
    if (flags & kVersion3) {
      if (compression) body.u("decompressed_size", 32, "bytes");
      if (encryption) body.u("encryption_method", 8);
      if (flags & 0x40) body.u("group_id", 8);
    } else {
      if (flags & 0x40) body.u("group_id", 8);
      if (encryption) body.u("encryption_method", 8);
      if (flags & 0x01) body.syncSafe("data_length", 4, "bytes without unsynchronisation");
      if ((flags & 0x02) || ctx.unsynchronised_frames) body.startUnsynchronisation();
    }
    if (!body.ok()) return {};
    if (compression || encryption) {
      body.rest(compression ? "compressed_data" : "encrypted_data", compression ? "zlib" : "");
      return compression ? "compressed" : "encrypted";
    }
    return id3::writeFrameBody(body, id, ctx, &FrameWalk::embedded);
  }

  void padding(FieldReader& f) {
    FieldReader look = f;
    bool zero = true;
    while (zero && look.has(8)) zero = look.read(8) == 0;
    f.rest("padding", zero ? "" : "not all zero");
  }

  void unknownBytes(FieldReader& f) {
    const int64_t start = f.bitPos();
    f.writer().addGarbage(start, f.endBit() - start);
    f.skipBits(f.bitsLeft());
  }

  static constexpr uint64_t kVersion3 = 0x10000;

  FrameContext ctx;
};

}  // namespace

int64_t id3v2TagBytes(const uint8_t* data, int64_t at, int64_t end) {
  if (end - at < kHeaderBytes) return 0;
  const int64_t declared = declaredBytes(data + at, "ID3");
  if (declared == 0) return 0;
  return declared + (hasFooter(data + at) ? kHeaderBytes : 0);
}

int64_t id3v2TagBytesBefore(const uint8_t* data, int64_t begin, int64_t end) {
  if (end - begin < 2 * kHeaderBytes) return 0;
  const uint8_t* footer = data + end - kHeaderBytes;
  const int64_t declared = declaredBytes(footer, "3DI");
  if (declared == 0 || declared + kHeaderBytes > end - begin) return 0;
  const int64_t start = end - kHeaderBytes - declared;
  return id3v2TagBytes(data, start, end) == declared + kHeaderBytes ? declared + kHeaderBytes : 0;
}

namespace {

void extendedHeaderVersion3(FieldReader& f) {
  const uint64_t size = f.u("extended_header_size", 32, "bytes after this field");
  FieldReader inner = f.subPayload(int64_t(size));
  const bool crc = inner.flag("crc_data_present");
  inner.u("reserved", 15);
  inner.u("padding_size", 32, "bytes");
  if (crc) inner.u("total_frame_crc", 32);
  inner.rest("unknown_data");
  f.skipPast(inner);
}

void extendedHeaderVersion4(FieldReader& f) {
  const uint64_t size = f.syncSafe("extended_header_size", 4, "bytes with this field");
  FieldReader inner = f.subPayload(size >= 4 ? int64_t(size) - 4 : 0);
  inner.u("number_of_flag_bytes", 8);
  inner.u("reserved", 1);
  const bool update = inner.flag("tag_is_an_update");
  const bool crc = inner.flag("crc_data_present");
  const bool restrictions = inner.flag("tag_restrictions");
  inner.u("reserved", 4);
  if (update) inner.u("flag_data_length", 8);
  if (crc) {
    inner.u("flag_data_length", 8);
    inner.uh("total_frame_crc", 40, [](uint64_t v) {
      const uint64_t crc = (v >> 32 & 7) << 28 | (v >> 24 & 0x7F) << 21 | (v >> 16 & 0x7F) << 14 |
                           (v >> 8 & 0x7F) << 7 | (v & 0x7F);
      return hexText(crc, 8);
    });
  }
  if (restrictions) {
    inner.u("flag_data_length", 8);
    inner.uh("tag_size_restrictions", 2, [](uint64_t v) {
      static const char* const kNames[] = {"at most 128 frames and 1 MB", "at most 64 frames and 128 KB",
                                           "at most 32 frames and 40 KB", "at most 32 frames and 4 KB"};
      return std::string(kNames[v & 3]);
    });
    inner.u("text_encoding_restrictions", 1);
    inner.u("text_fields_size_restrictions", 2);
    inner.u("image_encoding_restrictions", 1);
    inner.u("image_size_restrictions", 2);
  }
  inner.rest("unknown_data");
  f.skipPast(inner);
}

void footer(ElementWriter& writer, const uint8_t* data, int64_t begin) {
  FieldReader f(writer, data, begin, begin + kHeaderBytes);
  FieldUnit unit(f, "footer");
  f.fixedString("file_identifier", 3, TextEncoding::Latin1);
  f.uh("version", 8, versionHrf);
  f.u("revision", 8);
  f.u("flags", 8);
  f.syncSafe("size", 4, "bytes after the header");
}

}  // namespace

std::string writeId3v2Tag(ElementWriter& writer, const uint8_t* data, int64_t begin, int64_t end) {
  const int64_t declared = id3v2TagBytes(data, begin, end);
  writer.openUnit("ID3v2", begin * 8, (end - begin) * 8);
  FieldReader f(writer, data, begin, end);
  FrameContext context;
  context.version = end - begin > 3 && data[begin + 3] >= 2 && data[begin + 3] <= 4 ? data[begin + 3] : 4;
  bool unsynchronised = false, compressed = false, extended = false, with_footer = false;
  uint64_t size = 0;
  {
    FieldUnit header(f, "header");
    f.fixedString("file_identifier", 3, TextEncoding::Latin1);
    f.uh("version", 8, versionHrf);
    f.u("revision", 8);
    unsynchronised = f.flag("unsynchronisation");
    if (context.version == 2) {
      compressed = f.flag("compression");
      f.u("reserved", 6);
    } else {
      extended = f.flag("extended_header");
      f.flag("experimental");
      if (context.version == 4) with_footer = f.flag("footer_present");
      else f.u("reserved", 1);
      f.u("reserved", 4);
    }
    size = f.syncSafe("size", 4, "bytes after the header");
  }
  int64_t frame_count = 0;
  const int64_t frames_end = std::min<int64_t>(begin + kHeaderBytes + int64_t(size), end);
  if (f.ok()) {
    FieldReader body(writer, data, begin + kHeaderBytes, frames_end);
    if (unsynchronised && context.version <= 3) body.startUnsynchronisation();
    context.unsynchronised_frames = unsynchronised && context.version == 4;
    if (extended) {
      FieldUnit unit(body, "extended_header");
      if (context.version == 3) extendedHeaderVersion3(body);
      else extendedHeaderVersion4(body);
    }
    if (compressed) body.rest("compressed_frames");
    else frame_count = FrameWalk(context).walk(body);
  }
  if (with_footer && frames_end + kHeaderBytes <= end) footer(writer, data, frames_end);
  const std::string summary = versionHrf(uint64_t(context.version)) + ", " + numberText(uint64_t(frame_count)) +
                              (frame_count == 1 ? " frame" : " frames");
  writer.setUnitValue(summary, declared > end - begin ? "truncated" : "");
  writer.closeUnit();
  return summary;
}

}  // namespace corvanta::codecs
