#include "formats/matroska/MatroskaEbml.h"

#include "TextForms.h"
#include "formats/matroska/MatroskaElements.h"

#include <cstring>

namespace corvanta::matroska {

namespace {

// Width of the EBML code that starts with `first`, or 0 when it would be longer than 8 bytes.
int codeWidth(uint8_t first) {
  for (int width = 1; width <= 8; ++width)
    if (first & (0x80 >> (width - 1))) return width;
  return 0;
}

uint64_t bigEndian(const uint8_t* p, int64_t size) {
  uint64_t value = 0;
  for (int64_t i = 0; i < size; ++i) value = (value << 8) | p[i];
  return value;
}

}  // namespace

bool isValidElementId(uint32_t id, int width) {
  if (width < 1 || width > 4) return false;
  const uint32_t value_bits = (uint32_t(1) << (7 * width)) - 1;
  const uint32_t value = id & value_bits;
  if (value == 0 || value == value_bits) return false;
  // The shortest code: a value that fits the next shorter width (without being its reserved
  // all-ones value) must use it.
  const uint32_t shorter_bits = width > 1 ? (uint32_t(1) << (7 * (width - 1))) - 1 : 0;
  return width == 1 || value >= shorter_bits;
}

bool readElementHeader(const uint8_t* data, int64_t pos, int64_t limit, const EbmlLimits& limits, ElementHeader& out) {
  if (pos < 0 || pos >= limit) return false;
  const int id_width = codeWidth(data[pos]);
  if (id_width == 0 || id_width > limits.max_id_width || id_width > 4 || limit - pos < id_width + 1) return false;
  const auto id = uint32_t(bigEndian(data + pos, id_width));
  // The table knows a few early IDs that break the rule (ChapterDisplay is 0x80).
  if (!isValidElementId(id, id_width) && !findElementType(id)) return false;
  const int64_t size_at = pos + id_width;
  const int size_width = codeWidth(data[size_at]);
  if (size_width == 0 || size_width > limits.max_size_width || limit - size_at < size_width) return false;
  const uint64_t value_bits = (uint64_t(1) << (7 * size_width)) - 1;
  const uint64_t size = bigEndian(data + size_at, size_width) & value_bits;
  out.offset = pos;
  out.id = id;
  out.id_width = uint8_t(id_width);
  out.size_width = uint8_t(size_width);
  out.data = size_at + size_width;
  out.declared_size = size;
  out.unknown_size = size == value_bits;
  const int64_t room = limit - out.data;
  out.past_limit = !out.unknown_size && size > uint64_t(room);
  out.end = out.unknown_size || out.past_limit ? limit : out.data + int64_t(size);
  return true;
}

bool readVint(const uint8_t* p, int64_t room, uint64_t& value, int& width) {
  if (room < 1) return false;
  width = codeWidth(p[0]);
  if (width == 0 || width > room) return false;
  value = bigEndian(p, width) & ((uint64_t(1) << (7 * width)) - 1);
  return true;
}

bool readUnsigned(const uint8_t* p, int64_t size, uint64_t& value) {
  if (size < 0 || size > 8) return false;
  value = bigEndian(p, size);
  return true;
}

bool readSigned(const uint8_t* p, int64_t size, int64_t& value) {
  uint64_t raw = 0;
  if (!readUnsigned(p, size, raw)) return false;
  if (size > 0 && size < 8 && (raw >> (8 * size - 1)) & 1) raw |= ~uint64_t(0) << (8 * size);
  value = int64_t(raw);
  return true;
}

bool readFloat(const uint8_t* p, int64_t size, double& value) {
  if (size == 0) {
    value = 0;
  } else if (size == 4) {
    const auto bits = uint32_t(bigEndian(p, 4));
    float single;
    std::memcpy(&single, &bits, sizeof single);
    value = single;
  } else if (size == 8) {
    const uint64_t bits = bigEndian(p, 8);
    std::memcpy(&value, &bits, sizeof value);
  } else {
    return false;
  }
  return true;
}

bool findChild(const uint8_t* data, int64_t begin, int64_t end, const EbmlLimits& limits, uint32_t child_id,
               ElementHeader& out, int max_children) {
  int64_t pos = begin;
  for (int i = 0; i < max_children && pos < end; ++i) {
    ElementHeader h;
    if (!readElementHeader(data, pos, end, limits, h) || h.unknown_size) return false;
    if (h.id == child_id) {
      out = h;
      return !h.past_limit;
    }
    pos = h.end;
  }
  return false;
}

namespace {

// The value of the first child with `child_id`, read by `read`, or the fallback.
template <class T>
T childValue(const uint8_t* data, int64_t begin, int64_t end, const EbmlLimits& limits, uint32_t child_id,
             bool (*read)(const uint8_t*, int64_t, T&), T fallback) {
  ElementHeader h;
  T value{};
  return findChild(data, begin, end, limits, child_id, h) && read(data + h.data, h.end - h.data, value) ? value
                                                                                                        : fallback;
}

}  // namespace

uint64_t childUnsigned(const uint8_t* data, int64_t begin, int64_t end, const EbmlLimits& limits, uint32_t child_id,
                       uint64_t fallback) {
  return childValue<uint64_t>(data, begin, end, limits, child_id, readUnsigned, fallback);
}

double childFloat(const uint8_t* data, int64_t begin, int64_t end, const EbmlLimits& limits, uint32_t child_id,
                  double fallback) {
  return childValue<double>(data, begin, end, limits, child_id, readFloat, fallback);
}

std::string childText(const uint8_t* data, int64_t begin, int64_t end, const EbmlLimits& limits, uint32_t child_id,
                      int64_t max_bytes) {
  ElementHeader h;
  if (!findChild(data, begin, end, limits, child_id, h)) return {};
  const int64_t size = std::min(h.end - h.data, max_bytes);
  const void* zero = std::memchr(data + h.data, 0, size_t(size));
  const int64_t length = zero ? static_cast<const uint8_t*>(zero) - (data + h.data) : size;
  return utf8Text(data + h.data, length);
}

}  // namespace corvanta::matroska
