#include "codecs/AudioFrameScanner.h"

namespace corvanta::codecs {

int64_t AudioFrameScanner::frameBytesAt(int64_t at) const {
  if (at < 0 || end - at < kind.header_bytes) return 0;
  const int64_t bytes = kind.frameBytes(data + at);
  return bytes >= kind.header_bytes ? bytes : 0;
}

bool AudioFrameScanner::confirmedAt(int64_t at) const {
  const int64_t bytes = frameBytesAt(at);
  if (bytes == 0) return false;
  const int64_t next_at = at + bytes;
  if (next_at == end) return true;
  if (frameBytesAt(next_at) == 0) return false;
  return kind.sameStream(data + at, data + next_at);
}

int64_t AudioFrameScanner::findConfirmed(int64_t from) const {
  for (int64_t at = from; at < end; ++at)
    if (confirmedAt(at)) return at;
  return end;
}

int AudioFrameScanner::chainLength(int64_t at, int most) const {
  int count = 0;
  const uint8_t* first = nullptr;
  while (count < most) {
    const int64_t bytes = frameBytesAt(at);
    if (bytes == 0 || (first && !kind.sameStream(first, data + at))) break;
    if (!first) first = data + at;
    ++count;
    at += bytes;
    if (at >= end) break;
  }
  return count;
}

bool AudioFrameScanner::next(AudioFrameStretch& out) {
  if (pos >= end) return false;
  const int64_t bytes = frameBytesAt(pos);
  if (bytes > 0 && (in_chain || confirmedAt(pos))) {
    out = {pos, pos + bytes, false};
    pos += bytes;
    in_chain = true;
    return true;
  }
  const int64_t resume = findConfirmed(pos + 1);
  out = {pos, resume, true};
  pos = resume;
  in_chain = false;
  return true;
}

}  // namespace corvanta::codecs
