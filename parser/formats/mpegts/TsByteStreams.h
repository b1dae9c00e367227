#pragma once

#include "codecs/AnnexBCarriage.h"
#include "formats/mpegts/TsVideoCheckpoint.h"

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

  // The lazy path's count of the elements writePayload would write for a payload of the PID that
  // continues its stream, -1 when it must be written (codecs::AnnexBCarriage::countPayload);
  // countedPayload then changes the state as writing it would.
  int64_t countPayload(ElementWriter& w, uint16_t pid, int64_t begin, int64_t end) const;
  void countedPayload(uint16_t pid, int64_t begin, int64_t end);

  // Whether PES packets of the PID before have set random_access_indicator; noted for each one
  // that does.
  bool randomAccessSignalled(uint16_t pid) const;
  void noteRandomAccessSignalled(uint16_t pid);

  // The state of the PID's stream before the next packet, null when it has none.
  std::shared_ptr<const VideoCheckpoint> save(uint16_t pid);
  // Forgets every stream; restore() then sets those a checkpoint saved.
  void clear() { streams.clear(); }
  void restore(uint16_t pid, uint8_t stream_type, const VideoCheckpoint& saved);

 private:
  struct Stream {
    std::unique_ptr<codecs::AnnexBCarriage> carriage;
    int64_t gathering_packet = -1;  // where the NAL unit under way began
    bool random_access_signalled = false;
  };

  codecs::AnnexBCarriage& stream(uint16_t pid, uint8_t stream_type);
  // The payloads of the packets of the PID after `index` that go on with its stream (after the
  // PES header in a packet that starts a PES packet; only inside the PES packet when `one_pes`).
  codecs::AnnexBCarriage::NextPayload payloadsAfter(int64_t index, bool one_pes) const;

  const uint8_t* data;
  int64_t file_size;
  const PacketLayout& layout;
  std::map<uint16_t, Stream> streams;
};

}  // namespace corvanta::mpegts
