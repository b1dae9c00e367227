#include "formats/flv/Flv.h"

#include "ByteOrder.h"
#include "formats/flv/FlvLazyTags.h"
#include "formats/flv/FlvWriter.h"

#include <cstring>

namespace corvanta {

namespace {

constexpr int64_t kFileHeaderBytes = 9;

int probe(const uint8_t* head, int64_t head_size, int64_t) {
  if (head_size < 3 || std::memcmp(head, "FLV", 3) != 0) return 0;
  if (head_size < kFileHeaderBytes) return 40;
  const bool version_one = head[3] == 1;
  const bool offset_sane = loadBe32(head + 5) >= kFileHeaderBytes;
  return version_one && offset_sane ? 95 : 60;
}

bool parse(ParseContext& ctx) {
  if (ctx.file.size() < 3 || std::memcmp(ctx.file.data(), "FLV", 3) != 0) {
    ctx.error = QStringLiteral("no FLV signature");
    return false;
  }
  if (!ctx.lazy_units) {
    flv::FlvWriter(ctx).write(nullptr);
    return true;
  }
  auto tags = std::make_unique<flv::FlvLazyTags>(ctx.file, ctx.decode_frames);
  flv::FlvWriter writer(ctx);
  writer.write(&tags->checkpoints);
  tags->stretches = writer.sharedStretches();
  ctx.lazy_decoder = std::move(tags);
  return true;
}

}  // namespace

FormatModule flvModule() {
  return {QStringLiteral("flv"), QStringLiteral("FLV"), {QStringLiteral("flv")}, probe, parse};
}

}  // namespace corvanta
