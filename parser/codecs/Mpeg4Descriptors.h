#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// A run of MPEG-4 object descriptors (ISO/IEC 14496-1): the ES_Descriptor of esds with its
// DecoderConfigDescriptor, DecoderSpecificInfo and SLConfigDescriptor; also what a transport
// stream's IOD or an MPEG-4 Matroska track carries. Returns a one-line summary.
std::string mpeg4Descriptors(FieldReader& f);

}  // namespace corvanta::codecs
