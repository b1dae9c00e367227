#include "formats/ogg/Ogg.h"

#include "formats/ogg/OggLazyPages.h"
#include "formats/ogg/OggWriter.h"

#include <cstring>
#include <memory>

namespace corvanta {

namespace {

int probe(const uint8_t* head, int64_t head_size, int64_t) {
  if (head_size < 5 || std::memcmp(head, "OggS", 4) != 0) return 0;
  return head[4] == 0 ? 95 : 40;
}

bool parse(ParseContext& ctx) {
  if (ctx.file.size() < 4 || std::memcmp(ctx.file.data(), "OggS", 4) != 0) {
    ctx.error = QStringLiteral("no Ogg capture pattern at the start");
    return false;
  }
  if (!ctx.lazy_units) {
    ogg::OggWriter(ctx).write(nullptr);
    return true;
  }
  auto lazy = std::make_unique<ogg::OggLazyPages>(ctx.file);
  ogg::OggWriter writer(ctx);
  writer.write(&lazy->checkpoints);
  lazy->pages = writer.sharedPages();
  ctx.lazy_decoder = std::move(lazy);
  return true;
}

}  // namespace

FormatModule oggModule() {
  return {QStringLiteral("ogg"),
          QStringLiteral("Ogg"),
          {QStringLiteral("ogg"), QStringLiteral("oga"), QStringLiteral("ogv"), QStringLiteral("ogx"),
           QStringLiteral("opus"), QStringLiteral("spx")},
          probe,
          parse};
}

}  // namespace corvanta
