#pragma once

#include <cstdint>

namespace corvanta {
class ElementWriter;
}

// Element streams written straight through the element writer, shaped like what format
// modules write, so that the writer is measured without any file to parse.

// Units of one chunk and 99 numbered samples, as an MP4 sample table gives.
void writeSampleTableStream(corvanta::ElementWriter& writer, int64_t elements);

// Packets of 188 bytes, each a numbered unit with its nine header and payload fields.
void writeTransportStream(corvanta::ElementWriter& writer, int64_t elements);
