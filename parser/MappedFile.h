#pragma once

#include <QString>

#include <cstdint>

namespace corvanta {

// A read-only memory map of a whole file. The file is never written.
// An empty file maps to size() == 0 and data() == nullptr.
//
// A file that another program truncates while it is mapped would kill the process with
// SIGBUS at the first read past its new end. The mapping is guarded instead: such a read
// sees zeros from there on and changed() turns true, so that the analysis can stop and say
// why.
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
  // True once a read met a part of the file that no longer exists.
  bool changed() const;
  // Whether the mapped file was written to or resized since it was opened (its size or its
  // modification time moved). A file put in its place by a rename does not count: the mapping
  // still reads the one it opened.
  bool writtenSinceOpened() const;

 private:
  const uint8_t* bytes = nullptr;
  int64_t length = 0;
  int descriptor = -1;  // kept for the cheap check of writtenSinceOpened
  int64_t opened_size = 0, opened_modified_ns = 0;
  int guard_slot = -1;
  QString error_string;
};

}  // namespace corvanta
