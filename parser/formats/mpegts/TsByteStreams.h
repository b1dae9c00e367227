#pragma once

#include "codecs/AnnexBCarriage.h"

#include <cstdint>
#include <map>
#include <memory>

namespace corvanta {
class ElementWriter;
}

namespace corvanta::mpegts {

class PacketLayout;

// The H.264 and H.265 video of a transport stream: the NAL units of each such PID written under
// the packets that carry them (codecs::AnnexBCarriage), across packet and PES packet boundaries,
// and the picture type of each PES packet read ahead for its header's summary.
class ByteStreams {
 public:
  ByteStreams(const uint8_t* data, int64_t size, const PacketLayout& layout) : data(data), file_size(size), layout(layout) {}

  // The stream types whose PES payloads are H.264 or H.265 byte streams.
  static bool carries(uint8_t stream_type) { return stream_type == 0x1B || stream_type == 0x24; }

  // The picture of the PES packet whose payload after its header is [begin, end) in packet `index`.
  codecs::FramePicture peekPicture(int64_t index, uint16_t pid, uint8_t stream_type, int64_t begin, int64_t end);
  // Writes the NAL units and pieces in [begin, end) of packet `index`, into the unit that is open.
  void writePayload(ElementWriter& w, int64_t index, uint16_t pid, uint8_t stream_type, int64_t begin, int64_t end);

 private:
  codecs::AnnexBCarriage& stream(uint16_t pid, uint8_t stream_type);
  // The payloads of the packets of the PID after `index` that go on with its stream (after the
  // PES header in a packet that starts a PES packet; only inside the PES packet when `one_pes`).
  codecs::AnnexBCarriage::NextPayload payloadsAfter(int64_t index, bool one_pes) const;

  const uint8_t* data;
  int64_t file_size;
  const PacketLayout& layout;
  std::map<uint16_t, std::unique_ptr<codecs::AnnexBCarriage>> streams;
};

}  // namespace corvanta::mpegts
