#pragma once

#include "codecs/AnnexBCarriageState.h"

#include <cstdint>

namespace corvanta::mpegts {

// The state of one PID's H.264 or H.265 byte stream (ByteStreams) before a packet, as a
// PacketWriter checkpoint keeps it.
struct VideoCheckpoint {
  codecs::AnnexBCarriageState carriage;
  int64_t gathering_packet = -1;  // the packet where the NAL unit under way began
  bool random_access_signalled = false;

  // False when the decoder was not kept here: an earlier checkpoint must be gone on from.
  bool restorable() const { return carriage.decoder != nullptr; }
};

}  // namespace corvanta::mpegts
