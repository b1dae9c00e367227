// Times the element tree on a 20-million-element database in a window of a usual
// size: one page fill, a scroll by one row, by one page, and a jump to the end.
//
//   TreeBenchmark [units [runs [only]]]
//   TreeBenchmark --database FILE [runs [only]]
// units: top-level units of 69 elements each (default 290000, about 20 million elements);
// runs: runs per figure (default 300); only: print just the figures whose name contains it.
// A few hundred units and a handful of runs keep a run under a profiler short.
// --database: an element database the parser wrote (corvanta-dump --db FILE), loaded into
// memory as the viewer gets it, instead of the generated one.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QtTest>

#include <sqlite3.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ElementDatabase.h"
#include "SqlTree.h"
#include "SqlTreeWidget.h"
#include "Style.h"
#include "ViewerDatabase.h"

namespace {

// One top-level unit: 4 tracks, each of 4 chunks, each of 3 samples (69 elements).
constexpr int kTracks = 4;
constexpr int kChunks = 4;
constexpr int kSamples = 3;
constexpr int kUnitSize = 1 + kTracks * (1 + kChunks * (1 + kSamples));
constexpr int kOpenEvery = 97;  // every 97th unit is opened all the way down
constexpr int kRowsPerInsert = 50;

void check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

struct Row {
  qint64 id, level, parent, last_child, name, offset, size, seq;
};

// Writes rows in multi-row INSERTs, the fastest way into SQLite.
class BulkWriter {
 public:
  explicit BulkWriter(sqlite3* db) : db(db) {
    std::string sql = "INSERT INTO elements VALUES ";
    std::string seq_sql = "INSERT INTO elements_seq_num VALUES ";
    for (int i = 0; i < kRowsPerInsert; ++i) {
      sql += i ? ",(?,?,?,?,?,?,?,?,NULL)" : "(?,?,?,?,?,?,?,?,NULL)";
      seq_sql += i ? ",(?,?)" : "(?,?)";
    }
    check(sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr), db, "prepare");
    check(sqlite3_prepare_v2(db, seq_sql.c_str(), -1, &insert_seq, nullptr), db, "prepare");
    check(sqlite3_prepare_v2(db, "INSERT INTO elements VALUES (?,?,?,?,?,?,?,?,NULL)", -1, &insert_one, nullptr),
          db, "prepare");
    check(sqlite3_prepare_v2(db, "INSERT INTO elements_seq_num VALUES (?,?)", -1, &insert_seq_one, nullptr), db,
          "prepare");
  }
  ~BulkWriter() {
    flush();
    for (sqlite3_stmt* s : {insert, insert_seq, insert_one, insert_seq_one})
      sqlite3_finalize(s);
  }

  void add(const Row& row) {
    rows.push_back(row);
    if (row.seq >= 0)
      seqs.push_back(row);
    if (rows.size() == kRowsPerInsert)
      writeRows(insert, kRowsPerInsert);
    if (seqs.size() == kRowsPerInsert)
      writeSeqs(insert_seq, kRowsPerInsert);
  }

  void flush() {
    while (!rows.empty())
      writeRows(insert_one, 1);
    while (!seqs.empty())
      writeSeqs(insert_seq_one, 1);
  }

 private:
  void writeRows(sqlite3_stmt* statement, int count) {
    static const char* const raw = "summary";
    int p = 1;
    for (int i = 0; i < count; ++i) {
      const Row& r = rows[i];
      for (qint64 value : {r.id, r.level, r.parent, r.last_child, r.name, r.offset, r.size})
        sqlite3_bind_int64(statement, p++, value);
      sqlite3_bind_text(statement, p++, raw, -1, SQLITE_STATIC);
    }
    check(sqlite3_step(statement), db, "insert");
    sqlite3_reset(statement);
    rows.erase(rows.begin(), rows.begin() + count);
  }

  void writeSeqs(sqlite3_stmt* statement, int count) {
    int p = 1;
    for (int i = 0; i < count; ++i) {
      sqlite3_bind_int64(statement, p++, seqs[i].id);
      sqlite3_bind_int64(statement, p++, seqs[i].seq);
    }
    check(sqlite3_step(statement), db, "insert");
    sqlite3_reset(statement);
    seqs.erase(seqs.begin(), seqs.begin() + count);
  }

  sqlite3* db;
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* insert_seq = nullptr;
  sqlite3_stmt* insert_one = nullptr;
  sqlite3_stmt* insert_seq_one = nullptr;
  std::vector<Row> rows;
  std::vector<Row> seqs;
};

void exec(sqlite3* db, const char* sql) {
  check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, sql);
}

// Fills the element database in pre-order: units, tracks, chunks, samples.
void buildDatabase(sqlite3* db, int units) {
  QString error;
  if (!corvanta::ElementDatabase::createSchema(db, true, &error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    std::exit(1);
  }
  exec(db, "BEGIN");
  exec(db, "INSERT INTO dictionary VALUES (1,'moof'),(2,'traf'),(3,'chunk'),(4,'sample')");
  {
    BulkWriter writer(db);
    qint64 id = 1;
    qint64 byte = 0;
    for (int u = 0; u < units; ++u) {
      const qint64 unit_id = id++;
      const qint64 unit_last_child = unit_id + 1 + (kTracks - 1) * (1 + kChunks * (1 + kSamples));
      writer.add({unit_id, 0, 0, unit_last_child, 1, byte * 8, kUnitSize * 64, -1});
      for (int t = 0; t < kTracks; ++t) {
        const qint64 track_id = id++;
        const qint64 track_last_child = track_id + 1 + (kChunks - 1) * (1 + kSamples);
        writer.add({track_id, 1, unit_id, track_last_child, 2, (byte + 8) * 8, 64, t});
        for (int c = 0; c < kChunks; ++c) {
          const qint64 chunk_id = id++;
          writer.add({chunk_id, 2, track_id, chunk_id + kSamples, 3, (byte + 16) * 8, 64, c});
          for (int s = 0; s < kSamples; ++s)
            writer.add({id++, 3, chunk_id, 0, 4, (byte + 24 + s) * 8, 8 * 5 + 3, s});
        }
      }
      byte += kUnitSize * 8;
    }
  }
  exec(db, "COMMIT");
  if (!corvanta::ElementDatabase::createIndexes(db, &error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    std::exit(1);
  }
  exec(db, "BEGIN");
  sqlite3_stmt* open = nullptr;
  check(sqlite3_prepare_v2(db, "INSERT INTO open_elements VALUES (?)", -1, &open, nullptr), db, "prepare");
  for (int u = 0; u < units; u += kOpenEvery) {
    const qint64 unit_id = qint64(u) * kUnitSize + 1;
    for (qint64 id = unit_id; id < unit_id + kUnitSize; ++id) {
      const qint64 offset = (id - unit_id);
      // Units, tracks and chunks have children; samples do not.
      const bool is_track = (offset - 1) % (1 + kChunks * (1 + kSamples)) == 0;
      const qint64 in_track = (offset - 1) % (1 + kChunks * (1 + kSamples));
      const bool is_chunk = in_track > 0 && (in_track - 1) % (1 + kSamples) == 0;
      if (offset == 0 || is_track || is_chunk) {
        sqlite3_bind_int64(open, 1, id);
        check(sqlite3_step(open), db, "open");
        sqlite3_reset(open);
      }
    }
  }
  sqlite3_finalize(open);
  exec(db, "COMMIT");
}

// Copies an element database file into the in-memory one; returns its element count, -1 on error.
qint64 loadDatabase(sqlite3* memory, const QString& path) {
  sqlite3* file = nullptr;
  if (sqlite3_open_v2(QFile::encodeName(path).constData(), &file, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(file);
    return -1;
  }
  sqlite3_backup* backup = sqlite3_backup_init(memory, "main", file, "main");
  const bool copied = backup && sqlite3_backup_step(backup, -1) == SQLITE_DONE;
  sqlite3_backup_finish(backup);
  sqlite3_close(file);
  if (!copied)
    return -1;
  sqlite3_stmt* count = nullptr;
  sqlite3_prepare_v2(memory, "SELECT MAX(id) FROM elements", -1, &count, nullptr);
  const qint64 elements = sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int64(count, 0) : -1;
  sqlite3_finalize(count);
  return elements;
}

// The top-level element above `id`.
qint64 topLevelOf(sqlite3* db, qint64 id) {
  sqlite3_stmt* parent = nullptr;
  sqlite3_prepare_v2(db, "SELECT parent_id FROM elements WHERE id = ?", -1, &parent, nullptr);
  for (;;) {
    sqlite3_bind_int64(parent, 1, id);
    const qint64 up = sqlite3_step(parent) == SQLITE_ROW ? sqlite3_column_int64(parent, 0) : 0;
    sqlite3_reset(parent);
    if (up == 0)
      break;
    id = up;
  }
  sqlite3_finalize(parent);
  return id;
}

struct Figures {
  std::vector<double> ms;
  void add(qint64 ns) { ms.push_back(ns / 1e6); }
  double median() {
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
  }
  double worst() { return *std::max_element(ms.begin(), ms.end()); }
};

// Processor time of the calling thread. On a busy machine the wall time also holds the
// waits for the processor and for Qt's painting helper threads; this does not.
qint64 threadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Runs what the event loop would run next: deferred layouts and pending paints. An
// action is done when the user sees its result, so the timed part includes this.
void finishPainting() {
  for (int i = 0; i < 3; ++i)
    QCoreApplication::processEvents();
}

// Kept out of line so that a profiler can collect exactly the timed actions
// (valgrind --tool=callgrind --collect-atstart=no --toggle-collect='*timedRun*').
[[gnu::noinline]] qint64 timedRun(const std::function<void()>& action, qint64* cpu_ns) {
  QElapsedTimer timer;
  const qint64 cpu_start = threadCpuNs();
  timer.start();
  action();
  finishPainting();
  *cpu_ns = threadCpuNs() - cpu_start;
  return timer.nsecsElapsed();
}

// Runs and prints one figure; figures whose name does not contain `only` are skipped.
class Bench {
 public:
  Bench(int runs, QString only) : runs(runs), only(std::move(only)) {}

  void figure(const char* what, int run_count, const std::function<void()>& prepare,
              const std::function<void()>& action) const {
    if (!QString::fromLatin1(what).contains(only, Qt::CaseInsensitive))
      return;
    Figures figures;
    Figures cpu;
    for (int i = 0; i < run_count; ++i) {
      prepare();
      finishPainting();
      qint64 cpu_ns = 0;
      figures.add(timedRun(action, &cpu_ns));
      cpu.add(cpu_ns);
    }
    std::printf("%-38s median %7.3f ms   worst %7.3f ms   (processor %6.3f / %6.3f ms; %zu runs)\n", what,
                figures.median(), figures.worst(), cpu.median(), cpu.worst(), figures.ms.size());
    std::fflush(stdout);
  }
  void figure(const char* what, const std::function<void()>& prepare, const std::function<void()>& action) const {
    figure(what, runs, prepare, action);
  }
  int runCount() const { return runs; }

 private:
  int runs;
  QString only;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The program's own style: it draws the tree's branch lines, which the base style leaves out.
  QApplication::setStyle(new Style());
  QString database_file;
  int arg = 1;
  if (argc > 2 && QByteArray(argv[1]) == "--database") {
    database_file = QString::fromLocal8Bit(argv[2]);
    arg = 2;  // runs and only follow the file
  }
  const int units = argc > arg && database_file.isEmpty() ? std::max(1, std::atoi(argv[arg])) : 290000;
  const int runs = argc > arg + 1 ? std::max(3, std::atoi(argv[arg + 1])) : 300;
  const Bench bench(runs, argc > arg + 2 ? QString::fromLocal8Bit(argv[arg + 2]) : QString());

  QElapsedTimer build_timer;
  build_timer.start();
  auto* db = new QSqlDatabase(
      QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(corvanta::ElementDatabase::kConnectionName)));
  db->setDatabaseName(QStringLiteral(":memory:"));
  if (!db->open()) {
    std::fprintf(stderr, "cannot open an in-memory database\n");
    return 1;
  }
  sqlite3* handle = corvanta::ElementDatabase::handle(*db);
  if (database_file.isEmpty()) {
    buildDatabase(handle, units);
    std::printf("database: %lld elements in %.1f s\n", qint64(units) * kUnitSize, build_timer.elapsed() / 1000.0);
  } else {
    const qint64 elements = loadDatabase(handle, database_file);
    if (elements < 0) {
      std::fprintf(stderr, "cannot read the element database %s\n", qPrintable(database_file));
      return 1;
    }
    std::printf("database: %lld elements from %s, loaded in %.1f s\n", elements, qPrintable(database_file),
                build_timer.elapsed() / 1000.0);
  }

  SqlTreeWidget widget;
  widget.resize(1000, 900);
  widget.show();
  if (!QTest::qWaitForWindowExposed(&widget))
    return 1;
  build_timer.restart();
  widget.viewerDatabase()->setConnection(db);
  widget.resetView();
  SqlTree* tree = widget.tree();
  QScrollBar* bar = widget.scrollBar();
  std::printf("connection taken over and first page shown in %.1f ms; %d visible rows, P = %d\n",
              build_timer.nsecsElapsed() / 1e6, widget.viewerDatabase()->visibleCount(), widget.pageRows());

  QRandomGenerator random(20240601);
  auto randomValue = [&] { return int(random.bounded(bar->maximum() - 2 * bar->pageStep())) + 1; };
  // A random page whose first row is current, as after the user clicked it.
  auto randomPage = [&] { tree->goToId(widget.viewerDatabase()->idAt(randomValue()), false); };
  ViewerDatabase* database = widget.viewerDatabase();

  bench.figure("  database: bottom clamp (moveBy)", randomPage,
               [&] { database->moveBy(database->lastId(), -widget.pageRows()); });
  bench.figure("  database: fetchRows of a page", randomPage, [&] {
    QList<ViewerDatabase::Element> rows;
    database->fetchRows(tree->firstId(), widget.pageRows(), rows);
  });

  bench.figure("page fill (fillTree)", randomPage, [&] { tree->fillTree(tree->firstId(), widget.pageRows(), true); });
  bench.figure(
      "page fill, current row not on the page",
      [&] {
        randomPage();
        tree->setCurrentId(1);
      },
      [&] { tree->fillTree(tree->firstId(), widget.pageRows(), true); });
  bench.figure(
      "scroll by one row (Down at bottom)",
      [&] {
        randomPage();
        QTest::keyClick(tree, Qt::Key_End);
      },
      [&] { QTest::keyClick(tree, Qt::Key_Down); });
  bench.figure("scroll by one row (scroll bar)", randomPage, [&] { bar->setValue(bar->value() + 1); });
  bench.figure("scroll by one page (PageDown)", randomPage, [&] { QTest::keyClick(tree, Qt::Key_PageDown); });
  bench.figure("wheel step (three rows)", randomPage, [&] {
    const QPointF pos(100, 100);
    QWheelEvent event(pos, tree->viewport()->mapToGlobal(pos), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(tree->viewport(), &event);
  });
  bench.figure("jump to the end (Ctrl+End)", bench.runCount() / 3, randomPage,
               [&] { QTest::keyClick(tree, Qt::Key_End, Qt::ControlModifier); });
  bench.figure("jump to the start (Ctrl+Home)", bench.runCount() / 3, randomPage,
               [&] { QTest::keyClick(tree, Qt::Key_Home, Qt::ControlModifier); });
  auto closedUnit = [&] {
    if (!database_file.isEmpty())
      return topLevelOf(handle, qint64(random.bounded(quint32(database->lastId()))) + 1);
    int unit = int(random.bounded(units));
    if (unit % kOpenEvery == 0)
      ++unit;
    return qint64(std::min(unit, units - 1)) * kUnitSize + 1;
  };
  bench.figure(
      "open and close a unit (Right, Left)", bench.runCount() / 3, [&] { tree->goToId(closedUnit(), false); },
      [&] {
        QTest::keyClick(tree, Qt::Key_Right);
        QTest::keyClick(tree, Qt::Key_Left);
      });
  return 0;
}
