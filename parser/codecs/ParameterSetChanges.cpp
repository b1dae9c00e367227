#include "codecs/ParameterSetChanges.h"

#include <algorithm>

namespace corvanta::codecs {

namespace {

constexpr int kH264Sps = 7, kH264Pps = 8;
constexpr int kHevcVps = 32, kHevcPps = 34;

}  // namespace

int ParameterSetChanges::kindOf(const uint8_t* nal, int64_t size) const {
  if (size < 1) return -1;
  if (is_hevc) {
    const int type = (nal[0] >> 1) & 0x3F;
    return type >= kHevcVps && type <= kHevcPps ? type - kHevcVps : -1;
  }
  const int type = nal[0] & 0x1F;
  return type == kH264Sps || type == kH264Pps ? type - kH264Sps + 1 : -1;
}

void ParameterSetChanges::nalUnit(const uint8_t* nal, int64_t size) {
  const int kind = kindOf(nal, size);
  if (kind < 0) return;
  std::vector<uint8_t>& bytes = last[size_t(kind)];
  const bool repeated = size <= kLongestCompared && !bytes.empty() && int64_t(bytes.size()) == size &&
                        std::equal(bytes.begin(), bytes.end(), nal);
  if (repeated) return;
  ++changes;
  forgetFrom(kind);
  if (size <= kLongestCompared) bytes.assign(nal, nal + size);
}

void ParameterSetChanges::changed(bool parameter_sets) {
  ++changes;
  if (parameter_sets) forgetFrom(0);
}

size_t ParameterSetChanges::heapBytes() const {
  size_t bytes = 0;
  for (const std::vector<uint8_t>& kind : last) bytes += kind.capacity();
  return bytes;
}

void ParameterSetChanges::forgetFrom(int kind) {
  for (int k = kind; k < kKinds; ++k) last[size_t(k)].clear();
}

}  // namespace corvanta::codecs
