#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QtGlobal>

#include <utility>
#include <vector>

#include "VisibleRows.h"

class QSqlDatabase;
class QSqlQuery;

// The viewer's access to an element database: the list of visible rows (ids in
// display order), element records read on demand, the open set, and movement by rows.
// Only the ids of the visible rows stay in memory, as runs; every record is read when asked for.
class ViewerDatabase {
 public:
  // One element as the tree holds it; a tree row carries a copy under Qt::UserRole.
  struct Element {
    explicit Element(qint64 id = -1, qint64 offset = -1, qint64 size = -1);

    qint64 id;
    int level;
    qint64 parent_id;
    qint64 last_child_id;
    QString name;
    qint64 offset;
    qint64 size;
    QString raw_value;
    QString hrf_value;
    qint64 seq_num;
    bool has_children;
    bool is_open;
    bool is_last;
  };

  // The connection name under which a handed-over connection becomes ours to remove.
  static const char* const kOwnedConnectionName;

  // Registers Element as the meta-type "ViewerDatabase::Element"; safe to call often.
  // Returns the meta-type id.
  static int registerElementMetaType();

  ViewerDatabase();
  virtual ~ViewerDatabase();

  ViewerDatabase(const ViewerDatabase&) = delete;
  ViewerDatabase& operator=(const ViewerDatabase&) = delete;

  // Takes over an analysed database and builds the visible rows from its open set.
  // Returns 0; a null db only drops the current connection and returns -1.
  int setConnection(QSqlDatabase* db);
  // Drops the connection (deleting and removing it when it is ours). -1 when none is held.
  int closeConnection();
  // The connection held, or null: for searches that read beside the tree.
  QSqlDatabase* sqlConnection() const { return connection; }

  // Largest element id, that is the number of elements; 0 without a connection.
  int lastId();
  int visibleCount() const;
  // Id of visible row `row`, 0 outside the rows.
  qint64 idAt(int row) const;
  // Row of a visible id, -1 when the id is not a visible row.
  int rowOf(qint64 id) const;

  // Id reached by moving n visible rows from id (n < 0: upwards). -1 without a connection.
  qint64 moveBy(qint64 id, int n);
  // Appends up to n + 1 visible records from `from` onwards with their is_last flags.
  int fetchRows(qint64 from, int n, QList<Element>& out);

  int openElement(qint64 id);
  int closeElement(qint64 id);
  // Opens every ancestor of id and id itself (when it has children).
  void openPath(qint64 id);

 private:
  enum Statement {
    kIsOpen,
    kLevel,
    kParentId,
    kLastChildId,
    kInsertOpen,
    kDeleteOpen,
    kStatementCount
  };

  bool hasOpenConnection() const;
  QSqlQuery* statement(Statement which) const;
  bool isOpen(qint64 id);
  int level(qint64 id);
  qint64 parentId(qint64 id);
  qint64 lastChildId(qint64 id);
  qint64 lookupValue(Statement which, qint64 id, qint64 failure);
  qint64 lastDescendant(qint64 id);

  int readBlock(qint64 from, int count, QList<Element>& out);
  void readElement(const QSqlQuery& row, Element& e);

  std::vector<qint64> openIdsBetween(qint64 first, qint64 last);
  bool readChildIds(QSqlQuery& query, qint64 parent, qint64 after, std::vector<qint64>& ids);
  void appendVisibleDescendants(qint64 id, const std::vector<qint64>& open_ids, VisibleRows& out);
  VisibleRows visibleDescendants(qint64 id);
  int countVisibleDescendants(qint64 id);
  int insertVisibleDescendants(qint64 id);
  int removeVisibleDescendants(qint64 id);
  int rebuildVisibleRows();

  void prepareStatements();
  void deleteStatements();

  QSqlDatabase* connection = nullptr;
  std::vector<std::pair<QSqlQuery*, QString>> statements;
  VisibleRows visibleRows;
};

Q_DECLARE_METATYPE(ViewerDatabase::Element)

// Printable ASCII only, with white space runs collapsed and the ends trimmed.
QString sanitizeText(const QString& text);
