#include "codecs/PesHeader.h"

#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"

#include <string_view>

namespace corvanta::codecs {

namespace {

constexpr uint32_t kSystemClock = 27000000;
constexpr uint32_t kPtsClock = 90000;
constexpr int kMaxMpeg1Stuffing = 16;

const ValueName kStreamIds[] = {
    {0xBC, "program_stream_map"}, {0xBD, "private_stream_1"}, {0xBE, "padding_stream"},
    {0xBF, "private_stream_2"},   {0xF0, "ECM_stream"},       {0xF1, "EMM_stream"},
    {0xF2, "DSMCC_stream"},       {0xF3, "ISO/IEC 13522 stream"},
    {0xF4, "H.222.1 type A"},     {0xF5, "H.222.1 type B"},   {0xF6, "H.222.1 type C"},
    {0xF7, "H.222.1 type D"},     {0xF8, "H.222.1 type E"},   {0xF9, "ancillary_stream"},
    {0xFA, "SL-packetized stream"}, {0xFB, "FlexMux stream"}, {0xFC, "metadata stream"},
    {0xFD, "extended_stream_id"}, {0xFE, "reserved data stream"}, {0xFF, "program_stream_directory"},
};

const ValueName kScramblingControl[] = {{0, "not scrambled"}, {1, "user-defined"}, {2, "user-defined"}, {3, "user-defined"}};
const ValueName kPtsDtsFlags[] = {{0, "no PTS or DTS"}, {1, "forbidden"}, {2, "PTS only"}, {3, "PTS and DTS"}};
const ValueName kTrickModes[] = {{0, "fast forward"}, {1, "slow motion"}, {2, "freeze frame"},
                                 {3, "fast reverse"}, {4, "slow reverse"}};
const ValueName kFieldIds[] = {{0, "top field only"}, {1, "bottom field only"}, {2, "complete frame"}, {3, "reserved"}};

void markerBit(FieldReader& f) {
  f.u("marker_bit", 1, f.peek(1) == 1 ? std::string_view() : std::string_view("should be 1"));
}

void constantBits(FieldReader& f, std::string_view name, int bits, uint64_t expected) {
  f.u(name, bits, f.peek(bits) == expected ? std::string_view() : std::string_view("unexpected value"));
}

const TimeStampNames kPts = {"PTS", {"PTS[32..30]", "PTS[29..15]", "PTS[14..0]"}};
const TimeStampNames kDts = {"DTS", {"DTS[32..30]", "DTS[29..15]", "DTS[14..0]"}};
const TimeStampNames kTref = {"TREF", {"TREF[32..30]", "TREF[29..15]", "TREF[14..0]"}};

// The 36 bits of the three parts with their marker bits.
uint64_t stampParts(FieldReader& f, const TimeStampNames& names) {
  const uint64_t high = f.u(names.parts[0], 3);
  markerBit(f);
  const uint64_t middle = f.u(names.parts[1], 15);
  markerBit(f);
  const uint64_t low = f.u(names.parts[2], 15);
  markerBit(f);
  return (high << 30) | (middle << 15) | low;
}

void escr(FieldReader& f) {
  if (!f.need(48)) return;
  const uint64_t raw = f.peek(48);
  const uint64_t base = (((raw >> 43) & 7) << 30) | (((raw >> 27) & 0x7fff) << 15) | ((raw >> 11) & 0x7fff);
  const uint64_t value = base * 300 + ((raw >> 1) & 0x1ff);
  FieldUnit unit(f, "ESCR");
  f.u("reserved", 2);
  static const TimeStampNames kBase = {"ESCR", {"ESCR_base[32..30]", "ESCR_base[29..15]", "ESCR_base[14..0]"}};
  stampParts(f, kBase);
  f.u("ESCR_extension", 9);
  markerBit(f);
  unit.setSummary(numberText(value), secondsText(int64_t(value), kSystemClock));
}

void trickMode(FieldReader& f) {
  const uint64_t control = f.uh("trick_mode_control", 3, [](uint64_t v) {
    const char* name = nameOf(kTrickModes, v);
    return std::string(name ? name : "reserved");
  });
  if (control == 0 || control == 3) {
    f.uh("field_id", 2, [](uint64_t v) { return nameText(kFieldIds, v); });
    f.u("intra_slice_refresh", 1);
    f.u("frequency_truncation", 2);
  } else if (control == 1 || control == 4) {
    f.u("rep_cntrl", 5);
  } else if (control == 2) {
    f.uh("field_id", 2, [](uint64_t v) { return nameText(kFieldIds, v); });
    f.u("reserved", 3);
  } else {
    f.u("reserved", 5);
  }
}

void extension(FieldReader& f) {
  FieldUnit unit(f, "PES_extension");
  const bool private_data = f.flag("PES_private_data_flag");
  const bool pack_header = f.flag("pack_header_field_flag");
  const bool sequence_counter = f.flag("program_packet_sequence_counter_flag");
  const bool p_std = f.flag("P-STD_buffer_flag");
  f.u("reserved", 3);
  const bool extension_2 = f.flag("PES_extension_flag_2");
  if (private_data) f.bytes("PES_private_data", 16);
  if (pack_header) {
    const uint64_t length = f.u("pack_field_length", 8);
    f.bytes("pack_header", int64_t(length));
  }
  if (sequence_counter) {
    markerBit(f);
    f.u("program_packet_sequence_counter", 7);
    markerBit(f);
    f.uh("MPEG1_MPEG2_identifier", 1, [](uint64_t v) { return std::string(v ? "MPEG-1" : "MPEG-2"); });
    f.u("original_stuff_length", 6);
  }
  if (p_std) {
    constantBits(f, "'01'", 2, 1);
    const uint64_t scale = f.u("P-STD_buffer_scale", 1);
    f.uh("P-STD_buffer_size", 13, [scale](uint64_t v) { return numberText(v * (scale ? 1024 : 128)) + " bytes"; });
  }
  if (extension_2) {
    markerBit(f);
    const uint64_t length = f.u("PES_extension_field_length", 7);
    FieldReader field = f.sub(int64_t(length));
    const bool id_extension_flag = field.flag("stream_id_extension_flag");
    if (!id_extension_flag) {
      field.u("stream_id_extension", 7);
    } else {
      field.u("reserved", 6);
      const bool tref_extension_flag = field.flag("tref_extension_flag");
      if (!tref_extension_flag) {
        field.u("reserved", 4);
        timeStamp(field, kTref);
      }
    }
    field.rest("reserved");
    f.skipPast(field);
  }
}

// The fields the PTS_DTS_flags and the other flags announce, inside PES_header_data_length.
void optionalFields(FieldReader& f, uint64_t pts_dts, bool escr_flag, bool rate_flag, bool trick_flag,
                    bool copy_flag, bool crc_flag, bool extension_flag, PesHeaderInfo& info) {
  if (pts_dts == 2 || pts_dts == 3) {
    info.pts = timeStamp(f, kPts, pts_dts == 3 ? "'0011'" : "'0010'", 4, pts_dts);
    info.has_pts = f.ok();
  }
  if (pts_dts == 3) {
    info.dts = timeStamp(f, kDts, "'0001'", 4, 1);
    info.has_dts = f.ok();
  }
  if (escr_flag) escr(f);
  if (rate_flag) {
    markerBit(f);
    f.uh("ES_rate", 22, [](uint64_t v) { return numberText(v * 50) + " bytes/s"; });
    markerBit(f);
  }
  if (trick_flag) trickMode(f);
  if (copy_flag) {
    markerBit(f);
    f.u("additional_copy_info", 7);
  }
  if (crc_flag) f.u("previous_PES_packet_CRC", 16);
  if (extension_flag) extension(f);
}

void mpeg2Header(FieldReader& f, PesHeaderInfo& info) {
  constantBits(f, "'10'", 2, 2);
  f.uh("PES_scrambling_control", 2, [](uint64_t v) { return nameText(kScramblingControl, v); });
  f.u("PES_priority", 1);
  f.uh("data_alignment_indicator", 1, [](uint64_t v) { return std::string(v ? "aligned" : ""); });
  f.u("copyright", 1);
  f.uh("original_or_copy", 1, [](uint64_t v) { return std::string(v ? "original" : "copy"); });
  const uint64_t pts_dts = f.uh("PTS_DTS_flags", 2, [](uint64_t v) { return nameText(kPtsDtsFlags, v); });
  const bool escr_flag = f.flag("ESCR_flag");
  const bool rate_flag = f.flag("ES_rate_flag");
  const bool trick_flag = f.flag("DSM_trick_mode_flag");
  const bool copy_flag = f.flag("additional_copy_info_flag");
  const bool crc_flag = f.flag("PES_CRC_flag");
  const bool extension_flag = f.flag("PES_extension_flag");
  const uint64_t header_length = f.u("PES_header_data_length", 8);
  if (!f.ok()) return;
  FieldReader data = f.sub(int64_t(header_length));
  const bool fits = data.endBit() - data.bitPos() == int64_t(header_length) * 8;
  optionalFields(data, pts_dts, escr_flag, rate_flag, trick_flag, copy_flag, crc_flag, extension_flag, info);
  const bool fields_read = data.ok();
  if (!fields_read) {
    data.recover();
    data.rest("PES_header_data", "the flagged fields run past PES_header_data_length");
  } else {
    data.rest("stuffing_byte");
  }
  f.skipPast(data);
  info.complete = fields_read && fits;
}

void mpeg1Header(FieldReader& f, PesHeaderInfo& info) {
  int64_t stuffing = 0;
  while (stuffing < kMaxMpeg1Stuffing && f.has(8 * (stuffing + 1)) &&
         f.fileData()[f.bytePos() + stuffing] == 0xFF)
    ++stuffing;
  if (stuffing) f.bytes("stuffing_byte", stuffing);
  if (f.has(8) && (f.peek(8) >> 6) == 1) {
    constantBits(f, "'01'", 2, 1);
    const uint64_t scale = f.u("STD_buffer_scale", 1);
    f.uh("STD_buffer_size", 13, [scale](uint64_t v) { return numberText(v * (scale ? 1024 : 128)) + " bytes"; });
  }
  if (!f.has(8)) return;
  const uint64_t flags = f.peek(4);
  if (flags == 2 || flags == 3) {
    info.pts = timeStamp(f, kPts, flags == 3 ? "'0011'" : "'0010'", 4, flags);
    info.has_pts = f.ok();
    if (flags == 3) {
      info.dts = timeStamp(f, kDts, "'0001'", 4, 1);
      info.has_dts = f.ok();
    }
  } else {
    constantBits(f, "'00001111'", 8, 0x0F);
  }
}

}  // namespace

uint64_t timeStamp(FieldReader& f, const TimeStampNames& names, const char* prefix_name, int prefix_bits,
                   uint64_t prefix) {
  if (!f.need(prefix_bits + 36)) return 0;
  const uint64_t raw = f.peek(prefix_bits + 36);
  const uint64_t value = (((raw >> 33) & 7) << 30) | (((raw >> 17) & 0x7fff) << 15) | ((raw >> 1) & 0x7fff);
  FieldUnit unit(f, names.unit, -1, numberText(value), secondsText(int64_t(value), kPtsClock));
  if (prefix_bits > 0) constantBits(f, prefix_name, prefix_bits, prefix);
  stampParts(f, names);
  return value;
}

bool hasOptionalPesHeader(uint8_t stream_id) {
  switch (stream_id) {
    case 0xBC: case 0xBE: case 0xBF: case 0xF0: case 0xF1: case 0xF2: case 0xF8: case 0xFF:
      return false;
    default:
      return true;
  }
}

std::string streamIdName(uint8_t stream_id) {
  if (stream_id >= 0xC0 && stream_id <= 0xDF) return "audio stream " + numberText(stream_id & 0x1F);
  if (stream_id >= 0xE0 && stream_id <= 0xEF) return "video stream " + numberText(stream_id & 0x0F);
  const char* name = nameOf(kStreamIds, stream_id);
  return name ? name : "not a stream_id";
}

int64_t pesHeaderLength(const uint8_t* p, int64_t available, bool mpeg1_allowed) {
  static const uint8_t kPrefix[3] = {0, 0, 1};
  for (int64_t i = 0; i < available && i < 3; ++i)
    if (p[i] != kPrefix[i]) return 0;
  if (available < 6) return 6;
  if (!hasOptionalPesHeader(p[3])) return 6;
  if (available < 7) return 7;
  if (!mpeg1_allowed || (p[6] >> 6) == 2) return available < 9 ? 9 : 9 + int64_t(p[8]);
  // MPEG-1: stuffing, an optional STD buffer field, then the time stamp flags.
  int64_t i = 6;
  while (i < available && i < 6 + kMaxMpeg1Stuffing && p[i] == 0xFF) ++i;
  if (i >= available) return i + 1;
  if ((p[i] >> 6) == 1) {
    i += 2;
    if (i >= available) return i + 1;
  }
  switch (p[i] >> 4) {
    case 2: return i + 5;
    case 3: return i + 10;
    default: return i + 1;
  }
}

PesHeaderInfo pesHeader(FieldReader& f, bool mpeg1_allowed) {
  PesHeaderInfo info;
  if (!f.need(48)) return info;
  f.text("packet_start_code_prefix", 24, hexText(f.peek(24), 6), f.peek(24) == 1 ? "" : "not a start code");
  info.stream_id = uint8_t(f.peek(8));
  f.text("stream_id", 8, hexText(info.stream_id, 2), streamIdName(info.stream_id));
  info.packet_length = f.uh("PES_packet_length", 16, [](uint64_t v) {
    return v == 0 ? std::string("not specified") : numberText(v) + " bytes follow";
  });
  if (!hasOptionalPesHeader(info.stream_id)) {
    info.complete = f.ok();
    return info;
  }
  if (!f.has(8)) return info;
  info.mpeg1 = mpeg1_allowed && (f.peek(2) != 2);
  if (info.mpeg1) {
    mpeg1Header(f, info);
    info.complete = f.ok();
  } else {
    mpeg2Header(f, info);
  }
  return info;
}

std::string pesHeaderSummary(const PesHeaderInfo& info) {
  std::string out = "stream ";
  appendHex(out, info.stream_id, 2);
  if (info.has_pts) {
    out += ", PTS ";
    appendSeconds(out, int64_t(info.pts), kPtsClock);
  }
  if (info.has_dts) {
    out += ", DTS ";
    appendSeconds(out, int64_t(info.dts), kPtsClock);
  }
  return out;
}

}  // namespace corvanta::codecs
