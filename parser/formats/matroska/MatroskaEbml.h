#pragma once

#include <cstdint>
#include <string>

// Reading EBML element headers and scalar values straight from the file's bytes, without
// writing anything: the walk decides with these where elements stand, and the look-ahead
// (track table, summaries, seek and cue checks) reads small values with them.
namespace corvanta::matroska {

// The code lengths the EBML header allows (EBMLMaxIDLength, EBMLMaxSizeLength).
struct EbmlLimits {
  int max_id_width = 4;
  int max_size_width = 8;
};

// One element header as found in the file. Offsets are bytes from the start of the file.
struct ElementHeader {
  int64_t offset = 0;         // first byte of the ID
  int64_t data = 0;           // first byte of the data
  int64_t end = 0;            // end of the data: the declared end, cut at the limit; the limit when unknown
  uint64_t declared_size = 0; // the data size as stored (meaningless when unknown)
  uint32_t id = 0;            // with its length marker, as IDs are written: 0x1A45DFA3
  uint8_t id_width = 0;
  uint8_t size_width = 0;
  bool unknown_size = false;  // all value bits of the size set
  bool past_limit = false;    // the declared end lies beyond the limit

  int64_t headerSize() const { return data - offset; }
};

// An element ID is valid when its value bits are neither all zero nor all one and it uses the
// shortest code that holds them.
bool isValidElementId(uint32_t id, int width);

// Reads the header at `pos`, never looking at or past `limit`. False when no element header can
// stand there: a broken or overlong code, an invalid ID, or no byte of data room for the header.
bool readElementHeader(const uint8_t* data, int64_t pos, int64_t limit, const EbmlLimits& limits, ElementHeader& out);

// An EBML variable-length integer at `p` with `room` bytes there, without its length marker:
// false when its first byte is zero or it needs more than `room` (or 8) bytes.
bool readVint(const uint8_t* p, int64_t room, uint64_t& value, int& width);

// Scalar values from `size` bytes at `p` (0 to 8 bytes; more fail).
bool readUnsigned(const uint8_t* p, int64_t size, uint64_t& value);
bool readSigned(const uint8_t* p, int64_t size, int64_t& value);
bool readFloat(const uint8_t* p, int64_t size, double& value);  // 0, 4 or 8 bytes

// The first direct child with `child_id` among the first `max_children` elements of [begin, end).
bool findChild(const uint8_t* data, int64_t begin, int64_t end, const EbmlLimits& limits, uint32_t child_id,
               ElementHeader& out, int max_children = 4096);
// The value of such a child, or the fallback when there is none or it is broken.
uint64_t childUnsigned(const uint8_t* data, int64_t begin, int64_t end, const EbmlLimits& limits, uint32_t child_id,
                       uint64_t fallback);
double childFloat(const uint8_t* data, int64_t begin, int64_t end, const EbmlLimits& limits, uint32_t child_id,
                  double fallback);
// Text of a String or UTF-8 child up to its first zero byte (valid UTF-8), capped at `max_bytes`.
std::string childText(const uint8_t* data, int64_t begin, int64_t end, const EbmlLimits& limits, uint32_t child_id,
                      int64_t max_bytes = 256);

}  // namespace corvanta::matroska
