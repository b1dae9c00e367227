#include "codecs/FlacFrame.h"

#include "Checksums.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"

#include <algorithm>

namespace corvanta::codecs {

namespace {

enum SubframeKind { kConstant, kVerbatim, kFixed, kLpc, kReserved };

constexpr int kLeftSide = 8, kSideRight = 9, kMidSide = 10;

SubframeKind subframeKind(int type_code) {
  if (type_code == 0) return kConstant;
  if (type_code == 1) return kVerbatim;
  if (type_code >= 8 && type_code <= 12) return kFixed;
  if (type_code >= 32) return kLpc;
  return kReserved;
}

// A bounded cursor over the bits of one frame, most significant bit first. A read past the end
// fails for good and leaves the cursor at the end.
class BitCursor {
 public:
  BitCursor(const uint8_t* data, int64_t bytes) : p(data), end(bytes * 8) {}
  bool ok() const { return good; }
  int64_t pos() const { return at; }
  void seek(int64_t bit) { at = bit; }

  uint64_t read(int bits) {
    if (bits <= 0) return 0;
    if (!good || end - at < bits) return failed();
    uint64_t value = 0;
    while (bits > 0) {
      const int offset = int(at & 7);
      const int take = std::min(8 - offset, bits);
      value = (value << take) | ((p[at >> 3] >> (8 - offset - take)) & ((1u << take) - 1));
      at += take;
      bits -= take;
    }
    return value;
  }
  int64_t readSigned(int bits) {
    const uint64_t raw = read(bits);
    if (bits <= 0 || bits >= 64) return int64_t(raw);
    return (raw >> (bits - 1)) & 1 ? int64_t(raw | (~uint64_t(0) << bits)) : int64_t(raw);
  }
  void skip(int64_t bits) {
    if (!good || bits < 0 || end - at < bits) {
      failed();
      return;
    }
    at += bits;
  }
  // The zeros before the next one bit, which is read too.
  int64_t unary() {
    int64_t zeros = 0;
    while (good) {
      if (at >= end) return int64_t(failed());
      const int offset = int(at & 7);
      const uint32_t rest = (p[at >> 3] << offset) & 0xffu;
      if (rest == 0) {
        zeros += 8 - offset;
        at += 8 - offset;
        continue;
      }
      const int leading = __builtin_clz(rest) - 24;
      zeros += leading;
      at += leading + 1;
      return zeros;
    }
    return 0;
  }

 private:
  uint64_t failed() {
    good = false;
    at = end;
    return 0;
  }
  const uint8_t* p;
  int64_t end;
  int64_t at = 0;
  bool good = true;
};

uint32_t blockSizeOfCode(int code) {
  if (code == 1) return 192;
  if (code >= 2 && code <= 5) return 576u << (code - 2);
  if (code >= 8) return 256u << (code - 8);
  return 0;
}

const uint32_t kSampleRates[12] = {0, 88200, 176400, 192000, 8000, 16000, 22050, 24000, 32000, 44100, 48000, 96000};
const int kSampleSizes[8] = {0, 8, 12, 0, 16, 20, 24, 32};

// Bytes of the UTF-8-like coded number whose first byte is `lead`; 0 when it cannot start one.
int codedNumberBytes(uint8_t lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xe0) == 0xc0) return 2;
  if ((lead & 0xf0) == 0xe0) return 3;
  if ((lead & 0xf8) == 0xf0) return 4;
  if ((lead & 0xfc) == 0xf8) return 5;
  if ((lead & 0xfe) == 0xfc) return 6;
  if (lead == 0xfe) return 7;
  return 0;
}

bool isSideChannel(int assignment, int channel) {
  return (assignment == kLeftSide && channel == 1) || (assignment == kSideRight && channel == 0) ||
         (assignment == kMidSide && channel == 1);
}

// Walks a residual of `order` warm-up samples; false when it breaks the rules or the bytes.
bool walkResidual(BitCursor& bits, uint32_t block_size, int order) {
  const uint64_t method = bits.read(2);
  if (method > 1) return false;
  const int parameter_bits = method == 0 ? 4 : 5;
  const uint64_t escape = (1u << parameter_bits) - 1;
  const int partition_order = int(bits.read(4));
  const uint32_t partitions = 1u << partition_order;
  if (block_size % partitions != 0 || (block_size >> partition_order) < uint32_t(order)) return false;
  for (uint32_t i = 0; i < partitions && bits.ok(); ++i) {
    const int64_t count = int64_t(block_size >> partition_order) - (i == 0 ? order : 0);
    const uint64_t parameter = bits.read(parameter_bits);
    if (parameter == escape) {
      bits.skip(count * int64_t(bits.read(5)));
      continue;
    }
    for (int64_t n = 0; n < count && bits.ok(); ++n) {
      bits.unary();
      bits.skip(int64_t(parameter));
    }
  }
  return bits.ok();
}

bool walkSubframe(BitCursor& bits, FlacFrameLayout& frame, int channel) {
  FlacSubframeLayout& sub = frame.subframes[size_t(channel)];
  sub.begin = bits.pos();
  if (bits.read(1) != 0) return false;
  sub.type_code = int(bits.read(6));
  if (bits.read(1)) sub.wasted = int(std::min<int64_t>(bits.unary(), 64)) + 1;
  sub.sample_bits = frame.bits_per_sample - sub.wasted + (isSideChannel(frame.assignment, channel) ? 1 : 0);
  if (!bits.ok() || sub.sample_bits <= 0) return false;
  const SubframeKind kind = subframeKind(sub.type_code);
  switch (kind) {
    case kConstant: bits.skip(sub.sample_bits); break;
    case kVerbatim: bits.skip(int64_t(frame.block_size) * sub.sample_bits); break;
    case kFixed:
    case kLpc: {
      sub.order = kind == kFixed ? sub.type_code - 8 : sub.type_code - 31;
      if (uint32_t(sub.order) > frame.block_size) return false;
      bits.skip(int64_t(sub.order) * sub.sample_bits);
      if (kind == kLpc) {
        sub.precision = int(bits.read(4)) + 1;
        if (sub.precision == 16) return false;
        bits.skip(5);
        bits.skip(int64_t(sub.order) * sub.precision);
      }
      sub.residual = bits.pos();
      if (!walkResidual(bits, frame.block_size, sub.order)) return false;
      break;
    }
    case kReserved: return false;
  }
  sub.end = bits.pos();
  return bits.ok();
}

void walkSubframes(const uint8_t* p, int64_t room, FlacFrameLayout& frame) {
  BitCursor bits(p, room);
  bits.seek(frame.header_bytes * 8);
  for (int channel = 0; channel < frame.channels; ++channel) {
    if (!walkSubframe(bits, frame, channel)) return;
    frame.subframe_count = channel + 1;
  }
  const int64_t end = (bits.pos() + 7) / 8 + 2;
  if (end > room) return;
  frame.end_bytes = end;
  frame.subframes_ok = true;
}

std::string subframeTypeText(int type_code) {
  switch (subframeKind(type_code)) {
    case kConstant: return "CONSTANT";
    case kVerbatim: return "VERBATIM";
    case kFixed: return "FIXED, order " + numberText(uint64_t(type_code - 8));
    case kLpc: return "LPC, order " + numberText(uint64_t(type_code - 31));
    case kReserved: break;
  }
  return "reserved";
}

std::string samplesText(int64_t count, int bits) {
  return numberText(uint64_t(count)) + (count == 1 ? " sample of " : " samples of ") + numberText(uint64_t(bits)) +
         " bits";
}

// The LPC coefficients as signed numbers, at most the first 32.
std::string coefficientsText(const uint8_t* frame, int64_t frame_bytes, int64_t bit, int order, int precision) {
  BitCursor bits(frame, frame_bytes);
  bits.seek(bit);
  std::string text;
  for (int i = 0; i < order && i < 32 && bits.ok(); ++i) {
    if (i) text += ' ';
    appendSigned(text, bits.readSigned(precision));
  }
  return text;
}

void writeResidual(FieldReader& f, const FlacSubframeLayout& sub, int64_t frame_start) {
  f.uh("residual_coding_method", 2,
       [](uint64_t v) { return v == 0 ? "Rice, 4-bit parameters" : v == 1 ? "Rice, 5-bit parameters" : "reserved"; });
  f.uh("partition_order", 4, [](uint64_t v) {
    return numberText(uint64_t(1) << v) + (v ? " partitions" : " partition");
  });
  const int64_t bits = frame_start + sub.end - f.bitPos();
  f.text("residual", bits, numberText(uint64_t(bits)) + " bits", "Rice-coded prediction errors");
}

void writeSubframe(FieldReader& f, const FlacSubframeLayout& sub, uint32_t block_size, int channel,
                   int64_t frame_start, int64_t frame_bytes) {
  FieldUnit unit(f, "subframe", channel, subframeTypeText(sub.type_code));
  f.u("zero_bit", 1, f.has(1) && f.peek(1) ? "must be 0" : "");
  f.uh("subframe_type", 6, [](uint64_t v) { return subframeTypeText(int(v)); });
  const bool wasted = f.flag("wasted_bits_flag");
  if (wasted)
    f.text("wasted_bits", sub.wasted, numberText(uint64_t(sub.wasted)), "bits per sample, coded in unary");
  const uint8_t* frame = f.fileData() + frame_start / 8;
  switch (subframeKind(sub.type_code)) {
    case kConstant: f.s("sample_value", sub.sample_bits); break;
    case kVerbatim:
      f.text("samples", int64_t(block_size) * sub.sample_bits, numberText(block_size),
             samplesText(block_size, sub.sample_bits));
      break;
    case kFixed:
    case kLpc:
      if (sub.order > 0)
        f.text("warm_up_samples", int64_t(sub.order) * sub.sample_bits, numberText(uint64_t(sub.order)),
               samplesText(sub.order, sub.sample_bits));
      if (subframeKind(sub.type_code) == kLpc) {
        f.uh("qlp_coeff_precision_minus_1", 4, [](uint64_t v) { return numberText(v + 1) + " bits"; });
        f.s("qlp_shift", 5, "bits");
        const int64_t at = f.bitPos() - frame_start;
        f.text("qlp_coefficients", int64_t(sub.order) * sub.precision,
               coefficientsText(frame, frame_bytes, at, sub.order, sub.precision),
               numberText(uint64_t(sub.order)) + " coefficients of " + numberText(uint64_t(sub.precision)) + " bits");
      }
      writeResidual(f, sub, frame_start);
      break;
    case kReserved: break;
  }
}

std::string blockSizeCodeText(uint64_t code) {
  if (code == 0) return "reserved";
  if (code == 6) return "8-bit value after the number";
  if (code == 7) return "16-bit value after the number";
  return numberText(blockSizeOfCode(int(code))) + " samples";
}

std::string sampleRateCodeText(uint64_t code) {
  if (code == 0) return "from STREAMINFO";
  if (code < 12) return numberText(kSampleRates[code]) + " Hz";
  if (code == 12) return "8-bit value in kHz after the header";
  if (code == 13) return "16-bit value in Hz after the header";
  if (code == 14) return "16-bit value in tens of Hz after the header";
  return "forbidden";
}

std::string channelText(uint64_t code) {
  if (code < 8) return numberText(code + 1) + (code ? " channels, INDEPENDENT" : " channel, INDEPENDENT");
  if (code <= 10) return std::string(flacChannelAssignmentName(int(code))) + ", 2 channels";
  return "reserved";
}

std::string sampleSizeText(uint64_t code) {
  if (code == 0) return "from STREAMINFO";
  if (code == 3) return "reserved";
  return numberText(uint64_t(kSampleSizes[code])) + " bits";
}

// The frame header's fields.
void writeHeader(FieldReader& f, const FlacFrameLayout& layout, const uint8_t* frame) {
  FieldUnit unit(f, "frame_header");
  f.u("sync_code", 14, f.has(14) && f.peek(14) == 0x3ffe ? "0x3FFE" : "not 0x3FFE");
  f.u("reserved", 1, f.has(1) && f.peek(1) ? "must be 0" : "");
  f.uh("blocking_strategy", 1, [](uint64_t v) { return v ? "variable block size" : "fixed block size"; });
  const uint64_t block_code = f.uh("block_size_code", 4, blockSizeCodeText);
  const uint64_t rate_code = f.uh("sample_rate_code", 4, sampleRateCodeText);
  f.uh("channel_assignment", 4, channelText);
  f.uh("sample_size_code", 3, sampleSizeText);
  f.u("reserved", 1, f.has(1) && f.peek(1) ? "must be 0" : "");
  if (!f.ok() || !f.byteAligned()) return;
  const int coded = codedNumberBytes(frame[4]);
  if (coded == 0 || !f.has(coded * 8)) {
    f.rest("header_data", "not a valid coded number");
    return;
  }
  f.text(layout.variable_block_size ? "sample_number" : "frame_number", coded * 8, numberText(layout.number),
         "coded in " + numberText(uint64_t(coded)) + (coded == 1 ? " byte" : " bytes"));
  if (block_code == 6 || block_code == 7)
    f.uh("block_size_minus_1", block_code == 6 ? 8 : 16, [](uint64_t v) { return numberText(v + 1) + " samples"; });
  if (rate_code == 12) f.uh("sample_rate_khz", 8, [](uint64_t v) { return numberText(v * 1000) + " Hz"; });
  if (rate_code == 13) f.u("sample_rate_hz", 16, "Hz");
  if (rate_code == 14) f.uh("sample_rate_tens_hz", 16, [](uint64_t v) { return numberText(v * 10) + " Hz"; });
  if (f.has(8)) f.u("crc8", 8, layout.crc8_ok ? "ok" : "mismatch");
}

}  // namespace

const char* flacChannelAssignmentName(int assignment) {
  switch (assignment) {
    case kLeftSide: return "LEFT_SIDE";
    case kSideRight: return "SIDE_RIGHT";
    case kMidSide: return "MID_SIDE";
    default: return assignment < 8 ? "INDEPENDENT" : "reserved";
  }
}

FlacStreamParameters flacStreamParameters(const uint8_t* p, int64_t size) {
  FlacStreamParameters stream;
  if (size < 34) return stream;
  stream.min_block_size = uint32_t((p[0] << 8) | p[1]);
  stream.max_block_size = uint32_t((p[2] << 8) | p[3]);
  stream.max_frame_size = (uint32_t(p[7]) << 16) | (uint32_t(p[8]) << 8) | p[9];
  stream.sample_rate = (uint32_t(p[10]) << 12) | (uint32_t(p[11]) << 4) | (p[12] >> 4);
  stream.bits_per_sample = (((p[12] & 1) << 4) | (p[13] >> 4)) + 1;
  return stream;
}

bool flacFrameSyncAt(const uint8_t* p, int64_t room) {
  return room >= 2 && p[0] == 0xff && (p[1] & 0xfe) == 0xf8;
}

FlacFrameLayout measureFlacFrame(const uint8_t* p, int64_t room, const FlacStreamParameters& stream,
                                 bool walk_subframes) {
  FlacFrameLayout frame;
  if (room < 6 || !flacFrameSyncAt(p, room)) return frame;
  frame.variable_block_size = p[1] & 1;
  const int block_code = p[2] >> 4, rate_code = p[2] & 15;
  frame.assignment = p[3] >> 4;
  const int size_code = (p[3] >> 1) & 7;
  if (block_code == 0 || rate_code == 15 || frame.assignment > kMidSide || size_code == 3 || (p[3] & 1)) return frame;
  const int coded = codedNumberBytes(p[4]);
  if (coded == 0) return frame;
  int64_t at = 4 + coded;
  const int extra = (block_code == 6 ? 1 : block_code == 7 ? 2 : 0) + (rate_code == 12 ? 1 : rate_code >= 13 ? 2 : 0);
  if (at + extra + 1 > room) return frame;
  uint64_t number = coded == 1 ? p[4] : p[4] & (0x3fu >> (coded - 1));
  for (int i = 1; i < coded; ++i) {
    if ((p[4 + i] & 0xc0) != 0x80) return frame;
    number = (number << 6) | (p[4 + i] & 0x3f);
  }
  frame.number = number;
  frame.block_size = blockSizeOfCode(block_code);
  if (block_code == 6) frame.block_size = uint32_t(p[at++]) + 1;
  if (block_code == 7) frame.block_size = uint32_t((p[at] << 8) | p[at + 1]) + 1, at += 2;
  frame.sample_rate = rate_code == 0 ? stream.sample_rate : rate_code < 12 ? kSampleRates[rate_code] : 0;
  if (rate_code == 12) frame.sample_rate = uint32_t(p[at++]) * 1000;
  if (rate_code == 13) frame.sample_rate = uint32_t((p[at] << 8) | p[at + 1]), at += 2;
  if (rate_code == 14) frame.sample_rate = uint32_t((p[at] << 8) | p[at + 1]) * 10, at += 2;
  frame.channels = frame.assignment < 8 ? frame.assignment + 1 : 2;
  frame.bits_per_sample = size_code == 0 ? stream.bits_per_sample : kSampleSizes[size_code];
  frame.header_bytes = at + 1;
  frame.crc8_ok = crc8Flac(p, at) == p[at];
  frame.header_ok = frame.crc8_ok;
  if (walk_subframes && frame.header_ok && frame.bits_per_sample > 0 && frame.bits_per_sample <= 32) walkSubframes(p, room, frame);
  return frame;
}

std::string flacFrame(FieldReader& f, const FlacFrameLayout& layout, int64_t frame_bytes, bool cut) {
  const int64_t start = f.bitPos();
  if (!f.byteAligned() || frame_bytes < 0 || !f.has(frame_bytes * 8)) {
    f.rest("frame_data", "not a whole frame");
    return "broken frame";
  }
  const uint8_t* frame = f.fileData() + f.bytePos();
  writeHeader(f, layout, frame);
  std::string summary = numberText(layout.block_size) + " samples, " + flacChannelAssignmentName(layout.assignment);
  const bool whole = layout.subframes_ok && layout.end_bytes == frame_bytes;
  if (f.ok() && layout.header_ok) {
    for (int channel = 0; channel < layout.subframe_count && f.ok(); ++channel)
      writeSubframe(f, layout.subframes[size_t(channel)], layout.block_size, channel, start, frame_bytes);
  }
  if (!f.ok()) f.recover();
  if (whole) {
    const int64_t padding = start + (frame_bytes - 2) * 8 - f.bitPos();
    if (padding > 0) f.u("zero_padding", int(padding), f.peek(int(padding)) ? "must be 0" : "");
    const uint16_t crc = crc16Flac(frame, frame_bytes - 2);
    f.u("crc16", 16, crc == ((frame[frame_bytes - 2] << 8) | frame[frame_bytes - 1]) ? "ok" : "mismatch");
  } else {
    // The subframes could not be walked to the frame's end: what is left stays one field, and
    // its last two bytes are still the frame's check.
    const int64_t left = start + (frame_bytes - 2) * 8 - f.bitPos();
    if (left > 0) f.text("frame_data", left, {}, "subframes not decoded");
    if (cut) {
      f.rest("frame_data", "cut short");
    } else if (f.bitPos() >= start + (frame_bytes - 2) * 8 && frame_bytes >= 2) {
      const uint16_t crc = crc16Flac(frame, frame_bytes - 2);
      f.u("crc16", 16, crc == ((frame[frame_bytes - 2] << 8) | frame[frame_bytes - 1]) ? "ok" : "mismatch");
    }
    summary += cut ? ", cut short" : ", broken";
  }
  return summary;
}

}  // namespace corvanta::codecs
