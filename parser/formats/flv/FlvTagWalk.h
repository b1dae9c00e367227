#pragma once

#include <cstdint>
#include <vector>

namespace corvanta::flv {

// One stretch of the file after the header: a tag (with the PreviousTagSize after it, when
// the file holds one) or bytes that belong to no tag.
struct FlvStretch {
  int64_t begin = 0;
  int64_t end = 0;       // a tag's declared end (header + DataSize); may lie past the file
  bool garbage = false;
};

// Finds the tags of an FLV file from `first_tag` on, trusting a tag when its header is
// plausible and either its PreviousTagSize agrees or a plausible tag follows; what cannot be
// framed is a garbage stretch up to the next tag whose header and PreviousTagSize agree.
// A tag running past the file counts only when no such tag follows it.
class FlvTagWalk {
 public:
  FlvTagWalk(const uint8_t* data, int64_t size) : data(data), size(size) {}

  std::vector<FlvStretch> walk(int64_t first_tag) const;

  static constexpr int64_t kHeaderBytes = 11;
  static constexpr int64_t kPreviousTagSizeBytes = 4;

 private:
  bool plausibleHeader(int64_t at) const;
  int64_t dataSize(int64_t at) const;
  uint32_t previousTagSize(int64_t at) const;
  bool agrees(int64_t at) const;  // header plausible and its PreviousTagSize matches it
  int64_t nextAgreeing(int64_t from) const;

  const uint8_t* data;
  int64_t size;
};

}  // namespace corvanta::flv
