#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class ElementWriter;
}

namespace corvanta::codecs {

// Bytes of the APEv1/APEv2 tag (with its header when it has one) whose footer ends at `end`,
// or 0 when none does or it would reach before `begin`.
int64_t apeTagBytesBefore(const uint8_t* data, int64_t begin, int64_t end);

// Bytes of the APEv2 tag whose header starts at `at` (a tag at the start of a file), or 0.
int64_t apeTagBytesAt(const uint8_t* data, int64_t at, int64_t end);

// Writes the APE tag in [begin, end) as one unit "APE": header, items (key, flags, value) and
// footer; returns its summary.
std::string writeApeTag(ElementWriter& writer, const uint8_t* data, int64_t begin, int64_t end);

}  // namespace corvanta::codecs
