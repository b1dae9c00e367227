#include "formats/flac/Flac.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "TimingWriter.h"
#include "codecs/AudioTags.h"
#include "codecs/FlacFrame.h"
#include "codecs/FlacMetadata.h"
#include "formats/flac/FlacFrameWalk.h"
#include "formats/flac/FlacFrameWriter.h"
#include "formats/flac/FlacLazyFrames.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace corvanta {

namespace {

constexpr int64_t kId3HeaderBytes = 10;

// The length of an ID3v2 tag at `p` (header, body and footer), or 0 when none starts there.
int64_t id3v2Length(const uint8_t* p, int64_t room) {
  if (room < kId3HeaderBytes || std::memcmp(p, "ID3", 3) != 0) return 0;
  if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
  const int64_t body = (int64_t(p[6]) << 21) | (int64_t(p[7]) << 14) | (int64_t(p[8]) << 7) | p[9];
  return kId3HeaderBytes + body + ((p[5] & 0x10) ? kId3HeaderBytes : 0);
}

int probe(const uint8_t* head, int64_t head_size, int64_t) {
  const int64_t tag = id3v2Length(head, head_size);
  if (head_size >= tag + 4 && std::memcmp(head + tag, "fLaC", 4) == 0) return tag ? 90 : 95;
  // A tag too large to see past (cover art): as likely FLAC as MPEG audio, whose probe says the
  // same of it, so that the file's extension decides.
  if (tag > 0 && head_size < tag + 4) return 12;
  return 0;
}

// The end of the metadata blocks that start at `at`, following their headers to the last one.
int64_t metadataEnd(const uint8_t* data, int64_t size, int64_t at) {
  while (at + 4 <= size) {
    const bool last = data[at] & 0x80;
    at += 4 + ((int64_t(data[at + 1]) << 16) | (int64_t(data[at + 2]) << 8) | data[at + 3]);
    if (last) break;
  }
  return std::min(at, size);
}

// The parameters of a STREAMINFO block that is the first block at `at`, as the frames need them.
codecs::FlacStreamParameters streamInfoAt(const uint8_t* data, int64_t size, int64_t at) {
  if (at + 4 > size || (data[at] & 0x7f) != 0) return {};
  return codecs::flacStreamParameters(data + at + 4, size - at - 4);
}

class FlacWriter {
 public:
  explicit FlacWriter(ParseContext& context)
      : ctx(context), w(context.writer), data(context.file.data()), size(context.file.size()) {}

  void write() {
    int64_t at = id3v2Tag();
    const int64_t metadata_end = metadataEnd(data, size, at + 4);
    info = streamInfoAt(data, size, at + 4);
    FieldReader f(w, data, at, metadata_end);
    codecs::flacMetadata(f);
    frames(metadata_end);
  }

 private:
  // An ID3v2 tag before the marker, as one opaque element; returns where the marker stands.
  int64_t id3v2Tag() {
    const int64_t length = std::min(id3v2Length(data, size), size);
    if (length == 0) return 0;
    if (!codecs::writeAudioTagsIn(w, data, 0, length))
      w.addField("ID3v2", 0, length * 8, "ID3v2." + numberText(data[3]) + "." + numberText(data[4]),
                 numberText(uint64_t(length)) + " bytes, not a tag that reads");
    return length;
  }

  void frames(int64_t at) {
    flac::FlacFrameWalk walk(data, size, info);
    const flac::FlacFrameWriter frame_writer(data, size, info);
    auto lazy = ctx.lazy_units ? std::make_unique<flac::FlacLazyFrames>(data, size, info) : nullptr;
    int64_t count = 0;
    while (at < size) {
      const flac::FrameStretch stretch = walk.next(at);
      if (stretch.garbage) {
        w.addGarbage(stretch.begin * 8, (stretch.end - stretch.begin) * 8);
      } else {
        if (lazy) {
          lazy->frameWritten(count, stretch.begin);
          w.beginLazyUnit();
        }
        const int64_t id = frame_writer.write(w, stretch, count++);
        if (lazy) w.endLazyUnit();
        frameTiming(id, stretch);
      }
      at = stretch.end;
      if ((count & 255) == 0) ctx.progress(at);
    }
    ctx.progress(size);
    if (lazy) ctx.lazy_decoder = std::move(lazy);
  }

  // The frames table: one audio stream timed in samples at STREAMINFO's rate.
  void frameTiming(int64_t id, const flac::FrameStretch& stretch) {
    TimingWriter& timing = w.timing();
    if (!timing.enabled()) return;
    if (timing_stream == 0) {
      TimingWriter::Stream s;
      s.kind = TimingWriter::Kind::Audio;
      s.codec = "FLAC";
      if (info.sample_rate) {
        s.time_base_num = 1;
        s.time_base_den = info.sample_rate;
      }
      timing_stream = timing.declareStream(s);
    }
    const codecs::FlacFrameLayout& layout = stretch.layout;
    TimingWriter::Frame frame;
    frame.element_id = id;
    frame.byte_offset = stretch.begin;
    frame.size = stretch.end - stretch.begin;
    frame.key = 1;
    const uint64_t block = info.min_block_size == info.max_block_size && info.max_block_size ? info.max_block_size
                                                                                              : layout.block_size;
    const uint64_t sample = layout.variable_block_size ? layout.number : layout.number * block;
    const bool same_rate = layout.sample_rate == 0 || layout.sample_rate == info.sample_rate;
    if (info.sample_rate && same_rate && sample <= uint64_t(INT64_MAX)) {
      frame.dts = frame.pts = int64_t(sample);
      frame.duration = layout.block_size;
    }
    timing.addFrame(timing_stream, frame);
  }

  ParseContext& ctx;
  ElementWriter& w;
  const uint8_t* data;
  int64_t size;
  codecs::FlacStreamParameters info;
  int timing_stream = 0;
};

bool parse(ParseContext& ctx) {
  const uint8_t* data = ctx.file.data();
  const int64_t size = ctx.file.size();
  const int64_t tag = std::min(id3v2Length(data, size), size);
  if (size < tag + 4 || std::memcmp(data + tag, "fLaC", 4) != 0) {
    ctx.error = QStringLiteral("no fLaC marker");
    return false;
  }
  FlacWriter(ctx).write();
  return true;
}

}  // namespace

FormatModule flacModule() {
  return {QStringLiteral("flac"), QStringLiteral("FLAC"), {QStringLiteral("flac")}, probe, parse};
}

}  // namespace corvanta
