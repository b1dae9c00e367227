#pragma once

#include <QString>

#include <cstdint>

namespace corvanta {

// A read-only memory map of a whole file. The file is never written.
// An empty file maps to size() == 0 and data() == nullptr.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // False with errorString() set when the file cannot be opened or mapped.
  bool open(const QString& file_name);
  void close();

  const uint8_t* data() const { return bytes; }
  int64_t size() const { return length; }
  QString errorString() const { return error_string; }

 private:
  const uint8_t* bytes = nullptr;
  int64_t length = 0;
  QString error_string;
};

}  // namespace corvanta
