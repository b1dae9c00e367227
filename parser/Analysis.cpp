#include "Analysis.h"

#include "ElementWriter.h"
#include "FormatModule.h"

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
  }
  return options;
}

AnalysisResult analyse(const FormatModule& module, FileBytes bytes, sqlite3* db,
                       const std::function<void(int64_t bytes_done)>& progress, const AnalysisOptions& options) {
  ElementWriter writer(db);
  writer.setFileSize(bytes.size() * 8);
  const auto no_progress = [](int64_t) {};
  ParseContext context{bytes, writer, progress ? progress : std::function<void(int64_t)>(no_progress), {}};
  context.decode_frames = options.decode_frames;
  if (!module.parse(context))
    return {AnalysisResult::NotThisFormat,
            context.error.isEmpty() ? QStringLiteral("not a %1 file").arg(module.display_name) : context.error};
  if (!writer.finish())
    return {AnalysisResult::DatabaseFailed, writer.errorString()};
  return {};
}

}  // namespace corvanta
