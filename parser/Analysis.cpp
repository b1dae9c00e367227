#include "Analysis.h"

#include "ElementWriter.h"
#include "FormatModule.h"

#include <algorithm>

namespace corvanta {

const FormatModule* chooseModuleFor(FileBytes bytes, const QString& file_name) {
  return chooseModule(bytes.data(), std::min(bytes.size(), kProbeBytes), bytes.size(), file_name);
}

AnalysisResult analyse(const FormatModule& module, FileBytes bytes, sqlite3* db,
                       const std::function<void(int64_t bytes_done)>& progress) {
  ElementWriter writer(db);
  writer.setFileSize(bytes.size() * 8);
  const auto no_progress = [](int64_t) {};
  ParseContext context{bytes, writer, progress ? progress : std::function<void(int64_t)>(no_progress), {}};
  if (!module.parse(context))
    return {AnalysisResult::NotThisFormat,
            context.error.isEmpty() ? QStringLiteral("not a %1 file").arg(module.display_name) : context.error};
  if (!writer.finish())
    return {AnalysisResult::DatabaseFailed, writer.errorString()};
  return {};
}

}  // namespace corvanta
