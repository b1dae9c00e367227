#pragma once

#include "codecs/StreamTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corvanta::mpegts {

class PacketLayout;
class Reassembler;
struct SplitUnit;

// What a PID carries, as the tables of the file (or the fixed assignments) say.
enum class PidRole : uint8_t {
  Unreferenced,
  Pat,
  Cat,
  Tsdt,
  Ipmp,
  Nit,
  SdtBat,
  Eit,
  Rst,
  TdtTot,
  Dit,
  Sit,
  AtscBase,   // ATSC PSIP base PID 0x1FFB
  AtscTable,  // a PID the ATSC master guide table lists
  Pmt,
  Elementary,
  PcrOnly,    // named by a PMT as PCR_PID and carrying no stream of its own
  Ecm,
  Emm,
  Null,
};

struct PidInfo {
  PidRole role = PidRole::Unreferenced;
  uint8_t stream_type = 0;
  codecs::StreamKind kind = codecs::StreamKind::Data;
  uint16_t program = 0;
  bool sections = false;  // the payload is PSI sections; otherwise PES packets
  std::string label;      // readable value of the packet's PID field: "H.264 video, program 1"
  std::string word;       // the packet summary's word: "video", "PMT", "null"
};

// First pass over the tables: before a packet is written, every PID gets its role from the PAT,
// each PMT, the CAT and the ATSC master guide table found anywhere in the file, so that a stream
// whose packets come before the first PMT is named all the same, and a PID that no table announces
// is labelled "unreferenced". Only sections whose CRC_32 is right are believed; the first table
// that names a PID wins.
class ProgramMap {
 public:
  void build(const uint8_t* data, int64_t size, const PacketLayout& layout, bool m2ts);

  const PidInfo& pid(uint16_t pid) const { return pids[pid & 0x1FFF]; }
  // ATSC PSIP tables were found: user-private descriptor tags read as ATSC's.
  bool isAtsc() const { return atsc; }
  // An M2TS file or a program registered "HDMV": user-private stream types read as Blu-ray's.
  bool isBluRay() const { return blu_ray; }

 private:
  // Calls `use` with every complete section with a right CRC_32 on `pid`.
  template <class Use>
  void forEachSection(uint16_t pid, Use&& use);
  void readPat(const std::vector<uint8_t>& section);
  void readPmt(const std::vector<uint8_t>& section);
  void readCat(const std::vector<uint8_t>& section);
  void readMgt(const std::vector<uint8_t>& section);
  void assign(uint16_t pid, PidRole role, uint16_t program, std::string label, std::string word, bool sections);

  const uint8_t* data = nullptr;
  int64_t file_size = 0;
  const PacketLayout* layout = nullptr;
  std::vector<PidInfo> pids = std::vector<PidInfo>(0x2000);
  std::vector<bool> named = std::vector<bool>(0x2000, false);  // a table named the PID
  bool atsc = false;
  bool blu_ray = false;
};

}  // namespace corvanta::mpegts
