#pragma once

#include "FieldReader.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

// What the H.264 and H.265 NAL unit decoders share: the length-prefixed parameter sets of the
// configuration records, the end of an RBSP, bounded Exp-Golomb values, compact code lists and
// the fields both VUIs start with.
namespace corvanta::codecs {

// What a frame's summary needs from one slice of H.264 or H.265.
struct SliceInfo {
  bool typed = false;          // the slice type was read
  bool decoded = false;        // the header was read to its last field
  bool random_access = false;  // an IDR picture (H.264) or an IRAP picture (H.265)
  int dependency = 0;          // 0 intra (I, SI), 1 predicted (P, SP), 2 bi-predicted (B)
};

// Decodes one NAL unit from a reader over exactly its bytes; returns the unit's summary.
using NalUnitDecoder = std::function<std::string(FieldReader&)>;

// A parameter set as avcC and hvcC carry it: a 16-bit length, then the NAL unit as a unit named
// `unit_name` that `decode` fills. A length that runs past the record fails `f`.
void lengthPrefixedNalUnit(FieldReader& f, std::string_view length_name, std::string_view unit_name, int64_t seq,
                           const NalUnitDecoder& decode);

// rbsp_trailing_bits() and any zero bytes after them. Payload data left before the stop bit means
// the decoder and the data disagree: the reader fails and the rest stays undecoded.
void rbspTrailingBits(FieldReader& f);

// Data up to the stop bit that is not decoded (extensions), as one field.
void rbspOpaqueData(FieldReader& f, std::string_view name);

// The end of a NAL unit decoder: after an error, everything not decoded as one opaque field.
// False when there was an error.
bool endNalUnit(FieldReader& f);

// An index or count whose largest legal value is `max`: a larger one is shown as out of range
// and fails the reader, since later loops or lookups would take it on trust.
uint64_t ueMax(FieldReader& f, std::string_view name, uint64_t max, int64_t seq = -1);
uint64_t uMax(FieldReader& f, std::string_view name, int bits, uint64_t max, int64_t seq = -1);

// The codes that `read` consumes on a copy of the reader, written as one field over exactly
// their bits. `read(FieldReader&)` returns {raw, hrf}. Lists of many small codes (scaling lists,
// slice group ids) read better this way than as dozens of elements.
template <class Read>
void compactField(FieldReader& f, std::string_view name, int64_t seq, Read&& read) {
  if (!f.ok()) return;
  FieldReader probe = f;
  const int64_t before = probe.bitsLeft();
  const std::pair<std::string, std::string> text = read(probe);
  if (!probe.ok()) {
    f.fail();
    return;
  }
  f.text(name, before - probe.bitsLeft(), text.first, text.second, seq);
}

// What the VUI of H.264 (Annex E) and H.265 start with: aspect ratio, overscan, video signal
// type with its colour description, chroma sample location.
void vuiPictureFields(FieldReader& f);

// "bit_rate_value_minus1" and friends: value + 1 scaled by 2^shift, as text with `unit`.
std::string scaledValueText(uint64_t value_minus1, int shift, std::string_view unit);

}  // namespace corvanta::codecs
