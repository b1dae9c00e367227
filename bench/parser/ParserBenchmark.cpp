// Measures how fast the parser library fills the element database and how much memory
// it needs per element, beside the fastest bare SQLite loops that insert the same rows
// into the same schema, measured in the same run.
//
//   bench_parser [--samples N] [--elements N] [--packet-elements N] [--ts-packets N]
//   bench_parser --samples N --write-mp4 FILE   (only writes the generated MP4)
//   bench_parser --frames N --write-mkv FILE    (only writes the generated Matroska file)
//   bench_parser --ts-packets N --write-ts FILE (only writes the generated transport stream)
//   bench_parser --h264-mp4 FILE                (only a real H.264 MP4, such as the one
//       make-h264-mp4.sh makes: its NAL units decoded eagerly, not decoded, and decoded as
//       lazy units, side by side)
//
// Each measurement runs in a child process of its own, so that its memory figures are
// not inflated by an earlier one.

#include "ElementDatabase.h"
#include "ElementStreams.h"
#include "ElementWriter.h"
#include "MatroskaGenerator.h"
#include "Mp4Generator.h"
#include "Parser.h"
#include "PeakMemory.h"
#include "SqliteCeiling.h"
#include "TsGenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <unistd.h>

namespace {

// Notional file bytes per element of the written streams, for a rate in MB of file.
constexpr double kSampleTableBytesPerElement = 40.0 * 99 / 100;
constexpr double kTransportBytesPerElement = 188.0 / 10;

double cpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void printValue(const char* key, double value) {
  std::printf("%s=%.6f\n", key, value);
  std::fflush(stdout);
}

int64_t queryNumber(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  const int64_t value = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
  sqlite3_finalize(statement);
  return value;
}

// What one child measures while the analysis runs.
class Measurement {
 public:
  Measurement() {
    sqlite3_memory_highwater(1);
    sqlite_base = sqlite3_memory_used();
    wall.start();
    cpu_start = cpuSeconds();
  }

  // Prints the figures of the finished analysis, then the ceilings on the same rows.
  void report(sqlite3* db, double file_bytes) {
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpu_start;
    // The count as the viewer reads it: on a lazy database COUNT(*) would decode every unit.
    printValue("elements", static_cast<double>(
                               queryNumber(db, "SELECT seq FROM sqlite_sequence WHERE name = 'elements'")));
    printValue("seconds", seconds);
    printValue("held_anon", static_cast<double>(PeakMemory::anonymousBytes() - anon_base));
    printValue("cpu_seconds", cpu);
    printValue("file_bytes", file_bytes);
    printValue("peak_growth", static_cast<double>(peak.growth()));
    printValue("sqlite_peak", static_cast<double>(sqlite3_memory_highwater(0) - sqlite_base));
    printValue("database_bytes", static_cast<double>(
                                     queryNumber(db, "SELECT page_count * page_size FROM pragma_page_count, "
                                                     "pragma_page_size")));
  }

 private:
  const int64_t anon_base = PeakMemory::anonymousBytes();
  PeakMemory peak;
  int64_t sqlite_base = 0;
  QElapsedTimer wall;
  double cpu_start = 0;
};

const struct {
  const char* key;
  SqliteCeiling::Loop loop;
  SqliteCeiling::Index index;
} kCeilings[] = {
    {"bound_none", SqliteCeiling::Loop::BoundValues, SqliteCeiling::Index::None},
    {"bound_after", SqliteCeiling::Loop::BoundValues, SqliteCeiling::Index::BuiltAfter},
    {"bound_present", SqliteCeiling::Loop::BoundValues, SqliteCeiling::Index::Present},
    {"table_none", SqliteCeiling::Loop::VirtualTable, SqliteCeiling::Index::None},
    {"table_after", SqliteCeiling::Loop::VirtualTable, SqliteCeiling::Index::BuiltAfter},
    {"table_present", SqliteCeiling::Loop::VirtualTable, SqliteCeiling::Index::Present},
};

void reportCeilings(sqlite3* db) {
  const SqliteCeiling ceiling(db);
  sqlite3_close(db);  // its pages are not needed any more, the copied rows are
  for (const auto& c : kCeilings)
    printValue(c.key, ceiling.rate(c.loop, c.index));
}

// A page of the tree from element `id` on as the viewer reads it: its rows, with names and
// sequence numbers.
double pageSeconds(sqlite3* db, int64_t id) {
  QElapsedTimer timer;
  timer.start();
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT elements.id, dictionary.name, elements.raw_value, elements_seq_num.seq_num FROM elements "
                     "LEFT JOIN dictionary ON elements.name_id = dictionary.id LEFT JOIN elements_seq_num ON "
                     "elements.id = elements_seq_num.id WHERE elements.id >= ? ORDER BY elements.id LIMIT 100",
                     -1, &statement, nullptr);
  sqlite3_bind_int64(statement, 1, id);
  while (sqlite3_step(statement) == SQLITE_ROW) {
  }
  sqlite3_finalize(statement);
  return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

using StreamWriter = void (*)(corvanta::ElementWriter&, int64_t);

int runStream(StreamWriter write, int64_t elements, double bytes_per_element) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  QString error;
  corvanta::ElementDatabase::createSchema(db, true, &error);
  Measurement measurement;
  {
    corvanta::ElementWriter writer(db);
    write(writer, elements);
    if (!writer.finish()) {
      std::printf("error=%s\n", qPrintable(writer.errorString()));
      return 0;
    }
  }
  measurement.report(db, static_cast<double>(elements) * bytes_per_element);
  reportCeilings(db);
  return 0;
}

// The whole library on a file: map, probe, the format module, the writer. `options` as the
// parse call takes them.
int runFile(const QString& path, const QString& options = {}) {
  Measurement measurement;
  Parser parser;
  if (parser.parseFile(path, QStringLiteral(":memory:"), options) != 0) {
    std::printf("error=%s\n", qPrintable(parser.errorString()));
    return 0;
  }
  std::unique_ptr<QSqlDatabase> connection(parser.getConnection());
  sqlite3* db = corvanta::ElementDatabase::handle(*connection);
  measurement.report(db, static_cast<double>(QFileInfo(path).size()));
  printValue("first_page_seconds", pageSeconds(db, 1));
  // A page in the middle: on a lazy database the samples there are decoded again from a checkpoint.
  printValue("middle_page_seconds",
             pageSeconds(db, queryNumber(db, "SELECT seq FROM sqlite_sequence WHERE name = 'elements'") * 3 / 5));
  // Copy the rows out through a connection of our own: the Qt one must close itself.
  sqlite3* copy = nullptr;
  sqlite3_open(":memory:", &copy);
  sqlite3_backup* backup = sqlite3_backup_init(copy, "main", db, "main");
  sqlite3_backup_step(backup, -1);
  sqlite3_backup_finish(backup);
  connection->close();
  connection.reset();
  QSqlDatabase::removeDatabase(QString::fromLatin1(corvanta::ElementDatabase::kConnectionName));
  reportCeilings(copy);
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

void printFigures(const QString& title, const Figures& f) {
  std::printf("\n%s\n", qPrintable(title));
  if (!f.error.isEmpty()) {
    std::printf("  not measured: %s\n", qPrintable(f.error));
    return;
  }
  const double elements = f.get("elements");
  const double seconds = f.get("seconds");
  const double rate = elements / seconds;
  std::printf("  elements                    %12.0f\n", elements);
  std::printf("  time                        %12.3f s wall, %.3f s CPU on all threads\n", seconds,
              f.get("cpu_seconds"));
  std::printf("  elements per second         %12.0f end to end\n", rate);
  std::printf("  MB of file per second       %12.1f (file %.1f MB)\n", f.get("file_bytes") / 1e6 / seconds,
              f.get("file_bytes") / 1e6);
  std::printf("  bare SQLite on the same rows, rows/s:  no index   index after   index present\n");
  std::printf("    bound 64-row INSERT ... VALUES    %12.0f  %12.0f  %12.0f\n", f.get("bound_none"),
              f.get("bound_after"), f.get("bound_present"));
  std::printf("    INSERT ... SELECT, virtual table  %12.0f  %12.0f  %12.0f\n", f.get("table_none"),
              f.get("table_after"), f.get("table_present"));
  const double ceiling = std::max(f.get("table_after"), f.get("table_present"));
  std::printf("  share of the virtual-table ceiling with its index  %5.0f %%  (target >= 85 %%)\n",
              100.0 * rate / ceiling);
  std::printf("  peak memory per element     %12.1f bytes (anonymous resident growth; target <= 64)\n",
              f.get("peak_growth") / elements);
  std::printf("    SQLite heap high-water    %12.1f bytes\n", f.get("sqlite_peak") / elements);
  std::printf("    database pages at the end %12.1f bytes\n", f.get("database_bytes") / elements);
  std::fflush(stdout);
}

// One row of the side-by-side table of compareFrameDecoding.
void printSideBySide(const char* label, const Figures& eager, const Figures& frames_off, const Figures& lazy,
                     double (*value)(const Figures&), const char* format) {
  std::printf("  %-34s", label);
  for (const Figures* f : {&eager, &frames_off, &lazy}) {
    if (f->error.isEmpty())
      std::printf(format, value(*f));
    else
      std::printf("%14s", "-");
  }
  std::printf("\n");
}

// The cost of decoding inside the frames: the same file written eagerly with the frames decoded,
// eagerly without (each frame one element), and with the frames decoded as lazy units.
int compareFrameDecoding(const QString& path) {
  if (!QFileInfo(path).isFile()) {
    std::fprintf(stderr, "no such file: %s\n", qPrintable(path));
    return 1;
  }
  const QString child = QStringLiteral("--child");
  const QString size = QString::number(QFileInfo(path).size() / 1e6, 'f', 1);
  const Figures decoded = runChild({child, QStringLiteral("file-eager"), path});
  printFigures(QStringLiteral("%1 (%2 MB), NAL units and slice headers decoded, eager").arg(path, size), decoded);
  const Figures whole = runChild({child, QStringLiteral("file-frames-off"), path});
  printFigures(QStringLiteral("%1 (%2 MB), frames=off: each frame one element").arg(path, size), whole);
  const Figures lazy = runChild({child, QStringLiteral("file-lazy"), path});
  std::printf("\n%s (%s MB)\n", qPrintable(path), qPrintable(size));
  std::printf("  %-34s%14s%14s%14s\n", "", "eager", "frames=off", "lazy");
  printSideBySide("elements", decoded, whole, lazy, [](const Figures& f) { return f.get("elements"); }, "%14.0f");
  printSideBySide("open time, s wall", decoded, whole, lazy, [](const Figures& f) { return f.get("seconds"); },
                  "%14.3f");
  printSideBySide("open time, s CPU", decoded, whole, lazy, [](const Figures& f) { return f.get("cpu_seconds"); },
                  "%14.3f");
  printSideBySide("elements per second (wall)", decoded, whole, lazy,
                  [](const Figures& f) { return f.get("elements") / f.get("seconds"); }, "%14.0f");
  printSideBySide("peak RssAnon growth, B/element", decoded, whole, lazy,
                  [](const Figures& f) { return f.get("peak_growth") / f.get("elements"); }, "%14.1f");
  printSideBySide("RssAnon held after open, MB", decoded, whole, lazy,
                  [](const Figures& f) { return f.get("held_anon") / 1e6; }, "%14.1f");
  printSideBySide("first page of the tree, ms", decoded, whole, lazy,
                  [](const Figures& f) { return f.get("first_page_seconds") * 1e3; }, "%14.2f");
  printSideBySide("a page at 60 % of the ids, ms", decoded, whole, lazy,
                  [](const Figures& f) { return f.get("middle_page_seconds") * 1e3; }, "%14.2f");
  if (decoded.error.isEmpty() && whole.error.isEmpty())
    std::printf("open time with frame decoding / without: eager %.2f x", decoded.get("seconds") / whole.get("seconds"));
  if (lazy.error.isEmpty() && whole.error.isEmpty())
    std::printf(", lazy %.2f x (target <= 2)", lazy.get("seconds") / whole.get("seconds"));
  std::printf("\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = app.arguments();
  if (arguments.size() == 4 && arguments[1] == QLatin1String("--child")) {
    const QString& kind = arguments[2];
    if (kind == QLatin1String("sample-table"))
      return runStream(writeSampleTableStream, arguments[3].toLongLong(), kSampleTableBytesPerElement);
    if (kind == QLatin1String("transport"))
      return runStream(writeTransportStream, arguments[3].toLongLong(), kTransportBytesPerElement);
    if (kind == QLatin1String("file-frames-off"))
      return runFile(arguments[3], QStringLiteral("frames=off lazy=off"));
    if (kind == QLatin1String("file-eager"))
      return runFile(arguments[3], QStringLiteral("lazy=off"));
    if (kind == QLatin1String("file-lazy"))
      return runFile(arguments[3], QStringLiteral("lazy=on"));
    return runFile(arguments[3]);
  }
  if (arguments.size() == 3 && arguments[1] == QLatin1String("--h264-mp4"))
    return compareFrameDecoding(arguments[2]);

  int64_t samples = 1000000;
  int64_t elements = 3000000;
  int64_t packet_elements = 20000000;
  int64_t ts_packets = 2000000;
  QString keep_mp4;
  MatroskaGenerator matroska;
  QString keep_mkv;
  QString keep_ts;
  for (int i = 1; i + 1 < arguments.size(); i += 2) {
    if (arguments[i] == QLatin1String("--samples"))
      samples = arguments[i + 1].toLongLong();
    else if (arguments[i] == QLatin1String("--elements"))
      elements = arguments[i + 1].toLongLong();
    else if (arguments[i] == QLatin1String("--packet-elements"))
      packet_elements = arguments[i + 1].toLongLong();
    else if (arguments[i] == QLatin1String("--write-mp4"))
      keep_mp4 = arguments[i + 1];
    else if (arguments[i] == QLatin1String("--frames"))
      matroska.video_frames = arguments[i + 1].toLongLong();
    else if (arguments[i] == QLatin1String("--write-mkv"))
      keep_mkv = arguments[i + 1];
    else if (arguments[i] == QLatin1String("--ts-packets"))
      ts_packets = arguments[i + 1].toLongLong();
    else if (arguments[i] == QLatin1String("--write-ts"))
      keep_ts = arguments[i + 1];
  }
  if (!keep_mkv.isEmpty())
    return matroska.write(keep_mkv) ? 0 : 1;

  QTemporaryDir dir;
  const QString ts = keep_ts.isEmpty() ? dir.filePath(QStringLiteral("generated.ts")) : keep_ts;
  TsGenerator ts_generator;
  ts_generator.packet_count = ts_packets;
  if (!keep_ts.isEmpty())
    return ts_generator.write(ts) ? 0 : 1;

  const QString mp4 = keep_mp4.isEmpty() ? dir.filePath(QStringLiteral("generated.mp4")) : keep_mp4;
  Mp4Generator generator;
  generator.sample_count = samples;
  if (!generator.write(mp4)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(mp4));
    return 1;
  }
  if (!keep_mp4.isEmpty())
    return 0;
  std::printf("Parser library benchmark (SQLite %s, %d cores)\n", sqlite3_libversion(),
              static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
  const QString child = QStringLiteral("--child");
  printFigures(QStringLiteral("Sample-table stream (%1 elements: units of 1 chunk + 99 numbered samples)").arg(elements),
               runChild({child, QStringLiteral("sample-table"), QString::number(elements)}));
  // Written eagerly whatever its element count: this measures the writer against SQLite.
  printFigures(QStringLiteral("Generated MP4 (%1 video samples, %2 MB), eager")
                   .arg(samples).arg(QFileInfo(mp4).size() / 1e6, 0, 'f', 1),
               runChild({child, QStringLiteral("file-eager"), mp4}));
  const QString mkv = dir.filePath(QStringLiteral("generated.mkv"));
  if (matroska.write(mkv))
    printFigures(QStringLiteral("Generated Matroska (%1 frames in SimpleBlocks, %2 MB)")
                     .arg(matroska.frameCount()).arg(QFileInfo(mkv).size() / 1e6, 0, 'f', 1),
                 runChild({child, QStringLiteral("file"), mkv}));
  printFigures(QStringLiteral("Transport-stream-shaped stream (%1 elements: packets of 1 unit + 9 fields)")
                   .arg(packet_elements),
               runChild({child, QStringLiteral("transport"), QString::number(packet_elements)}));
  if (!ts_generator.write(ts)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(ts));
    return 1;
  }
  printFigures(QStringLiteral("Generated transport stream (%1 packets, %2 MB)")
                   .arg(ts_packets).arg(QFileInfo(ts).size() / 1e6, 0, 'f', 1),
               runChild({child, QStringLiteral("ts"), ts}));
  return 0;
}
