#include "ElementLocator.h"

#include <QSqlQuery>
#include <QVariant>

#include <limits>

namespace {

// One byte covers 8 bits; an element holds the byte when their ranges overlap.
bool holds(qint64 offset, qint64 size, qint64 begin_bit) {
  return size > 0 && offset < begin_bit + 8 && offset + size > begin_bit;
}

const char* const kFirstChildFromSql =
    "SELECT `id`, `offset`, `size`, `last_child_id` FROM `elements` WHERE `parent_id` = ? AND `id` >= ? "
    "ORDER BY `id` LIMIT 1";
const char* const kLastChildBeforeSql =
    "SELECT `id`, `offset`, `size`, `last_child_id` FROM `elements` WHERE `parent_id` = ? AND `id` < ? "
    "ORDER BY `id` DESC LIMIT 1";
const char* const kLastRootSql =
    "SELECT `id` FROM `elements` WHERE `parent_id` = 0 ORDER BY `id` DESC LIMIT 1";
const char* const kScanChildrenSql =
    "SELECT `id`, `offset`, `size`, `last_child_id` FROM `elements` WHERE `parent_id` = ? "
    "AND `offset` < ? AND `offset` + `size` > ? AND `size` > 0 ORDER BY `id` LIMIT 1";

}  // namespace

ElementLocator::ElementLocator(const QSqlDatabase& connection) : connection(connection) {}

bool ElementLocator::readFirstRow(QSqlQuery& query, Child* child) {
  if (!query.exec() || !query.next())
    return false;
  child->id = query.value(0).toLongLong();
  child->offset = query.value(1).toLongLong();
  child->size = query.value(2).toLongLong();
  child->last_child_id = query.value(3).toLongLong();
  return true;
}

bool ElementLocator::readChild(const char* sql, qint64 parent, qint64 id, Child* child) {
  QSqlQuery query(connection);
  query.setForwardOnly(true);
  if (!query.prepare(QString::fromLatin1(sql)))
    return false;
  query.addBindValue(QVariant(qlonglong(parent)));
  query.addBindValue(QVariant(qlonglong(id)));
  return readFirstRow(query, child);
}

bool ElementLocator::firstChildFrom(qint64 parent, qint64 from_id, Child* child) {
  return readChild(kFirstChildFromSql, parent, from_id, child);
}

bool ElementLocator::lastChildBefore(qint64 parent, qint64 before_id, Child* child) {
  return readChild(kLastChildBeforeSql, parent, before_id, child);
}

qint64 ElementLocator::lastRootId() {
  QSqlQuery query(connection);
  query.setForwardOnly(true);
  if (!query.exec(QString::fromLatin1(kLastRootSql)) || !query.next())
    return 0;
  return query.value(0).toLongLong();
}

// The last child in [first_id, last_id] whose offset lies before end_bit, found by
// bisecting the id range; each probe reads the first child at or after an id.
bool ElementLocator::lastChildStartingBy(qint64 parent, qint64 first_id, qint64 last_id, qint64 end_bit,
                                         Child* child) {
  Child best;
  if (!firstChildFrom(parent, first_id, &best) || best.id > last_id || best.offset >= end_bit)
    return false;
  qint64 low = best.id;
  qint64 high = last_id;
  while (low < high) {
    const qint64 middle = low + (high - low + 1) / 2;
    Child probe;
    if (!firstChildFrom(parent, middle, &probe) || probe.id > high || probe.offset >= end_bit) {
      high = middle - 1;
    } else {
      best = probe;
      low = probe.id;
    }
  }
  *child = best;
  return true;
}

bool ElementLocator::scanChildren(qint64 parent, qint64 begin_bit, Child* child) {
  QSqlQuery query(connection);
  query.setForwardOnly(true);
  if (!query.prepare(QString::fromLatin1(kScanChildrenSql)))
    return false;
  query.addBindValue(QVariant(qlonglong(parent)));
  query.addBindValue(QVariant(qlonglong(begin_bit + 8)));
  query.addBindValue(QVariant(qlonglong(begin_bit)));
  return readFirstRow(query, child);
}

// The child of `parent` (ids first_id to last_id) that holds the byte at begin_bit.
bool ElementLocator::childHolding(qint64 parent, qint64 first_id, qint64 last_id, qint64 begin_bit,
                                  Child* child) {
  Child candidate;
  const bool found = lastChildStartingBy(parent, first_id, last_id, begin_bit + 8, &candidate);
  if (found && holds(candidate.offset, candidate.size, begin_bit)) {
    *child = candidate;
    return true;
  }
  // The bisection is right only for children in offset order. Where the neighbours of
  // its answer agree with that order, the byte lies in a gap between children; anywhere
  // else the order cannot be trusted and every child is looked at.
  Child before, after;
  bool ordered = true;
  if (found) {
    if (lastChildBefore(parent, candidate.id, &before)) {
      // A child that reaches over the ones after it, as a wrapper among its siblings.
      if (holds(before.offset, before.size, begin_bit)) {
        *child = before;
        return true;
      }
      if (before.offset > candidate.offset)
        ordered = false;
    }
    if (firstChildFrom(parent, candidate.id + 1, &after) && after.id <= last_id &&
        after.offset < begin_bit + 8)
      ordered = false;
    // A child reaching past the next one's start overlaps it: not a plain sequence.
    if (after.id > 0 && after.id <= last_id && candidate.offset + candidate.size > after.offset)
      ordered = false;
  } else if (firstChildFrom(parent, first_id, &after) && after.id <= last_id) {
    // Every child starts after the byte if the first one does, in order.
    Child next;
    if (firstChildFrom(parent, after.id + 1, &next) && next.id <= last_id && next.offset < after.offset)
      ordered = false;
  }
  if (ordered)
    return false;
  return scanChildren(parent, begin_bit, child);
}

qint64 ElementLocator::elementAtByte(qint64 byte_offset) {
  if (byte_offset < 0 || !connection.isOpen())
    return 0;
  if (byte_offset > std::numeric_limits<qint64>::max() / 8 - 8)
    return 0;
  const qint64 begin_bit = byte_offset * 8;
  const qint64 last_root = lastRootId();
  if (last_root <= 0)
    return 0;

  Child element;
  if (!childHolding(0, 1, last_root, begin_bit, &element))
    return 0;
  // Each step goes one level down; ids grow with depth, which bounds the walk.
  for (;;) {
    if (element.last_child_id <= element.id)
      return element.id;
    Child child;
    if (!childHolding(element.id, element.id + 1, element.last_child_id, begin_bit, &child) ||
        child.id <= element.id)
      return element.id;
    element = child;
  }
}
