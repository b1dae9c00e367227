#include "codecs/AudioElementaryStream.h"

#include "ElementWriter.h"
#include "FormatModule.h"
#include "TimingWriter.h"
#include "codecs/AudioTags.h"
#include "codecs/Id3v2Tag.h"
#include "codecs/LazyAudioFrames.h"

#include <algorithm>

namespace corvanta::codecs {

namespace {

constexpr int64_t kProgressEvery = 1024;  // frames
// Frames a probe follows from the first header it finds.
constexpr int kProbeChain = 4;

// The timing facts of the stream: one audio stream, timed by sample counts at the sample rate of
// its first frame that tells one, or in frame order only for a codec whose time is not read.
class FrameClock {
 public:
  FrameClock(TimingWriter& timing, const AudioFrameKind& kind) : timing(timing), kind(kind) {}

  void frame(int64_t element_id, const uint8_t* header, int64_t begin, int64_t bytes) {
    if (!timing.enabled()) return;
    int rate = 0;
    const int64_t samples = kind.samples && bytes >= kind.header_bytes ? kind.samples(header, &rate) : 0;
    if (stream == 0) {
      TimingWriter::Stream s;
      s.kind = TimingWriter::Kind::Audio;
      if (kind.codec) s.codec = kind.codec;
      if (samples > 0 && rate > 0) {
        stream_rate = rate;
        s.time_base_num = 1;
        s.time_base_den = rate;
      }
      stream = timing.declareStream(s);
    }
    TimingWriter::Frame frame;
    frame.element_id = element_id;
    frame.byte_offset = begin;
    frame.size = bytes;
    frame.key = 1;
    if (stream_rate > 0) {
      frame.dts = frame.pts = ticks;
      if (samples > 0 && rate > 0) {
        // A frame at another rate than the stream's first counts in the first one's ticks.
        frame.duration = rate == stream_rate ? samples : samples * stream_rate / rate;
        ticks += frame.duration;
      }
    }
    timing.addFrame(stream, frame);
  }

 private:
  TimingWriter& timing;
  const AudioFrameKind& kind;
  int stream = 0;
  int stream_rate = 0;
  int64_t ticks = 0;
};

}  // namespace

void writeAudioElementaryStream(ParseContext& ctx, int64_t frames_begin, const AudioFrameKind& kind,
                                const AudioFrameDecoder& decoder) {
  ElementWriter& writer = ctx.writer;
  const uint8_t* data = ctx.file.data();
  const int64_t size = ctx.file.size();
  const std::vector<AudioTag> leading = leadingAudioTags(data, frames_begin, size);
  for (const AudioTag& tag : leading) writeAudioTag(writer, data, tag);
  const int64_t begin = leading.empty() ? frames_begin : leading.back().end;
  const std::vector<AudioTag> trailing = trailingAudioTags(data, begin, size);
  const int64_t end = trailing.empty() ? size : trailing.front().begin;

  std::unique_ptr<AudioFrameDecoder> frames = decoder.clone();
  std::unique_ptr<LazyAudioFrames> lazy =
      ctx.lazy_units ? std::make_unique<LazyAudioFrames>(data, end, kind, decoder.clone()) : nullptr;
  AudioFrameScanner scanner(kind, data, begin, end);
  AudioFrameStretch stretch;
  int64_t index = 0;
  FrameClock clock(writer.timing(), kind);
  while (scanner.next(stretch)) {
    if (stretch.garbage) {
      writer.addGarbage(stretch.begin * 8, (stretch.end - stretch.begin) * 8);
      continue;
    }
    if (lazy) {
      lazy->frameWritten(index, stretch.begin);
      writer.beginLazyUnit();
    }
    const int64_t id = writeAudioFrame(writer, data, stretch, end, index, *frames);
    if (lazy) writer.endLazyUnit();
    clock.frame(id, data + stretch.begin, stretch.begin, std::min(stretch.end, end) - stretch.begin);
    if (++index % kProgressEvery == 0) ctx.progress(stretch.end);
  }
  for (const AudioTag& tag : trailing) writeAudioTag(writer, data, tag);
  ctx.progress(size);
  if (lazy) ctx.lazy_decoder = std::move(lazy);
}

int probeAudioFrames(const AudioFrameKind& kind, const uint8_t* head, int64_t head_size, int64_t file_size,
                     int tag_only) {
  int64_t at = 0;
  bool tagged = false;
  while (at < head_size) {
    const int64_t bytes = id3v2TagBytes(head, at, head_size);
    if (bytes == 0) break;
    tagged = true;
    at += bytes;
  }
  if (at >= head_size) return tagged ? tag_only : 0;
  const int64_t end = std::min(head_size, file_size);
  AudioFrameScanner scanner(kind, head, at, end);
  const int chain = scanner.chainLength(at, kProbeChain);
  // A frame that fills the whole (small) file counts as a chain of its own.
  const bool whole = chain == 1 && head_size == file_size && kind.frameBytes && end - at >= kind.header_bytes &&
                     at + kind.frameBytes(head + at) == file_size;
  if (chain >= 3 || (chain == 2 && head_size == file_size) || whole) return tagged ? 20 : 15;
  if (chain == 2) return 8;
  // Frames further in (junk before the first one): weaker still.
  const int64_t found = scanner.findConfirmed(at);
  return found < end && scanner.chainLength(found, kProbeChain) >= 3 ? 5 : 0;
}

}  // namespace corvanta::codecs
