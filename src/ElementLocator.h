#pragma once

#include <QSqlDatabase>
#include <QtGlobal>

class QSqlQuery;

// Finds the deepest element whose bit range holds a given byte of the file.
//
// It descends from the top-level elements: at each level a binary search over the
// children of one parent (through the parent_id index, by id) finds the last child that
// starts at or before the byte. Children are in offset order in a well-formed file; where
// the neighbourhood of that child shows they are not, the children are scanned instead.
class ElementLocator {
 public:
  explicit ElementLocator(const QSqlDatabase& connection);

  // Id of the deepest element holding byte `byte_offset`; 0 when no element holds it.
  qint64 elementAtByte(qint64 byte_offset);

 private:
  struct Child {
    qint64 id = 0;
    qint64 offset = 0;
    qint64 size = 0;
    qint64 last_child_id = 0;
  };

  bool firstChildFrom(qint64 parent, qint64 from_id, Child* child);
  bool lastChildBefore(qint64 parent, qint64 before_id, Child* child);
  qint64 lastRootId();
  bool lastChildStartingBy(qint64 parent, qint64 first_id, qint64 last_id, qint64 end_bit, Child* child);
  bool childHolding(qint64 parent, qint64 first_id, qint64 last_id, qint64 begin_bit, Child* child);
  bool scanChildren(qint64 parent, qint64 begin_bit, Child* child);
  static bool readFirstRow(QSqlQuery& query, Child* child);
  bool readChild(const char* sql, qint64 parent, qint64 id, Child* child);

  QSqlDatabase connection;
};
