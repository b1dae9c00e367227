#pragma once

// What the lazy equivalence tests share: the viewer's statements, the answers of one database to
// all of them, and the comparison of a file's lazy and eager databases.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <initializer_list>

namespace corvanta::test {

// Under the sanitizers every lookup costs several times more: a committed file's ids are sampled
// there too, densely enough to meet every kind of unit.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kCommittedStride = 5;
#else
constexpr qint64 kCommittedStride = 1;
#endif

// Units kept decoded for the streams joined from copies: so few that units are decoded again from
// their checkpoints in any order, not once each as the first read meets them.
inline const QString kFewCachedUnits = QStringLiteral("lazy_cache=2");

// The block read of the tree, from an id on.
extern const char* const kBlockReadSql;

QString connectionName();

// Every answer of one database, one line each, in the order asked.
class Answers {
 public:
  explicit Answers(QSqlDatabase& db) : db(db) {}
  void add(const QString& what, QSqlQuery& query, int most_rows = 1 << 30);
  void run(const char* sql, std::initializer_list<qint64> arguments, const QString& what, int most_rows = 1 << 30);
  QStringList lines;

 private:
  QSqlDatabase& db;
};

// Whether the parser wrote `file` on the lazy path when asked to, with these options.
bool writtenLazily(const QString& file, const QString& options = {});

// The first line where two answer lists differ, for a readable failure.
QString firstDifference(const QStringList& eager, const QStringList& lazy);

// `file` analysed eagerly and lazily (threshold forced to zero) with `extra` options: empty when
// both answer every statement alike and pass the invariant check, else what differs. `stride`:
// every id is looked up, or a sample of them; `stored_percent`: the most of the rows the lazy
// path may store rather than leave in lazy units.
QString lazyAndEagerDiffer(const QString& file, qint64 stride = 1, const QString& extra = {},
                           qint64 stored_percent = 10);

}  // namespace corvanta::test
