#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <set>
#include <vector>

namespace corvanta::test {

// One element of a hand-built tree, listed in pre-order. A node has children when
// the next node is one level deeper.
struct Node {
  int level;
  QString name;
  QString raw_value = {};
  qint64 bit_offset = -1;  // -1: 8 bits per node before it
  qint64 bit_size = -1;    // -1: a size of its own for every node
  qint64 seq_num = -1;     // -1: none
  QString hrf_value = {};
};

// Nodes of the given levels, named "e<id>".
QList<Node> nodesOfLevels(const std::vector<int>& levels);
// `count` top-level leaves named "root-N" (N from 1).
QList<Node> flatNodes(int count);

// A heap connection of that name to a fresh in-memory element database holding `nodes`,
// written by the parser's writer, with `open_ids` in its open set. Errors fail the test.
QSqlDatabase* buildDatabase(const QString& connection_name, const QList<Node>& nodes,
                            const QList<qint64>& open_ids = {});
// Deletes a connection the test kept and removes it from Qt's registry.
void dropDatabase(QSqlDatabase* db);
// Runs one statement; an error fails the test.
void exec(QSqlDatabase& db, const QString& sql);
std::set<qint64> openSet(QSqlDatabase& db);

}  // namespace corvanta::test
