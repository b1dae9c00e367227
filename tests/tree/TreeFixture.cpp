#include "TreeFixture.h"

#include <QApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include "ElementDatabase.h"
#include "ElementWriter.h"
#include "SqlTree.h"
#include "SqlTreeWidget.h"
#include "ViewerDatabase.h"

namespace corvanta::test {

void loadTree(SqlTreeWidget* widget, const QList<Node>& nodes, const QList<qint64>& open_ids) {
  // The widget's database removes a connection of this name when it lets go of it.
  widget->viewerDatabase()->closeConnection();
  auto* db = new QSqlDatabase(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                        QLatin1String(ElementDatabase::kConnectionName)));
  db->setDatabaseName(QStringLiteral(":memory:"));
  QVERIFY(db->open());
  sqlite3* handle = ElementDatabase::handle(*db);
  QString error;
  QVERIFY2(ElementDatabase::createSchema(handle, true, &error), qPrintable(error));
  {
    ElementWriter writer(handle);
    for (int i = 0; i < nodes.size(); ++i) {
      const Node& node = nodes.at(i);
      while (writer.depth() > node.level)
        writer.closeUnit();
      const QByteArray name = node.name.toUtf8();
      const QByteArray raw = node.raw_value.toUtf8();
      const int64_t offset = node.bit_offset >= 0 ? node.bit_offset : int64_t(i) * 8;
      const bool has_children = i + 1 < nodes.size() && nodes.at(i + 1).level > node.level;
      if (has_children) {
        const int64_t size = node.bit_size >= 0 ? node.bit_size : int64_t(1) << 40;
        writer.openUnit(name.toStdString(), offset, size, raw.toStdString(), {}, node.seq_num);
      } else {
        const int64_t size = node.bit_size >= 0 ? node.bit_size : 8 + i;
        writer.addField(name.toStdString(), offset, size, raw.toStdString(), {}, node.seq_num);
      }
    }
    QVERIFY2(writer.finish(), qPrintable(writer.errorString()));
  }
  QSqlQuery open(*db);
  for (qint64 id : open_ids)
    QVERIFY(open.exec(QStringLiteral("INSERT INTO open_elements VALUES(%1)").arg(id)));
  open.finish();
  widget->viewerDatabase()->setConnection(db);
  widget->resetView();
}

QList<Node> flatNodes(int count) {
  QList<Node> nodes;
  for (int i = 1; i <= count; ++i)
    nodes.append({0, QStringLiteral("root-%1").arg(i)});
  return nodes;
}

void setViewportHeight(SqlTreeWidget* widget, int height) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int difference = height - widget->tree()->viewport()->height();
    if (difference == 0)
      return;
    widget->resize(widget->width(), widget->height() + difference);
    QApplication::processEvents();
  }
  QCOMPARE(widget->tree()->viewport()->height(), height);
}

QList<qint64> pageIds(const SqlTree* tree) {
  QList<qint64> ids;
  for (int row = 0; row < tree->topLevelItemCount(); ++row)
    ids.append(SqlTree::elementOf(tree->model()->index(row, 0)).id);
  return ids;
}

qint64 currentRowId(const SqlTree* tree) {
  const QModelIndex index = tree->currentIndex();
  return index.isValid() ? SqlTree::elementOf(index).id : -1;
}

}  // namespace corvanta::test
