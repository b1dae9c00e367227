#include "formats/flac/FlacFrameWalk.h"

#include "Checksums.h"

#include <algorithm>

namespace corvanta::flac {

namespace {
// No frame is longer: 8 channels of 65535 samples of 32 bits, with their headers.
constexpr int64_t kLongestFrame = int64_t(8) * 65535 * 4 + 1024;
// How far past the first frame header a frame's end is still looked for.
constexpr int64_t kShortestSearch = 65536;
}  // namespace

bool FlacFrameWalk::headerAt(int64_t at) const {
  return codecs::flacFrameSyncAt(data + at, size - at) &&
         codecs::measureFlacFrame(data + at, size - at, stream, false).header_ok;
}

int64_t FlacFrameWalk::frameEnd(int64_t at, const codecs::FlacFrameLayout& layout) const {
  if (layout.subframes_ok && crc16Flac(data + at, layout.end_bytes) == 0) return at + layout.end_bytes;
  // The CRC-16 over a frame and its own check is 0: the first header before which the bytes
  // check ends the frame; failing that, the first header at all. The search goes on past the
  // first header only as far as a frame may be long, so that a stream of broken frames is not
  // searched to its end from each of them.
  const int64_t longest = stream.max_frame_size ? int64_t(stream.max_frame_size) : kLongestFrame;
  int64_t limit = std::min(size, at + std::max(longest, kShortestSearch));
  int64_t first_header = -1;
  uint16_t crc = crc16Flac(data + at, layout.header_bytes);
  for (int64_t q = at + layout.header_bytes; q < limit; ++q) {
    if (data[q] == 0xff && headerAt(q)) {
      if (crc == 0) return q;
      if (first_header < 0) {
        first_header = q;
        limit = std::min(limit, q + kShortestSearch);
      }
    }
    crc = crc16Flac(data + q, 1, crc);
  }
  if (crc == 0 && limit == size) return size;
  return first_header >= 0 ? first_header : limit;
}

int64_t FlacFrameWalk::nextGoodFrame(int64_t from) const {
  for (int64_t at = from; at + 2 <= size; ++at) {
    if (data[at] != 0xff || !headerAt(at)) continue;
    const codecs::FlacFrameLayout layout = codecs::measureFlacFrame(data + at, size - at, stream);
    if (layout.subframes_ok && crc16Flac(data + at, layout.end_bytes) == 0) return at;
  }
  return size;
}

FrameStretch FlacFrameWalk::next(int64_t at) const {
  FrameStretch stretch;
  stretch.begin = at;
  stretch.layout = codecs::measureFlacFrame(data + at, size - at, stream);
  if (stretch.layout.header_ok) {
    stretch.end = frameEnd(at, stretch.layout);
    return stretch;
  }
  stretch.garbage = true;
  stretch.end = nextGoodFrame(at + 1);
  return stretch;
}

}  // namespace corvanta::flac
