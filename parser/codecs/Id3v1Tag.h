#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class ElementWriter;
}

namespace corvanta::codecs {

constexpr int64_t kId3v1Bytes = 128;

// True when the 128 bytes before `end` are an ID3v1 tag ("TAG").
bool isId3v1Tag(const uint8_t* data, int64_t begin, int64_t end);

// Writes the ID3v1 or ID3v1.1 tag (a zero byte before a track number in the comment) at
// `begin` as one unit "ID3v1"; returns its summary.
std::string writeId3v1Tag(ElementWriter& writer, const uint8_t* data, int64_t begin);

// The name of an ID3v1 genre number, with the extensions that players added to the first 80;
// empty when unknown.
std::string id3v1GenreName(uint64_t genre);

}  // namespace corvanta::codecs
