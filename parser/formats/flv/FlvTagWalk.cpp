#include "formats/flv/FlvTagWalk.h"

#include "ByteOrder.h"

namespace corvanta::flv {

namespace {
constexpr uint8_t kAudio = 8, kVideo = 9, kScript = 18;
}  // namespace

int64_t FlvTagWalk::dataSize(int64_t at) const {
  return (int64_t(data[at + 1]) << 16) | (int64_t(data[at + 2]) << 8) | data[at + 3];
}

uint32_t FlvTagWalk::previousTagSize(int64_t at) const {
  return loadBe32(data + at);
}

// Reserved bits clear, a known tag type and the stream id that is always 0.
bool FlvTagWalk::plausibleHeader(int64_t at) const {
  if (at < 0 || size - at < kHeaderBytes) return false;
  const uint8_t type = data[at] & 0x1F;
  return (data[at] & 0xC0) == 0 && (type == kAudio || type == kVideo || type == kScript) && data[at + 8] == 0 &&
         data[at + 9] == 0 && data[at + 10] == 0;
}

bool FlvTagWalk::agrees(int64_t at) const {
  if (!plausibleHeader(at)) return false;
  const int64_t end = at + kHeaderBytes + dataSize(at);
  return end + kPreviousTagSizeBytes <= size && previousTagSize(end) == uint32_t(kHeaderBytes + dataSize(at));
}

int64_t FlvTagWalk::nextAgreeing(int64_t from) const {
  for (int64_t at = from; at + kHeaderBytes + kPreviousTagSizeBytes <= size; ++at)
    if (agrees(at)) return at;
  return size;
}

std::vector<FlvStretch> FlvTagWalk::walk(int64_t first_tag) const {
  std::vector<FlvStretch> stretches;
  int64_t at = first_tag;
  while (at < size) {
    if (size - at < kHeaderBytes) {
      stretches.push_back({at, at + kHeaderBytes, false});  // a header cut short by the end of the file
      break;
    }
    bool trusted = false;
    int64_t resume = -1;
    if (plausibleHeader(at)) {
      const int64_t end = at + kHeaderBytes + dataSize(at);
      if (end + kPreviousTagSizeBytes <= size) {
        trusted = agrees(at) || end + kPreviousTagSizeBytes == size || plausibleHeader(end + kPreviousTagSizeBytes);
      } else {
        resume = nextAgreeing(at + 1);
        trusted = resume == size;  // the last tag, cut short
      }
    }
    if (trusted) {
      const int64_t end = at + kHeaderBytes + dataSize(at);
      stretches.push_back({at, end, false});
      at = end + kPreviousTagSizeBytes;
      continue;
    }
    if (resume < 0) resume = nextAgreeing(at + 1);
    stretches.push_back({at, resume, true});
    at = resume;
  }
  return stretches;
}

}  // namespace corvanta::flv
