#pragma once

#include "FormatModule.h"
#include "formats/ogg/OggPacketTiming.h"
#include "formats/ogg/OggPageWalk.h"
#include "formats/ogg/OggStream.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace corvanta::ogg {

// The stretch of a page's body that belongs to one packet.
struct PagePiece {
  int64_t begin = 0, end = 0;  // file bytes; the end may pass the end of a page cut short
  bool ends_packet = false;    // a lacing value below 255 ends it here
};

// Writes an Ogg file page by page: each page with its header fields and the packets or packet
// pieces it carries, decoded by their stream's codec. On the lazy path each page is a lazy unit,
// and what writing page N again needs (every logical stream's state, and where a packet running
// over pages began) is kept every kCheckpointEvery pages.
class OggWriter {
 public:
  static constexpr int64_t kCheckpointEvery = 64;

  // A logical stream's state before a page; a packet it is in the middle of is kept as where it
  // began, to be gathered again.
  struct SavedStream {
    uint32_t key = 0;
    OggStreamInfo info;
    bool identified = false;
    int64_t index = 0, packets = 0, next_sequence = -1;
    bool pending = false;
    size_t pending_page = 0;
    PagePiece pending_first;
    int64_t pending_number = 0;
    size_t pending_next = 0;
  };
  struct Checkpoint {
    size_t page = 0;  // index into the pages
    int64_t page_number = 0;
    int64_t stream_count = 0;
    std::vector<SavedStream> streams;
  };

  explicit OggWriter(ParseContext& context);
  ~OggWriter();

  // The whole file; `checkpoints` (when not null) makes every page a lazy unit.
  void write(std::vector<Checkpoint>* checkpoints);

  std::shared_ptr<const std::vector<OggPage>> sharedPages() const { return pages; }
  // For writing pages again: back to a checkpoint, then the pages one after the other.
  void restore(const Checkpoint& checkpoint, std::shared_ptr<const std::vector<OggPage>> walked);
  void writeNextPage();

 private:
  struct PendingPacket;
  struct StreamState;

  StreamState& streamFor(const OggPage& page);
  void identify(StreamState& s, const uint8_t* packet, int64_t bytes);
  std::string sequenceNote(StreamState& s, const OggPage& page);
  void writePage(size_t index, int64_t page_number);
  void pageHeader(const OggPage& page, const StreamState& s, const std::string& sequence_note, int64_t ending);
  void writePiece(size_t page_index, StreamState& s, const PagePiece& piece, bool continued);
  std::unique_ptr<PendingPacket> gatherPacket(size_t page_index, uint32_t serial, const PagePiece& first,
                                              int64_t number) const;
  void writePendingPiece(StreamState& s);
  Checkpoint checkpoint(size_t page) const;

  ParseContext& ctx;
  ElementWriter& w;
  const uint8_t* data;
  int64_t size;
  std::shared_ptr<const std::vector<OggPage>> pages;
  std::vector<PagePiece> pieces;
  std::map<uint32_t, StreamState> streams;
  int64_t stream_count = 0;
  size_t next_page = 0;     // for writeNextPage
  int64_t page_number = 0;  // pages written, garbage not counted
  OggPacketTiming packet_timing;
};

}  // namespace corvanta::ogg
