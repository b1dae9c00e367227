#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace hexview_testing {

// A byte pattern that does not repeat within a chunk, so a read from the wrong
// place cannot match by chance.
inline char patternByte(qint64 position) {
  return char((position ^ (position >> 8) ^ (position >> 16)) & 0xFF);
}

inline QByteArray patternBytes(qint64 from, qint64 count) {
  QByteArray bytes;
  for (qint64 p = from; p < from + count; ++p)
    bytes.append(patternByte(p));
  return bytes;
}

inline bool writeFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

}  // namespace hexview_testing
