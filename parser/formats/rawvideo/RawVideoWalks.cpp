#include "formats/rawvideo/RawVideoWalks.h"

#include "ByteOrder.h"
#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "codecs/AnnexB.h"
#include "codecs/NalVideoStream.h"
#include "codecs/VideoFrameDecoder.h"

#include <algorithm>
#include <memory>

namespace corvanta::rawvideo {

namespace {

constexpr int kObuTemporalDelimiter = 2;
constexpr int kMaxLeb128Bytes = 8;
constexpr int64_t kIvfHeaderBytes = 32, kIvfFrameHeaderBytes = 12;
// Progress is reported every this many units.
constexpr int64_t kProgressEvery = 256;

// The frame in [begin, end) of the file decoded into the unit that is open, or one field
// without a decoder. Returns its summary; `random_access` tells whether decoding can start there.
std::string decodeFrame(ElementWriter& w, const uint8_t* data, int64_t begin, int64_t end,
                        codecs::VideoFrameDecoder* decoder, bool& random_access) {
  random_access = false;
  FieldReader f(w, data, begin, end);
  if (!decoder) {
    f.rest("frame data");
    return {};
  }
  codecs::FramePicture picture;
  const std::string summary = decoder->frame(f, picture);
  random_access = picture.random_access;
  return summary;
}

// One access unit or temporal unit [begin, end) of the file as a unit with its frame decoded.
void writeFrameUnit(ElementWriter& w, const uint8_t* data, std::string_view name, int64_t seq, int64_t begin,
                    int64_t end, codecs::VideoFrameDecoder* decoder) {
  w.openUnit(name, begin * 8, (end - begin) * 8, {}, {}, seq);
  bool random_access = false;
  const std::string summary = decodeFrame(w, data, begin, end, decoder, random_access);
  w.setUnitValue(summary, random_access ? "random access" : "");
  w.closeUnit();
}

// Bytes before the first unit: zero bytes are allowed there (leading_zero_8bits), anything
// else is not ours.
void writeLeadingBytes(ElementWriter& w, const uint8_t* data, int64_t end) {
  if (end <= 0) return;
  if (std::all_of(data, data + end, [](uint8_t byte) { return byte == 0; })) {
    w.addField("leading_zero_8bits", 0, end * 8, numberText(uint64_t(end)) + " bytes", {});
  } else {
    w.addGarbage(0, end * 8);
  }
}

// The size of the OBU at `at` in [at, end): its header, the extension, obu_size and the payload,
// clamped to `end`. An OBU without obu_size (not allowed in this format) or with a broken one
// runs to `end`.
int64_t obuBytes(const uint8_t* data, int64_t at, int64_t end) {
  const uint8_t header = data[at];
  const bool has_extension = (header >> 2) & 1, has_size = (header >> 1) & 1;
  int64_t pos = at + 1 + (has_extension ? 1 : 0);
  if (!has_size || pos >= end) return end - at;
  uint64_t size = 0;
  for (int i = 0; i < kMaxLeb128Bytes && pos < end; ++i) {
    const uint8_t byte = data[pos++];
    size |= uint64_t(byte & 0x7F) << (7 * i);
    if (!(byte & 0x80)) return int64_t(std::min<uint64_t>(size, uint64_t(end - pos))) + (pos - at);
  }
  return end - at;
}

std::unique_ptr<codecs::VideoFrameDecoder> ivfDecoder(uint32_t fourcc) {
  switch (fourcc) {
    case 0x56503830: return codecs::VideoFrameDecoder::forRecord("vpcC-vp8");  // "VP80"
    case 0x56503930: return codecs::VideoFrameDecoder::forRecord("vpcC-vp9");  // "VP90"
    case 0x41563031: return codecs::VideoFrameDecoder::forRecord("av1C");      // "AV01"
    default: return nullptr;
  }
}

void writeIvfHeader(ElementWriter& w, const uint8_t* data, int64_t header_end) {
  w.openUnit("file header", 0, header_end * 8, "IVF");
  FieldReader f(w, data, 0, header_end);
  f.fourcc("signature");
  f.ule("version", 2);
  f.ule("header_size", 2);
  f.fourcc("fourcc");
  f.ule("width", 2);
  f.ule("height", 2);
  f.ule("timebase_denominator", 4);
  f.ule("timebase_numerator", 4);
  f.ule("frame_count", 4);
  f.ule("unused", 4);
  f.rest("header extension");
  w.closeUnit();
}

}  // namespace

void writeAnnexBFile(ParseContext& ctx, bool hevc) {
  ElementWriter& w = ctx.writer;
  const uint8_t* data = ctx.file.data();
  const int64_t size = ctx.file.size();
  codecs::AnnexBNalUnit nal;
  if (!codecs::nextAnnexBNalUnit(data, 0, size, nal)) {
    w.addGarbage(0, size * 8);
    return;
  }
  writeLeadingBytes(w, data, nal.start);
  codecs::NalVideoStream stream(hevc, codecs::NalVideoStream::Framing::StartCodes);
  codecs::NalVideoStream* decoder = ctx.decode_frames ? &stream : nullptr;
  codecs::AccessUnitSplitter splitter(hevc);
  splitter.beginsAccessUnit(data + nal.begin, nal.end - nal.begin);
  int64_t unit_begin = nal.start, count = 0;
  for (;;) {
    const bool more = codecs::nextAnnexBNalUnit(data, nal.next, size, nal);
    if (more && !splitter.beginsAccessUnit(data + nal.begin, nal.end - nal.begin)) continue;
    const int64_t unit_end = more ? nal.start : size;
    writeFrameUnit(w, data, "access unit", count, unit_begin, unit_end, decoder);
    if (++count % kProgressEvery == 0) ctx.progress(unit_end);
    if (!more) break;
    unit_begin = nal.start;
  }
  ctx.progress(size);
}

void writeObuFile(ParseContext& ctx) {
  ElementWriter& w = ctx.writer;
  const uint8_t* data = ctx.file.data();
  const int64_t size = ctx.file.size();
  std::unique_ptr<codecs::VideoFrameDecoder> stream = codecs::VideoFrameDecoder::forRecord("av1C");
  codecs::VideoFrameDecoder* decoder = ctx.decode_frames ? stream.get() : nullptr;
  int64_t unit_begin = 0, count = 0;
  int64_t at = 0;
  while (at < size) {
    at += obuBytes(data, at, size);
    if (at < size && ((data[at] >> 3) & 15) != kObuTemporalDelimiter) continue;
    writeFrameUnit(w, data, "temporal unit", count, unit_begin, at, decoder);
    unit_begin = at;
    if (++count % kProgressEvery == 0) ctx.progress(at);
  }
  ctx.progress(size);
}

void writeIvfFile(ParseContext& ctx) {
  ElementWriter& w = ctx.writer;
  const uint8_t* data = ctx.file.data();
  const int64_t size = ctx.file.size();
  if (size < kIvfHeaderBytes) {
    w.addGarbage(0, size * 8);
    return;
  }
  const int64_t header_end = std::clamp<int64_t>(loadLe16(data + 6), kIvfHeaderBytes, size);
  writeIvfHeader(w, data, header_end);
  std::unique_ptr<codecs::VideoFrameDecoder> stream = ivfDecoder(loadBe32(data + 8));
  codecs::VideoFrameDecoder* decoder = ctx.decode_frames ? stream.get() : nullptr;
  int64_t at = header_end, count = 0;
  while (at < size) {
    if (size - at < kIvfFrameHeaderBytes) {
      w.addField("frame header", at * 8, (size - at) * 8, {}, "truncated");
      break;
    }
    const int64_t frame_size = loadLe32(data + at);
    const int64_t body = std::min(frame_size, size - at - kIvfFrameHeaderBytes);
    const int64_t end = at + kIvfFrameHeaderBytes + body;
    w.openUnit("frame", at * 8, (end - at) * 8, {}, {}, count);
    FieldReader f(w, data, at, end);
    f.ule("frame_size", 4, body < frame_size ? "runs past the file" : "");
    const uint64_t timestamp = f.ule("timestamp", 8);
    bool random_access = false;
    std::string summary = decodeFrame(w, data, end - body, end, decoder, random_access);
    summary += (summary.empty() ? "pts " : ", pts ") + numberText(timestamp);
    std::string readable = random_access ? "random access" : "";
    if (body < frame_size) readable += readable.empty() ? "truncated" : ", truncated";
    w.setUnitValue(summary, readable);
    w.closeUnit();
    at = end;
    if (++count % kProgressEvery == 0) ctx.progress(at);
  }
  ctx.progress(size);
}

}  // namespace corvanta::rawvideo
