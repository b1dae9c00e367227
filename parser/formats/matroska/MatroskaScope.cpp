#include "formats/matroska/MatroskaScope.h"

#include "formats/matroska/MatroskaSegmentInfo.h"

namespace corvanta::matroska {

uint64_t ValueContext::timestampScale() const {
  return segment ? segment->timestampScale() : SegmentInfo::kDefaultTimestampScale;
}

int64_t ValueContext::segmentData() const { return segment ? segment->dataBegin() : 0; }

}  // namespace corvanta::matroska
