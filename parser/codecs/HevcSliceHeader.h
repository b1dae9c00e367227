#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

struct HevcContext;
struct SliceInfo;

// "B", "P", "I" for an H.265 slice_type (0 to 2).
std::string hevcSliceTypeName(uint64_t slice_type);

// slice_segment_layer_rbsp() of a VCL NAL unit, after its NAL unit header: the slice segment
// header field by field (H.265 7.3.6), then the slice segment data as one field. Needs the PPS
// and SPS the slice refers to from `context`; without them, and for the layered and screen
// content extensions, the header stays one opaque field. Returns the summary
// ("IDR_W_RADL, I, POC 0").
std::string hevcSliceSegmentLayer(FieldReader& f, const HevcContext& context, uint64_t nal_unit_type,
                                  SliceInfo& info);

}  // namespace corvanta::codecs
