#pragma once

#include <cstdint>

namespace corvanta {
class ElementWriter;
}

// Element streams written straight through the element writer, shaped like what format
// modules write, so that the writer is measured without any file to parse.

// Units of one chunk and 99 numbered samples, as an MP4 sample table gives.
void writeSampleTableStream(corvanta::ElementWriter& writer, int64_t elements);

// One unit of `children` numbered fields of 8 bytes each from `first_bit` on, as a
// sample table of a long recording gives: an element with a very wide level.
void writeWideUnit(corvanta::ElementWriter& writer, int64_t first_bit, int64_t children);

// Packets of 188 bytes, each a numbered unit with its nine header and payload fields.
void writeTransportStream(corvanta::ElementWriter& writer, int64_t elements);
