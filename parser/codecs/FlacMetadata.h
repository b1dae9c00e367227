#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// The "fLaC" marker and the metadata blocks after it (RFC 9639), from the reader's position to
// its end: the start of a native FLAC file, the CodecPrivate of a Matroska A_FLAC track, the
// first Ogg FLAC packet after its mapping header. Each block is a unit named by its type
// (STREAMINFO, PADDING, APPLICATION, SEEKTABLE, VORBIS_COMMENT, CUESHEET, PICTURE). Returns the
// STREAMINFO summary ("FLAC, 2 ch 44100 Hz, 16 bits, 441000 samples").
std::string flacMetadata(FieldReader& f);

// The metadata blocks alone, without the marker.
std::string flacMetadataBlocks(FieldReader& f);

// A PICTURE block's body read without writing anything ("front cover, image/png, 8x8, 24 bits,
// 120 bytes"): for a picture carried elsewhere, such as the base64 text of a
// METADATA_BLOCK_PICTURE comment. Empty when the bytes do not hold one.
std::string flacPictureSummary(const uint8_t* data, int64_t size);

}  // namespace corvanta::codecs
