#pragma once

#include "ElementWriter.h"

#include <cstdint>

namespace corvanta {

// What a module leaves behind to decode its lazy units again after the analysis: the bytes and
// the small context each unit needs, and its usual decoding code. Decoding runs on the thread
// that reads the database, one unit at a time.
class LazyDecoder {
 public:
  LazyDecoder() = default;
  virtual ~LazyDecoder() = default;
  LazyDecoder(const LazyDecoder&) = delete;
  LazyDecoder& operator=(const LazyDecoder&) = delete;

  // Writes unit `unit` (numbered as the analysis wrote them) through writer() exactly as the
  // analysis counted it: writer().startCollecting(place) just before the unit's own rows (what
  // the decoder writes before that, to rebuild its context, is dropped).
  virtual void decode(int64_t unit, const LazyUnitPlace& place) = 0;
  // The unit's bits in the file, for the GARBAGE element that stands for a unit that cannot be
  // decoded any more.
  virtual void bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const = 0;

  ElementWriter& writer() { return collector; }

 private:
  ElementWriter collector{ElementWriter::Collect{}};
};

}  // namespace corvanta
