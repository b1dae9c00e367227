#include "MediaInfoProcess.h"

#include <QCoreApplication>

namespace {

#ifdef Q_OS_WIN
const char tool_file_name[] = "MediaInfo.exe";
#else
const char tool_file_name[] = "mediainfo";
#endif

}  // namespace

MediaInfoProcess::MediaInfoProcess(const QString& file_name, QObject* parent)
    : MediaInfoProcess(file_name, programPath(), parent) {}

MediaInfoProcess::MediaInfoProcess(const QString& file_name, const QString& program_path,
                                   QObject* parent)
    : AbstractProcess(parent) {
  name = QString::fromLatin1(tool_file_name);
  program = program_path;
  arguments << QStringLiteral("--file-name") << file_name;
  connect(this, &AbstractProcess::lineRead, this, &MediaInfoProcess::captureOutput);
}

QString MediaInfoProcess::programPath() {
  return QCoreApplication::applicationDirPath() + QStringLiteral("/mediainfo/") +
         QString::fromLatin1(tool_file_name);
}

void MediaInfoProcess::captureOutput(const QString& line) {
  output_lines.append(line);
}
