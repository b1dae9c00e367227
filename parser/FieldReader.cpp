#include "FieldReader.h"

#include "ElementWriter.h"
#include "PieceWriter.h"
#include "TextForms.h"

#include <algorithm>
#include <charconv>
#include <cstring>

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

// Counts and lengths beyond this are hostile: no payload is that large, and bits still fit.
constexpr int64_t kLargestByteCount = int64_t(1) << 56;

// Bytes of RBSP payload first searched for a string's terminator.
constexpr int64_t kFirstStringWindow = 64;

// EBML codes are at most 8 bytes long, whatever a header allows.
constexpr int kMaxEbmlWidth = 8;

// The readable form with a note added: "44100 Hz, unknown".
std::string withNote(std::string_view hrf, std::string_view note) {
  std::string out(hrf);
  if (!note.empty()) {
    if (!out.empty()) out += ", ";
    out += note;
  }
  return out;
}

// The first `bytes` bytes of a big-endian `value` in the opposite order.
uint64_t byteSwapped(uint64_t value, int bytes) {
  uint64_t out = 0;
  for (int i = 0; i < bytes; ++i, value >>= 8) out = (out << 8) | (value & 0xff);
  return out;
}

// What a string's first bytes say about its layout: where its text starts (after a byte
// order mark), how long a code unit is and, for UTF-16, the byte order.
struct StringLayout {
  int64_t text_begin = 0;
  int unit = 1;
  bool big_endian = true;
};

StringLayout stringLayout(const uint8_t* p, int64_t size, TextEncoding encoding) {
  const bool be_mark = size >= 2 && p[0] == 0xfe && p[1] == 0xff;
  const bool le_mark = size >= 2 && p[0] == 0xff && p[1] == 0xfe;
  switch (encoding) {
    case TextEncoding::Latin1:
      return {0, 1, true};
    case TextEncoding::Utf8:
      return {size >= 3 && p[0] == 0xef && p[1] == 0xbb && p[2] == 0xbf ? 3 : 0, 1, true};
    case TextEncoding::Utf16Be:
      return {be_mark ? 2 : 0, 2, true};
    case TextEncoding::Utf16Le:
      return {le_mark ? 2 : 0, 2, false};
    case TextEncoding::Utf16BomBe:
    case TextEncoding::Utf16BomLe:
      if (be_mark || le_mark) return {2, 2, be_mark};
      return {0, 2, encoding == TextEncoding::Utf16BomBe};
  }
  return {};
}

// The offset of the first terminator (a zero code unit) at or after `from`, or `size`.
int64_t terminatorAt(const uint8_t* p, int64_t from, int64_t size, int unit) {
  if (unit == 1) {
    const void* zero = std::memchr(p + from, 0, size_t(size - from));
    return zero ? static_cast<const uint8_t*>(zero) - p : size;
  }
  for (int64_t i = from; i + 1 < size; i += 2)
    if (p[i] == 0 && p[i + 1] == 0) return i;
  return size;
}

std::string decodeText(const uint8_t* p, int64_t size, TextEncoding encoding, bool big_endian) {
  switch (encoding) {
    case TextEncoding::Latin1:
      return latin1Text(p, size);
    case TextEncoding::Utf8:
      return utf8Text(p, size);
    default:
      return utf16Text(p, size, big_endian);
  }
}

std::string bcdDigitsText(uint64_t raw, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (int i = digits - 1; i >= 0; --i) out += kDigits[(raw >> (4 * i)) & 15];
  return out;
}

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

bool FieldReader::needValue(int bits) {
  if (bits < 0 || bits > 64) good = false;
  return need(bits);
}

bool FieldReader::needLe(int bytes) {
  if (bytes < 1 || bytes > 8 || (bit & 7)) good = false;
  return need(int64_t(bytes) * 8);
}

bool FieldReader::isSkipped(int64_t byte) const {
  return std::binary_search(skipped_bytes.begin(), skipped_bytes.end(), byte);
}

void FieldReader::startRbsp() {
  const int64_t first = (bit + 7) >> 3;
  if (rbsp_scan && rbsp_scan->data == data && rbsp_scan->begin == first && rbsp_scan->end == endByte()) {
    skipped_bytes = rbsp_scan->skipped;
  } else {
    skipped_bytes.clear();
    int zeros = 0;
    for (int64_t byte = first; byte < endByte(); ++byte) {
      const uint8_t value = data[byte];
      if (zeros >= 2 && value == 3) {
        skipped_bytes.push_back(byte);
        zeros = 0;
      } else {
        zeros = value == 0 ? zeros + 1 : 0;
      }
    }
    if (rbsp_scan) *rbsp_scan = {data, first, endByte(), skipped_bytes};
  }
  skipped_shown_until = std::make_shared<int64_t>(bit >> 3);
  while ((bit & 7) == 0 && isSkipped(bit >> 3)) bit += 8;
}

void FieldReader::writeSkippedBytes() {
  showSkippedBytes(end_bit, end_bit);
}

int64_t FieldReader::showSkippedBytes(int64_t file_bit, int64_t element_end) {
  if (!skipped_shown_until) return 0;
  int64_t& shown = *skipped_shown_until;
  auto it = std::lower_bound(skipped_bytes.begin(), skipped_bytes.end(), shown);
  for (; it != skipped_bytes.end() && *it * 8 + 8 <= file_bit; ++it) {
    if (piece_writer)
      piece_writer->addField("emulation_prevention_three_byte", *it * 8, 8, "3", {}, -1);
    else
      w.addField("emulation_prevention_three_byte", *it * 8, 8, "3", {}, -1);
  }
  int64_t covered = 0;
  for (; it != skipped_bytes.end() && *it * 8 < element_end; ++it) ++covered;
  shown = std::max(shown, std::max((file_bit + 7) >> 3, (element_end + 7) >> 3));
  return covered;
}

void FieldReader::startUnsynchronisation() {
  skipped_bytes.clear();
  bool after_ff = false;
  for (int64_t byte = (bit + 7) >> 3; byte < endByte(); ++byte) {
    const uint8_t value = data[byte];
    if (after_ff && value == 0) {
      skipped_bytes.push_back(byte);
      after_ff = false;
    } else {
      after_ff = value == 0xFF;
    }
  }
}

int64_t FieldReader::rbspStopBit() const {
  int64_t byte = endByte() - 1;
  while (byte >= (bit >> 3) && (data[byte] == 0 || isSkipped(byte))) --byte;
  if (byte < (bit >> 3)) return -1;
  int stop = 0;  // bit index, from the least significant, of the stop bit
  while (!((data[byte] >> stop) & 1)) ++stop;
  return byte * 8 + (7 - stop);
}

bool FieldReader::moreRbspData() const {
  return good && bit < rbspStopBit();
}

int64_t FieldReader::rbspDataBitsLeft() const {
  const int64_t stop = good ? rbspStopBit() : -1;
  if (stop <= bit) return 0;
  const auto skipped_before_stop = std::lower_bound(skipped_bytes.begin(), skipped_bytes.end(), stop >> 3) -
                                   std::lower_bound(skipped_bytes.begin(), skipped_bytes.end(), bit >> 3);
  return stop - bit - 8 * skipped_before_stop;
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
  if (!needValue(bits)) return 0;
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
  writeFieldFrom(start, payload_bits, name, toChars(buffer, value), hrf, seq);
  return value;
}

void FieldReader::writeFieldFrom(int64_t start, int64_t payload_bits, std::string_view name, std::string_view raw,
                                 std::string_view hrf, int64_t seq) {
  writeElement(name, start, advance(start, payload_bits) - start, raw, hrf, seq);
}

void FieldReader::writeField(std::string_view name, int64_t bits, std::string_view raw, std::string_view hrf,
                             int64_t seq) {
  const int64_t start = bit;
  skipBits(bits);
  writeElement(name, start, advance(start, bits) - start, raw, hrf, seq);
}

FieldReader FieldReader::sub(int64_t bytes) const {
  FieldReader inner(w, data, 0, 0);
  inner.piece_writer = piece_writer;
  inner.rbsp_scan = rbsp_scan;
  inner.bit = bit;
  inner.good = good && bytes >= 0;
  inner.end_bit = inner.good ? bit + std::min(std::max<int64_t>(end_bit - bit, 0), std::min(bytes, kLargestByteCount) * 8) : bit;
  return inner;
}

FieldReader FieldReader::subPayload(int64_t bytes) const {
  FieldReader inner = sub(0);
  if (!inner.good) return inner;
  const int64_t payload_bits = std::min(bitsLeft(), std::min(bytes, kLargestByteCount) * 8);
  inner.end_bit = std::min(advance(bit, payload_bits), end_bit);
  const auto first = std::lower_bound(skipped_bytes.begin(), skipped_bytes.end(), bit >> 3);
  const auto last = std::lower_bound(first, skipped_bytes.end(), (inner.end_bit + 7) >> 3);
  inner.skipped_bytes.assign(first, last);
  inner.skipped_shown_until = skipped_shown_until;
  return inner;
}

void FieldReader::writeElement(std::string_view name, int64_t bit_offset, int64_t bits, std::string_view raw,
                       std::string_view hrf, int64_t seq) {
  std::string noted;
  if (const int64_t covered = showSkippedBytes(bit_offset, bit_offset + bits)) {
    noted = withNote(hrf, covered == 1 ? "covers an emulation_prevention_three_byte"
                                       : "covers " + numberText(uint64_t(covered)) + " emulation_prevention_three_bytes");
    hrf = noted;
  }
  if (piece_writer) {
    piece_writer->addField(name, bit_offset, bits, raw, hrf, seq);
    last_field_id = 0;
  } else {
    last_field_id = w.addField(name, bit_offset, bits, raw, hrf, seq);
    if (first_element_id == 0) first_element_id = last_field_id;
  }
}

int64_t FieldReader::firstElementId() const {
  return piece_writer ? piece_writer->firstElementId() : first_element_id;
}

void FieldReader::openUnit(std::string_view name, int64_t seq, std::string_view raw, std::string_view hrf) {
  showSkippedBytes(bit, bit);
  if (piece_writer) {
    piece_writer->openUnit(name, bit, seq);
    if (!raw.empty() || !hrf.empty()) piece_writer->setUnitValue(raw, hrf);
  } else {
    const int64_t id = w.openUnit(name, bit, end_bit - bit, raw, hrf, seq);
    if (first_element_id == 0) first_element_id = id;
  }
}

void FieldReader::setUnitValue(std::string_view raw, std::string_view hrf) {
  if (piece_writer)
    piece_writer->setUnitValue(raw, hrf);
  else
    w.setUnitValue(raw, hrf);
}

void FieldReader::closeUnit(int64_t start_bit) {
  showSkippedBytes(bit, bit);
  if (piece_writer)
    piece_writer->closeUnit(bit);
  else
    w.closeUnit(bit - start_bit);
}

uint64_t FieldReader::u(std::string_view name, int bits, std::string_view hrf, int64_t seq) {
  if (!needValue(bits)) return 0;
  const uint64_t value = peek(bits);
  char buffer[24];
  writeField(name, bits, toChars(buffer, value), hrf, seq);
  return value;
}

int64_t FieldReader::s(std::string_view name, int bits, std::string_view hrf, int64_t seq) {
  if (!needValue(bits)) return 0;
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
  writeFieldFrom(start, payload_bits, name, toChars(buffer, value), hrf, seq);
  return value;
}

int64_t FieldReader::se(std::string_view name, std::string_view hrf, int64_t seq) {
  const int64_t start = bit;
  int payload_bits = 0;
  const int64_t value = signedExpGolomb(readExpGolomb(payload_bits));
  if (!good) return 0;
  char buffer[24];
  writeFieldFrom(start, payload_bits, name, toChars(buffer, value), hrf, seq);
  return value;
}

uint64_t FieldReader::peekLe(int bytes) const {
  if (bytes < 1 || bytes > 8 || (bit & 7) || bytes * 8 > bitsLeft()) return 0;
  if (!skipped_bytes.empty()) return byteSwapped(peek(bytes * 8), bytes);
  const uint8_t* p = data + (bit >> 3);
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

uint64_t FieldReader::readLe(int bytes) {
  if (!needLe(bytes)) return 0;
  const uint64_t value = peekLe(bytes);
  skipBits(bytes * 8);
  return value;
}

uint64_t FieldReader::ule(std::string_view name, int bytes, std::string_view hrf, int64_t seq) {
  if (!needLe(bytes)) return 0;
  const uint64_t value = peekLe(bytes);
  char buffer[24];
  writeField(name, bytes * 8, toChars(buffer, value), hrf, seq);
  return value;
}

int64_t FieldReader::sle(std::string_view name, int bytes, std::string_view hrf, int64_t seq) {
  if (!needLe(bytes)) return 0;
  const int64_t value = int64_t(signExtend(peekLe(bytes), bytes * 8));
  char buffer[24];
  writeField(name, bytes * 8, toChars(buffer, value), hrf, seq);
  return value;
}

EbmlVint FieldReader::readEbmlVint(int max_width, bool keep_marker) {
  if (!need(8)) return {};
  const auto first = uint8_t(peek(8));
  int width = 1;
  while (width <= kMaxEbmlWidth && !(first & (0x80 >> (width - 1)))) ++width;
  if (width > kMaxEbmlWidth || width > max_width || !need(width * 8)) {
    good = false;
    return {};
  }
  const uint64_t raw = read(width * 8);
  const uint64_t value_bits = (uint64_t(1) << (7 * width)) - 1;
  EbmlVint vint;
  vint.width = width;
  vint.value = keep_marker ? raw : raw & value_bits;
  vint.unknown = !keep_marker && (raw & value_bits) == value_bits;
  return vint;
}

EbmlVint FieldReader::readEbmlId(int max_width) {
  return readEbmlVint(max_width, true);
}

EbmlVint FieldReader::readEbmlSize(int max_width) {
  return readEbmlVint(max_width, false);
}

EbmlVint FieldReader::ebmlVint(std::string_view name, int max_width, bool keep_marker, std::string_view hrf,
                               int64_t seq) {
  const int64_t start = bit;
  const EbmlVint vint = readEbmlVint(max_width, keep_marker);
  if (!good) return {};
  const std::string raw = keep_marker ? hexText(vint.value, 2 * vint.width) : numberText(vint.value);
  writeElement(name, start, advance(start, vint.width * 8) - start, raw, withNote(hrf, vint.unknown ? "unknown" : ""),
             seq);
  return vint;
}

EbmlVint FieldReader::ebmlId(std::string_view name, int max_width, std::string_view hrf, int64_t seq) {
  return ebmlVint(name, max_width, true, hrf, seq);
}

EbmlVint FieldReader::ebmlSize(std::string_view name, int max_width, std::string_view hrf, int64_t seq) {
  return ebmlVint(name, max_width, false, hrf, seq);
}

uint64_t FieldReader::syncSafe(std::string_view name, int bytes, std::string_view hrf, int64_t seq) {
  if (bytes < 1 || bytes > 8 || !need(bytes * 8)) {
    good = false;
    return 0;
  }
  const uint64_t raw = peek(bytes * 8);
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 7) | ((raw >> (8 * i)) & 0x7f);
  const bool high_bit_set = (raw & (0x8080808080808080u >> (64 - 8 * bytes))) != 0;
  char buffer[24];
  writeField(name, bytes * 8, toChars(buffer, value), withNote(hrf, high_bit_set ? "not sync-safe" : ""), seq);
  return value;
}

double FieldReader::floatField(std::string_view name, int bits, uint64_t raw, std::string_view hrf, int64_t seq) {
  std::string text;
  double value;
  if (bits == 32) {
    float single;
    const auto word = uint32_t(raw);
    std::memcpy(&single, &word, sizeof single);
    text = floatText(single);
    value = single;
  } else {
    std::memcpy(&value, &raw, sizeof value);
    text = floatText(value);
  }
  writeField(name, bits, text, hrf, seq);
  return value;
}

double FieldReader::floatBe(std::string_view name, int bits, std::string_view hrf, int64_t seq) {
  if ((bits != 32 && bits != 64) || !need(bits)) {
    good = false;
    return 0;
  }
  return floatField(name, bits, peek(bits), hrf, seq);
}

double FieldReader::floatLe(std::string_view name, int bits, std::string_view hrf, int64_t seq) {
  if ((bits != 32 && bits != 64) || !needLe(bits / 8)) {
    good = false;
    return 0;
  }
  return floatField(name, bits, peekLe(bits / 8), hrf, seq);
}

uint64_t FieldReader::bcd(std::string_view name, int digits, std::string_view hrf, int64_t seq) {
  if (digits < 1 || digits > 16 || !need(digits * 4)) {
    good = false;
    return 0;
  }
  const uint64_t raw = peek(digits * 4);
  uint64_t value = 0;
  bool valid = true;
  for (int i = digits - 1; i >= 0; --i) {
    const uint64_t digit = (raw >> (4 * i)) & 15;
    valid = valid && digit <= 9;
    value = value * 10 + digit;
  }
  writeField(name, digits * 4, valid ? numberText(value) : bcdDigitsText(raw, digits),
             withNote(hrf, valid ? "" : "invalid BCD digit"), seq);
  return value;
}

const uint8_t* FieldReader::contiguousBytes(int64_t count) {
  const int64_t first = bit >> 3;
  const int64_t file_bytes = (advance(bit, count * 8) >> 3) - first;
  if (file_bytes == count) return data + first;
  gathered.clear();
  for (int64_t byte = first; byte < first + file_bytes; ++byte)
    if (!isSkipped(byte)) gathered.push_back(data[byte]);
  return gathered.data();
}

std::string FieldReader::fixedString(std::string_view name, int64_t bytes, TextEncoding encoding,
                                     std::string_view hrf, int64_t seq) {
  if (bytes < 0 || bytes > kLargestByteCount || (bit & 7) || !need(bytes * 8)) {
    good = false;
    return {};
  }
  const uint8_t* p = contiguousBytes(bytes);
  const StringLayout layout = stringLayout(p, bytes, encoding);
  const int64_t text_end = terminatorAt(p, layout.text_begin, bytes, layout.unit);
  std::string value = decodeText(p + layout.text_begin, text_end - layout.text_begin, encoding, layout.big_endian);
  writeField(name, bytes * 8, value, hrf, seq);
  return value;
}

std::string FieldReader::terminatedString(std::string_view name, TextEncoding encoding, std::string_view hrf,
                                          int64_t seq) {
  const int64_t available = bytesLeft();
  if ((bit & 7) || available == 0 || !need(8)) {
    good = false;
    return {};
  }
  // Around emulation prevention bytes the payload is copied out, so the terminator is looked
  // for in growing windows: many short strings in a long NAL unit stay linear.
  int64_t window = skipped_bytes.empty() ? available : std::min<int64_t>(available, kFirstStringWindow);
  const uint8_t* p = nullptr;
  StringLayout layout;
  int64_t text_end = 0;
  for (;; window = std::min(available, 2 * window)) {
    p = contiguousBytes(window);
    layout = stringLayout(p, window, encoding);
    text_end = terminatorAt(p, layout.text_begin, window, layout.unit);
    if (text_end < window || window == available) break;
  }
  const bool terminated = text_end < available;
  std::string value = decodeText(p + layout.text_begin, text_end - layout.text_begin, encoding, layout.big_endian);
  const int64_t length = terminated ? text_end + layout.unit : available;
  writeField(name, length * 8, value, withNote(hrf, terminated ? "" : "no terminator"), seq);
  return value;
}

uint32_t FieldReader::fourcc(std::string_view name, std::string_view hrf, int64_t seq) {
  if (!need(32)) return 0;
  const uint32_t value = uint32_t(peek(32));
  writeField(name, 32, fourCCText(value), hrf, seq);
  return value;
}

int64_t FieldReader::fixed(std::string_view name, int bits, int fraction_bits, bool is_signed) {
  if (!needValue(bits) || fraction_bits < 0 || fraction_bits > 62) {
    good = false;
    return 0;
  }
  const uint64_t raw = peek(bits);
  const int64_t value = int64_t(is_signed ? signExtend(raw, bits) : raw);
  char buffer[24];
  writeField(name, bits, is_signed ? toChars(buffer, value) : toChars(buffer, raw), fixedText(value, fraction_bits), -1);
  return value;
}

uint64_t FieldReader::date1904(std::string_view name, int bits) {
  return uh(name, bits, [](uint64_t v) { return v ? dateTextSince1904(v) : std::string("not set"); });
}

int64_t FieldReader::date1970(std::string_view name, int bits) {
  if (bits == 64) {
    if (!need(64)) return 0;
    const auto seconds = int64_t(peek(64));
    return s(name, 64, unixDateText(seconds));
  }
  return int64_t(uh(name, bits, [](uint64_t v) { return unixDateText(int64_t(v)); }));
}

int64_t FieldReader::date2001(std::string_view name, int bits) {
  if (bits == 0) {
    text(name, 0, "0", dateTextSince2001(0));
    return 0;
  }
  if (bits != 64 || !need(64)) {
    good = false;
    return 0;
  }
  const auto nanoseconds = int64_t(peek(64));
  return s(name, 64, dateTextSince2001(nanoseconds));
}

uint64_t FieldReader::mjdDate(std::string_view name) {
  constexpr uint64_t kUndefined = (uint64_t(1) << 40) - 1;
  if (!need(40)) return 0;
  const uint64_t raw = peek(40);
  const std::string hrf = raw == kUndefined ? std::string("undefined") : mjdDateText(uint16_t(raw >> 24), raw & 0xffffff);
  text(name, 40, hexText(raw, 10), hrf);
  return raw;
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
  const std::string value = utf8Text(data + begin, stop - begin);
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
  const std::string value = utf8Text(data + (bit >> 3) + 1, length);
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
  u(name, bits, "more than there is room for: only " + numberText(fits) + " entries present");
  return fits;
}

}  // namespace corvanta
