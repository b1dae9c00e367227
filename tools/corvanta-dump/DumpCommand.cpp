#include "DumpCommand.h"

#include "DatabaseCheck.h"
#include "ElementDatabase.h"
#include "MappedFile.h"
#include "Parser.h"
#include "Plugins.h"
#include "JsonTreePrinter.h"
#include "TimingCsvPrinter.h"
#include "TreePrinter.h"

#include <QFileInfo>
#include <QSqlDatabase>

#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

void printTo(std::FILE* stream, const QString& text) {
  const QByteArray bytes = text.toLocal8Bit();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

// Releases the parser's connection the way the viewer does: object first, then the name.
void releaseConnection(QSqlDatabase* connection) {
  if (!connection)
    return;
  const QString name = connection->connectionName();
  connection->close();
  delete connection;
  QSqlDatabase::removeDatabase(name);
}

// The element count as the viewer reads it when it opens a file: the "elements" row of
// sqlite_sequence, which a lazy database answers without decoding a unit.
bool printElementCount(sqlite3* db) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT `seq` FROM `sqlite_sequence` WHERE `name` = 'elements'", -1, &statement,
                         nullptr) != SQLITE_OK)
    return false;
  const bool found = sqlite3_step(statement) == SQLITE_ROW;
  if (found) std::printf("%lld\n", static_cast<long long>(sqlite3_column_int64(statement, 0)));
  sqlite3_finalize(statement);
  return found;
}

}  // namespace

QString DumpCommand::usage() {
  return QStringLiteral(
      "Usage: corvanta-dump [options] FILE\n"
      "       corvanta-dump --db OUT.sqlite [options] FILE\n"
      "       corvanta-dump --formats\n"
      "\n"
      "Analyses a media container and prints its element tree, one element per line:\n"
      "name[-sequence number], offset and size in bytes (\":bits\" when not whole),\n"
      "then \"= raw value\" and \"[readable value]\".\n"
      "\n"
      "Options:\n"
      "  --db OUT.sqlite  write the element database to OUT.sqlite instead of printing\n"
      "                   (an existing OUT.sqlite is replaced once the new one is complete)\n"
      "  --formats        list the container formats with their file extensions\n"
      "  --json           print the element tree as nested JSON instead: an array of elements, each\n"
      "                   with name, seq_num, offset and size in bits, raw_value, hrf_value, children\n"
      "  --frames         print the frames table as CSV instead of the tree: one line per frame with\n"
      "                   element_id, stream, kind, codec, container_id, time_base (\"1/90000\"),\n"
      "                   byte_offset, size, dts, pts, duration (in ticks of the time base), key,\n"
      "                   picture_type; an unknown value is empty\n"
      "  --faults         print the faults table as CSV instead of the tree: element_id, stream,\n"
      "                   check_name, priority, detail (transport stream checks of ETSI TR 101 290)\n"
      "  --count          print only the number of elements, as the viewer reads it on opening the\n"
      "                   file (on the lazy path no unit is decoded)\n"
      "  --check          verify the element database and print a summary on standard error\n"
      "  --no-frames      leave every frame one element: its codec headers (NAL units, slice\n"
      "                   headers) are not decoded, the fast way through a large file\n"
      "  --lazy, --eager  decode repeated units (transport packets, MP4 samples, Matroska clusters,\n"
      "                   Ogg pages, FLV tags, audio frames) only when they are read, or write every\n"
      "                   row during the analysis; by default the parser chooses by file size and by\n"
      "                   the number of elements a module expects.\n"
      "                   A database written with --db is always complete\n"
      "  --lean           write transport packets lean: the header, adaptation field, PES header\n"
      "                   and each section one element with its summary, nothing below (by default\n"
      "                   only for a stream whose every field would number more elements than the\n"
      "                   viewer can, 2^31 - 1: about 25 GB of packets)\n"
      "  --no-progress    never show progress (it is shown only when standard error is a terminal)\n"
      "  -h, --help       show this help\n"
      "\n"
      "Exit status: 0 success, 1 analysis failed, 2 bad arguments, 3 file cannot be read\n"
      "or is empty, 4 unknown format, 5 --check found problems.\n");
}

int DumpCommand::badArguments(const QString& message) {
  printTo(stderr, QStringLiteral("%1: %2\nTry '%1 --help'.\n").arg(program, message));
  return BadArguments;
}

int DumpCommand::run(const QStringList& arguments) {
  bool formats = false;
  bool no_progress = false;
  QStringList files;
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
      printTo(stdout, usage());
      return Ok;
    } else if (argument == QLatin1String("--formats")) {
      formats = true;
    } else if (argument == QLatin1String("--json")) {
      json = true;
    } else if (argument == QLatin1String("--frames")) {
      frames_csv = true;
    } else if (argument == QLatin1String("--faults")) {
      faults_csv = true;
    } else if (argument == QLatin1String("--count")) {
      count_only = true;
    } else if (argument == QLatin1String("--check")) {
      check = true;
    } else if (argument == QLatin1String("--no-frames")) {
      no_frames = true;
    } else if (argument == QLatin1String("--lean")) {
      lean = true;
    } else if (argument == QLatin1String("--lazy") || argument == QLatin1String("--eager")) {
      lazy = argument == QLatin1String("--lazy") ? QStringLiteral("lazy=on") : QStringLiteral("lazy=off");
    } else if (argument == QLatin1String("--no-progress")) {
      no_progress = true;
    } else if (argument == QLatin1String("--db") || argument.startsWith(QLatin1String("--db="))) {
      if (!database_file.isEmpty())
        return badArguments(QStringLiteral("--db given twice"));
      if (argument.startsWith(QLatin1String("--db=")))
        database_file = argument.mid(5);
      else if (i + 1 < arguments.size())
        database_file = arguments[++i];
      if (database_file.isEmpty())
        return badArguments(QStringLiteral("--db needs the path of the database file to write"));
    } else if (argument == QLatin1String("--")) {
      files += arguments.mid(i + 1);
      break;
    } else if (argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("-")) {
      return badArguments(QStringLiteral("unknown option '%1'").arg(argument));
    } else {
      files.append(argument);
    }
  }
  if (formats) {
    if (!files.isEmpty() || !database_file.isEmpty() || check || json)
      return badArguments(QStringLiteral("--formats takes no other arguments"));
    return listFormats();
  }
  if (int(json) + int(frames_csv) + int(faults_csv) + int(count_only) > 1)
    return badArguments(QStringLiteral("--json, --frames, --faults and --count each print something else: give one"));
  if (count_only && !database_file.isEmpty())
    return badArguments(QStringLiteral("--count prints a number; it does not go with --db"));
  if ((frames_csv || faults_csv) && !database_file.isEmpty())
    return badArguments(QStringLiteral("--frames and --faults print a table; they do not go with --db"));
  if (json && !database_file.isEmpty())
    return badArguments(QStringLiteral("--json prints the tree; it does not go with --db"));
  if (files.size() != 1)
    return badArguments(files.isEmpty() ? QStringLiteral("no container file given")
                                        : QStringLiteral("give exactly one container file"));
  input_file = files.first();
  progress_on_terminal = !no_progress && ::isatty(STDERR_FILENO);
  return analyse();
}

int DumpCommand::listFormats() {
  for (const Plugins::Plugin& plugin : Plugins::collectPlugins(false))
    printTo(stdout, QStringLiteral("%1\t%2\t%3\n").arg(plugin.id, plugin.name, plugin.extensions.join(' ')));
  return Ok;
}

void DumpCommand::showProgress(int percent) {
  printTo(stderr, QStringLiteral("\r%1: analysing %2 ... %3%").arg(program, QFileInfo(input_file).fileName())
                      .arg(percent));
  std::fflush(stderr);
}

int DumpCommand::analyse() {
  Parser parser;
  if (progress_on_terminal)
    QObject::connect(&parser, &Parser::progress, [this](int percent) { showProgress(percent); });
  const int result = parser.parseFile(input_file, database_file.isEmpty() ? QStringLiteral(":memory:")
                                                                          : database_file,
                                        QStringList{no_frames ? QStringLiteral("frames=off") : QString(), lazy,
                                                    lean ? QStringLiteral("lean=on") : QString()}
                                            .join(QLatin1Char(' ')));
  if (progress_on_terminal)
    printTo(stderr, QStringLiteral("\r\033[K"));
  if (result != Parser::Success)
    return reportFailure(parser, result);

  std::unique_ptr<QSqlDatabase> connection(parser.getConnection());
  const QString connection_name = connection->connectionName();
  int status = Ok;
  if (check)
    status = checkConnection(connection_name);
  if (database_file.isEmpty()) {
    sqlite3* db = corvanta::ElementDatabase::handle(*connection);
    bool printed;
    if (count_only)
      printed = printElementCount(db);
    else if (frames_csv)
      printed = TimingCsvPrinter(stdout).printFrames(db);
    else if (faults_csv)
      printed = TimingCsvPrinter(stdout).printFaults(db);
    else
      printed = json ? JsonTreePrinter(stdout).print(db) : TreePrinter(stdout).print(db);
    if (!printed) {
      printTo(stderr, QStringLiteral("%1: cannot print the element tree or table\n").arg(program));
      status = Failed;
    }
  }
  releaseConnection(connection.release());
  return status;
}

int DumpCommand::checkConnection(const QString& connection_name) {
  corvanta::MappedFile file;
  const int64_t file_bits = file.open(input_file) ? file.size() * 8 : -1;
  const corvanta::DatabaseReport report =
      corvanta::checkDatabase(QSqlDatabase::database(connection_name, false), file_bits);
  printTo(stderr, QStringLiteral("%1: %2 (%3 bits): %4\n")
                      .arg(program, input_file).arg(file_bits).arg(report.summary()));
  return report.ok() ? Ok : CheckFailed;
}

int DumpCommand::reportFailure(const Parser& parser, int result) {
  printTo(stderr, QStringLiteral("%1: %2: %3\n").arg(program, input_file, parser.errorString()));
  switch (result) {
    case Parser::CannotReadFile:
    case Parser::EmptyFile:
      return UnreadableFile;
    case Parser::UnknownFormat:
      return UnknownFormat;
    case Parser::InvalidRequest:
      return BadArguments;
    default:
      return Failed;
  }
}
