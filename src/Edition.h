#pragma once

#include <QString>

// Build-wide names shown in window titles and the About dialog.
namespace Edition {

inline QString name() { return QStringLiteral("Community"); }
inline QString productWord() { return QStringLiteral("corvanta"); }
inline QString version() { return QStringLiteral("1.2.0.0"); }
inline QString buildTag() { return QStringLiteral("96:544"); }
inline QString platform() { return QStringLiteral("x64"); }
inline QString supportAddress() { return QStringLiteral("support@corvanta.example"); }
inline QString websiteUrl() { return QStringLiteral("https://corvanta.example/"); }

}  // namespace Edition
