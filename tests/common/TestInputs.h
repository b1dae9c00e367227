#pragma once

#include <QFileInfo>
#include <QString>
#include <QStringList>

namespace corvanta::test {

// False for the files beside the test files that are not inputs themselves: golden dumps,
// packet lists, and the scripts and notes that made them.
inline bool isTestInput(const QString& path) {
  static const QStringList kNotInputs = {"golden", "dump", "packets", "txt", "json", "csv", "sh", "py", "md"};
  return !kNotInputs.contains(QFileInfo(path).suffix());
}

}  // namespace corvanta::test
