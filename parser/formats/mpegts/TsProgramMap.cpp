#include "formats/mpegts/TsProgramMap.h"

#include "ByteOrder.h"
#include "Checksums.h"
#include "TextForms.h"
#include "formats/mpegts/TsLayout.h"
#include "formats/mpegts/TsPacket.h"
#include "formats/mpegts/TsReassembly.h"

#include <algorithm>

namespace corvanta::mpegts {

namespace {

constexpr uint16_t kAtscBasePid = 0x1FFB;

struct FixedPid {
  uint16_t pid;
  PidRole role;
  const char* label;
  const char* word;
  bool sections;
};

// PIDs whose use is fixed (ISO/IEC 13818-1 Table 2-3, the DVB SI PIDs of ETSI EN 300 468, ATSC A/65).
const FixedPid kFixedPids[] = {
    {0x0000, PidRole::Pat, "program association table", "PAT", true},
    {0x0001, PidRole::Cat, "conditional access table", "CAT", true},
    {0x0002, PidRole::Tsdt, "transport stream description table", "TSDT", true},
    {0x0003, PidRole::Ipmp, "IPMP control information", "IPMP", true},
    {0x0010, PidRole::Nit, "DVB NIT", "NIT", true},
    {0x0011, PidRole::SdtBat, "DVB SDT/BAT", "SDT/BAT", true},
    {0x0012, PidRole::Eit, "DVB EIT", "EIT", true},
    {0x0013, PidRole::Rst, "DVB RST", "RST", true},
    {0x0014, PidRole::TdtTot, "DVB TDT/TOT", "TDT/TOT", true},
    {0x001E, PidRole::Dit, "DVB DIT", "DIT", true},
    {0x001F, PidRole::Sit, "DVB SIT", "SIT", true},
    {kAtscBasePid, PidRole::AtscBase, "ATSC PSIP", "PSIP", true},
    {kNullPid, PidRole::Null, "null packet", "null", false},
};

// A private stream's codec, told by a descriptor of its ES_info loop.
struct PrivateCodec {
  uint32_t key;  // descriptor tag, or format_identifier of a registration_descriptor
  const char* name;
  codecs::StreamKind kind;
};

const PrivateCodec kDescriptorCodecs[] = {
    {0x45, "VBI data", codecs::StreamKind::Teletext},    {0x46, "VBI teletext", codecs::StreamKind::Teletext},
    {0x56, "teletext", codecs::StreamKind::Teletext},    {0x59, "DVB subtitles", codecs::StreamKind::Subtitles},
    {0x6A, "AC-3 audio", codecs::StreamKind::Audio},     {0x7A, "E-AC-3 audio", codecs::StreamKind::Audio},
    {0x7B, "DTS audio", codecs::StreamKind::Audio},      {0x7C, "AAC audio", codecs::StreamKind::Audio},
};

const PrivateCodec kRegisteredCodecs[] = {
    {fourCC("AC-3"), "AC-3 audio", codecs::StreamKind::Audio},    {fourCC("EAC3"), "E-AC-3 audio", codecs::StreamKind::Audio},
    {fourCC("DTS1"), "DTS audio", codecs::StreamKind::Audio},     {fourCC("DTS2"), "DTS audio", codecs::StreamKind::Audio},
    {fourCC("DTS3"), "DTS audio", codecs::StreamKind::Audio},     {fourCC("Opus"), "Opus audio", codecs::StreamKind::Audio},
    {fourCC("BSSD"), "SMPTE 302M audio", codecs::StreamKind::Audio}, {fourCC("HEVC"), "H.265 video", codecs::StreamKind::Video},
    {fourCC("VC-1"), "VC-1 video", codecs::StreamKind::Video},    {fourCC("KLVA"), "KLV metadata", codecs::StreamKind::Data},
    {fourCC("ID3 "), "ID3 metadata", codecs::StreamKind::Data},   {fourCC("CUEI"), "SCTE-35 splice information", codecs::StreamKind::Sections},
};

const PrivateCodec* findCodec(const PrivateCodec* begin, const PrivateCodec* end, uint32_t key) {
  const PrivateCodec* found = std::find_if(begin, end, [key](const PrivateCodec& c) { return c.key == key; });
  return found == end ? nullptr : found;
}

// Calls `use(tag, payload, length)` for each descriptor of a loop in [begin, end).
template <class Use>
void forEachDescriptor(const uint8_t* begin, const uint8_t* end, Use&& use) {
  for (const uint8_t* p = begin; end - p >= 2 && end - p - 2 >= p[1]; p += 2 + p[1]) use(p[0], p + 2, int(p[1]));
}

std::string programLabel(const char* what, uint16_t program) {
  std::string out = what;
  out += ", program ";
  appendNumber(out, program);
  return out;
}

// The ATSC table type of a PID in the master guide table (A/65 Table 6.3).
std::string atscTableName(uint16_t type) {
  std::string out;
  if (type <= 0x0001) return type ? "TVCT (next)" : "TVCT";
  if (type <= 0x0003) return type == 3 ? "CVCT (next)" : "CVCT";
  if (type == 0x0004) return "channel ETT";
  if (type == 0x0005) return "DCCSCT";
  if (type >= 0x0100 && type <= 0x017F) {
    out = "EIT-";
    appendNumber(out, type - 0x0100);
  } else if (type >= 0x0200 && type <= 0x027F) {
    out = "event ETT-";
    appendNumber(out, type - 0x0200);
  } else if (type >= 0x0301 && type <= 0x03FF) {
    out = "RRT region ";
    appendNumber(out, type - 0x0300);
  } else if (type >= 0x1400 && type <= 0x14FF) {
    out = "DCCT";
  } else {
    out = "ATSC table type ";
    appendHex(out, type, 4);
  }
  return out;
}

}  // namespace

void ProgramMap::assign(uint16_t pid, PidRole role, uint16_t program, std::string label, std::string word,
                        bool sections) {
  pid &= 0x1FFF;
  if (named[pid]) return;
  named[pid] = true;
  PidInfo& info = pids[pid];
  info.role = role;
  info.program = program;
  info.label = std::move(label);
  info.word = std::move(word);
  info.sections = sections;
}

template <class Use>
void ProgramMap::forEachSection(uint16_t pid, Use&& use) {
  const Reassembler reassembler(data, file_size, *layout);
  SplitUnit unit;
  const int sync_offset = layout->format().sync_offset;
  for (int64_t index = layout->firstOfPid(pid); index >= 0; index = layout->nextOfPid(index)) {
    const int64_t sync = layout->offsetOf(index) + sync_offset;
    if (sync + 4 > file_size) continue;
    const PacketHeader h = PacketHeader::read(data + sync);
    if (!h.unit_start || h.scrambling != 0) continue;
    const PacketBytes bytes = PacketBytes::locate(data, sync, std::min(sync + kTsPacketSize, file_size), h);
    if (bytes.payload_begin >= bytes.end) continue;
    int64_t pos = bytes.payload_begin + 1 + data[bytes.payload_begin];
    while (pos < bytes.end && data[pos] != 0xFF) {
      reassembler.gather(index, pos, bytes.end, Carriage::Section, unit);
      if (unit.pieces.empty()) break;
      const bool long_form = unit.size() >= 3 && (unit.bytes[1] & 0x80);
      if (unit.complete() && long_form && unit.size() >= 12 && crc32Mpeg2(unit.bytes.data(), unit.size()) == 0)
        use(unit.bytes);
      pos += unit.pieces.front().copy_end - unit.pieces.front().copy_begin;
    }
  }
}

void ProgramMap::readPat(const std::vector<uint8_t>& s) {
  if (s[0] != 0x00) return;
  for (size_t i = 8; i + 4 + 4 <= s.size(); i += 4) {
    const uint16_t program = loadBe16(&s[i]);
    const uint16_t pid = loadBe16(&s[i + 2]) & 0x1FFF;
    if (program == 0)
      assign(pid, PidRole::Nit, 0, "network information (program 0)", "NIT", true);
    else
      assign(pid, PidRole::Pmt, program, programLabel("PMT", program), "PMT", true);
  }
}

void ProgramMap::readPmt(const std::vector<uint8_t>& s) {
  if (s[0] != 0x02 || s.size() < 16) return;
  const uint8_t* end = s.data() + s.size() - 4;
  const uint16_t program = loadBe16(&s[3]);
  const uint16_t pcr_pid = loadBe16(&s[8]) & 0x1FFF;
  const int64_t info_length = loadBe16(&s[10]) & 0x0FFF;
  const uint8_t* p = s.data() + 12;
  if (info_length > end - p) return;
  forEachDescriptor(p, p + info_length, [&](uint8_t tag, const uint8_t* d, int length) {
    if (tag == 0x05 && length >= 4 && loadBe32(d) == fourCC("HDMV")) blu_ray = true;
    if (tag == 0x09 && length >= 4)
      assign(loadBe16(d + 2) & 0x1FFF, PidRole::Ecm, program, programLabel("ECM", program), "ECM", true);
  });
  for (p += info_length; end - p >= 5;) {
    const uint8_t type = p[0];
    const uint16_t pid = loadBe16(p + 1) & 0x1FFF;
    const int64_t es_info_length = loadBe16(p + 3) & 0x0FFF;
    const uint8_t* descriptors = p + 5;
    if (es_info_length > end - descriptors) break;
    const codecs::StreamType& line = codecs::streamType(type, blu_ray);
    const char* name = line.name;
    codecs::StreamKind kind = line.kind;
    forEachDescriptor(descriptors, descriptors + es_info_length, [&](uint8_t tag, const uint8_t* d, int length) {
      const PrivateCodec* codec = nullptr;
      if (tag == 0x05 && length >= 4)
        codec = findCodec(std::begin(kRegisteredCodecs), std::end(kRegisteredCodecs), loadBe32(d));
      else if (type == 0x06)
        codec = findCodec(std::begin(kDescriptorCodecs), std::end(kDescriptorCodecs), tag);
      if (codec && (type == 0x06 || type >= 0x80)) {
        name = codec->name;
        kind = codec->kind;
      }
      if (tag == 0x09 && length >= 4)
        assign(loadBe16(d + 2) & 0x1FFF, PidRole::Ecm, program, programLabel("ECM", program), "ECM", true);
    });
    if (!named[pid]) {
      assign(pid, PidRole::Elementary, program, programLabel(name, program), codecs::streamKindWord(kind),
             kind == codecs::StreamKind::Sections);
      pids[pid].stream_type = type;
      pids[pid].kind = kind;
    }
    p = descriptors + es_info_length;
  }
  if (pcr_pid != kNullPid) assign(pcr_pid, PidRole::PcrOnly, program, programLabel("PCR", program), "PCR", false);
}

void ProgramMap::readCat(const std::vector<uint8_t>& s) {
  if (s[0] != 0x01) return;
  forEachDescriptor(s.data() + 8, s.data() + s.size() - 4, [&](uint8_t tag, const uint8_t* d, int length) {
    if (tag != 0x09 || length < 4) return;
    std::string label = "EMM, CA system ";
    appendHex(label, loadBe16(d), 4);
    assign(loadBe16(d + 2) & 0x1FFF, PidRole::Emm, 0, std::move(label), "EMM", true);
  });
}

void ProgramMap::readMgt(const std::vector<uint8_t>& s) {
  if (s[0] != 0xC7 || s.size() < 15) return;
  atsc = true;
  const uint8_t* end = s.data() + s.size() - 4;
  const int tables = loadBe16(&s[9]);
  const uint8_t* p = s.data() + 11;
  for (int i = 0; i < tables && end - p >= 11; ++i) {
    const uint16_t type = loadBe16(p);
    const uint16_t pid = loadBe16(p + 2) & 0x1FFF;
    const int64_t descriptors_length = loadBe16(p + 9) & 0x0FFF;
    if (pid != kAtscBasePid) assign(pid, PidRole::AtscTable, 0, "ATSC " + atscTableName(type), "PSIP", true);
    p += 11 + std::min<int64_t>(descriptors_length, end - p - 11);
  }
}

void ProgramMap::build(const uint8_t* file_data, int64_t size, const PacketLayout& packet_layout, bool m2ts) {
  data = file_data;
  file_size = size;
  layout = &packet_layout;
  blu_ray = m2ts;
  for (const FixedPid& fixed : kFixedPids) {
    PidInfo& info = pids[fixed.pid];
    info.role = fixed.role;
    info.label = fixed.label;
    info.word = fixed.word;
    info.sections = fixed.sections;
  }
  for (uint16_t pid = 0; pid < kPidCount; ++pid)
    if (pids[pid].role == PidRole::Unreferenced) {
      pids[pid].label = "unreferenced";
      pids[pid].word = "unreferenced";
    }

  std::vector<uint16_t> pmt_pids;
  forEachSection(0x0000, [&](const std::vector<uint8_t>& s) { readPat(s); });
  for (uint16_t pid = 0; pid < kPidCount; ++pid)
    if (named[pid] && pids[pid].role == PidRole::Pmt) pmt_pids.push_back(pid);
  for (uint16_t pid : pmt_pids) forEachSection(pid, [&](const std::vector<uint8_t>& s) { readPmt(s); });
  forEachSection(0x0001, [&](const std::vector<uint8_t>& s) { readCat(s); });
  forEachSection(kAtscBasePid, [&](const std::vector<uint8_t>& s) { readMgt(s); });
}

}  // namespace corvanta::mpegts
