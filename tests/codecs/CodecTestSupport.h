#pragma once

#include "../isobmff/IsoBmffTestSupport.h"
#include "ElementDatabase.h"
#include "ElementWriter.h"
#include "FieldReader.h"

#include <string>

namespace codectest {

using isotest::Element;
using isotest::Parsed;

// Bytes from groups of '0' and '1' (spaces ignored), most significant bit first; the groups
// must add up to whole bytes.
inline QByteArray bits(std::initializer_list<const char*> groups) {
  QByteArray out;
  int filled = 0;
  uchar byte = 0;
  for (const char* group : groups)
    for (const char* c = group; *c; ++c) {
      if (*c == ' ') continue;
      byte = uchar((byte << 1) | (*c == '1' ? 1 : 0));
      if (++filled == 8) {
        out.append(char(byte));
        filled = 0;
        byte = 0;
      }
    }
  if (filled != 0) qFatal("fixture bits do not fill whole bytes");
  return out;
}

// A NAL unit's bytes from its RBSP: 0x03 inserted wherever two zero bytes precede a byte <= 3,
// as an encoder does (7.4.1).
inline QByteArray withEmulationPrevention(const QByteArray& rbsp) {
  QByteArray out;
  int zeros = 0;
  for (char c : rbsp) {
    const uchar byte = uchar(c);
    if (zeros >= 2 && byte <= 3) {
      out.append(char(3));
      zeros = 0;
    }
    out.append(c);
    zeros = byte == 0 ? zeros + 1 : 0;
  }
  return out;
}

struct Decoded : Parsed {
  std::string summary;
};

// Runs `decode(FieldReader&)` over `bytes` as if they were a file of their own and reads back
// what it wrote.
template <class Decode>
Decoded decodeBytes(const QByteArray& bytes, Decode&& decode) {
  Decoded decoded;
  const QString connection = QStringLiteral("codec-fixture");
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(QStringLiteral(":memory:"));
    QString error;
    sqlite3* handle = db.open() ? corvanta::ElementDatabase::handle(db) : nullptr;
    if (!handle || !corvanta::ElementDatabase::createSchema(handle, true, &error)) {
      qWarning("cannot create the element database: %s", qPrintable(error));
    } else {
      corvanta::ElementWriter writer(handle);
      writer.setFileSize(bytes.size() * 8);
      corvanta::FieldReader reader(writer, reinterpret_cast<const uint8_t*>(bytes.constData()), 0, bytes.size());
      decoded.summary = decode(reader);
      if (writer.finish()) {
        decoded.report = corvanta::checkDatabase(db, bytes.size() * 8);
        decoded.elements = isotest::readElements(db);
      }
    }
    db.close();
  }
  QSqlDatabase::removeDatabase(connection);
  return decoded;
}

}  // namespace codectest
