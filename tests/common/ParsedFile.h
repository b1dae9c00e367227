#pragma once

// A parsed file as the format tests look at it: every element read back from the database
// the library wrote, with the invariant check's report; and big-endian byte builders for
// hand-made fixtures.

#include "DatabaseCheck.h"
#include "ElementWriter.h"
#include "Parser.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <vector>

namespace corvanta::test {

inline QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One row of the element database, as the tests look at it.
struct Element {
  qint64 id = 0, level = 0, parent = 0, offset = 0, size = 0, seq = -1;
  QString name, raw, hrf;
  qint64 byteOffset() const { return offset / 8; }
  qint64 byteSize() const { return size / 8; }
};

// What one parse produced: the result, the check report and every element.
struct Parsed {
  int result = -1;
  QString error;
  QString format;
  corvanta::DatabaseReport report;
  std::vector<Element> elements;

  std::vector<const Element*> children(qint64 parent_id) const {
    std::vector<const Element*> out;
    for (const Element& e : elements)
      if (e.parent == parent_id) out.push_back(&e);
    return out;
  }
  std::vector<const Element*> named(const QString& name) const {
    std::vector<const Element*> out;
    for (const Element& e : elements)
      if (e.name == name) out.push_back(&e);
    return out;
  }
  // The first element reached by a path of names ("moov/trak/tkhd/track_ID") from the top.
  const Element* at(const QString& path, qint64 from = 0) const {
    const QStringList parts = path.split(QLatin1Char('/'));
    qint64 parent = from;
    const Element* found = nullptr;
    for (const QString& part : parts) {
      found = nullptr;
      for (const Element* child : children(parent))
        if (child->name == part) {
          found = child;
          break;
        }
      if (!found) return nullptr;
      parent = found->id;
    }
    return found;
  }
  qint64 garbageCount() const { return qint64(named(QString::fromLatin1(corvanta::kGarbageName.data())).size()); }
};

// Why the parse of a valid file falls short, or empty when it does not: the parse fails, another
// module took the file (when `format` is given), the invariant check fails, a bit of the file is
// left uncovered, or something is GARBAGE.
inline QString cleanParseProblem(const Parsed& parsed, const QString& path, const QString& format = {}) {
  if (parsed.result != 0) return QStringLiteral("the parse failed: %1").arg(parsed.error);
  if (!format.isEmpty() && parsed.format != format) return QStringLiteral("taken by the module %1").arg(parsed.format);
  if (!parsed.report.ok()) return parsed.report.summary();
  const qint64 bits = QFileInfo(path).size() * 8;
  if (parsed.report.covered_bits != bits)
    return QStringLiteral("%1 of %2 bits covered").arg(parsed.report.covered_bits).arg(bits);
  if (parsed.report.garbage_bits != 0) return QStringLiteral("%1 bits of GARBAGE").arg(parsed.report.garbage_bits);
  return {};
}

inline const QString kConnection = QStringLiteral("corvanta-container-viewer-connection");

// Every element of a database in id (pre-order) order.
inline std::vector<Element> readElements(const QSqlDatabase& db) {
  std::vector<Element> elements;
  QSqlQuery query(db);
  query.exec(QStringLiteral(
      "SELECT elements.id, elements.level, elements.parent_id, dictionary.name, elements.offset, "
      "elements.size, elements.raw_value, elements.hrf_value, elements_seq_num.seq_num FROM elements "
      "LEFT JOIN dictionary ON elements.name_id = dictionary.id LEFT JOIN elements_seq_num ON "
      "elements.id = elements_seq_num.id ORDER BY elements.id"));
  while (query.next()) {
    Element e;
    e.id = query.value(0).toLongLong();
    e.level = query.value(1).toLongLong();
    e.parent = query.value(2).toLongLong();
    e.name = query.value(3).toString();
    e.offset = query.value(4).toLongLong();
    e.size = query.value(5).toLongLong();
    e.raw = query.value(6).toString();
    e.hrf = query.value(7).toString();
    e.seq = query.value(8).isNull() ? -1 : query.value(8).toLongLong();
    elements.push_back(e);
  }
  return elements;
}

// Parses a file through the library as the viewer does, reads everything back, checks the
// database and gives the connection back.
inline Parsed parseFile(const QString& path) {
  Parsed parsed;
  Parser parser;
  parsed.result = parser.parseFile(path, QStringLiteral(":memory:"), QString());
  parsed.error = parser.errorString();
  parsed.format = parser.formatId();
  QSqlDatabase* connection = parser.getConnection();
  if (!connection) return parsed;
  {
    QSqlDatabase db = QSqlDatabase::database(kConnection, false);
    parsed.report = checkDatabase(db, QFileInfo(path).size() * 8);
    parsed.elements = readElements(db);
  }
  delete connection;
  QSqlDatabase::removeDatabase(kConnection);
  return parsed;
}

// Parses bytes written to a temporary file of that name (its extension may break a tie).
inline Parsed parseBytesAs(const QByteArray& bytes, const QString& file_name) {
  QTemporaryDir dir;
  const QString path = dir.filePath(file_name);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return {};
  file.write(bytes);
  file.close();
  return parseFile(path);
}

// Big-endian integers of 1 to 8 bytes.
inline QByteArray be(quint64 value, int bytes) {
  QByteArray out(bytes, '\0');
  for (int i = bytes - 1; i >= 0; --i, value >>= 8) out[i] = char(value & 0xff);
  return out;
}
inline QByteArray u8(quint64 v) { return be(v, 1); }
inline QByteArray u16(quint64 v) { return be(v, 2); }
inline QByteArray u32(quint64 v) { return be(v, 4); }
inline QByteArray u64(quint64 v) { return be(v, 8); }

}  // namespace corvanta::test
