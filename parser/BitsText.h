#pragma once

#include <QString>

#include <cstdint>
#include <string>

namespace corvanta {

// The text form of a bit count used wherever an offset or size is shown: whole bytes,
// then ":" and the remaining bits when there are any (16 -> "2", 19 -> "2:3").
// Division truncates toward zero, so negative counts keep the sign on both parts.
inline std::string bitsTextStd(int64_t bits) {
  const int64_t bytes = bits / 8;
  const int64_t rest = bits - bytes * 8;
  std::string text = std::to_string(bytes);
  if (rest != 0) {
    text += ':';
    text += std::to_string(rest);
  }
  return text;
}

inline QString bitsText(int64_t bits) {
  return QString::fromStdString(bitsTextStd(bits));
}

}  // namespace corvanta
