#pragma once

#include "ParsedFile.h"

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <QtEndian>
#include <QtTest>

#include <vector>

namespace isotest {

using namespace corvanta::test;

inline Parsed parseBytes(const QByteArray& bytes, const QString& file_name = QStringLiteral("test.mp4")) {
  return parseBytesAs(bytes, file_name);
}

// Building boxes by hand.
inline QByteArray box(const char* type, const QByteArray& payload) {
  return u32(quint64(8 + payload.size())) + QByteArray(type, 4) + payload;
}
inline QByteArray fullBox(const char* type, int version, quint32 flags, const QByteArray& payload) {
  return box(type, u8(quint64(version)) + be(flags, 3) + payload);
}
inline QByteArray ftyp() { return box("ftyp", QByteArray("isom") + u32(512) + QByteArray("isommp41")); }

// Top-level boxes walked independently of the library: offset and size of each.
struct TopBox {
  QString type;
  qint64 offset, size;
};
inline std::vector<TopBox> walkTopLevel(const QByteArray& data) {
  std::vector<TopBox> out;
  qint64 pos = 0;
  const qint64 end = data.size();
  const auto* p = reinterpret_cast<const uchar*>(data.constData());
  while (pos + 8 <= end) {
    quint64 size = qFromBigEndian<quint32>(p + pos);
    if (size == 1 && pos + 16 <= end) size = qFromBigEndian<quint64>(p + pos + 8);
    if (size == 0) size = quint64(end - pos);
    if (size < 8) break;
    size = qMin<quint64>(size, quint64(end - pos));
    out.push_back({QString::fromLatin1(data.mid(int(pos + 4), 4)), pos, qint64(size)});
    pos += qint64(size);
  }
  return out;
}

}  // namespace isotest
