#pragma once

#include "ByteOrder.h"

#include <cstdint>

namespace corvanta::isobmff {

// One box header as found in the file. Offsets are in bytes from the start of the file.
struct BoxHeader {
  int64_t offset = 0;
  int64_t end = 0;              // clamped to the enclosing unit
  int64_t payload = 0;          // first byte after size, type, largesize and usertype
  uint64_t declared_size = 0;   // the 32-bit size, or largesize when size is 1
  uint32_t size32 = 0;
  uint32_t type = 0;
  bool has_largesize = false;
  bool has_usertype = false;
  bool truncated = false;       // declared end lies past the enclosing unit
  int64_t size() const { return end - offset; }
};

// What stands at a position inside [begin, end): a box, or bytes up to the next plausible box.
struct BoxItem {
  bool is_box = false;
  BoxHeader header;             // when is_box
  int64_t garbage_end = 0;      // when !is_box
  bool terminator = false;      // a 32-bit zero that ends a QuickTime atom list
};

// Reads the item at `pos`. Never reads outside [pos, end). `any_type` accepts codes that are
// not printable (the keyed items of a QuickTime metadata list).
BoxItem nextBoxItem(const uint8_t* data, int64_t pos, int64_t end, bool any_type = false);

// A 'meta' box is a full box in ISO files but a plain container in QuickTime movies:
// true when its payload starts with version and flags rather than with a child box.
bool metaIsFullBox(const uint8_t* data, int64_t payload, int64_t end);

// True when a box of a known type with a size that fits starts at `pos`.
bool isPlausibleBox(const uint8_t* data, int64_t pos, int64_t end);

}  // namespace corvanta::isobmff
