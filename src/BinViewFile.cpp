#include "BinViewFile.h"

#include <QtGlobal>

#include <algorithm>

BinViewFile::BinViewFile() = default;

BinViewFile::~BinViewFile() {
  close();
}

bool BinViewFile::open(const QString& file_name) {
  close();
  file.setFileName(file_name);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
    error_text = file.errorString();
    qWarning("Error %i: %s", int(file.error()), error_text.toLocal8Bit().constData());
    return false;
  }
  error_text.clear();
  resetReadStatistics();
  file_size = file.size();
  chunk_size = int(std::min<qint64>(file_size, max_chunk_size));
  loadChunk(0);
  opened = true;
  return true;
}

void BinViewFile::close() {
  if (file.isOpen())
    file.close();
  opened = false;
  file_size = -1;
  chunk.clear();
  chunk_begin = 0;
  chunk_end = -1;
}

QByteArray BinViewFile::read(qint64 offset, int count) {
  if (file_size < 1 || offset < 0 || offset >= file_size || count <= 0)
    return QByteArray();
  if (!isCached(offset, count)) {
    // Refill so that the chunk reaches well beyond the request in the direction
    // of travel: scrolling on keeps hitting the cache.
    if (offset >= chunk_begin)
      loadChunk(offset - chunk_size / 4);
    else
      loadChunk(offset - 3 * chunk_size / 4);
  }
  return cachedBytes(offset, count);
}

void BinViewFile::loadChunk(qint64 offset) {
  const qint64 start = std::max<qint64>(offset, 0);
  chunk.resize(chunk_size);
  qint64 length = -1;
  if (file.isOpen() && file.seek(start))
    length = file.read(chunk.data(), chunk_size);
  // A failed seek or read leaves an empty chunk ending before it begins, so the
  // next read misses and tries again.
  chunk.resize(int(std::max<qint64>(length, 0)));
  chunk_begin = start;
  chunk_end = start + chunk.size() - 1;

  if (length >= 0) {
    ++statistics.disk_reads;
    statistics.bytes_read += length;
    statistics.largest_read = std::max(statistics.largest_read, length);
  }
}

bool BinViewFile::isCached(qint64 offset, int count) const {
  return offset >= chunk_begin && chunk_end >= std::min(offset + count, file_size) - 1;
}

QByteArray BinViewFile::cachedBytes(qint64 offset, int count) const {
  // After a short refill (the file shrank, a read failed) the chunk may hold
  // fewer bytes than asked for, or none at this offset.
  if (offset < chunk_begin || offset > chunk_end)
    return QByteArray();
  const qint64 from = offset - chunk_begin;
  const qint64 available = chunk.size() - from;
  return chunk.mid(int(from), int(std::min<qint64>(count, available)));
}
