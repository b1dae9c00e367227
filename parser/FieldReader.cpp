#include "FieldReader.h"

#include "ElementWriter.h"
#include "TextForms.h"

#include <algorithm>
#include <charconv>

namespace corvanta {

namespace {

std::string_view toChars(char (&buffer)[24], uint64_t value) {
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return {buffer, size_t(result.ptr - buffer)};
}

std::string_view toChars(char (&buffer)[24], int64_t value) {
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return {buffer, size_t(result.ptr - buffer)};
}

uint64_t signExtend(uint64_t raw, int bits) {
  if (bits > 0 && bits < 64 && ((raw >> (bits - 1)) & 1)) raw |= ~uint64_t(0) << bits;
  return raw;
}

// An Exp-Golomb prefix longer than this cannot hold a 32-bit value: the code is broken.
constexpr int kMaxExpGolombZeros = 32;

// AV1 limits leb128() to 8 bytes; a longer code is broken.
constexpr int kMaxLeb128Bytes = 8;

// se(v) from the ue(v) code number k: 1, -1, 2, -2, ... for k = 1, 2, 3, 4, ...
int64_t signedExpGolomb(uint64_t k) {
  return (k & 1) ? static_cast<int64_t>((k + 1) / 2) : -static_cast<int64_t>(k / 2);
}

}  // namespace

FieldReader::FieldReader(ElementWriter& writer, const uint8_t* file_data, int64_t begin, int64_t end)
    : w(writer), data(file_data), bit(begin * 8), end_bit(end * 8) {
  if (end < begin) end_bit = bit;
}

int64_t FieldReader::bitsLeft() const {
  int64_t left = end_bit - bit;
  if (!skipped_bytes.empty())
    left -= 8 * (skipped_bytes.end() - std::lower_bound(skipped_bytes.begin(), skipped_bytes.end(), bit >> 3));
  return left > 0 ? left : 0;
}

bool FieldReader::need(int64_t bits) {
  if (!has(bits)) good = false;
  return good;
}

bool FieldReader::isSkipped(int64_t byte) const {
  return std::binary_search(skipped_bytes.begin(), skipped_bytes.end(), byte);
}

void FieldReader::startRbsp() {
  skipped_bytes.clear();
  int zeros = 0;
  for (int64_t byte = (bit + 7) >> 3; byte < endByte(); ++byte) {
    const uint8_t value = data[byte];
    if (zeros >= 2 && value == 3) {
      skipped_bytes.push_back(byte);
      zeros = 0;
    } else {
      zeros = value == 0 ? zeros + 1 : 0;
    }
  }
  while ((bit & 7) == 0 && isSkipped(bit >> 3)) bit += 8;
}

bool FieldReader::moreRbspData() const {
  if (!good) return false;
  int64_t byte = endByte() - 1;
  while (byte >= (bit >> 3) && (data[byte] == 0 || isSkipped(byte))) --byte;
  if (byte < (bit >> 3)) return false;
  int stop = 0;  // bit index, from the least significant, of the stop bit
  while (!((data[byte] >> stop) & 1)) ++stop;
  return bit < byte * 8 + (7 - stop);
}

int64_t FieldReader::advance(int64_t from, int64_t bits) const {
  if (skipped_bytes.empty()) return from + bits;
  int64_t pos = from;
  for (auto it = std::lower_bound(skipped_bytes.begin(), skipped_bytes.end(), (pos + 7) >> 3);
       it != skipped_bytes.end() && bits > 0; ++it) {
    const int64_t room = *it * 8 - pos;
    if (bits <= room) break;
    bits -= room;
    pos = *it * 8 + 8;
  }
  return pos + bits;
}

uint64_t FieldReader::peek(int bits) const {
  if (bits <= 0 || bits > 64 || bits > bitsLeft()) return 0;
  uint64_t value = 0;
  if (skipped_bytes.empty() && (bit & 7) == 0 && (bits & 7) == 0) {
    const uint8_t* p = data + (bit >> 3);
    for (int i = 0; i < bits / 8; ++i) value = (value << 8) | p[i];
    return value;
  }
  auto next_skip = std::lower_bound(skipped_bytes.begin(), skipped_bytes.end(), (bit + 7) >> 3);
  int64_t b = bit;
  for (int i = 0; i < bits; ++i, ++b) {
    if ((b & 7) == 0 && next_skip != skipped_bytes.end() && *next_skip == (b >> 3)) {
      b += 8;
      ++next_skip;
    }
    value = (value << 1) | ((data[b >> 3] >> (7 - (b & 7))) & 1u);
  }
  return value;
}

void FieldReader::skipBits(int64_t bits) {
  if (!need(bits)) return;
  bit = advance(bit, bits);
  while ((bit & 7) == 0 && !skipped_bytes.empty() && isSkipped(bit >> 3)) bit += 8;
}

uint64_t FieldReader::read(int bits) {
  if (!need(bits)) return 0;
  const uint64_t value = peek(bits);
  skipBits(bits);
  return value;
}

uint64_t FieldReader::readExpGolomb(int& payload_bits) {
  const int64_t start = bit;
  int zeros = 0;
  while (good && read(1) == 0) {
    if (++zeros > kMaxExpGolombZeros) good = false;
  }
  const uint64_t suffix = zeros ? read(zeros) : 0;
  if (!good) {
    bit = start;
    return 0;
  }
  payload_bits = 2 * zeros + 1;
  return ((uint64_t{1} << zeros) - 1) + suffix;
}

uint64_t FieldReader::readUe() {
  int payload_bits = 0;
  return readExpGolomb(payload_bits);
}

int64_t FieldReader::readSe() {
  return signedExpGolomb(readUe());
}

uint64_t FieldReader::readLeb128(int& payload_bits) {
  const int64_t start = bit;
  uint64_t value = 0;
  for (int i = 0; i < kMaxLeb128Bytes; ++i) {
    const uint64_t byte = read(8);
    if (!good) break;
    value |= (byte & 0x7f) << (7 * i);
    if (!(byte & 0x80)) {
      payload_bits = 8 * (i + 1);
      return value;
    }
  }
  good = false;
  bit = start;
  return 0;
}

uint64_t FieldReader::readLeb128() {
  int payload_bits = 0;
  return readLeb128(payload_bits);
}

uint64_t FieldReader::leb128(std::string_view name, std::string_view hrf, int64_t seq) {
  const int64_t start = bit;
  int payload_bits = 0;
  const uint64_t value = readLeb128(payload_bits);
  if (!good) return 0;
  char buffer[24];
  w.addField(name, start, advance(start, payload_bits) - start, toChars(buffer, value), hrf, seq);
  return value;
}

void FieldReader::writeField(std::string_view name, int64_t bits, std::string_view raw, std::string_view hrf,
                       int64_t seq) {
  const int64_t start = bit;
  skipBits(bits);
  w.addField(name, start, advance(start, bits) - start, raw, hrf, seq);
}

uint64_t FieldReader::u(std::string_view name, int bits, std::string_view hrf, int64_t seq) {
  if (!need(bits)) return 0;
  const uint64_t value = peek(bits);
  char buffer[24];
  writeField(name, bits, toChars(buffer, value), hrf, seq);
  return value;
}

int64_t FieldReader::s(std::string_view name, int bits, std::string_view hrf, int64_t seq) {
  if (!need(bits)) return 0;
  const int64_t value = int64_t(signExtend(peek(bits), bits));
  char buffer[24];
  writeField(name, bits, toChars(buffer, value), hrf, seq);
  return value;
}

uint64_t FieldReader::ue(std::string_view name, std::string_view hrf, int64_t seq) {
  const int64_t start = bit;
  int payload_bits = 0;
  const uint64_t value = readExpGolomb(payload_bits);
  if (!good) return 0;
  char buffer[24];
  w.addField(name, start, advance(start, payload_bits) - start, toChars(buffer, value), hrf, seq);
  return value;
}

int64_t FieldReader::se(std::string_view name, std::string_view hrf, int64_t seq) {
  const int64_t start = bit;
  int payload_bits = 0;
  const int64_t value = signedExpGolomb(readExpGolomb(payload_bits));
  if (!good) return 0;
  char buffer[24];
  w.addField(name, start, advance(start, payload_bits) - start, toChars(buffer, value), hrf, seq);
  return value;
}

uint32_t FieldReader::fourcc(std::string_view name, std::string_view hrf, int64_t seq) {
  if (!need(32)) return 0;
  const uint32_t value = uint32_t(peek(32));
  writeField(name, 32, fourCCText(value), hrf, seq);
  return value;
}

int64_t FieldReader::fixed(std::string_view name, int bits, int fraction_bits, bool is_signed) {
  if (!need(bits)) return 0;
  const uint64_t raw = peek(bits);
  const int64_t value = int64_t(is_signed ? signExtend(raw, bits) : raw);
  char buffer[24];
  writeField(name, bits, is_signed ? toChars(buffer, value) : toChars(buffer, raw), fixedText(value, fraction_bits), -1);
  return value;
}

uint64_t FieldReader::date1904(std::string_view name, int bits) {
  return uh(name, bits, [](uint64_t v) { return v ? dateTextSince1904(v) : std::string("not set"); });
}

uint64_t FieldReader::duration(std::string_view name, int bits, uint32_t timescale) {
  const uint64_t all_ones = bits >= 64 ? ~uint64_t(0) : (uint64_t(1) << bits) - 1;
  return uh(name, bits, [&](uint64_t v) {
    return v == all_ones ? std::string("unknown") : durationText(v, timescale);
  });
}

std::string FieldReader::cstring(std::string_view name) {
  if ((bit & 7) || !good) {
    good = false;
    return {};
  }
  const int64_t begin = bit >> 3;
  const int64_t end = end_bit >> 3;
  int64_t stop = begin;
  while (stop < end && data[stop] != 0) ++stop;
  const std::string value(reinterpret_cast<const char*>(data + begin), size_t(stop - begin));
  const int64_t length = (stop < end ? stop + 1 : stop) - begin;
  text(name, length * 8, value);
  return value;
}

std::string FieldReader::pstring(std::string_view name, int total) {
  if (!need(8) || (total > 0 && !need(int64_t(total) * 8))) return {};
  const int length = int(peek(8));
  const int64_t available = total > 0 ? total - 1 : bytesLeft() - 1;
  if (length > available) {
    good = false;
    return {};
  }
  const std::string value(reinterpret_cast<const char*>(data + (bit >> 3) + 1), size_t(length));
  text(name, (total > 0 ? total : length + 1) * int64_t(8), value);
  return value;
}

void FieldReader::bytes(std::string_view name, int64_t count, std::string_view hrf, int64_t seq) {
  if (count < 0 || count > (int64_t(1) << 56) || !need(count * 8)) return;
  if (bit & 7) {
    good = false;
    return;
  }
  std::string own_hrf;
  if (hrf.empty()) {
    own_hrf = numberText(uint64_t(count)) + " bytes";
    hrf = own_hrf;
  }
  const int64_t file_bytes = (advance(bit, count * 8) - bit) >> 3;
  writeField(name, count * 8, hexDump(data + (bit >> 3), file_bytes), hrf, seq);
}

void FieldReader::rest(std::string_view name, std::string_view hrf) {
  if (!good || bitsLeft() == 0) return;
  if (bit & 7) {
    text(name, bitsLeft(), {}, hrf);
    return;
  }
  bytes(name, bytesLeft(), hrf);
}

void FieldReader::text(std::string_view name, int64_t bits, std::string_view raw, std::string_view hrf,
                       int64_t seq) {
  if (!need(bits)) return;
  writeField(name, bits, raw, hrf, seq);
}

uint64_t FieldReader::count(std::string_view name, int bits, int64_t entry_bits) {
  if (!need(bits)) return 0;
  const uint64_t declared = peek(bits);
  const int64_t room = bitsLeft() - bits;
  const uint64_t fits = entry_bits > 0 ? uint64_t(room / entry_bits) : declared;
  if (declared <= fits) return u(name, bits);
  u(name, bits, "more than the box holds: only " + numberText(fits) + " entries present");
  return fits;
}

}  // namespace corvanta
