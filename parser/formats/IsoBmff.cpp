#include "formats/IsoBmff.h"

namespace corvanta {

namespace {
int probe(const uint8_t*, int64_t, int64_t) { return 0; }
bool parse(ParseContext& ctx) {
  ctx.error = QStringLiteral("not implemented yet");
  return false;
}
}  // namespace

FormatModule isoBmffModule() {
  return {QStringLiteral("isobmff"), QStringLiteral("MP4"),
          {QStringLiteral("mp4"), QStringLiteral("mov"), QStringLiteral("m4a"), QStringLiteral("m4v"),
           QStringLiteral("m4s"), QStringLiteral("3gp"), QStringLiteral("3g2"), QStringLiteral("heic"),
           QStringLiteral("heif"), QStringLiteral("avif"), QStringLiteral("mj2")},
          probe, parse};
}

}  // namespace corvanta
