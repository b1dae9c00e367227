#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class ElementWriter;
}

namespace corvanta::codecs {

// Bytes of the ID3v2 tag (header, extended header, frames, padding and footer) whose header
// starts at `at`, or 0 when no plausible ID3v2 header stands there ("ID3", version 2 to 4, a
// sync-safe size). The size may reach past `end`; the caller clamps.
int64_t id3v2TagBytes(const uint8_t* data, int64_t at, int64_t end);

// Bytes of the ID3v2 tag whose footer ("3DI") ends at `end`, or 0 when none does: for a tag
// appended at the end of a file.
int64_t id3v2TagBytesBefore(const uint8_t* data, int64_t begin, int64_t end);

// Writes the ID3v2 tag in [begin, end) of the file as one unit "ID3v2": its header, extended
// header, every frame with its body decoded, the padding and the footer. Unsynchronisation is
// undone for reading while each element keeps the file bits it covers. Returns the summary
// ("ID3v2.4, 6 frames").
std::string writeId3v2Tag(ElementWriter& writer, const uint8_t* data, int64_t begin, int64_t end);

}  // namespace corvanta::codecs
