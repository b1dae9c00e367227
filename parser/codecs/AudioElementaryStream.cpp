#include "codecs/AudioElementaryStream.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "codecs/AudioTags.h"
#include "codecs/Id3v2Tag.h"

#include <algorithm>

namespace corvanta::codecs {

namespace {

constexpr int64_t kProgressEvery = 1024;  // frames
// Frames a probe follows from the first header it finds.
constexpr int kProbeChain = 4;

}  // namespace

void writeAudioElementaryStream(ElementWriter& writer, const uint8_t* data, int64_t size, int64_t frames_begin,
                                const AudioFrameKind& kind, AudioFrameDecoder& decoder,
                                const std::function<void(int64_t)>& progress) {
  const std::vector<AudioTag> leading = leadingAudioTags(data, frames_begin, size);
  for (const AudioTag& tag : leading) writeAudioTag(writer, data, tag);
  const int64_t begin = leading.empty() ? frames_begin : leading.back().end;
  const std::vector<AudioTag> trailing = trailingAudioTags(data, begin, size);
  const int64_t end = trailing.empty() ? size : trailing.front().begin;

  AudioFrameScanner scanner(kind, data, begin, end);
  AudioFrameStretch stretch;
  int64_t index = 0;
  while (scanner.next(stretch)) {
    if (stretch.garbage) {
      writer.addGarbage(stretch.begin * 8, (stretch.end - stretch.begin) * 8);
      continue;
    }
    // A frame cut short ends where the frames do (at the file's end or a trailing tag).
    const int64_t frame_end = std::min(stretch.end, end);
    writer.openUnit("frame", stretch.begin * 8, (frame_end - stretch.begin) * 8, {}, {}, index);
    FieldReader f(writer, data, stretch.begin, frame_end);
    const std::string summary = decoder.frame(f, index);
    writer.setUnitValue(summary, stretch.end > end ? "truncated" : "");
    writer.closeUnit();
    if (++index % kProgressEvery == 0) progress(stretch.end);
  }
  for (const AudioTag& tag : trailing) writeAudioTag(writer, data, tag);
  progress(size);
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
