#pragma once

#include "FileBytes.h"

#include <QString>

#include <cstdint>
#include <functional>

struct sqlite3;

namespace corvanta {

struct FormatModule;

// The analysis of bytes already in memory into an element database: the one road that
// Parser (over a memory map) and the fuzz targets (over a buffer) both take.

// How many bytes from the start of the file a module's probe sees.
inline constexpr int64_t kProbeBytes = 4096;

// The registry's choice for these bytes, or null; the extension of `file_name` (may be
// empty) breaks ties.
const FormatModule* chooseModuleFor(FileBytes bytes, const QString& file_name);

// How the modules analyse: Parser's `extra` argument, parsed by parseOptions.
struct AnalysisOptions {
  bool decode_frames = true;  // "frames=off" leaves every frame one field
};

// Options from a text of space- or comma-separated key=value pairs; unknown keys are ignored,
// so that an older library reads a newer caller's options.
AnalysisOptions parseOptions(const QString& text);

struct AnalysisResult {
  enum Status {
    Done,            // the elements are written and the database is finished
    NotThisFormat,   // the module refused the bytes after all
    DatabaseFailed,  // SQLite refused a write
  };
  Status status = Done;
  QString reason;  // why, when not Done
};

// Runs `module` on the bytes through an ElementWriter into `db`, which holds the element
// schema (ElementDatabase::createSchema), and finishes the database. `progress` gets the
// number of bytes analysed so far and may be empty.
AnalysisResult analyse(const FormatModule& module, FileBytes bytes, sqlite3* db,
                       const std::function<void(int64_t bytes_done)>& progress = {},
                       const AnalysisOptions& options = {});

}  // namespace corvanta
