#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::matroska {

// Decodes a CodecPrivate's data, from the reader's position to its end, by the track's CodecID,
// through the shared codec decoders. Returns the summary, or nothing (and writes nothing) for a
// codec whose private data is not decoded: the caller then shows it as opaque data.
bool decodeCodecPrivate(FieldReader& f, const std::string& codec_id, std::string& summary);

}  // namespace corvanta::matroska
