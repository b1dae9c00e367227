#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

struct H264Context;
struct SliceInfo;

// "P", "B", "I", "SP", "SI" for slice_type (0 to 9).
std::string h264SliceTypeName(uint64_t slice_type);

// slice_layer_without_partitioning_rbsp() of an IDR or non-IDR slice, after the NAL unit header:
// the slice header field by field (7.3.3), then the slice data as one field. Needs the SPS and
// PPS the slice refers to from `context`; without them the header stays one opaque field.
// Returns the summary ("IDR slice, I, frame_num 0, POC 0").
std::string h264SliceLayer(FieldReader& f, const H264Context& context, uint64_t nal_unit_type, uint64_t nal_ref_idc,
                           SliceInfo& info);

}  // namespace corvanta::codecs
