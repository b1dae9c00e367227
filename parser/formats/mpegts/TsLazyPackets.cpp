#include "formats/mpegts/TsLazyPackets.h"

namespace corvanta::mpegts {

LazyPackets::LazyPackets(FileBytes file) : context{file, writer(), [](int64_t) {}, {}, true, false, nullptr} {}

void LazyPackets::decodeLike(const ParseContext& analysis) {
  context.decode_frames = analysis.decode_frames;
  context.lean = analysis.lean;
  if (analysis.lean == ParseContext::Lean::On) writer().setDeepestLevel(PacketWriter::kLeanDeepestLevel);
}

void LazyPackets::decode(int64_t unit, const LazyUnitPlace& place) {
  if (!replay) replay = std::make_unique<PacketWriter>(context, layout, programs);
  int64_t checkpoint = unit / PacketWriter::kCheckpointEvery;
  if (checkpoint >= int64_t(checkpoints.size())) return;
  while (checkpoint > 0 && !PacketWriter::restorable(checkpoints[size_t(checkpoint)])) --checkpoint;
  const int64_t checkpoint_packet = checkpoint * PacketWriter::kCheckpointEvery;
  if (next_packet < checkpoint_packet || next_packet > unit) {
    replay->restore(checkpoints[size_t(checkpoint)]);
    next_packet = checkpoint_packet;
  }
  LazyUnitPlace anywhere;
  anywhere.high = context.file.size() * 8;
  for (; next_packet < unit; ++next_packet) {
    // Only the state these packets leave matters; their rows are dropped.
    writer().startCollecting(anywhere);
    replay->writePacketAt(next_packet);
  }
  writer().startCollecting(place);
  replay->writePacketAt(unit);
  next_packet = unit + 1;
}

void LazyPackets::bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const {
  const int64_t offset = std::max<int64_t>(layout.offsetOf(unit), 0);
  *bit_offset = offset * 8;
  *bit_size = std::max<int64_t>(layout.endOf(unit) - offset, 0) * 8;
}

}  // namespace corvanta::mpegts
