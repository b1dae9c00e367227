#pragma once

#include "FileBytes.h"
#include "LazyDecoder.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace corvanta {

class ElementWriter;
class LazyIndex;

// What a format module is given to analyse one file.
struct ParseContext {
  FileBytes file;
  ElementWriter& writer;
  // Call with the number of bytes analysed so far; cheap, call as often as you like.
  std::function<void(int64_t bytes_done)> progress;
  // Set by a module that gives up, for the command-line tool to print.
  QString error;
  // Whether the codec headers inside the frames (NAL units, slice headers) are decoded, or each
  // frame stays one field: the fast way through a large file.
  bool decode_frames = true;
  // Whether the module may write lazy units (ElementWriter::beginLazyUnit); a module that does
  // leaves its decoder for them here.
  bool lazy_units = false;
  std::unique_ptr<LazyDecoder> lazy_decoder;
  // The lazy path by the number of elements (AnalysisOptions::lazy_elements), for a module that
  // knows about how many its repeated units make before it writes them: lazyForElements(expected)
  // sets lazy_units once `expected` reaches lazy_elements (and lazy units may be written), and
  // returns lazy_units. Without a lazy_index it only returns lazy_units.
  int64_t lazy_elements = INT64_MAX;
  LazyIndex* lazy_index = nullptr;
  bool lazyForElements(int64_t expected_elements);
  // Lean units ("lean=on|off|auto"): a module whose file would number more elements than the
  // viewer can (ElementWriter::kMostElements) writes its repeated units lean, their header fields
  // as one element and nothing below the units' children (ElementWriter::setDeepestLevel). Auto,
  // the default, leaves the choice to the module; it stores On or Off once it has chosen.
  enum class Lean { Off, On, Auto };
  Lean lean = Lean::Auto;
};

// One container family: listed once in the registry (FormatRegistry.cpp).
struct FormatModule {
  QString id;                  // stable identifier, e.g. "isobmff"
  QString display_name;        // short, e.g. "MP4"
  QStringList extensions;      // without dot
  // Confidence 0..100 that the file is of this format, from its first bytes
  // (`head`, up to 4096 bytes) and its size. 0 = not this format.
  int (*probe)(const uint8_t* head, int64_t head_size, int64_t file_size);
  // Writes the elements of the whole file; false (with ctx.error) when the file
  // turned out not to be of this format at all. A broken file of this format still
  // returns true, its bad stretches written as GARBAGE.
  bool (*parse)(ParseContext& ctx);
};

// Every module, in a stable order.
const std::vector<FormatModule>& formatModules();

// The registered module with this id, or null.
const FormatModule* findModule(const QString& id);

// Replaces the registered modules while it lives, so that tests of the library can
// run it on formats of their own making.
class ScopedFormatModules {
 public:
  explicit ScopedFormatModules(std::vector<FormatModule> modules);
  ~ScopedFormatModules();
  ScopedFormatModules(const ScopedFormatModules&) = delete;
  ScopedFormatModules& operator=(const ScopedFormatModules&) = delete;

 private:
  std::vector<FormatModule> replacement;
  const std::vector<FormatModule>* previous;
};

// The module that best accepts the file, or null. Ties go to the module that lists
// the file's extension.
const FormatModule* chooseModule(const uint8_t* head, int64_t head_size, int64_t file_size,
                                 const QString& file_name);

// The same choice among the given modules (the registry's rule, testable on its own).
const FormatModule* chooseModuleFrom(const std::vector<FormatModule>& modules, const uint8_t* head,
                                     int64_t head_size, int64_t file_size, const QString& file_name);

}  // namespace corvanta
