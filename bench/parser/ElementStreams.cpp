#include "ElementStreams.h"

#include "ElementWriter.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr int kChunkSamples = 99;
constexpr int kPacketFields = 9;
constexpr int64_t kPacketBits = 188 * 8;

std::string_view format(char (&text)[64], const char* pattern, long long value) {
  const int length = std::snprintf(text, sizeof text, pattern, value);
  return {text, static_cast<size_t>(length)};
}

// Most packets carry video; tables and audio come between them, as in a broadcast.
int packetPid(int64_t packet) {
  switch (packet % 40) {
    case 0: return 0x0000;
    case 1: return 0x1000;
    case 7: case 19: case 31: return 0x0101;
    default: return 0x0100;
  }
}

}  // namespace

void writeSampleTableStream(corvanta::ElementWriter& writer, int64_t elements) {
  char text[64];
  int64_t bit = 0;
  for (int64_t id = 1; id <= elements; ++id) {
    const int64_t position = (id - 1) % (kChunkSamples + 1);
    if (position == 0) {
      if (id > 1)
        writer.closeUnit();
      writer.openUnit("chunk", bit, int64_t{8} * 40 * kChunkSamples,
                      format(text, "chunk %lld", id / (kChunkSamples + 1) + 1));
      continue;
    }
    const int64_t size = 8 * (24 + (id * 7919) % 17);
    writer.addField("sample", bit, size, format(text, "%lld bytes", size / 8), {}, position);
    bit += 8 * 40;
  }
  writer.closeUnit();
}

void writeWideUnit(corvanta::ElementWriter& writer, int64_t first_bit, int64_t children) {
  char text[64];
  writer.openUnit("wide", first_bit, children * 64, format(text, "%lld entries", children));
  for (int64_t i = 0; i < children; ++i)
    writer.addField("entry", first_bit + i * 64, 64, format(text, "%lld", i * 7919 % 100003), {}, i + 1);
  writer.closeUnit();
}

void writeTransportStream(corvanta::ElementWriter& writer, int64_t elements) {
  char summary[64];
  char pid_text[64];
  char cc_text[64];
  int continuity[0x2000] = {};
  for (int64_t packet = 0; packet * (kPacketFields + 1) < elements; ++packet) {
    const int64_t bit = packet * kPacketBits;
    const int pid = packetPid(packet);
    const int cc = continuity[pid]++ & 15;
    const bool start = packet % 11 == 2;
    std::snprintf(summary, sizeof summary, "PID 0x%04X%s, cc %d", pid, start ? ", PUSI" : "", cc);
    writer.openUnit("packet", bit, kPacketBits, summary, {}, packet);
    writer.addField("sync_byte", bit, 8, "0x47");
    writer.addField("transport_error_indicator", bit + 8, 1, "0");
    writer.addField("payload_unit_start_indicator", bit + 9, 1, start ? "1" : "0");
    writer.addField("transport_priority", bit + 10, 1, "0");
    writer.addField("PID", bit + 11, 13, format(pid_text, "%lld", pid));
    writer.addField("transport_scrambling_control", bit + 24, 2, "0");
    writer.addField("adaptation_field_control", bit + 26, 2, "1");
    writer.addField("continuity_counter", bit + 28, 4, format(cc_text, "%lld", cc));
    writer.addField("payload", bit + 32, kPacketBits - 32, "184 bytes");
    writer.closeUnit();
  }
}
