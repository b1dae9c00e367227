#include "formats/riff/AviChunks.h"

#include "ByteOrder.h"
#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "TimingWriter.h"
#include "ValueName.h"
#include "codecs/AvcConfiguration.h"
#include "codecs/BitmapInfoHeader.h"
#include "codecs/HevcConfiguration.h"
#include "codecs/VideoFormat.h"
#include "codecs/WaveFormatEx.h"
#include "formats/riff/RiffTables.h"

#include <algorithm>

namespace corvanta::riff {

namespace {

constexpr uint32_t kMovi = fourCC("movi"), kRec = fourCC("rec "), kIdx1 = fourCC("idx1");
constexpr uint64_t kKeyFrameFlag = 0x10;       // AVIIF_KEYFRAME of idx1
constexpr uint64_t kDeltaFrameBit = 0x80000000;  // bit 31 of an ix## entry's size
constexpr uint64_t kIndexOfIndexes = 0x00, kIndexOfChunks = 0x01;
constexpr uint64_t kFieldIndex = 0x01;  // bIndexSubType AVI_INDEX_2FIELD

const ValueName kMainHeaderFlags[] = {{0x10, "HASINDEX"},        {0x20, "MUSTUSEINDEX"},
                                      {0x100, "ISINTERLEAVED"},  {0x800, "TRUSTCKTYPE"},
                                      {0x10000, "WASCAPTUREFILE"}, {0x20000, "COPYRIGHTED"}};
const ValueName kStreamHeaderFlags[] = {{0x1, "DISABLED"}, {0x10000, "VIDEO_PALCHANGES"}};
const ValueName kOldIndexFlags[] = {{0x1, "LIST"}, {0x10, "KEYFRAME"}, {0x20, "FIRSTPART"}, {0x40, "LASTPART"},
                                    {0x100, "NO_TIME"}};
const ValueName kStreamTypes[] = {{fourCC("vids"), "video"}, {fourCC("auds"), "audio"}, {fourCC("txts"), "text"},
                                  {fourCC("mids"), "MIDI"},  {fourCC("iavs"), "interleaved DV"}};
const ValueName kIndexTypes[] = {{kIndexOfIndexes, "index of indexes"}, {kIndexOfChunks, "index of chunks"},
                                 {0x80, "index is data"}};
const ValueName kVideoFormatTokens[] = {{0, "unknown"}, {1, "PAL square"}, {2, "PAL CCIR 601"}, {3, "NTSC square"},
                                        {4, "NTSC CCIR 601"}};
const ValueName kVideoStandards[] = {{0, "unknown"}, {1, "PAL"}, {2, "NTSC"}, {3, "SECAM"}};

// The two characters after a stream number in a movi chunk id.
const ValueName kFrameKinds[] = {{fourCC("\0\0dc"), "compressed video"}, {fourCC("\0\0db"), "uncompressed video"},
                                 {fourCC("\0\0wb"), "audio"}, {fourCC("\0\0tx"), "text"},
                                 {fourCC("\0\0pc"), "palette change"}};

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Lists of 'rec ' lists inside movi are one level deep in real files.
constexpr int kMaxRecDepth = 4;

// Whether a chunk header at `at` lies inside a file of `size` bytes; `at` may be anything a
// file's 64-bit offset field says.
bool headerFits(int64_t at, int64_t size) { return at >= 0 && at <= size - 8; }

// An offset field plus a base, both from the file, wrapped rather than overflowed.
int64_t offsetFrom(int64_t base, uint64_t offset, int64_t delta = 0) {
  return int64_t(uint64_t(base) + offset + uint64_t(delta));
}

// "00dc": the stream number, or -1 when the id is no frame chunk of a known kind.
int frameStream(uint32_t id) {
  const uint8_t a = uint8_t(id >> 24), b = uint8_t(id >> 16);
  if (!isDigit(a) || !isDigit(b) || !nameOf(kFrameKinds, id & 0xFFFF)) return -1;
  return (a - '0') * 10 + (b - '0');
}

bool isIndexId(uint32_t id) { return (id >> 16) == ((uint32_t('i') << 8) | 'x') && isDigit(uint8_t(id >> 8)) && isDigit(uint8_t(id)); }

// The chunks of [begin, end) in order, by their headers alone; stops at the first implausible one.
template <class Visit>
void forEachChunk(const uint8_t* data, int64_t begin, int64_t end, Visit&& visit) {
  int64_t pos = begin;
  while (pos >= 0 && pos + 8 <= end) {
    const uint32_t id = loadBe32(data + pos);
    const int64_t size = loadLe32(data + pos + 4);
    if (!isPrintableFourCC(id)) return;
    visit(id, pos, size);
    pos += 8 + size + (size & 1);
  }
}

struct IndexChunks {
  std::vector<int64_t> movi_types;  // offsets of the 'movi' list types
  std::vector<std::pair<int64_t, int64_t>> idx1, ix;  // payload ranges
};

void collectMovi(const uint8_t* data, int64_t begin, int64_t end, IndexChunks& found, int depth = 0) {
  forEachChunk(data, begin, end, [&](uint32_t id, int64_t pos, int64_t size) {
    const int64_t data_end = std::min(end, pos + 8 + size);
    if (isIndexId(id)) found.ix.push_back({pos + 8, data_end});
    if (id == fourCC("LIST") && pos + 12 <= end && loadBe32(data + pos + 8) == kRec && depth < kMaxRecDepth)
      collectMovi(data, pos + 12, data_end, found, depth + 1);
  });
}

IndexChunks findIndexChunks(const uint8_t* data, int64_t size) {
  IndexChunks found;
  forEachChunk(data, 0, size, [&](uint32_t id, int64_t pos, int64_t riff_size) {
    if (id != fourCC("RIFF") || pos + 12 > size) return;
    forEachChunk(data, pos + 12, std::min(size, pos + 8 + riff_size), [&](uint32_t child, int64_t at, int64_t bytes) {
      const int64_t data_end = std::min(size, at + 8 + bytes);
      if (child == kIdx1) found.idx1.push_back({at + 8, data_end});
      if (isIndexId(child)) found.ix.push_back({at + 8, data_end});
      if (child == fourCC("LIST") && at + 12 <= size && loadBe32(data + at + 8) == kMovi) {
        found.movi_types.push_back(at + 8);
        collectMovi(data, at + 12, data_end, found);
      }
    });
  });
  return found;
}

// Where an idx1 entry's chunk starts, counting from `base`.
bool idx1EntryHits(const uint8_t* data, int64_t size, int64_t base, const uint8_t* entry) {
  const int64_t at = base + int64_t(loadLe32(entry + 8));
  return headerFits(at, size) && loadBe32(data + at) == loadBe32(entry);
}

// A stream's length in units of scale/rate seconds as time; both are 32-bit, so their product
// fits 64 bits unsigned, and only an absurd one leaves the signed range.
std::string lengthText(uint64_t units, uint64_t scale, uint64_t rate) {
  const uint64_t ticks = units * scale;
  if (rate == 0 || scale == 0 || ticks > uint64_t(INT64_MAX)) return {};
  return secondsText(int64_t(ticks), uint32_t(rate));
}

std::string streamKindText(uint32_t type) {
  const char* name = nameOf(kStreamTypes, type);
  return name ? name : fourCCText(type);
}

}  // namespace

std::unordered_map<int64_t, bool> aviKeyFrames(RiffWalk& walk) {
  const uint8_t* data = walk.data();
  const int64_t size = walk.size();
  const IndexChunks found = findIndexChunks(data, size);
  std::unordered_map<int64_t, bool> keys;
  // idx1 offsets count from the first movi list type in most files, from the file's start in
  // some: the first entry that is no list decides.
  const int64_t movi = found.movi_types.empty() ? 0 : found.movi_types.front();
  walk.state.idx1_base = movi;
  for (const auto& [begin, end] : found.idx1) {
    for (int64_t at = begin; at + 16 <= end; at += 16) {
      if (loadBe32(data + at) == kRec) continue;
      if (!idx1EntryHits(data, size, movi, data + at) && idx1EntryHits(data, size, 0, data + at))
        walk.state.idx1_base = 0;
      break;
    }
    for (int64_t at = begin; at + 16 <= end; at += 16)
      keys[walk.state.idx1_base + int64_t(loadLe32(data + at + 8))] = (loadLe32(data + at + 4) & kKeyFrameFlag) != 0;
  }
  for (const auto& [begin, end] : found.ix) {
    if (end - begin < 24 || data[begin + 3] != kIndexOfChunks) continue;
    const int longs = std::max<int>(2, loadLe16(data + begin));
    const int64_t base = int64_t(loadLe64(data + begin + 12));
    const int64_t count = std::min<int64_t>(loadLe32(data + begin + 4), (end - begin - 24) / (4 * longs));
    for (int64_t i = 0; i < count; ++i) {
      const uint8_t* entry = data + begin + 24 + i * 4 * longs;
      keys[offsetFrom(base, loadLe32(entry), -8)] = (loadLe32(entry + 4) & kDeltaFrameBit) == 0;
    }
  }
  return keys;
}

int64_t nextAviFrameNumber(RiffWalk& walk, const Chunk& chunk) {
  if (walk.formType() != fourCC("AVI ") || (chunk.parent_type != kMovi && chunk.parent_type != kRec)) return -1;
  const int stream = frameStream(chunk.id);
  if (stream < 0) return -1;
  auto& streams = walk.state.streams;
  if (size_t(stream) >= streams.size()) {
    if (stream > 99) return -1;
    streams.resize(size_t(stream) + 1);
  }
  return streams[size_t(stream)].frames_seen++;
}

namespace {

std::string aviFrame(RiffWalk& walk, const Chunk& chunk, FieldReader& f) {
  const int stream = frameStream(chunk.id);
  const char* kind = nameOf(kFrameKinds, chunk.id & 0xFFFF);
  std::string summary = "stream ";
  appendNumber(summary, uint64_t(stream));
  summary += ' ';
  summary += kind;
  summary += ", ";
  appendNumber(summary, chunk.declared);
  summary += " bytes";
  const auto key = walk.state.key_frames.find(chunk.begin);
  if (key != walk.state.key_frames.end()) summary += key->second ? ", key frame" : ", not a key frame";
  if (f.bytesLeft() > 0) f.bytes((chunk.id & 0xFFFF) == fourCC("\0\0pc") ? "palette change" : "frame data", f.bytesLeft());
  ++walk.state.frames_written;
  return summary;
}

}  // namespace

ChunkDecoder aviPatternDecoder(uint32_t id, uint32_t parent_type) {
  if (isIndexId(id)) return aviIndex;
  if ((parent_type == kMovi || parent_type == kRec) && frameStream(id) >= 0) return aviFrame;
  return nullptr;
}

std::string aviMainHeader(RiffWalk&, const Chunk&, FieldReader& f) {
  const uint64_t period = f.ule("dwMicroSecPerFrame", 4, "µs");
  f.ule("dwMaxBytesPerSec", 4, "bytes per second");
  f.ule("dwPaddingGranularity", 4, "bytes");
  f.uleh("dwFlags", 4, [](uint64_t v) { return flagNames(kMainHeaderFlags, v); });
  const uint64_t frames = f.ule("dwTotalFrames", 4, "frames in the first RIFF");
  f.ule("dwInitialFrames", 4);
  const uint64_t streams = f.ule("dwStreams", 4);
  f.ule("dwSuggestedBufferSize", 4, "bytes");
  const uint64_t width = f.ule("dwWidth", 4, "pixels");
  const uint64_t height = f.ule("dwHeight", 4, "pixels");
  for (int i = 0; i < 4 && f.bytesLeft() >= 4; ++i) f.ule("dwReserved", 4, {}, i);
  std::string summary = numberText(width) + "x" + numberText(height) + ", " + numberText(streams) + " streams, " +
                        numberText(frames) + " frames";
  if (period) summary += ", " + codecs::frameRateText(1000000, period);
  return summary;
}

std::string aviStreamHeader(RiffWalk& walk, const Chunk&, FieldReader& f) {
  AviStream stream;
  stream.type = f.has(32) ? uint32_t(f.peek(32)) : 0;
  f.fourcc("fccType", streamKindText(stream.type));
  stream.handler = f.has(32) ? uint32_t(f.peek(32)) : 0;
  f.fourcc("fccHandler");
  f.uleh("dwFlags", 4, [](uint64_t v) { return flagNames(kStreamHeaderFlags, v); });
  f.ule("wPriority", 2);
  f.ule("wLanguage", 2);
  f.ule("dwInitialFrames", 4);
  const uint64_t scale = f.ule("dwScale", 4);
  const uint64_t rate = f.ule("dwRate", 4);
  stream.scale = scale;
  stream.rate = rate;
  const std::string rate_text = scale ? (stream.type == fourCC("vids") ? codecs::frameRateText(rate, scale)
                                                                         : floatText(double(rate) / double(scale)) + " per second")
                                      : "";
  f.ule("dwStart", 4);
  const uint64_t length = f.uleh("dwLength", 4, [scale, rate](uint64_t units) { return lengthText(units, scale, rate); });
  f.ule("dwSuggestedBufferSize", 4, "bytes");
  const uint64_t quality = f.has(32) ? f.peekLe(4) : 0;
  f.ule("dwQuality", 4, quality == 0xFFFFFFFF ? "default" : "");
  stream.sample_size = f.has(32) ? f.peekLe(4) : 0;
  f.ule("dwSampleSize", 4, f.has(32) && f.peekLe(4) == 0 ? "varies" : "bytes");
  if (f.bytesLeft() >= 8) {
    FieldUnit frame(f, "rcFrame");
    f.sle("left", 2);
    f.sle("top", 2);
    f.sle("right", 2);
    f.sle("bottom", 2);
  }
  walk.state.streams.push_back(stream);
  std::string summary = streamKindText(stream.type);
  if (stream.handler) summary += " " + fourCCText(stream.handler);
  summary += ", " + numberText(length) + " units";
  if (!rate_text.empty()) summary += ", " + rate_text;
  return summary;
}

namespace {

bool isFourCCOf(uint32_t code, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (code == loadBe32(reinterpret_cast<const uint8_t*>(name))) return true;
  return false;
}

// What follows the BITMAPINFOHEADER: configuration records go to their decoders.
void videoCodecData(FieldReader& f, uint32_t compression) {
  if (f.bytesLeft() <= 0) return;
  const uint8_t first = f.fileData()[f.bytePos()];
  if (first == 1 && isFourCCOf(compression, {"H264", "h264", "X264", "x264", "avc1", "AVC1", "DAVC"})) {
    FieldUnit unit(f, "AVCDecoderConfigurationRecord");
    unit.setSummary(codecs::avcConfiguration(f));
  } else if (first == 1 && isFourCCOf(compression, {"HEVC", "hevc", "H265", "h265", "hvc1", "hev1", "X265", "x265"})) {
    FieldUnit unit(f, "HEVCDecoderConfigurationRecord");
    unit.setSummary(codecs::hevcConfiguration(f));
  }
  f.rest("codec_data");
}

}  // namespace

std::string aviStreamFormat(RiffWalk& walk, const Chunk&, FieldReader& f) {
  if (walk.state.streams.empty()) return {};
  AviStream& stream = walk.state.streams.back();
  if (stream.type == fourCC("vids") || stream.type == fourCC("iavs")) {
    if (!f.has(40 * 8)) return codecs::bitmapInfoHeader(f);
    const int64_t header_size = std::max<int64_t>(40, std::min<int64_t>(f.peekLe(4), f.bytesLeft()));
    stream.compression = loadBe32(f.fileData() + f.bytePos() + 16);
    FieldReader header = f.sub(header_size);
    const std::string summary = codecs::bitmapInfoHeader(header);
    f.skipPast(header);
    videoCodecData(f, stream.compression);
    return summary;
  }
  if (stream.type == fourCC("auds")) {
    stream.compression = f.has(16) ? uint32_t(f.peekLe(2)) : 0;
    return codecs::waveFormatEx(f);
  }
  f.rest("format");
  return {};
}

std::string aviVideoProperties(RiffWalk&, const Chunk&, FieldReader& f) {
  f.uleh("VideoFormatToken", 4, [](uint64_t v) { return nameText(kVideoFormatTokens, v); });
  f.uleh("VideoStandard", 4, [](uint64_t v) { return nameText(kVideoStandards, v); });
  f.ule("dwVerticalRefreshRate", 4, "Hz");
  f.ule("dwHTotalInT", 4);
  f.ule("dwVTotalInLines", 4);
  const uint64_t aspect = f.has(32) ? f.peekLe(4) : 0;
  f.ule("dwFrameAspectRatio", 4, numberText(aspect >> 16) + ":" + numberText(aspect & 0xFFFF));
  const uint64_t width = f.ule("dwFrameWidthInPixels", 4);
  const uint64_t height = f.ule("dwFrameHeightInLines", 4);
  const uint64_t declared = f.ule("nbFieldPerFrame", 4);
  const uint64_t fields = std::min<uint64_t>(declared, uint64_t(f.bytesLeft() / 32));
  for (uint64_t i = 0; i < fields; ++i) {
    FieldUnit field(f, "FieldInfo", int64_t(i));
    f.ule("CompressedBMHeight", 4);
    f.ule("CompressedBMWidth", 4);
    f.ule("ValidBMHeight", 4);
    f.ule("ValidBMWidth", 4);
    f.ule("ValidBMXOffset", 4);
    f.ule("ValidBMYOffset", 4);
    f.ule("VideoXOffsetInT", 4);
    f.ule("VideoYValidStartLine", 4);
  }
  return numberText(width) + "x" + numberText(height) + ", aspect " + numberText(aspect >> 16) + ":" +
         numberText(aspect & 0xFFFF) + ", " + numberText(declared) + (declared == 1 ? " field" : " fields");
}

std::string aviExtendedHeader(RiffWalk&, const Chunk&, FieldReader& f) {
  const uint64_t frames = f.ule("dwTotalFrames", 4, "frames in the whole file");
  f.rest("dwFuture");
  return numberText(frames) + " frames";
}

namespace {

// Whether an index entry's target holds the chunk `id` (any ix## when id is 0).
std::string targetVerdict(const RiffWalk& walk, int64_t chunk_at, uint32_t id) {
  if (!headerFits(chunk_at, walk.size())) return "past the end of the file";
  const uint32_t found = loadBe32(walk.data() + chunk_at);
  if (found == id) return "points at " + fourCCText(id);
  return "points at " + (isPrintableFourCC(found) ? fourCCText(found) : std::string("no chunk")) + ", not " +
         fourCCText(id);
}

void superIndexEntries(RiffWalk& walk, FieldReader& f, uint64_t count, int longs) {
  for (uint64_t i = 0; i < count; ++i) {
    FieldUnit entry(f, "entry", int64_t(i));
    const int64_t offset = f.has(64) ? int64_t(f.peekLe(8)) : -1;
    const uint32_t target = headerFits(offset, walk.size()) ? loadBe32(walk.data() + offset) : 0;
    f.ule("qwOffset", 8, targetVerdict(walk, offset, isIndexId(target) ? target : fourCC("ix##")));
    f.ule("dwSize", 4, "bytes");
    const uint64_t duration = f.ule("dwDuration", 4, "stream ticks");
    if (longs > 4) f.bytes("more", int64_t(longs - 4) * 4);
    entry.setSummary(fourCCText(target) + " at " + numberText(uint64_t(std::max<int64_t>(offset, 0))) + ", " +
                     numberText(duration) + " ticks");
  }
}

void chunkIndexEntries(RiffWalk& walk, FieldReader& f, uint64_t count, int longs, int64_t base, uint32_t id) {
  for (uint64_t i = 0; i < count; ++i) {
    FieldUnit entry(f, "entry", int64_t(i));
    const int64_t offset = f.has(32) ? int64_t(f.peekLe(4)) : 0;
    f.ule("dwOffset", 4, targetVerdict(walk, offsetFrom(base, uint64_t(offset), -8), id));
    const uint64_t size = f.has(32) ? f.peekLe(4) : 0;
    const bool key = (size & kDeltaFrameBit) == 0;
    f.ule("dwSize", 4, numberText(size & ~kDeltaFrameBit) + " bytes, " + (key ? "key frame" : "delta frame"));
    if (longs >= 3) f.ule("dwOffsetField2", 4);
    if (longs > 3) f.bytes("more", int64_t(longs - 3) * 4);
    entry.setSummary(numberText(size & ~kDeltaFrameBit) + " bytes" + (key ? ", key frame" : ""));
  }
}

}  // namespace

std::string aviIndex(RiffWalk& walk, const Chunk&, FieldReader& f) {
  const int longs = int(f.ule("wLongsPerEntry", 2));
  const uint64_t sub_type = f.u("bIndexSubType", 8, f.has(8) && f.peek(8) == kFieldIndex ? "2 fields" : "");
  const uint64_t type = f.uh("bIndexType", 8, [](uint64_t v) { return nameText(kIndexTypes, v); });
  const uint64_t declared = f.ule("nEntriesInUse", 4);
  const uint32_t id = f.fourcc("dwChunkId");
  if (!f.ok()) return "index";
  const int need_longs = type == kIndexOfIndexes ? 4 : sub_type == kFieldIndex ? 3 : 2;
  if (longs < need_longs || longs > 64) {
    f.rest("entries", "wLongsPerEntry too small for this index type");
    return "index of " + fourCCText(id);
  }
  int64_t base = 0;
  if (type == kIndexOfIndexes) {
    f.bytes("dwReserved", 12);
  } else {
    base = int64_t(f.ule("qwBaseOffset", 8));
    f.ule("dwReserved", 4);
  }
  const uint64_t count = std::min<uint64_t>(declared, uint64_t(f.bytesLeft() / (4 * longs)));
  if (type == kIndexOfIndexes)
    superIndexEntries(walk, f, count, longs);
  else
    chunkIndexEntries(walk, f, count, longs, base, id);
  f.rest("unused entries");
  std::string summary = (type == kIndexOfIndexes ? "super index of " : "index of ") + fourCCText(id) + ", " +
                        numberText(declared) + " entries";
  if (count < declared) summary += ", " + numberText(count) + " fit in the chunk";
  return summary;
}

std::string aviOldIndex(RiffWalk& walk, const Chunk&, FieldReader& f) {
  const int64_t count = f.bytesLeft() / 16;
  int64_t misses = 0;
  for (int64_t i = 0; i < count; ++i) {
    FieldUnit entry(f, "entry", i);
    const uint32_t id = f.has(32) ? uint32_t(f.peek(32)) : 0;
    f.fourcc("ckid");
    const uint64_t flags = f.uleh("dwFlags", 4, [](uint64_t v) { return flagNames(kOldIndexFlags, v); });
    const int64_t offset = f.has(32) ? int64_t(f.peekLe(4)) : 0;
    const int64_t at = walk.state.idx1_base + offset;
    const bool hits = headerFits(at, walk.size()) && loadBe32(walk.data() + at) == id;
    if (!hits) ++misses;
    f.ule("dwChunkOffset", 4, targetVerdict(walk, at, id));
    const uint64_t length = f.ule("dwChunkLength", 4, "bytes");
    std::string summary = fourCCText(id) + ", " + numberText(length) + " bytes";
    if (flags & kKeyFrameFlag) summary += ", key frame";
    entry.setSummary(summary);
  }
  return numberText(uint64_t(count)) + " entries" + (misses ? ", " + numberText(uint64_t(misses)) + " missing their chunk" : "");
}

namespace {

std::string aviCodecName(const AviStream& stream) {
  if (stream.type == fourCC("auds")) {
    switch (stream.compression) {
      case 0x0001: return "PCM";
      case 0x0050: return "MP2";
      case 0x0055: return "MP3";
      case 0x00FF: return "AAC";
      case 0x2000: return "AC-3";
      case 0x2001: return "DTS";
      default: return stream.compression ? "format " + hexText(stream.compression, 4) : std::string();
    }
  }
  if (isFourCCOf(stream.compression, {"H264", "h264", "X264", "x264", "avc1", "AVC1", "DAVC"})) return "H.264";
  if (isFourCCOf(stream.compression, {"HEVC", "hevc", "H265", "h265", "hvc1", "hev1", "X265", "x265"})) return "HEVC";
  if (isFourCCOf(stream.compression, {"FMP4", "XVID", "xvid", "DIVX", "DX50", "MP4V", "mp4v"})) return "MPEG-4 visual";
  if (isFourCCOf(stream.compression, {"MJPG", "mjpg"})) return "Motion JPEG";
  if (stream.compression) return fourCCText(stream.compression);
  return stream.handler ? fourCCText(stream.handler) : std::string();
}

TimingWriter::Kind aviKind(uint32_t type) {
  if (type == fourCC("vids")) return TimingWriter::Kind::Video;
  if (type == fourCC("auds")) return TimingWriter::Kind::Audio;
  if (type == fourCC("txts")) return TimingWriter::Kind::Subtitle;
  return TimingWriter::Kind::Data;
}

}  // namespace

void aviFrameTiming(RiffWalk& walk, const Chunk& chunk, int64_t element_id) {
  TimingWriter& timing = walk.writer().timing();
  const int number = frameStream(chunk.id);
  if (!timing.enabled() || number < 0 || size_t(number) >= walk.state.streams.size()) return;
  AviStream& stream = walk.state.streams[size_t(number)];
  if ((chunk.id & 0xFFFF) == fourCC("\0\0pc")) return;  // a palette change is no frame
  if (stream.timing_stream == 0) {
    TimingWriter::Stream s;
    s.kind = aviKind(stream.type);
    s.codec = aviCodecName(stream);
    s.container_id = number;
    s.container_id_name = "stream number";
    if (stream.scale > 0 && stream.rate > 0) {
      s.time_base_num = int64_t(std::min<uint64_t>(stream.scale, INT64_MAX));
      s.time_base_den = int64_t(std::min<uint64_t>(stream.rate, INT64_MAX));
    }
    stream.timing_stream = timing.declareStream(s);
  }
  TimingWriter::Frame frame;
  frame.element_id = element_id;
  frame.byte_offset = chunk.data_begin;
  frame.size = chunk.data_end - chunk.data_begin;
  if (stream.scale > 0 && stream.rate > 0) {
    // AVI stores decode order and no presentation time.
    if (stream.sample_size > 0) {
      frame.dts = stream.bytes_seen / int64_t(stream.sample_size);
      frame.duration = int64_t(chunk.declared / stream.sample_size);
    } else {
      frame.dts = stream.frames_seen - 1;
      frame.duration = 1;
    }
  }
  stream.bytes_seen += int64_t(chunk.declared);
  const auto key = walk.state.key_frames.find(chunk.begin);
  if (key != walk.state.key_frames.end()) frame.key = key->second ? 1 : 0;
  timing.addFrame(stream.timing_stream, frame);
}

}  // namespace corvanta::riff
