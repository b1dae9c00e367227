#pragma once

#include "formats/mpegts/TsPacket.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corvanta {
class TimingWriter;
}

namespace corvanta::mpegts {

class PacketLayout;
class ProgramMap;
struct AdaptationFacts;

// The timing facts of a transport stream, fed one packet at a time in file order: a stream per
// PID that carries PES packets (one frame per PES packet, on the packet where it starts, 90 kHz),
// a "pcr" stream per PID that carries a PCR (one frame per PCR, 27 MHz), and the checks of
// ETSI TR 101 290 priority 1 and 2 as faults.
//
// The clock of the PAT, PMT and PID checks is the transport clock: the PCR of the first PID that
// carries one, carried from PCR to PCR by the packet's position at the rate those two PCRs
// measured; before a file's first two PCRs these checks wait. PCR repetition and discontinuity
// compare consecutive PCR values of a PID; PTS_error consecutive PTS values of a video or audio
// PID.
//
// PCR accuracy needs a constant mux rate: a file whose PCRs (of that first PID) all lie within
// 1 ms of the line through its first and last PCR is taken as constant-rate at that line's
// slope, and each PCR is checked against the one before it plus its distance at that rate. A file
// of variable rate (most files written by software) has no position to check a PCR against.
class TsTiming {
 public:
  TsTiming(TimingWriter& timing, const ProgramMap& programs, const PacketLayout& layout, const uint8_t* data);

  // A packet just written as element `element_id`; `continuity_expected` is the counter it
  // should have had, -1 when it is right. `picture_type` is the type letter of the picture of
  // the PES packet it starts (TimingWriter::Frame::picture_type), 0 when unknown.
  void packet(int64_t element_id, int64_t offset, const PacketHeader& h, const PacketBytes& bytes,
              const AdaptationFacts& facts, int continuity_expected, char picture_type = 0);
  // Bytes without sync written as element `element_id`.
  void lostSync(int64_t element_id, int64_t offset, int64_t size);
  // Ends the PES packets still under way.
  void finish();

 private:
  struct PidTiming {
    int stream = 0;            // the PES stream, 0 before its first PES packet
    int pcr_stream = 0;
    int64_t frame = -1;        // the PES packet under way: its frame handle
    int64_t pes_bytes = 0;     // its payload bytes so far, PES header included
    int64_t header_bytes = 0;
    bool has_pcr = false;
    uint64_t last_pcr = 0;
    int64_t last_pcr_offset = 0;
    bool has_pts = false;
    uint64_t last_pts = 0;
    int64_t last_seen = -1;    // transport clock of the last packet, -1 never
    int64_t last_table = -1;   // transport clock of the last table start (PAT, PMT)
  };

  void startPes(PidTiming& state, int64_t element_id, const PacketHeader& h, const PacketBytes& bytes,
                const AdaptationFacts& facts, char picture_type);
  void endPes(PidTiming& state);
  void pcr(PidTiming& state, int64_t element_id, int64_t offset, const PacketHeader& h,
           const AdaptationFacts& facts);
  void sections(int64_t element_id, const PacketHeader& h, const PacketBytes& bytes);
  void tableTimes(int64_t element_id, const PacketHeader& h);
  void missingPids(int64_t element_id);
  void measureMuxRate(const PacketLayout& layout);
  void fault(int64_t element_id, int stream, const char* check, int priority, std::string detail);

  TimingWriter& timing;
  const ProgramMap& programs;
  const uint8_t* data;
  int stride;
  int sync_offset;
  std::vector<PidTiming> pids;
  std::vector<uint16_t> pmt_pids;
  std::vector<uint16_t> elementary_pids;
  // The transport clock (27 MHz) at the current packet, -1 unknown.
  int64_t now = -1;
  uint16_t clock_pid = 0xFFFF;
  int64_t clock_pcr = -1, clock_offset = 0;   // the clock PID's last PCR and its packet's offset
  double bytes_per_tick = 0;                  // the rate its last two PCRs measured
  double mux_bytes_per_tick = 0;              // the constant mux rate, 0 for a variable rate
  int64_t start = -1;                         // the clock at its first value
};

}  // namespace corvanta::mpegts
