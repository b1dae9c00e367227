#pragma once

#include <QString>

// The name the parser stores for a stretch of bytes that belongs to no structure; the tree
// shows it as "GARBAGE", and a search for that word finds it.
inline const QString kGarbageName = QStringLiteral("d771bd4e-a2e6-46e3-ad1c-1aafa1b60c87");
