#pragma once

#include <cstdint>

namespace corvanta {

// The bytes of the file under analysis, wherever they live: a memory map of the file
// or a caller's buffer. Only a view; the owner keeps the bytes alive.
class FileBytes {
 public:
  FileBytes(const uint8_t* data, int64_t size) : bytes(data), length(size) {}

  const uint8_t* data() const { return bytes; }
  int64_t size() const { return length; }

 private:
  const uint8_t* bytes;
  int64_t length;
};

}  // namespace corvanta
