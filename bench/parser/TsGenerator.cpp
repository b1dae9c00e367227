#include "TsGenerator.h"

#include "PsiSection.h"

#include <QFile>

#include <string>

namespace {

constexpr int kVideoPid = 0x100;
constexpr int kAudioPid = 0x101;
constexpr int kPmtPid = 0x1000;
constexpr int kTablesEvery = 100;  // packets
constexpr int kPayload = 184;

using corvanta::bench::put16;
using corvanta::bench::put32;

// A PTS or DTS with its 4-bit prefix.
void putStamp(std::string& out, int prefix, uint64_t value) {
  out += static_cast<char>((prefix << 4) | ((value >> 29) & 0x0E) | 1);
  put16(out, static_cast<uint32_t>(((value >> 14) & 0xFFFE) | 1));
  put16(out, static_cast<uint32_t>(((value << 1) & 0xFFFE) | 1));
}

class Writer {
 public:
  explicit Writer(int64_t packets) : left(packets) {}

  bool done() const { return left <= 0; }

  // One packet: an adaptation field of `adaptation` (after its length byte, stuffed to fill the
  // packet when `payload` is shorter than the room), then the payload.
  void packet(int pid, bool start, const std::string& adaptation, bool with_adaptation, const char* payload,
              size_t payload_size) {
    if (done())
      return;
    --left;
    int& counter = continuity[pid & 0x1FFF];
    counter = (counter + 1) & 15;
    const int control = (with_adaptation ? 2 : 0) | 1;
    out += '\x47';
    put16(out, (start ? 0x4000u : 0u) | static_cast<uint32_t>(pid));
    out += static_cast<char>((control << 4) | counter);
    if (with_adaptation) {
      const size_t length = kPayload - 1 - payload_size;
      out += static_cast<char>(length);
      if (length > 0) {
        out += adaptation.empty() ? std::string(1, '\0') : adaptation;
        const size_t used = adaptation.empty() ? 1 : adaptation.size();
        out.append(length - used, static_cast<char>(0xFF));
      }
    }
    out.append(payload, payload_size);
  }

  // A PES packet over as many packets as it takes; `first_adaptation` goes into the first.
  void pes(int pid, const std::string& pes, const std::string& first_adaptation) {
    size_t pos = 0;
    bool first = true;
    while (pos < pes.size() && !done()) {
      const bool adaptation = first && !first_adaptation.empty();
      size_t room = kPayload - (adaptation ? 1 + first_adaptation.size() : 0);
      const size_t left_bytes = pes.size() - pos;
      if (left_bytes < room) {
        packet(pid, first, first ? first_adaptation : std::string(), true, pes.data() + pos, left_bytes);
        return;
      }
      packet(pid, first, first_adaptation, adaptation, pes.data() + pos, room);
      pos += room;
      first = false;
    }
  }

  void sections(int pid, const std::string& s) {
    std::string payload(1, '\0');
    payload += s;
    payload.resize(kPayload, static_cast<char>(0xFF));
    packet(pid, true, std::string(), false, payload.data(), payload.size());
  }

  std::string out;

 private:
  int64_t left;
  int continuity[0x2000] = {};
};

}  // namespace

bool TsGenerator::write(const QString& path) const {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    return false;
  std::string pat_body;
  put16(pat_body, 1);
  put16(pat_body, 0xE000u | kPmtPid);
  const std::string pat = corvanta::bench::psiSection(0x00, 1, pat_body);
  std::string pmt_body;
  put16(pmt_body, 0xE000u | kVideoPid);
  put16(pmt_body, 0xF000u);
  for (const auto& [type, pid] : {std::pair<int, int>{0x1B, kVideoPid}, {0x0F, kAudioPid}}) {
    pmt_body += static_cast<char>(type);
    put16(pmt_body, 0xE000u | static_cast<uint32_t>(pid));
    put16(pmt_body, 0xF000u);
  }
  const std::string pmt = corvanta::bench::psiSection(0x02, 1, pmt_body);

  Writer w(packet_count);
  int64_t since_tables = kTablesEvery;
  for (int64_t frame = 0; !w.done(); ++frame) {
    if (since_tables >= kTablesEvery) {
      w.sections(0, pat);
      w.sections(kPmtPid, pmt);
      since_tables = 2;
    }
    // Video: PTS and DTS of 25 frames a second, a PCR in the first packet.
    const uint64_t dts = 90000 + static_cast<uint64_t>(frame) * 3600;
    std::string pes("\0\0\1\xE0\0\0\x80\xC0\x0A", 9);
    putStamp(pes, 3, dts + 7200);
    putStamp(pes, 1, dts);
    const int packets = 10 + static_cast<int>((frame * 7919) % 50);
    pes.append(static_cast<size_t>(packets) * kPayload - 8 - pes.size() - 100, static_cast<char>(0x65));
    std::string pcr;
    const uint64_t base = dts - 9000;
    pcr += '\x10';
    put32(pcr, static_cast<uint32_t>(base >> 1));
    put16(pcr, static_cast<uint32_t>(((base & 1) << 15) | 0x7E00));
    w.pes(kVideoPid, pes, pcr);
    // Audio: two packets with a PTS.
    std::string audio("\0\0\1\xC0\0\0\x80\x80\x05", 9);
    putStamp(audio, 2, dts);
    audio.append(300, static_cast<char>(0x21));
    const size_t length = audio.size() - 6;
    audio[4] = static_cast<char>(length >> 8);
    audio[5] = static_cast<char>(length);
    w.pes(kAudioPid, audio, std::string());
    since_tables += packets + 2;
    if (w.out.size() >= (size_t{8} << 20)) {
      if (file.write(w.out.data(), static_cast<qint64>(w.out.size())) != static_cast<qint64>(w.out.size()))
        return false;
      w.out.clear();
    }
  }
  return file.write(w.out.data(), static_cast<qint64>(w.out.size())) == static_cast<qint64>(w.out.size());
}
