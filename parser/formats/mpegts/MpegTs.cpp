#include "formats/mpegts/MpegTs.h"

#include "ElementWriter.h"
#include "formats/mpegts/TsLayout.h"
#include "formats/mpegts/TsLazyPackets.h"
#include "formats/mpegts/TsPacketWriter.h"
#include "formats/mpegts/TsProgramMap.h"

namespace corvanta {

namespace {

using namespace mpegts;

// Confidence from how often the sync byte repeats at a packet stride in the first bytes.
int probe(const uint8_t* head, int64_t head_size, int64_t file_size) {
  (void)file_size;
  Detection found;
  if (!head || !detectPacketFormat(head, head_size, found)) return 0;
  if (found.syncs >= kSyncsToProve) return found.format.first == 0 ? 95 : 80;
  if (found.whole) return found.syncs >= 2 ? 60 : (found.format.first == 0 ? 20 : 5);
  return 20;  // a few packets, then no sync: a damaged stream, or chance
}

// About as many elements as a packet makes with every field written; a lean one makes about four.
constexpr int64_t kFullElementsPerPacket = 16;

// Lean packets for a stream whose packets would number more elements than the viewer can: about
// 25 GB of 188-byte packets, where lean ones reach some 80 GB.
bool leanPackets(const ParseContext& ctx, int64_t packets) {
  if (ctx.lean != ParseContext::Lean::Auto) return ctx.lean == ParseContext::Lean::On;
  return packets > ElementWriter::kMostElements / kFullElementsPerPacket;
}

bool parse(ParseContext& ctx) {
  const uint8_t* data = ctx.file.data();
  const int64_t size = ctx.file.size();
  Detection found;
  if (!data || size < 4 || !detectPacketFormat(data, size, found)) {
    ctx.error = QStringLiteral("no transport stream packets: the sync byte 0x47 does not repeat at a packet stride");
    return false;
  }
  auto packets = std::make_unique<LazyPackets>(ctx.file);
  packets->layout.build(data, size, found.format);
  packets->programs.build(data, size, packets->layout, found.format.isM2ts());
  if (leanPackets(ctx, packets->layout.packetCount())) {
    // Below a lean packet's children nothing is written, so no frame is decoded either.
    ctx.lean = ParseContext::Lean::On;
    ctx.decode_frames = false;
    ctx.writer.setDeepestLevel(PacketWriter::kLeanDeepestLevel);
  } else {
    ctx.lean = ParseContext::Lean::Off;
  }
  packets->decodeLike(ctx);
  const bool lazy = ctx.lazy_units;
  PacketWriter writer(ctx, packets->layout, packets->programs);
  writer.writeAll(lazy ? &packets->checkpoints : nullptr);
  ctx.progress(size);
  if (lazy) ctx.lazy_decoder = std::move(packets);
  return true;
}

}  // namespace

FormatModule mpegTsModule() {
  return {QStringLiteral("mpegts"), QStringLiteral("MPEG-TS"),
          {QStringLiteral("ts"), QStringLiteral("m2ts"), QStringLiteral("mts"), QStringLiteral("tsv"),
           QStringLiteral("trp"), QStringLiteral("m2t")},
          probe, parse};
}

}  // namespace corvanta
