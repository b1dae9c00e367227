#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>

namespace corvanta::test {

void isolateSettings() {
  // Lives until the process ends, like the settings object that uses it.
  static QTemporaryDir* settings_dir = new QTemporaryDir();
  // Only the environment: Qt's test mode would move every test's settings into one
  // shared folder under the home directory instead.
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings_dir->path()));
}

QString dataDir() {
  return qEnvironmentVariable("CORVANTA_TEST_DATA");
}

QString dataFile(const QString& relative_path) {
  const QString path = QDir(dataDir()).filePath(relative_path);
  if (!QFileInfo::exists(path))
    qFatal("missing test file %s (CORVANTA_TEST_DATA=%s)", qPrintable(path), qPrintable(dataDir()));
  return path;
}

int threadCount() {
  return static_cast<int>(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

}  // namespace corvanta::test
