#pragma once

#include "AbstractProcess.h"

// Runs the MediaInfo tool on one file and keeps every line of its report.
class MediaInfoProcess : public AbstractProcess {
  Q_OBJECT

 public:
  // Runs the copy of the tool that lies beside the application (programPath()).
  explicit MediaInfoProcess(const QString& file_name, QObject* parent = nullptr);
  // Runs `program_path` instead, with the same command line; for tests.
  MediaInfoProcess(const QString& file_name, const QString& program_path, QObject* parent = nullptr);

  // Where the application expects the tool: the folder "mediainfo" beside it.
  static QString programPath();

  const QStringList& output() const { return output_lines; }

 public slots:
  void captureOutput(const QString& line);

 private:
  QStringList output_lines;
};
