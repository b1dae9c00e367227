#pragma once
// Hand-built element databases shown in a real SqlTreeWidget.
#include <QApplication>
#include <QtTest>

#include "ElementDatabase.h"
#include "ElementTreeFixture.h"
#include "SqlTree.h"
#include "SqlTreeWidget.h"
#include "ViewerDatabase.h"

namespace corvanta::test {

// Hands a database of `nodes` to the widget, which then owns it, and shows it from the top.
inline void loadTree(SqlTreeWidget* widget, const QList<Node>& nodes, const QList<qint64>& open_ids = {}) {
  widget->viewerDatabase()->closeConnection();
  widget->viewerDatabase()->setConnection(
      buildDatabase(QLatin1String(ElementDatabase::kConnectionName), nodes, open_ids));
  widget->resetView();
}

// Resizes the widget so that the tree's viewport is exactly `height` pixels high.
inline void setViewportHeight(SqlTreeWidget* widget, int height) {
  for (int attempt = 0; attempt < 3 && widget->tree()->viewport()->height() != height; ++attempt) {
    widget->resize(widget->width(), widget->height() + height - widget->tree()->viewport()->height());
    QApplication::processEvents();
  }
  QCOMPARE(widget->tree()->viewport()->height(), height);
}

// The element ids of the rows on the page, top to bottom.
inline QList<qint64> pageIds(const SqlTree* tree) {
  QList<qint64> ids;
  for (int row = 0; row < tree->topLevelItemCount(); ++row)
    ids.append(SqlTree::elementOf(tree->model()->index(row, 0)).id);
  return ids;
}

// Id of the current row's element, or -1 when no row is current.
inline qint64 currentRowId(const SqlTree* tree) {
  return tree->currentIndex().isValid() ? SqlTree::elementOf(tree->currentIndex()).id : -1;
}

}  // namespace corvanta::test
