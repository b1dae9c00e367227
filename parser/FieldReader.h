#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta {

class ElementWriter;
class PieceWriter;

// How the bytes of a string encode its characters. A leading byte order mark that agrees
// with the encoding is dropped from the text (it stays inside the element).
enum class TextEncoding {
  Latin1,
  Utf8,
  Utf16Be,
  Utf16Le,
  Utf16BomBe,  // byte order from the byte order mark, big-endian when there is none
  Utf16BomLe,  // byte order from the byte order mark, little-endian when there is none
};

// An EBML variable-length integer and the bytes it took (width 0 when it could not be read).
struct EbmlVint {
  uint64_t value = 0;
  int width = 0;
  bool unknown = false;  // a data size whose value bits are all set: "unknown size"
};

// The emulation prevention bytes that RBSP mode found in a range of one buffer, kept by a caller
// that has the same NAL unit decoded again and again (once per carrier that holds a piece of it),
// so that they are searched for once.
struct RbspScan {
  const uint8_t* data = nullptr;
  int64_t begin = -1, end = -1;  // bytes
  std::vector<int64_t> skipped;
};

// Reads the fields of one unit's payload in [begin, end) (byte offsets in the file) and
// writes each as an element at its exact bit offset and size. Byte-aligned reads take a
// fast path; bit fields may start and end anywhere.
//
// The error is sticky: a read that would pass the end writes nothing, leaves the position
// where it was and makes every later read fail too, so nothing half-read is ever shown.
//
// In RBSP mode (startRbsp) the emulation prevention bytes of an H.264/H.265 NAL unit are
// stepped over: values are read from the payload without them, while every element keeps
// the file bits it really covers. Each such byte is shown where it stands: as an element
// "emulation_prevention_three_byte" between fields, or as a note in the readable value of the
// field whose bits span it.
//
// Big-endian reads work at any bit position; little-endian numbers and strings need a
// byte-aligned position and fail (sticky) anywhere else.
class FieldReader {
 public:
  FieldReader(ElementWriter& writer, const uint8_t* file_data, int64_t begin, int64_t end);

  ElementWriter& writer() { return w; }
  // Sends every element through `pieces` (or straight to the writer again when null): for a
  // reader over the contiguous copy of a structure that the file spreads over several carriers.
  void setPieceWriter(PieceWriter* pieces) { piece_writer = pieces; }
  // Lets startRbsp take the emulation prevention bytes from `scan` when it holds those of the
  // same range, and keep them there otherwise (null: none kept). Carries over to sub-readers.
  void setRbspScan(RbspScan* scan) { rbsp_scan = scan; }

  // A reader over the next `bytes` bytes, or over what is left when fewer are: for a payload
  // whose length a field gives (a descriptor, a loop). It writes where this one writes; RBSP
  // mode does not carry over. skipPast(sub) then moves this reader to its end.
  FieldReader sub(int64_t bytes) const;
  void skipPast(const FieldReader& inner) {
    if (good && inner.end_bit > bit) bit = std::min(inner.end_bit, end_bit);
  }

  // A unit over the fields read while it is open: it starts at the current position, and
  // closeUnit(start) ends it at the position reached (FieldUnit does both).
  void openUnit(std::string_view name, int64_t seq = -1, std::string_view raw = {}, std::string_view hrf = {});
  void setUnitValue(std::string_view raw, std::string_view hrf = {});
  void closeUnit(int64_t start_bit);

  const uint8_t* fileData() const { return data; }
  bool ok() const { return good; }
  int64_t bitPos() const { return bit; }
  int64_t bytePos() const { return bit >> 3; }
  int64_t endBit() const { return end_bit; }
  int64_t endByte() const { return end_bit >> 3; }
  bool byteAligned() const { return (bit & 7) == 0; }
  // What is left to read (without emulation prevention bytes in RBSP mode).
  int64_t bitsLeft() const;
  int64_t bytesLeft() const { return bitsLeft() >> 3; }
  bool has(int64_t bits) const { return good && bits >= 0 && bits <= bitsLeft(); }
  // Fails (sticky) unless `bits` more can be read.
  bool need(int64_t bits);
  void fail() { good = false; }
  // Clears the error, so that what is left can still be shown as one opaque field.
  void recover() { good = true; }

  // From here to the end, skip the emulation prevention bytes (0x03 after two zero bytes).
  void startRbsp();
  // Writes the emulation prevention bytes from the last element to the end that no element
  // has shown yet: for the end of a NAL unit whose decoder stopped before its last byte.
  void writeSkippedBytes();
  // From here to the end, skip the zero byte that follows each 0xFF byte (ID3v2
  // unsynchronisation); like RBSP mode, elements keep the file bits they cover.
  void startUnsynchronisation();
  // The same as sub(), but the bytes this reader steps over (RBSP or unsynchronisation) stay
  // skipped in the new one, and `bytes` counts payload bytes, not file bytes.
  FieldReader subPayload(int64_t bytes) const;
  // True while payload bits other than the trailing stop bit and its zero padding remain.
  bool moreRbspData() const;
  // Payload bits from here up to the rbsp_stop_one_bit (0 when there is none).
  int64_t rbspDataBitsLeft() const;

  // Reads without writing an element.
  uint64_t read(int bits);
  uint64_t peek(int bits) const;
  void skipBits(int64_t bits);
  uint64_t readUe();
  int64_t readSe();

  // Unsigned field (big-endian / most significant bit first) with decimal raw text;
  // `hrf` is the readable form or empty.
  uint64_t u(std::string_view name, int bits, std::string_view hrf = {}, int64_t seq = -1);
  // Unsigned field whose readable form is made from the value.
  template <class Hrf>
  uint64_t uh(std::string_view name, int bits, Hrf&& hrf, int64_t seq = -1) {
    if (!need(bits)) return 0;
    const uint64_t value = peek(bits);
    const std::string text = hrf(value);
    return u(name, bits, text, seq);
  }
  bool flag(std::string_view name, std::string_view hrf = {}) { return u(name, 1, hrf) != 0; }
  int64_t s(std::string_view name, int bits, std::string_view hrf = {}, int64_t seq = -1);
  // Exp-Golomb codes of H.264, H.265 and VVC: ue(v) and se(v).
  uint64_t ue(std::string_view name, std::string_view hrf = {}, int64_t seq = -1);
  template <class Hrf>
  uint64_t ueh(std::string_view name, Hrf&& hrf, int64_t seq = -1) {
    const int64_t start = bit;
    const uint64_t value = readUe();
    if (!good) return 0;
    bit = start;
    const std::string text = hrf(value);
    return ue(name, text, seq);
  }
  int64_t se(std::string_view name, std::string_view hrf = {}, int64_t seq = -1);
  // LEB128 of AV1 (up to 8 bytes, least significant group first); fails on a longer code.
  uint64_t leb128(std::string_view name, std::string_view hrf = {}, int64_t seq = -1);
  uint64_t readLeb128();
  // Little-endian integers of 1 to 8 bytes.
  uint64_t peekLe(int bytes) const;
  uint64_t readLe(int bytes);
  uint64_t ule(std::string_view name, int bytes, std::string_view hrf = {}, int64_t seq = -1);
  template <class Hrf>
  uint64_t uleh(std::string_view name, int bytes, Hrf&& hrf, int64_t seq = -1) {
    if (!needLe(bytes)) return 0;
    const std::string text = hrf(peekLe(bytes));
    return ule(name, bytes, text, seq);
  }
  int64_t sle(std::string_view name, int bytes, std::string_view hrf = {}, int64_t seq = -1);
  // EBML variable-length integers of at most `max_width` bytes (EBMLMaxIDLength and
  // EBMLMaxSizeLength; never more than 8). A leading zero byte or a longer code fails.
  // The element ID keeps its length marker and reads as hex ("0x1A45DFA3"); the data size
  // drops it and reads "unknown" when its value bits are all set.
  EbmlVint readEbmlId(int max_width = 4);
  EbmlVint readEbmlSize(int max_width = 8);
  EbmlVint ebmlId(std::string_view name, int max_width = 4, std::string_view hrf = {}, int64_t seq = -1);
  EbmlVint ebmlSize(std::string_view name, int max_width = 8, std::string_view hrf = {}, int64_t seq = -1);
  // ID3v2 sync-safe integer: 7 value bits in each of `bytes` (1 to 8) bytes; a set high bit
  // is ignored in the value and noted in the readable form.
  uint64_t syncSafe(std::string_view name, int bytes = 4, std::string_view hrf = {}, int64_t seq = -1);
  // IEEE 754 binary32 or binary64 (`bits` 32 or 64).
  double floatBe(std::string_view name, int bits, std::string_view hrf = {}, int64_t seq = -1);
  double floatLe(std::string_view name, int bits, std::string_view hrf = {}, int64_t seq = -1);
  // `digits` (1 to 16) BCD digits as one decimal number. A digit above 9 is kept in the raw
  // value as its hex digit, counts as its value in the result and is noted as invalid.
  uint64_t bcd(std::string_view name, int digits, std::string_view hrf = {}, int64_t seq = -1);
  // Strings; the raw value is always valid UTF-8 (U+FFFD for what does not decode).
  // Fixed: `bytes` bytes, the text ending at the first terminator (the rest is padding).
  std::string fixedString(std::string_view name, int64_t bytes, TextEncoding encoding, std::string_view hrf = {},
                          int64_t seq = -1);
  // Terminated by a zero byte (a 2-byte aligned zero unit in UTF-16), which the element
  // covers; without one the string runs to the end and the readable form says so.
  std::string terminatedString(std::string_view name, TextEncoding encoding, std::string_view hrf = {},
                               int64_t seq = -1);
  // Four-character code; `hrf` may name it.
  uint32_t fourcc(std::string_view name, std::string_view hrf = {}, int64_t seq = -1);
  // Fixed-point number with `fraction_bits` after the point.
  int64_t fixed(std::string_view name, int bits, int fraction_bits, bool is_signed = false);
  // Time in seconds since 1904-01-01 (ISO base media, QuickTime); 0 reads "not set".
  uint64_t date1904(std::string_view name, int bits);
  // Time in seconds since 1970-01-01: unsigned below 64 bits, signed at 64.
  int64_t date1970(std::string_view name, int bits);
  // Matroska DateUTC: signed nanoseconds since 2001-01-01 in 64 bits, or 0 bits for the
  // default (the epoch itself); any other size fails.
  int64_t date2001(std::string_view name, int bits);
  // DVB UTC time (TDT, TOT, EIT): 16-bit Modified Julian Date and 24-bit BCD hh:mm:ss, read as
  // one 40-bit field; all ones reads "undefined".
  uint64_t mjdDate(std::string_view name);
  // Duration in ticks of `timescale`; all ones means unknown.
  uint64_t duration(std::string_view name, int bits, uint32_t timescale);
  // Zero-terminated UTF-8 string, up to the end when it has no terminator.
  std::string cstring(std::string_view name);
  // Pascal string: one length byte, then text; `total` bytes in all when positive.
  std::string pstring(std::string_view name, int total = 0);
  // `count` opaque bytes as one field (hex dump of the first bytes).
  void bytes(std::string_view name, int64_t count, std::string_view hrf = {}, int64_t seq = -1);
  // Whatever is left of the payload as one opaque field, if anything.
  void rest(std::string_view name, std::string_view hrf = {});
  // A field with a raw text the caller made, `bits` long at the current position.
  void text(std::string_view name, int64_t bits, std::string_view raw, std::string_view hrf = {},
            int64_t seq = -1);

  // The element id the writer gave the last field this reader wrote, 0 when none or when it went
  // through a piece writer: for the timing facts, whose frames name their element.
  int64_t lastFieldId() const { return last_field_id; }
  // The id of the first element (field or unit) this reader wrote, through its piece writer or
  // not; 0 for none.
  int64_t firstElementId() const;

  // Entry count of a table with `entry_bits` per entry, clamped to what the payload holds;
  // writes the count field with a note when the file claims more.
  uint64_t count(std::string_view name, int bits, int64_t entry_bits);

 private:
  // Fails (sticky) unless a value of `bits` (0 to 64) can be read.
  bool needValue(int bits);
  // Fails (sticky) unless `bytes` (1 to 8) little-endian bytes can be read here.
  bool needLe(int bytes);
  EbmlVint readEbmlVint(int max_width, bool keep_marker);
  EbmlVint ebmlVint(std::string_view name, int max_width, bool keep_marker, std::string_view hrf, int64_t seq);
  double floatField(std::string_view name, int bits, uint64_t raw, std::string_view hrf, int64_t seq);
  // The next `count` payload bytes in one piece (gathered around emulation prevention bytes).
  const uint8_t* contiguousBytes(int64_t count);
  // The file bit reached after reading `bits` payload bits from `from`.
  int64_t advance(int64_t from, int64_t bits) const;
  uint64_t readExpGolomb(int& payload_bits);
  uint64_t readLeb128(int& payload_bits);
  bool isSkipped(int64_t byte) const;
  // File bit of the last one bit before the trailing zeros, or -1.
  int64_t rbspStopBit() const;
  void writeField(std::string_view name, int64_t bits, std::string_view raw, std::string_view hrf, int64_t seq);
  // Every element of the reader leaves through here.
  void writeElement(std::string_view name, int64_t bit_offset, int64_t bits, std::string_view raw,
                    std::string_view hrf, int64_t seq);
  // For a code already read: the element from `start` over `payload_bits` bits of payload.
  void writeFieldFrom(int64_t start, int64_t payload_bits, std::string_view name, std::string_view raw,
                      std::string_view hrf, int64_t seq);
  // In RBSP mode: writes the emulation prevention bytes that lie wholly before `file_bit` and
  // are not shown yet; returns how many of those in [file_bit, end_bit) an element there covers.
  int64_t showSkippedBytes(int64_t file_bit, int64_t end_bit);

  ElementWriter& w;
  PieceWriter* piece_writer = nullptr;
  int64_t last_field_id = 0;
  int64_t first_element_id = 0;
  RbspScan* rbsp_scan = nullptr;
  const uint8_t* data;
  int64_t bit;
  int64_t end_bit;
  bool good = true;
  std::vector<int64_t> skipped_bytes;  // emulation prevention bytes, ascending
  std::vector<uint8_t> gathered;       // payload bytes copied out around skipped bytes
  // In RBSP mode: the file byte up to which the skipped bytes are shown, shared by every copy
  // and payload reader of the NAL unit, so that each byte is shown once.
  std::shared_ptr<int64_t> skipped_shown_until;
};

}  // namespace corvanta
