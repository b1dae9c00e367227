// Decoders of the tables: edit list, sample tables, sample groups and track runs.
// Tables may hold millions of entries: each entry is written straight from the file,
// with one reused text buffer for its summary.
#include "ElementWriter.h"
#include "formats/isobmff/IsoBmffBox.h"
#include "formats/isobmff/IsoBmffDecoders.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "formats/isobmff/IsoBmffText.h"

#include <algorithm>
#include <charconv>

namespace corvanta::isobmff::decode {

namespace {

// Writes table entries as units named "entry" with a 1-based sequence number.
class Entries {
 public:
  explicit Entries(FieldReader& fields) : f(fields) {}

  void open(uint64_t seq, int64_t bits) { f.writer().openUnit("entry", f.bitPos(), bits, {}, {}, int64_t(seq)); }
  Entries& add(const char* label, int64_t value) {
    if (!summary.empty()) summary += ", ";
    summary += label;
    summary += ' ';
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    summary.append(buffer, size_t(result.ptr - buffer));
    return *this;
  }
  void close() {
    f.writer().setUnitValue(summary);
    f.writer().closeUnit();
    summary.clear();
  }

 private:
  FieldReader& f;
  std::string summary;
};

std::string countSummary(const char* what, uint64_t count, const char* unit) {
  return std::string(what) + ", " + numberText(count) + " " + unit;
}

// A table of one value per entry, each value one field named `name`.
uint64_t singleValueTable(FieldReader& f, const char* count_name, const char* name, int bits) {
  const uint64_t count = f.count(count_name, 32, bits);
  for (uint64_t i = 1; i <= count && f.ok(); ++i) f.u(name, bits, {}, int64_t(i));
  return count;
}

}  // namespace

void elst(BoxScope& b) {
  FieldReader& f = b.f;
  const int wide = b.version == 1 ? 64 : 32;
  const uint64_t count = f.count("entry_count", 32, 2 * wide + 32);
  Entries entries(f);
  for (uint64_t i = 1; i <= count && f.ok(); ++i) {
    entries.open(i, 2 * wide + 32);
    const uint64_t duration = f.u("segment_duration", wide, "in movie timescale units");
    const int64_t media_time = f.s("media_time", wide, f.peek(wide) == (wide == 64 ? ~uint64_t(0) : 0xffffffffu) ? "empty edit" : "");
    f.s("media_rate_integer", 16);
    f.s("media_rate_fraction", 16);
    entries.add("duration", int64_t(duration)).add("media_time", media_time).close();
  }
  b.summary = countSummary("Edit list", count, "entries");
}

void stts(BoxScope& b) {
  FieldReader& f = b.f;
  const uint64_t count = f.count("entry_count", 32, 64);
  Entries entries(f);
  for (uint64_t i = 1; i <= count && f.ok(); ++i) {
    entries.open(i, 64);
    const uint64_t samples = f.u("sample_count", 32);
    const uint64_t delta = f.u("sample_delta", 32);
    entries.add("samples", int64_t(samples)).add("delta", int64_t(delta)).close();
  }
  b.summary = countSummary("Decoding time to sample", count, "entries");
}

void ctts(BoxScope& b) {
  FieldReader& f = b.f;
  const uint64_t count = f.count("entry_count", 32, 64);
  Entries entries(f);
  for (uint64_t i = 1; i <= count && f.ok(); ++i) {
    entries.open(i, 64);
    const uint64_t samples = f.u("sample_count", 32);
    const int64_t offset = b.version == 1 ? f.s("sample_offset", 32) : int64_t(f.u("sample_offset", 32));
    entries.add("samples", int64_t(samples)).add("offset", offset).close();
  }
  b.summary = countSummary("Composition time to sample", count, "entries");
}

void stss(BoxScope& b) {
  const uint64_t count = singleValueTable(b.f, "entry_count", "sample_number", 32);
  b.summary = countSummary(b.box.type == fourCC("stps") ? "Partial sync sample" : "Sync sample", count, "entries");
}

void stsc(BoxScope& b) {
  FieldReader& f = b.f;
  const uint64_t count = f.count("entry_count", 32, 96);
  Entries entries(f);
  for (uint64_t i = 1; i <= count && f.ok(); ++i) {
    entries.open(i, 96);
    const uint64_t first = f.u("first_chunk", 32);
    const uint64_t per_chunk = f.u("samples_per_chunk", 32);
    const uint64_t description = f.u("sample_description_index", 32);
    entries.add("first_chunk", int64_t(first)).add("samples", int64_t(per_chunk))
        .add("description", int64_t(description)).close();
  }
  b.summary = countSummary("Sample to chunk", count, "entries");
}

void stsz(BoxScope& b) {
  FieldReader& f = b.f;
  const uint64_t size = f.u("sample_size", 32, f.peek(32) ? "every sample has this size" : "sizes follow");
  if (size) {
    const uint64_t count = f.u("sample_count", 32);
    b.summary = "Sample size, " + numberText(count) + " samples of " + numberText(size) + " bytes";
    return;
  }
  const uint64_t count = singleValueTable(f, "sample_count", "entry_size", 32);
  b.summary = countSummary("Sample size", count, "samples");
}

void stz2(BoxScope& b) {
  FieldReader& f = b.f;
  f.u("reserved", 24);
  const uint64_t field_size = f.u("field_size", 8, "bits per entry");
  if (field_size != 4 && field_size != 8 && field_size != 16) {
    f.u("sample_count", 32);
    f.rest("data", "field_size must be 4, 8 or 16");
    return;
  }
  const uint64_t count = singleValueTable(f, "sample_count", "entry_size", int(field_size));
  if (count & 1 && field_size == 4 && f.bitsLeft() >= 4) f.u("padding", 4);
  b.summary = countSummary("Compact sample size", count, "samples");
}

void stco(BoxScope& b) {
  b.summary = countSummary("Chunk offset", singleValueTable(b.f, "entry_count", "chunk_offset", 32), "chunks");
}

void co64(BoxScope& b) {
  b.summary = countSummary("Chunk offset (64-bit)", singleValueTable(b.f, "entry_count", "chunk_offset", 64), "chunks");
}

void sdtp(BoxScope& b) {
  FieldReader& f = b.f;
  static const char* const kLeading[] = {"leading unknown", "leading, depends on previous I", "not leading",
                                         "leading, independent of previous I"};
  static const char* const kDepends[] = {"depends: unknown", "depends on others", "independent", "depends: reserved"};
  static const char* const kDepended[] = {"depended on: unknown", "depended on", "disposable", "depended on: reserved"};
  static const char* const kRedundancy[] = {"redundancy unknown", "redundant", "not redundant", "redundancy reserved"};
  std::string hrf;
  uint64_t i = 1;
  for (; f.bytesLeft() > 0; ++i) {
    const unsigned v = unsigned(f.peek(8));
    hrf.clear();
    hrf.append(kLeading[v >> 6]).append(", ").append(kDepends[(v >> 4) & 3]).append(", ")
        .append(kDepended[(v >> 2) & 3]).append(", ").append(kRedundancy[v & 3]);
    f.u("entry", 8, hrf, int64_t(i));
  }
  b.summary = countSummary("Independent and disposable samples", i - 1, "samples");
}

void sbgp(BoxScope& b) {
  FieldReader& f = b.f;
  const uint32_t grouping = f.fourcc("grouping_type");
  if (b.version == 1) f.u("grouping_type_parameter", 32);
  const uint64_t count = f.count("entry_count", 32, 64);
  Entries entries(f);
  for (uint64_t i = 1; i <= count && f.ok(); ++i) {
    entries.open(i, 64);
    const uint64_t samples = f.u("sample_count", 32);
    const uint64_t index = f.u("group_description_index", 32, f.peek(32) ? "" : "no group");
    entries.add("samples", int64_t(samples)).add("group", int64_t(index)).close();
  }
  b.summary = "Sample to group " + fourCCText(grouping) + ", " + numberText(count) + " entries";
}

namespace {

// Bits of one description entry of a grouping type whose layout is fixed, or 0.
int knownGroupEntryBits(uint32_t grouping) {
  switch (grouping) {
    case fourCC("roll"): case fourCC("prol"): return 16;
    case fourCC("rap "): case fourCC("sync"): case fourCC("tele"): return 8;
    default: return 0;
  }
}

// Sample group entries that are one byte of two bit fields, by grouping type.
struct ByteGroupEntry {
  uint32_t grouping;
  const char* first;
  int first_bits;
  const char* second;
};
constexpr ByteGroupEntry kByteGroupEntries[] = {
    {fourCC("rap "), "num_leading_samples_known", 1, "num_leading_samples"},
    {fourCC("sync"), "reserved", 2, "NAL_unit_type"},
    {fourCC("tele"), "level_independently_decodable", 1, "reserved"},
};

void groupEntryFields(FieldReader& f, uint32_t grouping, int64_t bytes) {
  if ((grouping == fourCC("roll") || grouping == fourCC("prol")) && bytes == 2)
    return void(f.s("roll_distance", 16));
  for (const ByteGroupEntry& entry : kByteGroupEntries) {
    if (entry.grouping == grouping && bytes == 1) {
      f.u(entry.first, entry.first_bits);
      f.u(entry.second, 8 - entry.first_bits);
      return;
    }
  }
  f.bytes("data", bytes);
}

}  // namespace

void sgpd(BoxScope& b) {
  FieldReader& f = b.f;
  const uint32_t grouping = f.fourcc("grouping_type");
  uint64_t default_length = 0;
  if (b.version == 1) default_length = f.u("default_length", 32);
  if (b.version >= 2) f.u("default_sample_description_index", 32);
  const uint64_t count = f.u("entry_count", 32);
  for (uint64_t i = 1; i <= count && f.ok() && f.bytesLeft() > 0; ++i) {
    const int64_t start = f.bitPos();
    f.writer().openUnit("entry", start, f.bitsLeft(), {}, {}, int64_t(i));
    int64_t length = int64_t(default_length);
    if (b.version == 1 && default_length == 0) length = int64_t(f.u("description_length", 32));
    if (b.version != 1) length = knownGroupEntryBits(grouping) / 8;
    if (length <= 0 || length > f.bytesLeft()) {
      f.writer().closeUnit(f.bitPos() - start);
      f.rest("data", "entries of unknown size");
      break;
    }
    groupEntryFields(f, grouping, length);
    f.writer().closeUnit(f.bitPos() - start);
  }
  b.summary = "Sample group description " + fourCCText(grouping) + ", " + numberText(count) + " entries";
}

void trun(BoxScope& b) {
  FieldReader& f = b.f;
  const uint32_t flags = b.flags;
  const int per_sample = 32 * (!!(flags & 0x100) + !!(flags & 0x200) + !!(flags & 0x400) + !!(flags & 0x800));
  const int64_t header_bits = 32 * (!!(flags & 0x1) + !!(flags & 0x4));
  uint64_t count = 0;
  if (per_sample) {
    // the count is checked against what follows the optional header fields
    const uint64_t declared = f.peek(32);
    const uint64_t fits = uint64_t(std::max<int64_t>(0, f.bitsLeft() - 32 - header_bits) / per_sample);
    count = std::min(declared, fits);
    f.u("sample_count", 32, declared > fits ? "more than the box holds: only " + numberText(fits) + " entries present" : "");
  } else {
    count = f.u("sample_count", 32);
  }
  if (flags & 0x1) f.s("data_offset", 32, "from the base data offset");
  if (flags & 0x4) f.uh("first_sample_flags", 32, [](uint64_t v) { return sampleFlagsText(uint32_t(v)); });
  Entries entries(f);
  for (uint64_t i = 1; per_sample && i <= count && f.ok(); ++i) {
    entries.open(i, per_sample);
    if (flags & 0x100) entries.add("duration", int64_t(f.u("sample_duration", 32)));
    if (flags & 0x200) entries.add("size", int64_t(f.u("sample_size", 32)));
    if (flags & 0x400) f.uh("sample_flags", 32, [](uint64_t v) { return sampleFlagsText(uint32_t(v)); });
    if (flags & 0x800) {
      const int64_t offset = b.version == 0 ? int64_t(f.u("sample_composition_time_offset", 32))
                                            : f.s("sample_composition_time_offset", 32);
      entries.add("cto", offset);
    }
    entries.close();
  }
  b.summary = countSummary("Track run", count, count == 1 ? "sample" : "samples");
}

}  // namespace corvanta::isobmff::decode
