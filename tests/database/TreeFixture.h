#pragma once

#include <QSqlDatabase>
#include <QString>

#include <set>
#include <vector>

#include "ViewerDatabase.h"

namespace dbtest {

// A heap connection holding an empty element database with the parser's schema.
QSqlDatabase* createDatabase(const QString& connection_name);

// Deletes a connection the test kept ownership of and removes it from Qt's registry.
void dropDatabase(QSqlDatabase* db);

// Appends elements given by their levels in pre-order; parent and last-child ids are
// derived from the levels. Element i gets the name "e<i>", offset 8*i, size 8.
void insertTree(QSqlDatabase& db, const std::vector<int>& levels);

// Runs one statement; fails the calling test through a warning and returns false on error.
bool exec(QSqlDatabase& db, const QString& sql);

// The ids in `open_elements`, ascending.
std::set<qint64> openSet(QSqlDatabase& db);

// All visible row ids as ViewerDatabase reports them through idAt.
std::vector<qint64> visibleRows(const ViewerDatabase& vdb);

// Levels of a random pre-order tree of `count` elements, no deeper than `max_depth`.
std::vector<int> randomLevels(unsigned seed, int count, int max_depth);

// The tree read back from a database's own columns, with the open set, and the
// visible-row rules applied by plain walks over it.
class TreeModel {
 public:
  explicit TreeModel(QSqlDatabase& db);

  qint64 count() const { return qint64(levels.size()) - 1; }
  bool exists(qint64 id) const { return id >= 1 && id <= count(); }
  bool hasChildren(qint64 id) const { return exists(id) && last_child[size_t(id)] != 0; }
  int level(qint64 id) const { return exists(id) ? levels[size_t(id)] : -1; }
  qint64 parent(qint64 id) const { return exists(id) ? parents[size_t(id)] : -1; }
  qint64 lastChild(qint64 id) const { return exists(id) ? last_child[size_t(id)] : -1; }
  bool isVisible(qint64 id) const;
  std::vector<qint64> visibleRows() const;

  int openElement(qint64 id);
  int closeElement(qint64 id);
  void openPath(qint64 id);
  // The upward walk from any id, and the forward move over the visible rows.
  qint64 moveBy(qint64 id, int n) const;
  // Ids and is_last flags of the page fetchRows(from, n) should give.
  std::vector<std::pair<qint64, bool>> fetch(qint64 from, int n) const;

  std::set<qint64> open;

 private:
  std::vector<int> levels;
  std::vector<qint64> parents;
  std::vector<qint64> last_child;
};

}  // namespace dbtest
