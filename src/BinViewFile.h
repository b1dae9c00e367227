#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The file shown by the hex viewer, read through a cache of one chunk of at most
// 64 KiB. The file is opened unbuffered: the chunk is the only buffer, so each
// refill is exactly one read from disk.
class BinViewFile {
public:
  // What the cache has read from disk since the file was opened (or the figures
  // were reset). Lets tests and benchmarks see that painting stays cheap.
  struct ReadStatistics {
    qint64 disk_reads = 0;
    qint64 bytes_read = 0;
    qint64 largest_read = 0;
  };

  static constexpr int max_chunk_size = 65536;

  BinViewFile();
  virtual ~BinViewFile();

  BinViewFile(const BinViewFile&) = delete;
  BinViewFile& operator=(const BinViewFile&) = delete;

  bool open(const QString& file_name);
  void close();
  // Up to count bytes from offset; fewer at the end of the file or when the file
  // yields fewer than it had when it was opened, none at or past the end.
  QByteArray read(qint64 offset, int count);
  void loadChunk(qint64 offset);

  bool isOpen() const { return opened; }
  // The size when the file was opened; -1 while closed.
  qint64 size() const { return file_size; }
  QString errorText() const { return error_text; }

  qint64 chunkBegin() const { return chunk_begin; }
  qint64 chunkEnd() const { return chunk_end; }
  int chunkSize() const { return chunk_size; }

  const ReadStatistics& readStatistics() const { return statistics; }
  void resetReadStatistics() { statistics = ReadStatistics(); }

private:
  bool isCached(qint64 offset, int count) const;
  QByteArray cachedBytes(qint64 offset, int count) const;

  QFile file;
  qint64 file_size = -1;
  QByteArray chunk;
  qint64 chunk_begin = 0;
  qint64 chunk_end = -1;
  int chunk_size = 0;
  QString error_text;
  bool opened = false;
  ReadStatistics statistics;
};
