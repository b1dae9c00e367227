#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The container formats the parser knows, for the open dialog's filters.
class Plugins {
 public:
  struct Plugin {
    QString id;                // module id, e.g. "isobmff"
    QString name;              // display name, e.g. "MP4"
    QStringList extensions;    // without dot, e.g. "mp4"
  };

  // The flag is reserved; the viewer passes false.
  static QList<Plugin> collectPlugins(bool);
};
