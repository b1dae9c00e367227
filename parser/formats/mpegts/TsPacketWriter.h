#pragma once

#include "FormatModule.h"
#include "formats/mpegts/TsByteStreams.h"
#include "formats/mpegts/TsPacket.h"
#include "formats/mpegts/TsReassembly.h"
#include "formats/mpegts/TsTiming.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta {
class ElementWriter;
class FieldReader;
}

namespace corvanta::mpegts {

class PacketLayout;
class ProgramMap;
struct AdaptationFacts;
struct PidInfo;

// Second pass: writes every packet in file order, and the bytes without sync between them as
// GARBAGE. Each packet is a unit with a summary a person can scan and its header fields at their
// bit positions; its adaptation field, PSI sections or PES header follow, and the payload bytes
// that are not decoded are one field. A section or PES header split over packets is decoded in
// each packet that holds a piece of it.
//
// What one packet's decoding needs from the packets before it is the small state of its PID
// (continuity counter, the PES packet under way, a split unit still being written), and for
// H.264/HEVC video decoded into NAL units its byte stream's (VideoCheckpoint).
class PacketWriter {
 public:
  // Packets between two checkpoints of the lazy path: a packet is decoded again by running the
  // packets since the checkpoint before it.
  static constexpr int64_t kCheckpointEvery = 1024;
  // Lean packets (ParseContext::lean) are written down to this level: the packet, and its header,
  // adaptation field, PES header, sections and payload each as one element with its summary.
  static constexpr int kLeanDeepestLevel = 1;

  // Where a split unit was gathered, to gather it again.
  struct GatheredAt {
    int64_t index = -1;  // the packet, -1 for none
    int64_t begin = 0, end = 0;
    Carriage carriage = Carriage::Section;
  };
  // The state of one PID before a packet, in a few bytes.
  struct PidCheckpoint {
    uint16_t pid = 0;
    int8_t continuity = -1;
    bool pes_open = false, pes_broken = false, seen_section = false;
    uint32_t next_piece = 0;
    int64_t payload_begin = -1, payload_end = -1, pes_bytes = 0;
    GatheredAt pending;
    std::shared_ptr<const VideoCheckpoint> video;  // its H.264/H.265 stream, null for none
  };
  // The state of every PID seen so far, before one packet.
  using Checkpoint = std::vector<PidCheckpoint>;

  PacketWriter(ParseContext& context, const PacketLayout& layout, const ProgramMap& programs);
  // Writes every packet and the GARBAGE between them. With `checkpoints`, each packet is a lazy
  // unit and the state before every kCheckpointEvery-th packet is kept there.
  void writeAll(std::vector<Checkpoint>* checkpoints = nullptr);
  // Writes one packet: its decoding again, after restore() and the packets before it.
  void writePacketAt(int64_t index);
  Checkpoint checkpoint();
  void restore(const Checkpoint& saved);
  // False when the checkpoint lacks a video decoder's state: an earlier one must be gone on from.
  static bool restorable(const Checkpoint& saved);

 private:
  friend class PacketCounter;  // counts the packets that continue a PES packet, with this state

  struct PidState {
    int continuity = -1;     // the last continuity_counter, -1 before the first packet
    int64_t payload_begin = -1, payload_end = -1;  // the last packet's payload, to tell a duplicate
    bool pes_open = false;   // a PES packet started in this file and goes on
    bool pes_broken = false; // packets of the PES packet under way were lost
    int64_t pes_bytes = 0;   // bytes of that PES packet so far, its header included
    bool seen_section = false;
    SplitUnit pending;       // a section or PES header that continues in later packets
    size_t next_piece = 0;
    GatheredAt pending_origin;

    bool pendingIn(int64_t index) const {
      return next_piece < pending.pieces.size() && pending.packets[next_piece] == index;
    }
  };

  // What the continuity counter says about a packet.
  struct Continuity {
    int expected = -1;  // the value the counter should have had, -1 when it is right
    bool duplicate = false;  // the counter and the payload of the packet before again
  };

  void writePacket(int64_t index, int64_t offset);
  // Keeps the split unit just gathered (scratch_unit) for the later packets that hold its pieces.
  void keepPending(PidState& state, const GatheredAt& origin);
  // A packet cut by the end of the file before its header is whole.
  void writeCutHeader(int64_t index, int64_t offset, int64_t end);
  Continuity checkContinuity(PidState& state, const PacketHeader& h, bool discontinuity_indicator,
                             const PacketBytes& bytes) const;
  void summarise(const PacketHeader& h, const PidInfo& info, const Continuity& continuity,
                 const AdaptationFacts& facts);
  // What the continuity counter's field says of it; empty when all is well.
  std::string_view continuityNote(const PacketHeader& h, const Continuity& continuity, bool signalled);
  // The packet header as one element of a lean packet, its fields in its readable value.
  void leanHeader(FieldReader& f, int64_t sync, const PacketHeader& h, const Continuity& continuity, bool signalled);
  void headerFields(FieldReader& f, const PacketHeader& h, const PidInfo& info, const Continuity& continuity,
                    bool signalled);
  void payload(int64_t index, const PacketHeader& h, const PidInfo& info, PidState& state, int64_t begin,
               int64_t end);
  void sectionPayload(int64_t index, const PacketHeader& h, const PidInfo& info, PidState& state, int64_t begin,
                      int64_t end);
  void pesPayload(int64_t index, const PacketHeader& h, PidState& state, int64_t begin, int64_t end);
  // Writes piece `piece` of `unit`: the whole unit is decoded, the piece's part written.
  void writePiece(const SplitUnit& unit, size_t piece, Carriage carriage, const PidInfo& info);
  void decodeSection(FieldReader& f, const SplitUnit& unit, const PidInfo& info);
  void decodePesHeader(FieldReader& f, const SplitUnit& unit);
  // For a PES packet of H.264 or H.265 starting at `begin`: the picture type for its header's
  // summary, and the packet's random_access_indicator checked against it.
  void peekPicture(int64_t index, const PacketHeader& h, int64_t begin, int64_t end);
  // The rest of a payload that is not decoded, as one field.
  void leaf(std::string_view name, int64_t begin, int64_t end, std::string_view raw, std::string_view hrf);
  void stuffing(int64_t begin, int64_t end);

  ParseContext& ctx;
  ElementWriter& w;
  const uint8_t* data;
  int64_t file_size;
  const PacketLayout& layout;
  const ProgramMap& programs;
  Reassembler reassembler;
  TsTiming timing_facts;  // the streams, frames and faults tables
  ByteStreams byte_streams;
  const bool lean;
  bool random_access_claimed = false;  // by the adaptation field of the packet being written
  std::string_view packet_readable;    // the readable value the packet was opened with
  std::string pes_picture;             // the picture type of the PES packet being written
  std::vector<PidState> pids;
  std::vector<uint16_t> present_pids;  // those with packets in the file, for checkpoints
  SplitUnit scratch_unit;
  std::string summary;  // reused: no allocation per packet
  std::string text;
};

}  // namespace corvanta::mpegts
