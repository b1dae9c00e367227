#include "formats/mpegps/PsHeaders.h"

#include "Checksums.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "codecs/PesHeader.h"
#include "codecs/StreamTypes.h"

namespace corvanta::mpegps {

namespace {

constexpr uint32_t kSystemClock = 27000000;
constexpr uint32_t kPtsClock = 90000;

void markerBit(FieldReader& f) {
  f.u("marker_bit", 1, f.has(1) && f.peek(1) == 1 ? std::string_view() : std::string_view("should be 1"));
}

void constantBits(FieldReader& f, std::string_view name, int bits, uint64_t expected) {
  f.u(name, bits, f.has(bits) && f.peek(bits) == expected ? std::string_view() : std::string_view("unexpected value"));
}

void startCode(FieldReader& f, std::string_view name) {
  if (!f.need(32)) return;
  f.text(name, 32, hexText(f.peek(32), 8));
}

std::string rateText(uint64_t units) {
  return numberText(units * 50) + " bytes/s";
}

// SCR_base in three parts with their marker bits; returns the base.
uint64_t scrBase(FieldReader& f) {
  const uint64_t high = f.u("system_clock_reference_base[32..30]", 3);
  markerBit(f);
  const uint64_t middle = f.u("system_clock_reference_base[29..15]", 15);
  markerBit(f);
  const uint64_t low = f.u("system_clock_reference_base[14..0]", 15);
  markerBit(f);
  return (high << 30) | (middle << 15) | low;
}

// The system clock reference of an MPEG-2 pack (base and extension, 27 MHz) or of an MPEG-1
// pack (base only, 90 kHz), as one unit whose value is the clock in its own ticks.
uint64_t scr(FieldReader& f, bool mpeg1) {
  const int bits = mpeg1 ? 36 : 46;
  if (!f.need(bits)) return 0;
  const uint64_t raw = f.peek(bits);
  const uint64_t tail = mpeg1 ? raw : raw >> 10;
  const uint64_t base = (((tail >> 33) & 7) << 30) | (((tail >> 17) & 0x7fff) << 15) | ((tail >> 1) & 0x7fff);
  const uint64_t value = mpeg1 ? base : base * 300 + ((raw >> 1) & 0x1ff);
  FieldUnit unit(f, "system_clock_reference", -1, numberText(value),
                 mpeg1 ? secondsText(int64_t(value), kPtsClock) : secondsText(int64_t(value), kSystemClock));
  scrBase(f);
  if (!mpeg1) {
    f.u("system_clock_reference_extension", 9);
    markerBit(f);
  }
  return value;
}

void descriptors(FieldReader& f, uint64_t length) {
  FieldReader loop = f.sub(int64_t(length));
  int64_t index = 0;
  while (loop.ok() && loop.bytesLeft() >= 2) {
    const int64_t size = 2 + int64_t(loop.fileData()[loop.bytePos() + 1]);
    FieldUnit unit(loop, "descriptor", index++);
    loop.text("descriptor_tag", 8, hexText(loop.peek(8), 2));
    loop.u("descriptor_length", 8);
    loop.bytes("descriptor_data", std::min(size - 2, loop.bytesLeft()));
  }
  loop.rest("descriptor bytes", "cut short");
  f.skipPast(loop);
}

}  // namespace

std::string packHeader(FieldReader& f) {
  startCode(f, "pack_start_code");
  const bool mpeg1 = !f.has(2) || f.peek(2) != 1;
  std::string summary = mpeg1 ? "MPEG-1" : "MPEG-2";
  if (mpeg1)
    constantBits(f, "'0010'", 4, 2);
  else
    constantBits(f, "'01'", 2, 1);
  const uint64_t clock = scr(f, mpeg1);
  if (mpeg1) markerBit(f);
  const uint64_t rate = f.uh("program_mux_rate", 22, rateText);
  markerBit(f);
  if (!f.ok()) return summary + ", cut short";
  summary += ", SCR ";
  appendSeconds(summary, int64_t(clock), mpeg1 ? kPtsClock : kSystemClock);
  summary += ", " + rateText(rate);
  if (mpeg1) return summary;
  markerBit(f);
  f.u("reserved", 5);
  const uint64_t stuffing = f.u("pack_stuffing_length", 3);
  if (stuffing) f.bytes("stuffing_byte", int64_t(stuffing));
  return summary;
}

std::string systemHeader(FieldReader& f) {
  startCode(f, "system_header_start_code");
  const uint64_t length = f.uh("header_length", 16, [](uint64_t v) { return numberText(v) + " bytes follow"; });
  FieldReader body = f.sub(int64_t(length));
  markerBit(body);
  body.uh("rate_bound", 22, rateText);
  markerBit(body);
  const uint64_t audio = body.u("audio_bound", 6);
  body.u("fixed_flag", 1);
  body.u("CSPS_flag", 1);
  body.u("system_audio_lock_flag", 1);
  body.u("system_video_lock_flag", 1);
  markerBit(body);
  const uint64_t video = body.u("video_bound", 5);
  body.u("packet_rate_restriction_flag", 1);
  body.u("reserved_bits", 7);
  int64_t streams = 0;
  while (body.has(24) && body.peek(1) == 1) {
    const uint8_t id = uint8_t(body.peek(8));
    FieldUnit unit(body, "stream", streams++, hexText(id, 2), codecs::streamIdName(id));
    body.text("stream_id", 8, hexText(id, 2), codecs::streamIdName(id));
    constantBits(body, "'11'", 2, 3);
    const uint64_t scale = body.u("P-STD_buffer_bound_scale", 1);
    body.uh("P-STD_buffer_size_bound", 13,
            [scale](uint64_t v) { return numberText(v * (scale ? 1024 : 128)) + " bytes"; });
  }
  body.rest("reserved");
  f.skipPast(body);
  return numberText(audio) + " audio, " + numberText(video) + " video, " + numberText(uint64_t(streams)) +
         (streams == 1 ? " stream bound" : " stream bounds");
}

std::string programStreamMap(FieldReader& f, const uint8_t* packet, int64_t packet_size) {
  f.uh("current_next_indicator", 1, [](uint64_t v) { return std::string(v ? "current" : "next"); });
  f.u("single_extension_stream_flag", 1);
  f.u("reserved", 1);
  const uint64_t version = f.u("program_stream_map_version", 5);
  f.u("reserved", 7);
  markerBit(f);
  descriptors(f, f.u("program_stream_info_length", 16));
  const uint64_t map_length = f.u("elementary_stream_map_length", 16);
  FieldReader map = f.sub(int64_t(map_length));
  int64_t streams = 0;
  while (map.ok() && map.bytesLeft() >= 4) {
    const uint8_t type = uint8_t(map.peek(8));
    const auto& known = codecs::streamType(type);
    FieldUnit unit(map, "elementary_stream", streams++, hexText(map.fileData()[map.bytePos() + 1], 2), known.name);
    map.text("stream_type", 8, hexText(type, 2), known.name);
    const uint8_t id = uint8_t(map.peek(8));
    map.text("elementary_stream_id", 8, hexText(id, 2), codecs::streamIdName(id));
    descriptors(map, map.u("elementary_stream_info_length", 16));
  }
  map.rest("elementary stream map bytes", "cut short");
  f.skipPast(map);
  std::string summary = "version " + numberText(version) + ", " + numberText(uint64_t(streams)) +
                        (streams == 1 ? " stream" : " streams");
  if (f.has(32)) {
    const int64_t crc_end = f.bytePos() + 4 - (packet - f.fileData());
    const bool good = crc_end <= packet_size && crc32Mpeg2(packet, crc_end) == 0;
    f.text("CRC_32", 32, hexText(f.peek(32), 8), good ? "ok" : "wrong");
    summary += good ? ", CRC ok" : ", CRC wrong";
  }
  f.rest("data after CRC_32");
  return summary;
}

std::string programStreamDirectory(FieldReader& f) {
  const uint64_t units = f.u("number_of_access_units", 15);
  markerBit(f);
  for (const char* name : {"prev_directory_offset", "next_directory_offset"}) {
    if (!f.need(48)) break;
    const uint64_t raw = f.peek(48);
    const uint64_t value = (((raw >> 33) & 0x7fff) << 30) | (((raw >> 17) & 0x7fff) << 15) | ((raw >> 1) & 0x7fff);
    FieldUnit unit(f, name, -1, numberText(value));
    for (const char* part : {"[44..30]", "[29..15]", "[14..0]"}) {
      f.u(std::string(name) + part, 15);
      markerBit(f);
    }
  }
  for (uint64_t i = 0; i < units && f.has(18 * 8); ++i) {
    FieldUnit unit(f, "access_unit", int64_t(i));
    const uint8_t id = uint8_t(f.peek(8));
    f.text("packet_stream_id", 8, hexText(id, 2), codecs::streamIdName(id));
    f.uh("PES_header_position_offset_sign", 1, [](uint64_t v) { return std::string(v ? "backwards" : "forwards"); });
    f.u("PES_header_position_offset[43..30]", 14);
    markerBit(f);
    f.u("PES_header_position_offset[29..15]", 15);
    markerBit(f);
    f.u("PES_header_position_offset[14..0]", 15);
    markerBit(f);
    f.u("reference_offset", 16);
    markerBit(f);
    f.u("reserved", 3);
    static const codecs::TimeStampNames kPts = {"PTS", {"PTS[32..30]", "PTS[29..15]", "PTS[14..0]"}};
    codecs::timeStamp(f, kPts);
    f.u("bytes_to_read[22..8]", 15);
    markerBit(f);
    f.u("bytes_to_read[7..0]", 8);
    markerBit(f);
    f.u("intra_coded_indicator", 1);
    f.u("coding_parameters_indicator", 2);
    f.u("reserved", 4);
  }
  f.rest("data");
  return numberText(units) + " access units";
}

}  // namespace corvanta::mpegps
