#include "TreeFixture.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtTest>

#include <random>

namespace dbtest {

QSqlDatabase* createDatabase(const QString& connection_name) {
  auto* db = new QSqlDatabase(QSqlDatabase::addDatabase("QSQLITE", connection_name));
  db->setDatabaseName(":memory:");
  if (!db->open()) qWarning() << "cannot open test database" << db->lastError().text();
  for (const char* sql : {
           "CREATE TABLE dictionary (id INTEGER PRIMARY KEY, name TEXT)",
           "CREATE TABLE elements (id INTEGER PRIMARY KEY AUTOINCREMENT, level INTEGER, "
           "parent_id INTEGER, last_child_id INTEGER, name_id INTEGER, offset INTEGER, "
           "size INTEGER, raw_value TEXT, hrf_value TEXT)",
           "CREATE TABLE elements_seq_num (id INTEGER PRIMARY KEY, seq_num INTEGER)",
           "CREATE TABLE open_elements (id INTEGER PRIMARY KEY)",
           "CREATE INDEX elements_parent_id ON elements (parent_id)"}) {
    exec(*db, QString::fromLatin1(sql));
  }
  return db;
}

void dropDatabase(QSqlDatabase* db) {
  const QString name = db->connectionName();
  delete db;
  QSqlDatabase::removeDatabase(name);
}

bool exec(QSqlDatabase& db, const QString& sql) {
  QSqlQuery query(db);
  if (query.exec(sql)) return true;
  qWarning() << "statement failed:" << sql << query.lastError().text();
  return false;
}

void insertTree(QSqlDatabase& db, const std::vector<int>& levels) {
  const size_t n = levels.size();
  std::vector<qint64> parent(n + 1, 0), last_child(n + 1, 0);
  std::vector<qint64> stack;  // stack[l] = the latest element of level l
  for (size_t i = 1; i <= n; ++i) {
    const int level = levels[i - 1];
    stack.resize(size_t(level));
    parent[i] = level == 0 ? 0 : stack.back();
    if (parent[i] != 0) last_child[size_t(parent[i])] = qint64(i);
    stack.push_back(qint64(i));
  }
  // Literal multi-row inserts: big test trees load in a fraction of a second.
  db.transaction();
  QStringList elements, names;
  auto flush = [&] {
    if (elements.isEmpty()) return;
    exec(db, "INSERT INTO elements VALUES " + elements.join(','));
    exec(db, "INSERT INTO dictionary VALUES " + names.join(','));
    elements.clear();
    names.clear();
  };
  for (size_t i = 1; i <= n; ++i) {
    elements << QString("(%1,%2,%3,%4,%1,%5,8,'v%1','')")
                    .arg(i)
                    .arg(levels[i - 1])
                    .arg(parent[i])
                    .arg(last_child[i])
                    .arg(8 * qint64(i));
    names << QString("(%1,'e%1')").arg(i);
    if (elements.size() == 500) flush();
  }
  flush();
  db.commit();
}

std::set<qint64> openSet(QSqlDatabase& db) {
  std::set<qint64> ids;
  QSqlQuery query("SELECT id FROM open_elements", db);
  while (query.next()) ids.insert(query.value(0).toLongLong());
  return ids;
}

std::vector<qint64> visibleRows(const ViewerDatabase& vdb) {
  std::vector<qint64> rows;
  for (int row = 0; row < vdb.visibleCount(); ++row) rows.push_back(vdb.idAt(row));
  return rows;
}

std::vector<int> randomLevels(unsigned seed, int count, int max_depth) {
  std::mt19937 random(seed);
  std::vector<int> levels{0};
  while (int(levels.size()) < count) {
    const int previous = levels.back();
    const int roll = int(random() % 100);
    int next;
    if (roll < 45 && previous < max_depth) next = previous + 1;
    else if (roll < 75) next = previous;
    else next = int(random() % unsigned(previous + 1));
    levels.push_back(next);
  }
  return levels;
}

TreeModel::TreeModel(QSqlDatabase& db) : open(openSet(db)), levels(1), parents(1), last_child(1) {
  QSqlQuery query("SELECT id, level, parent_id, last_child_id FROM elements ORDER BY id", db);
  while (query.next()) {
    if (query.value(0).toLongLong() != qint64(levels.size())) qWarning() << "ids not consecutive";
    levels.push_back(query.value(1).toInt());
    parents.push_back(query.value(2).toLongLong());
    last_child.push_back(query.value(3).toLongLong());
  }
}

bool TreeModel::isVisible(qint64 id) const {
  if (level(id) == 0) return true;
  const qint64 p = parent(id);
  return open.count(p) != 0 && isVisible(p);
}

std::vector<qint64> TreeModel::visibleRows() const {
  std::vector<qint64> rows;
  for (qint64 id = 1; id <= count(); ++id)
    if (isVisible(id)) rows.push_back(id);
  return rows;
}

int TreeModel::openElement(qint64 id) {
  if (!hasChildren(id) || open.count(id)) return -1;
  open.insert(id);
  return 0;
}

int TreeModel::closeElement(qint64 id) {
  if (!hasChildren(id) || !open.count(id)) return -1;
  open.erase(id);
  return 0;
}

void TreeModel::openPath(qint64 id) {
  if (!exists(id)) return;
  if (hasChildren(id)) open.insert(id);
  for (qint64 p = parent(id); p > 0; p = parent(p)) open.insert(p);
}

std::vector<std::pair<qint64, bool>> TreeModel::fetch(qint64 from, int n) const {
  std::vector<std::pair<qint64, bool>> page;
  for (qint64 id = std::max<qint64>(from, 1); id <= count() && int(page.size()) < n + 1; ++id)
    if (isVisible(id)) page.emplace_back(id, false);
  for (size_t i = 0; i + 1 < page.size(); ++i) {
    const int here = level(page[i].first);
    page[i].second = here != 0 && here != level(page[i + 1].first);
  }
  if (!page.empty()) {
    const qint64 last = page.back().first;
    page.back().second = lastChild(parent(last)) == last;
  }
  return page;
}

qint64 TreeModel::moveBy(qint64 id, int n) const {
  if (n >= 1) {
    const auto page = fetch(id, n);
    if (!page.empty()) return page.back().first;
    const auto rows = visibleRows();
    return rows.empty() ? -1 : rows.back();
  }
  bool visible = isVisible(id);
  if (n == 0 && visible) return id;
  const int k = n == 0 ? 1 : -n;
  bool step = true;
  for (int counted = 0; counted < k;) {
    if (id <= 1) break;
    if (visible) {
      if (step) {
        --id;
        visible = isVisible(id);
      }
      if (visible) ++counted;
      step = true;
    } else {
      id = parent(id);
      visible = isVisible(id);
      step = false;
    }
  }
  return id == 0 ? 1 : id;
}

}  // namespace dbtest
