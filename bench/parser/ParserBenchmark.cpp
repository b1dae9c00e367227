// Measures how fast the parser library fills the element database and how much
// memory it needs per element, beside the fastest bare SQLite loop that inserts
// the same rows into the same schema in the same run.
//
//   bench_parser [--samples N] [--elements N]
//   bench_parser --samples N --write-mp4 FILE   (only writes the generated MP4)
//   bench_parser --frames N --write-mkv FILE    (only writes the generated Matroska file)
//
// Each measurement runs in a child process of its own, so that its peak memory
// (VmHWM) is not inflated by an earlier one.

#include "ElementDatabase.h"
#include "ElementWriter.h"
#include "MatroskaGenerator.h"
#include "Mp4Generator.h"
#include "Parser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSyntheticGroup = 100;   // one unit, then 99 numbered leaves

struct Elapsed {
  double wall = 0;
  double cpu = 0;
};

// Wall-clock and CPU seconds: on a busy machine the CPU time is the steadier figure.
class Stopwatch {
 public:
  Stopwatch() { wall.start(); cpu_start = cpuSeconds(); }
  double wallSeconds() const { return static_cast<double>(wall.nsecsElapsed()) / 1e9; }
  double cpuSecondsElapsed() const { return cpuSeconds() - cpu_start; }
  Elapsed elapsed() const { return {wallSeconds(), cpuSecondsElapsed()}; }

 private:
  static double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
  }
  QElapsedTimer wall;
  double cpu_start;
};

struct Rate {
  double wall = 0;   // rows per wall-clock second
  double cpu = 0;    // rows per CPU second
};

// Current and peak resident size (kB) as the kernel accounts them.
struct MemoryStatus {
  int64_t hwm_kb = 0;
  int64_t rss_anon_kb = 0;
};

MemoryStatus memoryStatus() {
  MemoryStatus status;
  QFile file(QStringLiteral("/proc/self/status"));
  if (!file.open(QIODevice::ReadOnly))
    return status;
  for (const QByteArray& line : file.readAll().split('\n')) {
    const QList<QByteArray> parts = line.simplified().split(' ');
    if (parts.size() < 2)
      continue;
    if (parts[0] == "VmHWM:")
      status.hwm_kb = parts[1].toLongLong();
    else if (parts[0] == "RssAnon:")
      status.rss_anon_kb = parts[1].toLongLong();
  }
  return status;
}

struct Row {
  int64_t values[7];       // id, level, parent_id, last_child_id, name_id, offset, size
  std::string raw_value;
  std::string hrf_value;
  int64_t seq_num;         // -1: none
};

// Reads every row back, to be inserted again by the bare loop.
std::vector<Row> readRows(sqlite3* db, std::vector<std::string>* dictionary) {
  std::vector<Row> rows;
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT e.id, e.level, e.parent_id, e.last_child_id, e.name_id, e.\"offset\", e.size, "
                     "e.raw_value, e.hrf_value, IFNULL(s.seq_num, -1) FROM elements e LEFT JOIN "
                     "elements_seq_num s ON s.id = e.id ORDER BY e.id",
                     -1, &statement, nullptr);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    Row row;
    for (int c = 0; c < 7; ++c)
      row.values[c] = sqlite3_column_int64(statement, c);
    row.raw_value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 7));
    row.hrf_value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 8));
    row.seq_num = sqlite3_column_int64(statement, 9);
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(statement);
  sqlite3_prepare_v2(db, "SELECT name FROM dictionary ORDER BY id", -1, &statement, nullptr);
  while (sqlite3_step(statement) == SQLITE_ROW)
    dictionary->emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
  sqlite3_finalize(statement);
  return rows;
}

std::string valuesSql(const char* head, int columns, int rows) {
  std::string group = "(?";
  for (int c = 1; c < columns; ++c)
    group += ",?";
  group += ')';
  std::string sql = head;
  for (int r = 0; r < rows; ++r)
    sql += (r ? "," : " VALUES ") + group;
  return sql;
}

// The bare loop: same schema and pragmas, one transaction, multi-row INSERTs of
// `batch` rows, index built afterwards. Returns rows per second.
Rate bareInsertRate(const std::vector<Row>& rows, const std::vector<std::string>& dictionary, int batch) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  QString error;
  corvanta::ElementDatabase::createSchema(db, true, &error);
  Stopwatch timer;
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* name = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO dictionary (id, name) VALUES (?, ?)", -1, &name, nullptr);
  for (size_t i = 0; i < dictionary.size(); ++i) {
    sqlite3_bind_int64(name, 1, static_cast<int64_t>(i + 1));
    sqlite3_bind_text(name, 2, dictionary[i].data(), static_cast<int>(dictionary[i].size()), SQLITE_STATIC);
    sqlite3_step(name);
    sqlite3_reset(name);
  }
  sqlite3_finalize(name);
  const char* elements_head =
      "INSERT INTO elements (id, level, parent_id, last_child_id, name_id, \"offset\", size, raw_value, hrf_value)";
  const char* seq_head = "INSERT INTO elements_seq_num (id, seq_num)";
  auto prepare = [db](const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    return statement;
  };
  sqlite3_stmt* full = prepare(valuesSql(elements_head, 9, batch));
  sqlite3_stmt* seq_full = prepare(valuesSql(seq_head, 2, batch));
  std::vector<const Row*> numbered;
  numbered.reserve(static_cast<size_t>(batch));
  auto flushNumbered = [&](sqlite3_stmt* statement) {
    int index = 1;
    for (const Row* row : numbered) {
      sqlite3_bind_int64(statement, index++, row->values[0]);
      sqlite3_bind_int64(statement, index++, row->seq_num);
    }
    sqlite3_step(statement);
    sqlite3_reset(statement);
    numbered.clear();
  };
  for (size_t start = 0; start < rows.size(); start += static_cast<size_t>(batch)) {
    const size_t count = std::min(rows.size() - start, static_cast<size_t>(batch));
    sqlite3_stmt* statement = count == static_cast<size_t>(batch)
                                  ? full : prepare(valuesSql(elements_head, 9, static_cast<int>(count)));
    int index = 1;
    for (size_t r = start; r < start + count; ++r) {
      const Row& row = rows[r];
      for (int64_t value : row.values)
        sqlite3_bind_int64(statement, index++, value);
      sqlite3_bind_text(statement, index++, row.raw_value.data(), static_cast<int>(row.raw_value.size()), SQLITE_STATIC);
      sqlite3_bind_text(statement, index++, row.hrf_value.data(), static_cast<int>(row.hrf_value.size()), SQLITE_STATIC);
      if (row.seq_num >= 0) {
        numbered.push_back(&row);
        if (numbered.size() == static_cast<size_t>(batch))
          flushNumbered(seq_full);
      }
    }
    sqlite3_step(statement);
    sqlite3_reset(statement);
    if (statement != full)
      sqlite3_finalize(statement);
  }
  if (!numbered.empty()) {
    sqlite3_stmt* rest = prepare(valuesSql(seq_head, 2, static_cast<int>(numbered.size())));
    flushNumbered(rest);
    sqlite3_finalize(rest);
  }
  corvanta::ElementDatabase::createIndexes(db, &error);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  const double count = static_cast<double>(rows.size());
  const Rate rate{count / timer.wallSeconds(), count / timer.cpuSecondsElapsed()};
  sqlite3_finalize(full);
  sqlite3_finalize(seq_full);
  sqlite3_close(db);
  return rate;
}

void printResult(const char* key, double value) {
  std::printf("%s=%.6f\n", key, value);
}

// Writes the measured figures of one run, then the bare loop's rate on the same rows.
void reportRun(sqlite3* db, int64_t elements, const Elapsed& time, const MemoryStatus& before,
               const MemoryStatus& after, int64_t sqlite_peak, int64_t file_bytes) {
  printResult("elements", static_cast<double>(elements));
  printResult("seconds", time.wall);
  printResult("cpu_seconds", time.cpu);
  printResult("hwm_growth", static_cast<double>(after.hwm_kb - before.hwm_kb) * 1024.0);
  printResult("sqlite_peak", static_cast<double>(sqlite_peak));
  printResult("file_bytes", static_cast<double>(file_bytes));
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, "SELECT page_count * page_size FROM pragma_page_count, pragma_page_size", -1, &statement,
                     nullptr);
  sqlite3_step(statement);
  printResult("database_bytes", static_cast<double>(sqlite3_column_int64(statement, 0)));
  sqlite3_finalize(statement);
  std::fflush(stdout);

  std::vector<std::string> dictionary;
  const std::vector<Row> rows = readRows(db, &dictionary);
  Rate best;
  for (int batch : {64, 100, 50}) {
    const Rate rate = bareInsertRate(rows, dictionary, batch);
    best.wall = std::max(best.wall, rate.wall);
    best.cpu = std::max(best.cpu, rate.cpu);
  }
  printResult("bare_rate", best.wall);
  printResult("bare_cpu_rate", best.cpu);
}

// The synthetic stream: groups of one unit and 99 numbered leaves, as a module
// writing a sample table would.
int runSynthetic(int64_t count) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  QString error;
  corvanta::ElementDatabase::createSchema(db, true, &error);
  const MemoryStatus before = memoryStatus();
  sqlite3_memory_highwater(1);
  const int64_t sqlite_base = sqlite3_memory_used();
  Stopwatch timer;
  {
    corvanta::ElementWriter writer(db);
    char text[64];
    int64_t bit = 0;
    for (int64_t id = 1; id <= count; ++id) {
      const int64_t position = (id - 1) % kSyntheticGroup;
      if (position == 0) {
        if (id > 1)
          writer.closeUnit();
        std::snprintf(text, sizeof text, "chunk %lld", static_cast<long long>(id / kSyntheticGroup + 1));
        writer.openUnit("chunk", bit, int64_t{8} * 40 * (kSyntheticGroup - 1), text);
        continue;
      }
      const int64_t size = 8 * (24 + (id * 7919) % 17);
      const int length = std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(size / 8));
      writer.addField("sample", bit, size,
                      std::string_view(text, static_cast<size_t>(length)), {}, position);
      bit += 8 * 40;
    }
    if (!writer.finish()) {
      std::fprintf(stderr, "%s\n", qPrintable(writer.errorString()));
      return 1;
    }
  }
  const Elapsed finished = timer.elapsed();
  const MemoryStatus after = memoryStatus();
  reportRun(db, count, finished, before, after, sqlite3_memory_highwater(0) - sqlite_base, 0);
  sqlite3_close(db);
  return 0;
}

// The whole library on a generated MP4: map, probe, the MP4 module, the writer.
int runMp4(const QString& path) {
  const int64_t file_bytes = QFileInfo(path).size();
  const MemoryStatus before = memoryStatus();
  sqlite3_memory_highwater(1);
  const int64_t sqlite_base = sqlite3_memory_used();
  Stopwatch timer;
  Parser parser;
  const int result = parser.parseFile(path, QStringLiteral(":memory:"), QString());
  const Elapsed finished = timer.elapsed();
  const MemoryStatus after = memoryStatus();
  if (result != 0) {
    std::printf("error=%s\n", qPrintable(parser.errorString()));
    return 0;
  }
  std::unique_ptr<QSqlDatabase> connection(parser.getConnection());
  sqlite3* db = corvanta::ElementDatabase::handle(*connection);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM elements", -1, &statement, nullptr);
  sqlite3_step(statement);
  const int64_t elements = sqlite3_column_int64(statement, 0);
  sqlite3_finalize(statement);
  reportRun(db, elements, finished, before, after, sqlite3_memory_highwater(0) - sqlite_base, file_bytes);
  connection.reset();
  QSqlDatabase::removeDatabase(QString::fromLatin1(corvanta::ElementDatabase::kConnectionName));
  return 0;
}

struct Figures {
  QMap<QString, double> values;
  QString error;
  double get(const char* key) const { return values.value(QString::fromLatin1(key)); }
};

Figures runChild(const QStringList& arguments) {
  QProcess child;
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  child.start(QCoreApplication::applicationFilePath(), arguments);
  child.waitForFinished(-1);
  Figures figures;
  for (const QString& line : QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
    const int equals = line.indexOf('=');
    if (line.startsWith(QLatin1String("error=")))
      figures.error = line.mid(6);
    else if (equals > 0)
      figures.values[line.left(equals)] = line.mid(equals + 1).toDouble();
  }
  if (child.exitCode() != 0 && figures.error.isEmpty())
    figures.error = QStringLiteral("the measurement failed (exit %1)").arg(child.exitCode());
  return figures;
}

void printFigures(const char* title, const Figures& f) {
  std::printf("\n%s\n", title);
  if (!f.error.isEmpty()) {
    std::printf("  not measured: %s\n", qPrintable(f.error));
    return;
  }
  const double elements = f.get("elements");
  const double rate = elements / f.get("seconds");
  const double cpu_rate = elements / f.get("cpu_seconds");
  const double bare = f.get("bare_rate");
  const double bare_cpu = f.get("bare_cpu_rate");
  std::printf("  elements                  %12.0f\n", elements);
  std::printf("  time                      %12.3f s wall, %.3f s CPU\n", f.get("seconds"), f.get("cpu_seconds"));
  std::printf("  elements per second       %12.0f wall   %12.0f CPU\n", rate, cpu_rate);
  if (f.get("file_bytes") > 0)
    std::printf("  MB of file per second     %12.1f wall   %12.1f CPU   (file %.1f MB)\n",
                f.get("file_bytes") / 1e6 / f.get("seconds"), f.get("file_bytes") / 1e6 / f.get("cpu_seconds"),
                f.get("file_bytes") / 1e6);
  std::printf("  bare SQLite loop          %12.0f wall   %12.0f CPU   rows/s, same rows and schema\n", bare,
              bare_cpu);
  std::printf("  share of the bare rate    %11.0f %% wall  %11.0f %% CPU   (target >= 80 %%)\n",
              100.0 * rate / bare, 100.0 * cpu_rate / bare_cpu);
  const double peak = (f.get("hwm_growth") - f.get("file_bytes")) / elements;
  std::printf("  peak memory per element   %12.1f bytes (process peak growth, mapped file pages subtracted;"
              " target < 80)\n", peak);
  std::printf("    of which SQLite heap    %12.1f bytes (its high-water mark)\n", f.get("sqlite_peak") / elements);
  std::printf("    database pages          %12.1f bytes\n", f.get("database_bytes") / elements);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = app.arguments();
  if (arguments.size() == 4 && arguments[1] == QLatin1String("--child")) {
    if (arguments[2] == QLatin1String("synthetic"))
      return runSynthetic(arguments[3].toLongLong());
    return runMp4(arguments[3]);
  }

  int64_t samples = 300000;
  int64_t elements = 3000000;
  QString keep_mp4;
  MatroskaGenerator matroska;
  QString keep_mkv;
  for (int i = 1; i + 1 < arguments.size(); i += 2) {
    if (arguments[i] == QLatin1String("--samples"))
      samples = arguments[i + 1].toLongLong();
    else if (arguments[i] == QLatin1String("--elements"))
      elements = arguments[i + 1].toLongLong();
    else if (arguments[i] == QLatin1String("--write-mp4"))
      keep_mp4 = arguments[i + 1];
    else if (arguments[i] == QLatin1String("--frames"))
      matroska.video_frames = arguments[i + 1].toLongLong();
    else if (arguments[i] == QLatin1String("--write-mkv"))
      keep_mkv = arguments[i + 1];
  }
  if (!keep_mkv.isEmpty())
    return matroska.write(keep_mkv) ? 0 : 1;

  QTemporaryDir dir;
  const QString mp4 = keep_mp4.isEmpty() ? dir.filePath(QStringLiteral("generated.mp4")) : keep_mp4;
  Mp4Generator generator;
  generator.sample_count = samples;
  if (!generator.write(mp4)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(mp4));
    return 1;
  }
  if (!keep_mp4.isEmpty())
    return 0;
  std::printf("Parser library benchmark (SQLite %s)\n", sqlite3_libversion());
  printFigures(qPrintable(QStringLiteral("Synthetic element stream (%1 elements: units of 1 + %2 numbered leaves)")
                              .arg(elements).arg(kSyntheticGroup - 1)),
               runChild({QStringLiteral("--child"), QStringLiteral("synthetic"), QString::number(elements)}));
  printFigures(qPrintable(QStringLiteral("Generated MP4 (%1 video samples, %2 MB)")
                              .arg(samples).arg(QFileInfo(mp4).size() / 1e6, 0, 'f', 1)),
               runChild({QStringLiteral("--child"), QStringLiteral("mp4"), mp4}));

  // The whole library on a generated Matroska file: the EBML walk, blocks and their frames.
  const QString mkv = dir.filePath(QStringLiteral("generated.mkv"));
  if (matroska.write(mkv))
    printFigures(qPrintable(QStringLiteral("Generated Matroska (%1 frames in SimpleBlocks, %2 MB)")
                                .arg(matroska.frameCount()).arg(QFileInfo(mkv).size() / 1e6, 0, 'f', 1)),
                 runChild({QStringLiteral("--child"), QStringLiteral("matroska"), mkv}));
  return 0;
}
