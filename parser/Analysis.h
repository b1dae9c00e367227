#pragma once

#include "FileBytes.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

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
//
// Lazy units ("lazy=on", "lazy=off", "lazy=auto"; "lazy_threshold=BYTES";
// "lazy_elements=COUNT"): a module that supports them (transport streams, MP4) then writes only
// the rows outside its repeated units, counts the rest, and the database serves them by decoding
// each unit again when it is read (see LazyElementTable). "auto", the default, takes the lazy
// path for files of at least lazy_threshold bytes (256 MB: a transport stream of about 20
// million elements, some 2 GB of memory written eagerly), and for files that a module expects to
// make at least lazy_elements elements before it writes its repeated units (1 million, about
// 90 MB written eagerly: an MP4 of 100,000 small video frames with their codec headers decoded
// makes some 5 million in 5 MB; see ParseContext::lazyForElements).
struct AnalysisOptions {
  bool decode_frames = true;  // "frames=off" leaves every frame one field
  enum class Lazy { Off, On, Auto };
  Lazy lazy = Lazy::Auto;
  int64_t lazy_threshold = int64_t{256} << 20;
  int64_t lazy_elements = 1000000;
  // "lean=on|off|auto": ParseContext::lean, in the same order.
  enum class Lean { Off, On, Auto };
  Lean lean = Lean::Auto;
  // "lazy_cache=UNITS": lazy units kept decoded, for tests that must decode units again; 0 keeps
  // the table's own number.
  int64_t lazy_cached_units = 0;

  bool lazyFor(int64_t file_size) const {
    return lazy == Lazy::On || (lazy == Lazy::Auto && file_size >= lazy_threshold);
  }
};

// What keeps a lazy database's units decodable after the analysis: the owner of the bytes (they
// must stay where they are while the connection lives), and a check that the file is still the
// one analysed.
struct AnalysisBacking {
  std::shared_ptr<const void> bytes_owner;
  std::function<bool()> file_changed;
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
// On the lazy path the units are served by virtual tables that live with `db`; `backing` keeps
// their bytes (without an owner, the caller keeps the bytes alive as long as `db`).
AnalysisResult analyse(const FormatModule& module, FileBytes bytes, sqlite3* db,
                       const std::function<void(int64_t bytes_done)>& progress = {},
                       const AnalysisOptions& options = {}, const AnalysisBacking& backing = {});

}  // namespace corvanta
