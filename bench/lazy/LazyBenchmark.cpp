// Times what a user waits for on a large transport stream, through the viewer's own database
// code: the analysis, the first page of the tree, the parser's anonymous resident memory at the
// end of the analysis, a page fill anywhere, opening a packet, going to an offset, and a find
// that matches nothing.
//
//   bench_lazy FILE [EXTRA [RUNS [nofind]]]
// EXTRA: the parse call's options (for example "lazy=on" or "lazy=off"); RUNS per figure (default 50);
// nofind skips the find, which reads every element.
// Make the stream with make-long-ts.sh.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "ElementLocator.h"
#include "ElementSearch.h"
#include "Parser.h"
#include "ViewerDatabase.h"

namespace {

constexpr int kPageRows = 50;

struct Figures {
  std::vector<double> ms;
  void print(const char* what) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-40s median %9.3f ms   worst %9.3f ms   (%zu runs)\n", what, ms[ms.size() / 2], ms.back(),
                ms.size());
    std::fflush(stdout);
  }
};

double msSince(const QElapsedTimer& timer) {
  return double(timer.nsecsElapsed()) / 1e6;
}

// RssAnon of this process from /proc/self/status, in bytes.
long long anonymousResident() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("RssAnon:")) return line.mid(8).trimmed().split(' ').first().toLongLong() * 1024;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_lazy FILE [EXTRA [RUNS]]\n");
    return 2;
  }
  const QString file = QString::fromLocal8Bit(argv[1]);
  const QString extra = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 50;
  const bool with_find = !(argc > 4 && QByteArray(argv[4]) == "nofind");
  const double file_bytes = double(QFile(file).size());
  std::printf("file %s, %.0f MB, options \"%s\"\n", argv[1], file_bytes / 1e6, qPrintable(extra));

  QElapsedTimer timer;
  timer.start();
  Parser parser;
  if (parser.parseFile(file, QStringLiteral(":memory:"), extra) != 0) {
    std::fprintf(stderr, "parse failed: %s\n", qPrintable(parser.errorString()));
    return 1;
  }
  const double analysis_ms = msSince(timer);
  const long long resident = anonymousResident();
  std::printf("%-40s %12.0f ms\n", "analysis", analysis_ms);
  std::printf("%-40s %12.1f MB (%.2f %% of the file)\n", "anonymous resident memory (RssAnon)",
              double(resident) / 1e6, 100.0 * double(resident) / file_bytes);
  std::printf("%-40s %12.1f MB\n", "  of which SQLite's heap", double(sqlite3_memory_used()) / 1e6);

  ViewerDatabase database;
  QSqlDatabase* connection = parser.getConnection();
  timer.restart();
  database.setConnection(connection);
  QList<ViewerDatabase::Element> page;
  database.fetchRows(1, kPageRows, page);
  const double first_page_ms = msSince(timer);
  std::printf("%-40s %12.1f ms (analysis + this: %.1f s)\n", "first page of the tree", first_page_ms,
              (analysis_ms + first_page_ms) / 1000.0);
  const qint64 last_id = database.lastId();
  const int roots = database.visibleCount();
  std::printf("%-40s %12lld elements, %d top-level rows\n", "tree", static_cast<long long>(last_id), roots);
  std::printf("%-40s %12.1f MB\n", "RssAnon with the tree shown", double(anonymousResident()) / 1e6);

  std::mt19937_64 random(24);
  Figures fill, open, go, find;
  for (int i = 0; i < runs; ++i) {
    const int row = int(random() % uint64_t(std::max(1, roots - kPageRows)));
    page.clear();
    timer.restart();
    database.fetchRows(database.idAt(row), kPageRows, page);
    fill.ms.push_back(msSince(timer));
  }
  fill.print("page fill anywhere (50 rows)");
  for (int i = 0; i < runs; ++i) {
    const qint64 id = database.idAt(int(random() % uint64_t(roots)));
    page.clear();
    timer.restart();
    database.openElement(id);
    database.fetchRows(id, kPageRows, page);
    open.ms.push_back(msSince(timer));
    database.closeElement(id);
  }
  open.print("open a packet and read its rows");
  {
    ElementLocator locator(*connection);
    for (int i = 0; i < runs; ++i) {
      const qint64 offset = qint64(random() % uint64_t(file_bytes));
      timer.restart();
      const qint64 id = locator.elementAtByte(offset);
      go.ms.push_back(msSince(timer));
      if (id <= 0) std::printf("go to offset %lld found nothing\n", static_cast<long long>(offset));
    }
  }
  go.print("go to offset");
  if (with_find) {
    timer.restart();
    {
      ElementSearch search(*connection, QStringLiteral("no such text 5e1f"), false, false, 1, last_id);
      while (search.step(50) == ElementSearch::State::Running) {
      }
    }
    find.ms.push_back(msSince(timer));
    find.print("find that matches nothing");
  }
  database.closeConnection();
  return 0;
}
