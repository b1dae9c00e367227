#include "ElementTreeFixture.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include "ElementDatabase.h"
#include "ElementWriter.h"

namespace corvanta::test {

QList<Node> nodesOfLevels(const std::vector<int>& levels) {
  QList<Node> nodes;
  for (int level : levels)
    nodes.append({level, QStringLiteral("e%1").arg(nodes.size() + 1)});
  return nodes;
}

QList<Node> flatNodes(int count) {
  QList<Node> nodes;
  for (int i = 1; i <= count; ++i)
    nodes.append({0, QStringLiteral("root-%1").arg(i)});
  return nodes;
}

static void writeNodes(sqlite3* handle, const QList<Node>& nodes) {
  ElementWriter writer(handle);
  for (int i = 0; i < nodes.size(); ++i) {
    const Node& node = nodes.at(i);
    while (writer.depth() > node.level)
      writer.closeUnit();
    const std::string name = node.name.toStdString(), raw = node.raw_value.toStdString();
    const std::string hrf = node.hrf_value.toStdString();
    const int64_t offset = node.bit_offset >= 0 ? node.bit_offset : int64_t(i) * 8;
    if (i + 1 < nodes.size() && nodes.at(i + 1).level > node.level) {
      const int64_t size = node.bit_size >= 0 ? node.bit_size : int64_t(1) << 40;
      writer.openUnit(name, offset, size, raw, hrf, node.seq_num);
    } else {
      const int64_t size = node.bit_size >= 0 ? node.bit_size : 8 + i;
      writer.addField(name, offset, size, raw, hrf, node.seq_num);
    }
  }
  if (!writer.finish())
    QTest::qFail(qPrintable(writer.errorString()), __FILE__, __LINE__);
}

QSqlDatabase* buildDatabase(const QString& connection_name, const QList<Node>& nodes,
                            const QList<qint64>& open_ids) {
  auto* db = new QSqlDatabase(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_name));
  db->setDatabaseName(QStringLiteral(":memory:"));
  QString error;
  if (!db->open() || !ElementDatabase::createSchema(ElementDatabase::handle(*db), true, &error))
    QTest::qFail(qPrintable("cannot create the test database: " + error), __FILE__, __LINE__);
  else
    writeNodes(ElementDatabase::handle(*db), nodes);
  for (qint64 id : open_ids)
    exec(*db, QStringLiteral("INSERT INTO open_elements VALUES (%1)").arg(id));
  return db;
}

void dropDatabase(QSqlDatabase* db) {
  const QString name = db->connectionName();
  delete db;
  QSqlDatabase::removeDatabase(name);
}

void exec(QSqlDatabase& db, const QString& sql) {
  QSqlQuery query(db);
  if (!query.exec(sql))
    QTest::qFail(qPrintable(sql + ": " + query.lastError().text()), __FILE__, __LINE__);
}

std::set<qint64> openSet(QSqlDatabase& db) {
  std::set<qint64> ids;
  QSqlQuery query(QStringLiteral("SELECT id FROM open_elements"), db);
  while (query.next())
    ids.insert(query.value(0).toLongLong());
  return ids;
}

}  // namespace corvanta::test
