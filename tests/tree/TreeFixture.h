#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

class SqlTree;
class SqlTreeWidget;

namespace corvanta::test {

// One element of a hand-built tree, listed in pre-order. A node has children when
// the next node is one level deeper.
struct Node {
  int level;
  QString name;
  QString raw_value = {};
  qint64 bit_offset = -1;  // -1: 8 bits per node before it
  qint64 bit_size = -1;    // -1: a size of its own for every node
  qint64 seq_num = -1;
};

// Writes `nodes` into a fresh element database, marks `open_ids` as open, hands the
// database to the widget and shows it from its first element.
void loadTree(SqlTreeWidget* widget, const QList<Node>& nodes, const QList<qint64>& open_ids = {});

// `count` top-level leaves named "root-N" (N from 1).
QList<Node> flatNodes(int count);

// Resizes the widget so that the tree's viewport is exactly `height` pixels high.
void setViewportHeight(SqlTreeWidget* widget, int height);

// The element ids of the rows on the page, top to bottom.
QList<qint64> pageIds(const SqlTree* tree);
// Id of the current row's element, or -1 when no row is current.
qint64 currentRowId(const SqlTree* tree);

}  // namespace corvanta::test
