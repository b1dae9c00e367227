#include "ViewerDatabase.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <limits>

namespace {

const char* const kOpenStateLookupSql = "SELECT `id` FROM `open_elements` WHERE `id` = ?";
const char* const kLevelLookupSql = "SELECT `level` FROM `elements` WHERE `id` = ?";
const char* const kParentLookupSql = "SELECT `parent_id` FROM `elements` WHERE `id` = ?";
const char* const kLastChildLookupSql = "SELECT `last_child_id` FROM `elements` WHERE `id` = ?";
const char* const kOpenStateInsertSql = "INSERT INTO `open_elements` VALUES(?)";
const char* const kOpenStateDeleteSql = "DELETE FROM `open_elements` WHERE `id` = ?";

const char* const kForeignKeysSql = "PRAGMA foreign_keys = ON";
// The children of one element (parent 0: the top-level elements) in id order, up to one
// chunk of ids after a given id, joined into one text. One result row per chunk instead
// of one per child keeps the per-row cost of the Qt driver out of expanding an element
// with a million children, and the read stays inside the parent_id index.
const char* const kChildIdsSql =
    "SELECT group_concat(`id`) FROM (SELECT `id` FROM `elements` WHERE `parent_id` = ? "
    "AND `id` > ? ORDER BY `id` LIMIT 65536)";
const int kChildIdsChunk = 65536;
const char* const kBlockReadSql =
    "SELECT elements.id, elements.level, elements.parent_id, elements.last_child_id, "
    "dictionary.name, elements.offset, elements.size, elements.raw_value, elements.hrf_value, "
    "elements_seq_num.seq_num FROM elements LEFT JOIN dictionary ON elements.name_id = "
    "dictionary.id LEFT JOIN elements_seq_num ON elements.id = elements_seq_num.id WHERE "
    "elements.id >= ? ORDER BY elements.id";
const char* const kElementCountSql =
    "SELECT `seq` FROM `sqlite_sequence` WHERE `name` = \"elements\"";
// The open ids inside one id range, read once per expansion so that the walk over a
// subtree does not need one open-state lookup per child that has children.
const char* const kOpenRangeSql =
    "SELECT `id` FROM `open_elements` WHERE `id` >= ? AND `id` <= ? ORDER BY `id`";

void bindId(QSqlQuery& query, int position, qint64 id) {
  query.bindValue(position, QVariant(qlonglong(id)), QSql::In);
}

bool contains(const std::vector<qint64>& sorted_ids, qint64 id) {
  return std::binary_search(sorted_ids.begin(), sorted_ids.end(), id);
}

}  // namespace

const char* const ViewerDatabase::kOwnedConnectionName = "corvanta-container-viewer-connection";

ViewerDatabase::Element::Element(qint64 id, qint64 offset, qint64 size)
    : id(id),
      level(-1),
      parent_id(-1),
      last_child_id(0),
      offset(offset),
      size(size),
      seq_num(-1),
      has_children(false),
      is_open(false),
      is_last(false) {}

int ViewerDatabase::registerElementMetaType() {
  static const int type_id = qRegisterMetaType<ViewerDatabase::Element>("ViewerDatabase::Element");
  return type_id;
}

QString sanitizeText(const QString& text) {
  QString printable = text;
  for (QChar& c : printable) {
    if (c.unicode() < 32 || c.unicode() > 126) c = QLatin1Char(' ');
  }
  return printable.simplified();
}

ViewerDatabase::ViewerDatabase() {
  registerElementMetaType();
  for (const char* sql : {kOpenStateLookupSql, kLevelLookupSql, kParentLookupSql,
                          kLastChildLookupSql, kOpenStateInsertSql, kOpenStateDeleteSql}) {
    statements.emplace_back(nullptr, QString::fromLatin1(sql));
  }
}

ViewerDatabase::~ViewerDatabase() {
  if (connection) closeConnection();
  deleteStatements();
}

// ---------------------------------------------------------------------------------------
// Connection

int ViewerDatabase::setConnection(QSqlDatabase* db) {
  if (!db) {
    closeConnection();
    return -1;
  }
  // Handing over the connection already held must not delete it first.
  if (db != connection) closeConnection();
  connection = db;
  prepareStatements();
  rebuildVisibleRows();
  return 0;
}

int ViewerDatabase::closeConnection() {
  if (!connection) return -1;
  // No query may outlive the connection it runs on.
  deleteStatements();
  const QString name = connection->connectionName();
  if (name == QLatin1String(kOwnedConnectionName)) {
    delete connection;
    connection = nullptr;
    QSqlDatabase::removeDatabase(name);
  }
  connection = nullptr;
  visibleRows.clear();
  return 0;
}

bool ViewerDatabase::hasOpenConnection() const { return connection && connection->isOpen(); }

void ViewerDatabase::prepareStatements() {
  if (!hasOpenConnection()) return;
  {
    QSqlQuery pragma(*connection);
    pragma.exec(QString::fromLatin1(kForeignKeysSql));
  }
  for (auto& [query, sql] : statements) {
    if (!query) query = new QSqlQuery(*connection);
    query->clear();
    query->setForwardOnly(true);
    query->prepare(sql);
  }
}

void ViewerDatabase::deleteStatements() {
  for (auto& entry : statements) {
    delete entry.first;
    entry.first = nullptr;
  }
}

QSqlQuery* ViewerDatabase::statement(Statement which) const {
  return statements[size_t(which)].first;
}

// ---------------------------------------------------------------------------------------
// Point lookups

qint64 ViewerDatabase::lookupValue(Statement which, qint64 id, qint64 failure) {
  QSqlQuery* query = statement(which);
  if (!query || !hasOpenConnection()) return failure;
  bindId(*query, 0, id);
  qint64 result = failure;
  if (query->exec() && query->next()) result = query->value(0).toLongLong();
  query->finish();
  return result;
}

bool ViewerDatabase::isOpen(qint64 id) {
  QSqlQuery* query = statement(kIsOpen);
  if (!query || !hasOpenConnection()) return false;
  bindId(*query, 0, id);
  const bool found = query->exec() && query->next();
  query->finish();
  return found;
}

int ViewerDatabase::level(qint64 id) { return int(lookupValue(kLevel, id, -1)); }

qint64 ViewerDatabase::parentId(qint64 id) { return lookupValue(kParentId, id, -1); }

qint64 ViewerDatabase::lastChildId(qint64 id) { return lookupValue(kLastChildId, id, -1); }

// Last id of the subtree of `id`: ids are in pre-order, so the subtree ends with the
// last child of the last child ... Stops on a broken chain that would not move forward.
qint64 ViewerDatabase::lastDescendant(qint64 id) {
  qint64 last = id;
  for (;;) {
    const qint64 child = lastChildId(last);
    if (child <= last) return last;
    last = child;
  }
}

// ---------------------------------------------------------------------------------------
// Visible rows

int ViewerDatabase::visibleCount() const { return int(visibleRows.size()); }

qint64 ViewerDatabase::idAt(int row) const { return visibleRows.at(row); }

int ViewerDatabase::rowOf(qint64 id) const { return int(visibleRows.rowOf(id)); }

std::vector<qint64> ViewerDatabase::openIdsBetween(qint64 first, qint64 last) {
  std::vector<qint64> ids;
  QSqlQuery query(*connection);
  query.setForwardOnly(true);
  if (!query.prepare(QString::fromLatin1(kOpenRangeSql))) return ids;
  bindId(query, 0, first);
  bindId(query, 1, last);
  if (!query.exec()) return ids;
  while (query.next()) ids.push_back(query.value(0).toLongLong());
  return ids;
}

bool ViewerDatabase::readChildIds(QSqlQuery& query, qint64 parent, qint64 after,
                                  std::vector<qint64>& ids) {
  ids.clear();
  bindId(query, 0, parent);
  bindId(query, 1, after);
  if (!query.exec() || !query.next()) return false;
  const QString joined = query.value(0).toString();
  query.finish();
  quint64 value = 0;
  bool negative = false, digits = false;
  for (const QChar c : joined) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') {
      value = value * 10 + (u - '0');
      digits = true;
    } else if (u == '-') {
      negative = true;
    } else if (u == ',') {
      if (digits) ids.push_back(negative ? qint64(0 - value) : qint64(value));
      value = 0;
      negative = digits = false;
    }
  }
  if (digits) ids.push_back(negative ? qint64(0 - value) : qint64(value));
  // The join follows the inner order in practice; it is not promised, so make sure.
  if (!std::is_sorted(ids.begin(), ids.end())) std::sort(ids.begin(), ids.end());
  return !ids.empty();
}

// Appends the visible descendants of `id` in display order: each child, followed by its
// own visible descendants when it is open. An open element without children simply
// yields no rows, so the children's last_child_id need not be read.
void ViewerDatabase::appendVisibleDescendants(qint64 id, const std::vector<qint64>& open_ids,
                                              VisibleRows& out) {
  QSqlQuery query(*connection);
  query.setForwardOnly(true);
  if (!query.prepare(QString::fromLatin1(kChildIdsSql))) return;
  std::vector<qint64> chunk;
  for (qint64 after = id; readChildIds(query, id, after, chunk);) {
    for (const qint64 child : chunk) {
      // Children follow their parent in id order; anything else is a broken database
      // and would break the ordering every search relies on, or loop forever.
      const qint64 floor = out.empty() ? id : std::max(id, out.back());
      if (child <= floor) continue;
      out.append(child);
      if (contains(open_ids, child)) appendVisibleDescendants(child, open_ids, out);
    }
    if (chunk.size() < size_t(kChildIdsChunk)) break;
    after = chunk.back();
  }
}

VisibleRows ViewerDatabase::visibleDescendants(qint64 id) {
  VisibleRows rows;
  if (!hasOpenConnection()) return rows;
  const qint64 last = lastDescendant(id);
  if (last <= id) return rows;
  appendVisibleDescendants(id, openIdsBetween(id + 1, last), rows);
  return rows;
}

// Counts the visible rows inside the subtree of `id`. The visible rows hold exactly the
// visible part of every subtree, and the subtree is one id range, so two searches do it.
int ViewerDatabase::countVisibleDescendants(qint64 id) {
  if (!hasOpenConnection()) return 0;
  const qint64 last = lastDescendant(id);
  return int(visibleRows.upperBound(last) - visibleRows.upperBound(id));
}

int ViewerDatabase::insertVisibleDescendants(qint64 id) {
  const int row = rowOf(id);
  if (row < 0) return -1;
  VisibleRows rows = visibleDescendants(id);
  // A broken database must not be allowed to reorder the list.
  if (qint64(row) + 1 < visibleRows.size()) {
    const qint64 kept = rows.lowerBound(visibleRows.at(row + 1));
    rows.erase(kept, rows.size() - kept);
  }
  if (rows.empty()) return -1;
  visibleRows.insert(row + 1, rows);
  return 0;
}

int ViewerDatabase::removeVisibleDescendants(qint64 id) {
  const int row = rowOf(id);
  if (row < 0) return -1;
  visibleRows.erase(row + 1, countVisibleDescendants(id));
  return 0;
}

int ViewerDatabase::rebuildVisibleRows() {
  visibleRows.clear();
  if (!hasOpenConnection()) return -1;
  QSqlQuery roots(*connection);
  roots.setForwardOnly(true);
  if (!roots.prepare(QString::fromLatin1(kChildIdsSql))) return -1;
  const std::vector<qint64> open_ids = openIdsBetween(1, std::numeric_limits<qint64>::max());
  std::vector<qint64> chunk;
  for (qint64 after = 0; readChildIds(roots, 0, after, chunk);) {
    for (const qint64 root : chunk) {
      if (!visibleRows.empty() && root <= visibleRows.back()) continue;
      visibleRows.append(root);
      if (contains(open_ids, root)) appendVisibleDescendants(root, open_ids, visibleRows);
    }
    if (chunk.size() < size_t(kChildIdsChunk)) break;
    after = chunk.back();
  }
  return 0;
}

// ---------------------------------------------------------------------------------------
// Records

void ViewerDatabase::readElement(const QSqlQuery& row, Element& e) {
  e.id = row.value(0).toLongLong();
  e.level = row.value(1).toInt();
  e.parent_id = row.value(2).toLongLong();
  e.last_child_id = row.value(3).toLongLong();
  e.name = sanitizeText(row.value(4).toString());
  if (e.name.isEmpty()) e.name = QStringLiteral("(empty)");
  e.offset = row.value(5).toLongLong();
  e.size = row.value(6).toLongLong();
  e.raw_value = sanitizeText(row.value(7).toString());
  e.hrf_value = sanitizeText(row.value(8).toString());
  if (e.hrf_value.isEmpty()) e.hrf_value = e.raw_value;
  const QVariant seq = row.value(9);
  e.seq_num = seq.isNull() ? -1 : seq.toLongLong();
  if (e.seq_num != -1) e.name += QStringLiteral("-%1").arg(e.seq_num);
  e.has_children = e.last_child_id != 0;
  e.is_open = e.has_children && isOpen(e.id);
}

// Reads the records of the visible rows from `from` onwards. The block read is stepped
// while the ids run on; where the visible rows skip a collapsed subtree it is executed
// again at the next visible id, so hidden rows are never read.
int ViewerDatabase::readBlock(qint64 from, int count, QList<Element>& out) {
  if (!hasOpenConnection()) return -1;
  QSqlQuery block(*connection);
  block.setForwardOnly(true);
  if (!block.prepare(QString::fromLatin1(kBlockReadSql))) return -1;
  qint64 current = -1;  // id of the row the read stands on, -1 when it must be executed
  for (qint64 row = visibleRows.lowerBound(from); row < visibleRows.size() && out.size() < count; ++row) {
    const qint64 wanted = visibleRows.at(row);
    bool found = current != -1 && current + 1 == wanted && block.next() &&
                 block.value(0).toLongLong() == wanted;
    if (!found) {
      bindId(block, 0, wanted);
      if (!block.exec()) return -1;
      found = block.next() && block.value(0).toLongLong() == wanted;
    }
    if (!found) {
      // A visible id without its row: skip it and start afresh at the next one.
      current = -1;
      continue;
    }
    current = wanted;
    Element e;
    readElement(block, e);
    out.append(e);
  }
  block.finish();
  return 0;
}

int ViewerDatabase::fetchRows(qint64 from, int n, QList<Element>& out) {
  if (n < 0 || n == std::numeric_limits<int>::max()) return -1;
  if (readBlock(from, n + 1, out) != 0) return -1;
  if (out.isEmpty()) return -1;
  for (qsizetype i = 0; i + 1 < out.size(); ++i) {
    Element& r = out[i];
    if (r.level != 0 && r.level != out[i + 1].level) r.is_last = true;
  }
  Element& last = out.last();
  if (lastChildId(last.parent_id) == last.id) last.is_last = true;
  return 0;
}

int ViewerDatabase::lastId() {
  if (!hasOpenConnection()) return 0;
  QSqlQuery query(*connection);
  if (!query.exec(QString::fromLatin1(kElementCountSql)) || !query.next()) return 0;
  return query.value(0).toInt();
}

// ---------------------------------------------------------------------------------------
// Movement

// The visible rows agree with the open set while a connection is held, so a move is a
// binary search and an index step in the list rather than a walk with lookups per row.
qint64 ViewerDatabase::moveBy(qint64 id, int n) {
  if (!hasOpenConnection()) return -1;
  // The movement never goes above id 1.
  if (n <= 0 && id <= 1) return id == 0 ? 1 : id;
  if (visibleRows.empty()) return -1;
  const qint64 count = visibleRows.size();
  const qint64 lower = visibleRows.lowerBound(id);
  if (n >= 1) {
    // From a hidden id the first row is the next visible one; past the end the
    // movement stops on the last row.
    if (lower >= count) return visibleRows.back();
    return visibleRows.at(std::min(lower + n, count - 1));
  }
  if (lower < count && visibleRows.at(lower) == id) {
    return visibleRows.at(std::max<qint64>(lower + n, 0));
  }
  if (level(id) < 0) return -1;  // no such element
  // The row above a hidden id is its nearest visible ancestor, the collapsed element
  // that hides it, which is the last visible row before it; that step counts as one.
  const qint64 steps = std::max<qint64>(-qint64(n), 1);
  return visibleRows.at(std::max<qint64>(lower - steps, 0));
}

// ---------------------------------------------------------------------------------------
// Open set

int ViewerDatabase::openElement(qint64 id) {
  if (!hasOpenConnection()) return -1;
  // A failed lookup (no such element) is refused like a leaf, so that the open set
  // never names an element that does not exist.
  if (lastChildId(id) <= 0 || isOpen(id)) return -1;
  QSqlQuery* insert = statement(kInsertOpen);
  if (!insert) return -1;
  bindId(*insert, 0, id);
  const bool inserted = insert->exec();
  insert->finish();
  if (!inserted) return -1;
  // An element under a collapsed ancestor joins the open set without showing rows.
  insertVisibleDescendants(id);
  return 0;
}

int ViewerDatabase::closeElement(qint64 id) {
  if (!hasOpenConnection()) return -1;
  if (lastChildId(id) <= 0 || !isOpen(id)) return -1;
  QSqlQuery* remove = statement(kDeleteOpen);
  if (!remove) return -1;
  bindId(*remove, 0, id);
  removeVisibleDescendants(id);
  const bool deleted = remove->exec();
  remove->finish();
  return deleted ? 0 : -1;
}

void ViewerDatabase::openPath(qint64 id) {
  if (!hasOpenConnection() || id <= 0) return;
  int depth = level(id);
  if (depth < 0) return;  // no such element
  std::vector<qint64> path;
  if (lastChildId(id) > 0) path.push_back(id);
  qint64 current = id;
  while (depth != 0) {
    const qint64 parent = parentId(current);
    // Parents precede their children; a chain that does not go back to a top-level
    // element cannot be made visible, so nothing is opened.
    if (parent <= 0 || parent >= current) return;
    current = parent;
    path.push_back(current);
    depth = level(current);
    if (depth < 0) return;
  }
  for (auto it = path.rbegin(); it != path.rend(); ++it) openElement(*it);
}
