// Builds an element database of about 20 million elements and prints how long the
// viewer's database access takes for the operations the tree runs while browsing.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ViewerDatabase.h"

namespace {

constexpr int kUnits = 300000;          // ordinary top-level units of 63 elements each
constexpr int kBigUnitPosition = 150000;  // where the unit with a million children sits
constexpr int kBigChildren = 1000000;

// Element kinds of the generated tree and what each one holds.
enum Kind { kUnit, kTrack, kChunk, kSample, kBigUnit, kBigChild, kBigLeaf };

struct Shape {
  int children;
  Kind child;
};

Shape shapeOf(Kind kind, int index) {
  switch (kind) {
    case kUnit: return {2, kTrack};
    case kTrack: return {5, kChunk};
    case kChunk: return {5, kSample};
    case kBigUnit: return {kBigChildren, kBigChild};
    case kBigChild: return {index % 10 == 0 ? 3 : 0, kBigLeaf};
    default: return {0, kSample};
  }
}

qint64 subtreeSize(Kind kind, int index) {
  const Shape shape = shapeOf(kind, index);
  if (kind == kBigUnit) return 1 + kBigChildren + (kBigChildren / 10) * 3;
  qint64 size = 1;
  for (int i = 0; i < shape.children; ++i) size += subtreeSize(shape.child, i);
  return size;
}

double msSince(const QElapsedTimer& timer) { return double(timer.nsecsElapsed()) / 1e6; }

// CPU time of this thread: on a shared, busy machine the wall time says more about the
// other processes than about the code.
double cpuMs() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Wall and CPU time of one run of an operation.
struct Stopwatch {
  QElapsedTimer wall;
  double cpu_start = 0;
  void start() {
    cpu_start = cpuMs();
    wall.start();
  }
  std::pair<double, double> elapsed() const { return {msSince(wall), cpuMs() - cpu_start}; }
};

long rssKiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void check(int rc, sqlite3* db, const char* what) {
  if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
  std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
  std::exit(1);
}

// Writes the generated tree through the SQLite C API, many rows per statement.
class Generator {
 public:
  explicit Generator(sqlite3* db) : db(db) {
    for (int i = 0; i < 1000; ++i) numbers.push_back(std::to_string(i));
    check(sqlite3_prepare_v2(db, rowsSql(kBatch).c_str(), -1, &batch_insert, nullptr), db, "prepare");
    check(sqlite3_prepare_v2(db, rowsSql(1).c_str(), -1, &single_insert, nullptr), db, "prepare");
    check(sqlite3_prepare_v2(db, "INSERT INTO elements_seq_num VALUES (?, ?)", -1, &seq_insert,
                             nullptr), db, "prepare");
  }
  ~Generator() {
    sqlite3_finalize(batch_insert);
    sqlite3_finalize(single_insert);
    sqlite3_finalize(seq_insert);
  }

  void addElement(Kind kind, int index, int level, qint64 parent) {
    const qint64 id = ++last_id;
    const Shape shape = shapeOf(kind, index);
    qint64 last_child = 0;
    if (shape.children > 0) {
      last_child = id + 1;
      for (int i = 0; i + 1 < shape.children; ++i) last_child += subtreeSize(shape.child, i);
    }
    rows.push_back({id, level, parent, last_child, int(kind) + 1});
    if (rows.size() == kBatch) flush();
    if (kind == kTrack) seq.emplace_back(id, index);
    for (int i = 0; i < shape.children; ++i) addElement(shape.child, i, level + 1, id);
  }

  void finish() {
    flush();
    for (const auto& [id, number] : seq) {
      sqlite3_bind_int64(seq_insert, 1, id);
      sqlite3_bind_int64(seq_insert, 2, number);
      check(sqlite3_step(seq_insert), db, "seq insert");
      sqlite3_reset(seq_insert);
    }
  }

  qint64 last_id = 0;

 private:
  struct Row {
    qint64 id;
    int level;
    qint64 parent, last_child;
    int name_id;
  };
  static constexpr size_t kBatch = 100;

  static std::string rowsSql(size_t count) {
    std::string sql = "INSERT INTO elements VALUES ";
    for (size_t i = 0; i < count; ++i) sql += i ? ",(?,?,?,?,?,?,?,?,?)" : "(?,?,?,?,?,?,?,?,?)";
    return sql;
  }

  void bindRow(sqlite3_stmt* statement, int first, const Row& row) {
    sqlite3_bind_int64(statement, first + 1, row.id);
    sqlite3_bind_int(statement, first + 2, row.level);
    sqlite3_bind_int64(statement, first + 3, row.parent);
    sqlite3_bind_int64(statement, first + 4, row.last_child);
    sqlite3_bind_int(statement, first + 5, row.name_id);
    sqlite3_bind_int64(statement, first + 6, row.id * 64);
    sqlite3_bind_int64(statement, first + 7, 64);
    const std::string& value = numbers[size_t(row.id % 1000)];
    sqlite3_bind_text(statement, first + 8, value.c_str(), int(value.size()), SQLITE_STATIC);
    sqlite3_bind_text(statement, first + 9, "", 0, SQLITE_STATIC);
  }

  void flush() {
    if (rows.size() == kBatch) {
      for (size_t i = 0; i < rows.size(); ++i) bindRow(batch_insert, int(i) * 9, rows[i]);
      check(sqlite3_step(batch_insert), db, "insert");
      sqlite3_reset(batch_insert);
    } else {
      for (const Row& row : rows) {
        bindRow(single_insert, 0, row);
        check(sqlite3_step(single_insert), db, "insert");
        sqlite3_reset(single_insert);
      }
    }
    rows.clear();
  }

  sqlite3* db;
  sqlite3_stmt* batch_insert = nullptr;
  sqlite3_stmt* single_insert = nullptr;
  sqlite3_stmt* seq_insert = nullptr;
  std::vector<std::string> numbers;
  std::vector<Row> rows;
  std::vector<std::pair<qint64, int>> seq;
};

void exec(sqlite3* db, const char* sql) {
  check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, sql);
}

qint64 buildDatabase(sqlite3* db, qint64* big_unit) {
  for (const char* sql : {"PRAGMA journal_mode = OFF", "PRAGMA synchronous = OFF",
                          "CREATE TABLE dictionary (id INTEGER PRIMARY KEY, name TEXT)",
                          "CREATE TABLE elements (id INTEGER PRIMARY KEY AUTOINCREMENT, level INTEGER, "
                          "parent_id INTEGER, last_child_id INTEGER, name_id INTEGER, offset INTEGER, "
                          "size INTEGER, raw_value TEXT, hrf_value TEXT)",
                          "CREATE TABLE elements_seq_num (id INTEGER PRIMARY KEY, seq_num INTEGER)",
                          "CREATE TABLE open_elements (id INTEGER PRIMARY KEY)",
                          "INSERT INTO dictionary VALUES (1, 'moof'), (2, 'traf'), (3, 'trun'), "
                          "(4, 'sample'), (5, 'mdat'), (6, 'packet'), (7, 'field')",
                          "BEGIN"}) {
    exec(db, sql);
  }
  Generator generator(db);
  for (int unit = 0; unit < kUnits; ++unit) {
    if (unit == kBigUnitPosition) {
      *big_unit = generator.last_id + 1;
      generator.addElement(kBigUnit, 0, 0, 0);
    }
    generator.addElement(kUnit, unit, 0, 0);
  }
  generator.finish();
  exec(db, "COMMIT");
  exec(db, "CREATE INDEX elements_parent_id ON elements (parent_id)");
  return generator.last_id;
}

struct Figures {
  std::vector<double> wall, cpu;
  void add(std::pair<double, double> times) {
    wall.push_back(times.first);
    cpu.push_back(times.second);
  }
  void print(const char* what) {
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("%-50s wall: median %8.3f worst %8.3f ms | cpu: median %8.3f worst %8.3f ms (%zu runs)\n",
                what, wall[wall.size() / 2], wall.back(), cpu[cpu.size() / 2], cpu.back(),
                wall.size());
  }
};

template <typename F>
void measure(const char* what, int runs, F operation) {
  Figures figures;
  for (int i = 0; i < runs; ++i) {
    Stopwatch watch;
    watch.start();
    operation(i);
    figures.add(watch.elapsed());
  }
  figures.print(what);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::mt19937_64 random(20240605);

  QSqlDatabase connection = QSqlDatabase::addDatabase("QSQLITE", "benchmark");
  connection.setDatabaseName(":memory:");
  if (!connection.open()) return 1;
  const QVariant handle = connection.driver()->handle();
  sqlite3* db = *static_cast<sqlite3* const*>(handle.constData());

  QElapsedTimer build;
  build.start();
  qint64 big_unit = 0;
  const qint64 count = buildDatabase(db, &big_unit);
  std::printf("database: %lld elements (%d top-level units, one with %d children) built in %.1f s\n",
              count, kUnits + 1, kBigChildren, msSince(build) / 1000);
  std::printf("(wall times include waiting for the CPU on a busy machine; cpu is this thread's own)\n");

  // Some subtrees open all over the tree, as after a while of browsing.
  const long rss_before = rssKiB();
  ViewerDatabase vdb;
  vdb.setConnection(&connection);
  for (int i = 0; i < 300; ++i) {
    const qint64 id = qint64(random() % quint64(count)) + 1;
    if (id <= big_unit || id > big_unit + 1300000) vdb.openPath(id);
  }
  std::printf("visible rows with 300 open paths: %d\n", vdb.visibleCount());

  measure("setConnection (rebuilding the visible rows)", 5, [&](int) {
    vdb.closeConnection();
    vdb.setConnection(&connection);
  });
  const int visible = vdb.visibleCount();

  QList<ViewerDatabase::Element> page;
  measure("fetchRows, 50 rows at a random row", 2000, [&](int) {
    page.clear();
    vdb.fetchRows(vdb.idAt(int(random() % quint64(visible))), 50, page);
  });
  measure("fetchRows, 50 rows at a random (maybe hidden) id", 2000, [&](int) {
    page.clear();
    vdb.fetchRows(qint64(random() % quint64(count)) + 1, 50, page);
  });
  for (int by : {1, -1, 50, -50}) {
    const std::string what = "moveBy " + std::to_string(by) + " from a random id";
    measure(what.c_str(), 20000,
            [&](int) { vdb.moveBy(qint64(random() % quint64(count)) + 1, by); });
  }
  measure("openPath of a random deep element", 200, [&](int) {
    qint64 id = qint64(random() % quint64(count)) + 1;
    if (id > big_unit && id <= big_unit + 1300000) id += 1300000;
    vdb.openPath(id);
  });

  const long rss_open = rssKiB();
  Figures open_big, close_big;
  long rss_big = 0;
  for (int i = 0; i < 5; ++i) {
    Stopwatch watch;
    watch.start();
    if (vdb.openElement(big_unit) != 0) std::printf("opening the big unit failed\n");
    open_big.add(watch.elapsed());
    rss_big = std::max(rss_big, rssKiB());
    page.clear();
    vdb.fetchRows(big_unit + 650000, 50, page);
    watch.start();
    if (vdb.closeElement(big_unit) != 0) std::printf("closing the big unit failed\n");
    close_big.add(watch.elapsed());
  }
  open_big.print("openElement of the element with 1 M children");
  close_big.print("closeElement of the element with 1 M children");

  vdb.openElement(big_unit);
  const int visible_big = vdb.visibleCount();
  vdb.closeElement(big_unit);
  std::printf("visible-row list: %d rows = %.1f MiB; with the 1 M children open: %d rows = %.1f MiB\n",
              vdb.visibleCount(), vdb.visibleCount() * 8.0 / 1048576, visible_big,
              visible_big * 8.0 / 1048576);
  const long rss_after = rssKiB();
  malloc_trim(0);  // what the allocator keeps for reuse is not held by the viewer
  std::printf("process RSS growth: %.1f MiB after setConnection and browsing, "
              "%.1f MiB more at most while the 1 M children were open, after closing it "
              "%.1f MiB above the start (%.1f MiB once the allocator gave free memory back)\n",
              (rss_open - rss_before) / 1024.0, (rss_big - rss_open) / 1024.0,
              (rss_after - rss_before) / 1024.0, (rssKiB() - rss_before) / 1024.0);
  vdb.closeConnection();
  connection.close();
  return 0;
}
