#include "LongTsGenerator.h"

#include "PsiSection.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kPacket = 188;
constexpr int kPayload = 184;
constexpr int kPatPid = 0x0000;
constexpr int kSdtPid = 0x0011;
constexpr int kPmtPid = 0x1000;     // + program index
constexpr int kVideoPid = 0x0100;   // + 0x10 * program index
constexpr int kAudioPid = 0x0101;   // + 0x10 * program index
constexpr size_t kBufferPackets = 16384;  // about 3 MB per write

using corvanta::bench::put16;
using corvanta::bench::put32;

// A PTS or DTS with its 4-bit prefix.
void putStamp(uint8_t* out, int prefix, uint64_t value) {
  out[0] = static_cast<uint8_t>((prefix << 4) | ((value >> 29) & 0x0E) | 1);
  out[1] = static_cast<uint8_t>(value >> 22);
  out[2] = static_cast<uint8_t>(((value >> 14) & 0xFE) | 1);
  out[3] = static_cast<uint8_t>(value >> 7);
  out[4] = static_cast<uint8_t>(((value << 1) & 0xFE) | 1);
}

std::string patSection() {
  std::string body;
  for (int p = 0; p < LongTsGenerator::kPrograms; ++p) {
    put16(body, static_cast<uint32_t>(p + 1));
    put16(body, 0xE000u | static_cast<uint32_t>(kPmtPid + p));
  }
  return corvanta::bench::psiSection(0x00, 1, body);
}

std::string pmtSection(int p) {
  std::string body;
  put16(body, 0xE000u | static_cast<uint32_t>(kVideoPid + 0x10 * p));  // PCR_PID
  put16(body, 0xF000u);
  const std::pair<int, int> streams[] = {{0x1B, kVideoPid + 0x10 * p}, {0x0F, kAudioPid + 0x10 * p}};
  for (const auto& [type, pid] : streams) {
    body += static_cast<char>(type);
    put16(body, 0xE000u | static_cast<uint32_t>(pid));
    put16(body, 0xF000u);
  }
  return corvanta::bench::psiSection(0x02, static_cast<uint16_t>(p + 1), body);
}

// A DVB SDT (actual transport stream) naming each service with a service_descriptor.
std::string sdtSection() {
  std::string body;
  put16(body, 1);  // original_network_id
  body += static_cast<char>(0xFF);
  for (int p = 0; p < LongTsGenerator::kPrograms; ++p) {
    const std::string provider = "Corvanta";
    const std::string name = "Service " + std::to_string(p + 1);
    std::string descriptor;
    descriptor += '\x48';
    descriptor += static_cast<char>(3 + provider.size() + name.size());
    descriptor += '\x01';  // digital television service
    descriptor += static_cast<char>(provider.size());
    descriptor += provider;
    descriptor += static_cast<char>(name.size());
    descriptor += name;
    put16(body, static_cast<uint32_t>(p + 1));
    body += static_cast<char>(0xFC);
    put16(body, 0x8000u | static_cast<uint32_t>(descriptor.size()));  // running, not scrambled
    body += descriptor;
  }
  return corvanta::bench::psiSection(0x42, 1, body);
}

// One elementary stream: the PES packet under way and the clock of its frames.
struct Stream {
  int pid = 0;
  bool video = false;
  uint64_t frame = 0;
  int64_t left = 0;      // payload bytes of the current PES packet still to send, 0 between
  bool first = false;    // the next packet starts the PES packet
};

class Composer {
 public:
  explicit Composer(int fd) : fd(fd) {
    buffer.resize(kBufferPackets * kPacket);
    for (int i = 0; i < kPayload; ++i) pattern[i] = static_cast<uint8_t>(0x40 + (i * 37) % 0x80);
    pat = patSection();
    for (int p = 0; p < LongTsGenerator::kPrograms; ++p) pmts.push_back(pmtSection(p));
    sdt = sdtSection();
    for (int p = 0; p < LongTsGenerator::kPrograms; ++p) {
      streams.push_back({kVideoPid + 0x10 * p, true});
      streams.push_back({kAudioPid + 0x10 * p, false});
    }
  }

  bool run(int64_t packets, std::string* error) {
    for (int64_t n = 0; n < packets; ++n) {
      if (n % LongTsGenerator::kTablesEvery == 0) tables = 2 + LongTsGenerator::kPrograms;
      uint8_t* p = next();
      if (tables > 0) {
        const int which = 2 + LongTsGenerator::kPrograms - tables--;
        if (which == 0) sectionPacket(p, kPatPid, pat);
        else if (which <= LongTsGenerator::kPrograms) sectionPacket(p, kPmtPid + which - 1, pmts[size_t(which - 1)]);
        else sectionPacket(p, kSdtPid, sdt);
      } else {
        // Video of each program six times as often as its audio.
        static const int kCycle[] = {0, 2, 4, 0, 2, 4, 1, 0, 2, 4, 0, 2, 4, 3, 0, 2, 4, 0, 2, 4, 5};
        streamPacket(p, streams[size_t(kCycle[cycle])]);
        cycle = (cycle + 1) % int(sizeof kCycle / sizeof kCycle[0]);
      }
      if (used == buffer.size() && !flush(error)) return false;
    }
    return flush(error);
  }

 private:
  uint8_t* next() {
    uint8_t* p = buffer.data() + used;
    used += kPacket;
    return p;
  }

  void header(uint8_t* p, int pid, bool start, int control) {
    uint8_t& counter = continuity[pid];
    counter = static_cast<uint8_t>((counter + 1) & 15);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((start ? 0x40 : 0) | (pid >> 8));
    p[2] = static_cast<uint8_t>(pid);
    p[3] = static_cast<uint8_t>((control << 4) | counter);
  }

  void sectionPacket(uint8_t* p, int pid, const std::string& s) {
    header(p, pid, true, 1);
    p[4] = 0;  // pointer_field
    std::memcpy(p + 5, s.data(), s.size());
    std::memset(p + 5 + s.size(), 0xFF, size_t(kPayload - 1) - s.size());
  }

  // The next packet of a stream; a new PES packet starts when the last one is sent.
  void streamPacket(uint8_t* p, Stream& s) {
    if (s.left == 0) startPes(s);
    uint8_t* at = p + 4;
    size_t room = kPayload;
    const bool pcr = s.first && s.video;
    if (pcr) {
      // adaptation_field_length 7: flags with random_access and PCR, then the PCR.
      const uint64_t base = dts(s) - 9000;
      at[0] = 7;
      at[1] = 0x50;
      at[2] = static_cast<uint8_t>(base >> 25);
      at[3] = static_cast<uint8_t>(base >> 17);
      at[4] = static_cast<uint8_t>(base >> 9);
      at[5] = static_cast<uint8_t>(base >> 1);
      at[6] = static_cast<uint8_t>(((base & 1) << 7) | 0x7E);
      at[7] = 0;
      at += 8;
      room -= 8;
    }
    if (s.left < int64_t(room)) {
      // The last packet of the PES packet: adaptation field stuffing fills it.
      const size_t stuffing = room - size_t(s.left);
      if (pcr) {
        p[4] = static_cast<uint8_t>(p[4] + stuffing);
        std::memset(at, 0xFF, stuffing);
      } else if (stuffing == 1) {
        at[0] = 0;
      } else {
        at[0] = static_cast<uint8_t>(stuffing - 1);
        at[1] = 0;
        std::memset(at + 2, 0xFF, stuffing - 2);
      }
      at += stuffing;
      room = size_t(s.left);
    }
    header(p, s.pid, s.first, at == p + 4 ? 1 : 3);
    size_t written = 0;
    if (s.first) written = pesHeader(at, s);
    std::memcpy(at + written, pattern, room - written);
    s.left -= int64_t(room);
    s.first = false;
  }

  uint64_t dts(const Stream& s) const { return 90000 + s.frame * (s.video ? 3600 : 1920); }

  void startPes(Stream& s) {
    ++s.frame;
    s.first = true;
    // Video PES packets of 8 to 39 transport packets, audio of 2.
    s.left = s.video ? int64_t(8 + (s.frame * 7919) % 32) * kPayload - 8 - 37 : 2 * kPayload - 11;
  }

  // Writes the PES header at `at`; returns its size.
  size_t pesHeader(uint8_t* at, const Stream& s) {
    at[0] = 0;
    at[1] = 0;
    at[2] = 1;
    at[3] = s.video ? 0xE0 : 0xC0;
    const uint64_t length = s.video ? 0 : uint64_t(s.left) - 6;
    at[4] = static_cast<uint8_t>(length >> 8);
    at[5] = static_cast<uint8_t>(length);
    at[6] = 0x80;
    if (s.video) {
      at[7] = 0xC0;
      at[8] = 10;
      putStamp(at + 9, 3, dts(s) + 7200);
      putStamp(at + 14, 1, dts(s));
      return 19;
    }
    at[7] = 0x80;
    at[8] = 5;
    putStamp(at + 9, 2, dts(s));
    return 14;
  }

  bool flush(std::string* error) {
    size_t done = 0;
    while (done < used) {
      const ssize_t n = ::write(fd, buffer.data() + done, used - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        *error = std::string("write failed: ") + std::strerror(errno);
        return false;
      }
      done += size_t(n);
    }
    used = 0;
    return true;
  }

  int fd;
  std::vector<uint8_t> buffer;
  size_t used = 0;
  uint8_t pattern[kPayload];
  uint8_t continuity[0x2000] = {};
  std::string pat, sdt;
  std::vector<std::string> pmts;
  std::vector<Stream> streams;
  int tables = 0;
  int cycle = 0;
};

}  // namespace

bool LongTsGenerator::write(const std::string& path, int64_t bytes, std::string* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  Composer composer(fd);
  const bool written = composer.run(bytes / kPacket, error);
  return ::close(fd) == 0 && written;
}
