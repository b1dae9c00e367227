#pragma once

#include "FormatModule.h"
#include "LazyDecoder.h"
#include "formats/mpegts/TsLayout.h"
#include "formats/mpegts/TsPacketWriter.h"
#include "formats/mpegts/TsProgramMap.h"

#include <memory>
#include <vector>

namespace corvanta::mpegts {

// What the analysis of a transport stream knows before it writes a packet (where the packets lie,
// what each PID carries), and on the lazy path what it leaves behind to write any packet again:
// the state of the PIDs at every PacketWriter::kCheckpointEvery-th packet. A packet is decoded by
// running the packets from the checkpoint before it with the same PacketWriter (from an earlier
// one where that checkpoint kept no copy of a video decoder); reading on from the last packet
// decoded goes on from where it stands.
class LazyPackets : public LazyDecoder {
 public:
  explicit LazyPackets(FileBytes file);
  // Writes packets again as the analysis chose to: with frames decoded or not, lean or not.
  void decodeLike(const ParseContext& analysis);

  PacketLayout layout;
  ProgramMap programs;
  std::vector<PacketWriter::Checkpoint> checkpoints;

  void decode(int64_t unit, const LazyUnitPlace& place) override;
  void bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const override;

 private:
  ParseContext context;
  std::unique_ptr<PacketWriter> replay;
  int64_t next_packet = -1;  // the packet the replay's state stands before, -1 when none
};

}  // namespace corvanta::mpegts
