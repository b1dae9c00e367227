#include "Analysis.h"

#include "ElementWriter.h"
#include "FormatModule.h"
#include "FrameTable.h"
#include "LazyElementTable.h"
#include "LazyElements.h"
#include "LazyIndex.h"
#include "PackedFrames.h"
#include "TimingWriter.h"

#include <sqlite3.h>

#include <QRegularExpression>

#include <algorithm>

namespace corvanta {

const FormatModule* chooseModuleFor(FileBytes bytes, const QString& file_name) {
  return chooseModule(bytes.data(), std::min(bytes.size(), kProbeBytes), bytes.size(), file_name);
}

AnalysisOptions parseOptions(const QString& text) {
  AnalysisOptions options;
  static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
  for (const QString& pair : text.split(separators, Qt::SkipEmptyParts)) {
    const QString key = pair.section(QLatin1Char('='), 0, 0).trimmed();
    const QString value = pair.section(QLatin1Char('='), 1).trimmed();
    if (key == QLatin1String("frames")) options.decode_frames = value != QLatin1String("off");
    if (key == QLatin1String("lazy"))
      options.lazy = value == QLatin1String("on")    ? AnalysisOptions::Lazy::On
                     : value == QLatin1String("off") ? AnalysisOptions::Lazy::Off
                                                     : AnalysisOptions::Lazy::Auto;
    if (key == QLatin1String("lean"))
      options.lean = value == QLatin1String("on")    ? AnalysisOptions::Lean::On
                     : value == QLatin1String("off") ? AnalysisOptions::Lean::Off
                                                     : AnalysisOptions::Lean::Auto;
    if (key == QLatin1String("lazy_cache")) {
      bool ok = false;
      const qlonglong units = value.toLongLong(&ok);
      if (ok && units > 0) options.lazy_cached_units = units;
    }
    if (key == QLatin1String("lazy_threshold")) {
      bool ok = false;
      const qlonglong bytes = value.toLongLong(&ok);
      if (ok && bytes >= 0) options.lazy_threshold = bytes;
    }
    if (key == QLatin1String("lazy_elements")) {
      bool ok = false;
      const qlonglong elements = value.toLongLong(&ok);
      if (ok && elements >= 0) options.lazy_elements = elements;
    }
  }
  return options;
}

bool ParseContext::lazyForElements(int64_t expected_elements) {
  if (!lazy_units && lazy_index && expected_elements >= lazy_elements) {
    writer.recordLazyUnits(lazy_index);
    lazy_units = true;
  }
  return lazy_units;
}

namespace {

// The GARBAGE name in the dictionary, for units that cannot be decoded again.
bool internGarbageName(sqlite3* db, NameIds& names, QString* error) {
  const std::string garbage(kGarbageName);
  if (names.count(garbage))
    return true;
  const int32_t id = int32_t(names.size()) + 1;
  sqlite3_stmt* insert = nullptr;
  bool ok = sqlite3_prepare_v2(db, "INSERT INTO dictionary (id, name) VALUES (?, ?)", -1, &insert, nullptr) == SQLITE_OK;
  if (ok) {
    sqlite3_bind_int(insert, 1, id);
    sqlite3_bind_text(insert, 2, garbage.data(), int(garbage.size()), SQLITE_STATIC);
    ok = sqlite3_step(insert) == SQLITE_DONE;
  }
  if (!ok)
    *error = QStringLiteral("database error: %1").arg(QString::fromUtf8(sqlite3_errmsg(db)));
  sqlite3_finalize(insert);
  names.emplace(garbage, id);
  return ok;
}

}  // namespace

AnalysisResult analyse(const FormatModule& module, FileBytes bytes, sqlite3* db,
                       const std::function<void(int64_t bytes_done)>& progress, const AnalysisOptions& options,
                       const AnalysisBacking& backing) {
  ElementWriter writer(db);
  writer.setFileSize(bytes.size() * 8);
  LazyIndex lazy_units;
  const bool lazy = options.lazyFor(bytes.size());
  if (lazy)
    writer.recordLazyUnits(&lazy_units);
  const auto no_progress = [](int64_t) {};
  ParseContext context{bytes, writer, progress ? progress : std::function<void(int64_t)>(no_progress), {}, true,
                       false, nullptr};
  context.decode_frames = options.decode_frames;
  context.lean = ParseContext::Lean(int(options.lean));
  context.lazy_units = lazy;
  if (!lazy && options.lazy == AnalysisOptions::Lazy::Auto) {
    context.lazy_elements = options.lazy_elements;
    context.lazy_index = &lazy_units;
  }
  if (!module.parse(context))
    return {AnalysisResult::NotThisFormat,
            context.error.isEmpty() ? QStringLiteral("not a %1 file").arg(module.display_name) : context.error};
  // A lazy analysis keeps its frames packed in memory rather than as rows.
  std::shared_ptr<const PackedFrames> frames;
  if (!lazy_units.empty()) frames = writer.timing().takePackedFrames();
  if (!writer.finish())
    return {AnalysisResult::DatabaseFailed, writer.errorString()};
  if (lazy_units.empty())
    return {};
  if (!context.lazy_decoder)
    return {AnalysisResult::DatabaseFailed, QStringLiteral("the %1 module wrote lazy units without their decoder")
                                                .arg(module.display_name)};
  NameIds names = writer.nameIds();
  QString error;
  if (!internGarbageName(db, names, &error))
    return {AnalysisResult::DatabaseFailed, error};
  auto elements = std::make_shared<LazyElements>(std::move(lazy_units), std::move(context.lazy_decoder),
                                                 std::move(names), writer.elementCount(), backing.file_changed,
                                                 backing.bytes_owner);
  if (options.lazy_cached_units > 0) elements->setCachedUnits(size_t(options.lazy_cached_units));
  if (!LazyElementTable::install(db, std::move(elements), &error) || !FrameTable::install(db, std::move(frames), &error))
    return {AnalysisResult::DatabaseFailed, error};
  return {};
}

}  // namespace corvanta
