#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvanta::codecs {

// Counts the changes of what an H.264 or H.265 stream's later NAL units need from the earlier
// ones (their parameter sets, the active SPS), so that a copy of the decoder saved once can stand
// for every later point of the stream until the count moves. Encoders repeat the same parameter
// sets before each key frame: a parameter set whose bytes are those of the last one of its kind,
// with none of the kinds it is read through (a PPS through its SPS, an SPS through its VPS)
// changed since, changes nothing. Anything else counts as a change, also when it may not be one
// (a second PPS id alternating with the first): the count may move too often, never too seldom.
class ParameterSetChanges {
 public:
  explicit ParameterSetChanges(bool hevc) : is_hevc(hevc) {}

  // Before the NAL unit [nal, nal + size) is decoded.
  void nalUnit(const uint8_t* nal, int64_t size);
  // Something else changed the state: a configuration record (its parameter sets), or another
  // active SPS (`parameter_sets` false).
  void changed(bool parameter_sets);
  uint64_t count() const { return changes; }
  size_t heapBytes() const;

 private:
  // Parameter sets longer than this are never compared, only counted as a change.
  static constexpr int64_t kLongestCompared = 1024;
  static constexpr int kKinds = 3;  // VPS, SPS, PPS

  // The kind of parameter set (0 VPS, 1 SPS, 2 PPS), -1 for other NAL units.
  int kindOf(const uint8_t* nal, int64_t size) const;
  // A parameter set of `kind` changed: it and the kinds read through it are no longer known.
  void forgetFrom(int kind);

  bool is_hevc;
  uint64_t changes = 0;
  // The bytes of the last parameter set of each kind, empty when a kind it is read through changed
  // since.
  std::array<std::vector<uint8_t>, kKinds> last;
};

}  // namespace corvanta::codecs
