// Times the searches of the Go menu on an element database of about 20 million
// elements: transport packets of ten elements each, then one unit with a million
// children. Prints the time to find the element holding a byte (anywhere, inside the
// wide unit, past the end) and the time of text searches that run through the whole
// database in the steps the window uses.
//
//   bench_find [elements [runs]]   (default 20000000 elements, 50 runs per figure)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "ElementDatabase.h"
#include "ElementLocator.h"
#include "ElementSearch.h"
#include "ElementStreams.h"
#include "ElementWriter.h"

namespace {

constexpr int64_t kWideChildren = 1000000;
constexpr int64_t kPacketBits = 188 * 8;
constexpr int kPacketElements = 10;

struct Figures {
  std::vector<double> ms;
  void print(const char* what) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-48s median %9.3f ms   worst %9.3f ms   (%zu runs)\n", what, ms[ms.size() / 2], ms.back(),
                ms.size());
    std::fflush(stdout);
  }
};

double msSince(const QElapsedTimer& timer) {
  return double(timer.nsecsElapsed()) / 1e6;
}

// Runs a search to its end in the window's steps of 50 ms.
ElementSearch::State searchToTheEnd(const QSqlDatabase& connection, const QString& text, bool whole,
                                    bool backward, qint64 from, qint64 last_id, qint64* found) {
  ElementSearch search(connection, text, whole, backward, from, last_id);
  while (search.step(50) == ElementSearch::State::Running) {
  }
  *found = search.foundId();
  return search.state();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int64_t elements = argc > 1 ? std::max<int64_t>(std::atoll(argv[1]), kWideChildren + 100) : 20000000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 50;

  QSqlDatabase connection = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("find-benchmark"));
  connection.setDatabaseName(QStringLiteral(":memory:"));
  if (!connection.open())
    return 1;
  sqlite3* db = corvanta::ElementDatabase::handle(connection);

  QElapsedTimer build;
  build.start();
  QString error;
  if (!corvanta::ElementDatabase::createSchema(db, true, &error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  const int64_t transport_elements = elements - kWideChildren - 1;
  const int64_t packets = (transport_elements + kPacketElements - 1) / kPacketElements;
  const int64_t wide_first_bit = packets * kPacketBits;
  {
    corvanta::ElementWriter writer(db);
    writeTransportStream(writer, transport_elements);
    writeWideUnit(writer, wide_first_bit, kWideChildren);
    if (!writer.finish()) {
      std::fprintf(stderr, "%s\n", qPrintable(writer.errorString()));
      return 1;
    }
  }
  if (!corvanta::ElementDatabase::createIndexes(db, &error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  qint64 last_id = 0;
  {
    sqlite3_stmt* count = nullptr;
    sqlite3_prepare_v2(db, "SELECT max(id) FROM elements", -1, &count, nullptr);
    if (sqlite3_step(count) == SQLITE_ROW)
      last_id = sqlite3_column_int64(count, 0);
    sqlite3_finalize(count);
  }
  const int64_t file_bytes = (wide_first_bit + kWideChildren * 64) / 8;
  std::printf("database: %lld elements (%lld packets, one unit of %lld children), %lld bytes of file, "
              "built in %.1f s\n",
              static_cast<long long>(last_id), static_cast<long long>(packets),
              static_cast<long long>(kWideChildren), static_cast<long long>(file_bytes), msSince(build) / 1000);

  std::mt19937_64 random(20240606);
  ElementLocator locator(connection);
  auto timeLocate = [&](const char* what, int64_t first_byte, int64_t bytes) {
    Figures figures;
    std::uniform_int_distribution<int64_t> pick(first_byte, first_byte + bytes - 1);
    for (int i = 0; i < runs; ++i) {
      const int64_t byte = pick(random);
      QElapsedTimer timer;
      timer.start();
      const qint64 id = locator.elementAtByte(byte);
      figures.ms.push_back(msSince(timer));
      if (id <= 0 && byte < file_bytes) {
        std::fprintf(stderr, "no element holds byte %lld\n", static_cast<long long>(byte));
        return;
      }
    }
    figures.print(what);
  };
  timeLocate("go to offset: a byte among the packets", 0, wide_first_bit / 8);
  timeLocate("go to offset: a byte in the 1 M-children unit", wide_first_bit / 8, kWideChildren * 8);
  timeLocate("go to offset: a byte past the end", file_bytes, 1000000);

  auto timeSearch = [&](const char* what, const QString& text, bool whole, bool backward, qint64 from,
                        int search_runs) {
    Figures figures;
    qint64 found = 0;
    for (int i = 0; i < search_runs; ++i) {
      QElapsedTimer timer;
      timer.start();
      searchToTheEnd(connection, text, whole, backward, from, last_id, &found);
      figures.ms.push_back(msSince(timer));
    }
    figures.print(what);
    std::printf("%-48s found element %lld\n", "", static_cast<long long>(found));
  };
  const int search_runs = std::max(1, runs / 10);
  timeSearch("find: a text that is nowhere", QStringLiteral("no such text"), false, false, 1, search_runs);
  timeSearch("find: the whole name nowhere", QStringLiteral("nothing"), true, false, 1, search_runs);
  timeSearch("find backward: a text that is nowhere", QStringLiteral("no such text"), false, true, 1, search_runs);
  timeSearch("find: entry-999999 (name and number)", QStringLiteral("entry-999999"), true, false, 1, search_runs);
  timeSearch("find: a value in the last unit", QStringLiteral("1000000 entries"), false, false, 1, search_runs);
  connection.close();
  return 0;
}
