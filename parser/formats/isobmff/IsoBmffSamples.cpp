#include "formats/isobmff/IsoBmffSamples.h"

#include "formats/isobmff/IsoBmffBox.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"

#include <algorithm>

namespace corvanta::isobmff {

namespace {

constexpr int kMaxDepth = 24;
// Constant-size samples this small (PCM frames) are claimed per chunk, not one by one.
constexpr uint32_t kSmallConstantSample = 16;
// Stands for "somewhere past any file" while keeping offset arithmetic far from overflow.
constexpr int64_t kFarAway = int64_t(1) << 62;
constexpr size_t kMaxTracks = 4096;

bool fits(int64_t pos, int64_t count, int64_t end) { return pos >= 0 && count >= 0 && pos + count <= end; }

// A table box read as `count` entries of `entry_size` bytes after a 32-bit count field.
struct Table {
  const uint8_t* first = nullptr;
  uint64_t entries = 0;
  int entry_size = 0;

  Table() = default;
  Table(const uint8_t* data, const TableBox& box, int64_t header, int size) : entry_size(size) {
    if (!box.found || !fits(box.begin, header, box.end)) return;
    const uint64_t declared = loadBe32(data + box.begin + header - 4);
    const uint64_t room = uint64_t(box.end - box.begin - header) / uint64_t(size);
    entries = std::min(declared, room);
    first = data + box.begin + header;
  }
  uint32_t u32(uint64_t index, int field) const { return loadBe32(first + index * entry_size + field * 4); }
};

// Steps through stts as samples go by.
struct DecodeTimes {
  Table table;
  uint64_t entry = 0;
  uint64_t left = 0;
  uint32_t delta = 0;
  uint64_t dts = 0;  // unsigned: hostile tables may wrap, never overflow

  void load() {
    while (left == 0 && entry < table.entries) {
      left = table.u32(entry, 0);
      delta = table.u32(entry, 1);
      ++entry;
    }
  }
  // The time `samples` from here take, as far as the table says.
  uint64_t span(uint64_t samples) {
    load();
    return left >= samples ? samples * delta : 0;
  }
  void advance(uint64_t samples) {
    while (samples > 0) {
      load();
      if (left == 0) {  // table exhausted: time stands still
        return;
      }
      const uint64_t step = std::min(samples, left);
      dts += step * delta;
      left -= step;
      samples -= step;
    }
  }
};

// Steps through ctts as samples go by: each sample's composition offset, 0 past the table.
struct CompositionOffsets {
  Table table;
  uint64_t entry = 0;
  uint64_t left = 0;
  int32_t offset = 0;

  void load() {
    while (left == 0 && entry < table.entries) {
      left = table.u32(entry, 0);
      offset = int32_t(table.u32(entry, 1));  // signed in version 1, and so written in practice
      ++entry;
    }
  }
  int32_t next() {
    load();
    if (left == 0) return 0;
    --left;
    return offset;
  }
  void skip(uint64_t samples) {
    for (load(); samples > 0 && left > 0; load()) {
      const uint64_t step = std::min(samples, left);
      left -= step;
      samples -= step;
    }
  }
};

// Answers "is sample N a sync sample" for increasing N.
struct SyncSamples {
  Table table;
  uint64_t next = 0;
  bool isSync(uint64_t number) {
    if (!table.first) return true;
    while (next < table.entries && table.u32(next, 0) < number) ++next;
    return next < table.entries && table.u32(next, 0) == number;
  }
};

uint64_t readSized(const uint8_t* data, int64_t& pos, int bytes, int64_t end, bool& ok) {
  if (!fits(pos, bytes, end)) {
    ok = false;
    return 0;
  }
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | data[pos + i];
  pos += bytes;
  return value;
}

TableBox tableBox(const uint8_t* data, int64_t payload, int64_t end) {
  TableBox box;
  if (!fits(payload, 4, end)) return box;
  box.found = true;
  box.version = data[payload];
  box.begin = payload + 4;
  box.end = end;
  return box;
}

}  // namespace

std::string TrackInfo::kindText() const {
  switch (handler) {
    case fourCC("vide"): return "video";
    case fourCC("soun"): return "audio";
    case fourCC("subt"): case fourCC("sbtl"): case fourCC("text"): return "subtitles";
    case fourCC("hint"): return "hint";
    case fourCC("meta"): return "metadata";
    case fourCC("tmcd"): return "timecode";
    case 0: return "track";
    default: return fourCCText(handler);
  }
}

std::string TrackInfo::summary() const {
  std::string out = "Track " + numberText(track_id) + " " + kindText();
  if (codec) out += " " + fourCCText(codec);
  if (width && height) out += " " + numberText(width) + "x" + numberText(height);
  if (samples) out += ", " + numberText(samples) + (samples == 1 ? " sample" : " samples");
  if (outside) out += " (" + numberText(outside) + " outside mdat)";
  return out;
}

struct SampleMap::Walk {
  int track = -1;
  int traf = -1;
  int64_t moof_offset = -1;
  bool first_traf = true;
};

void SampleMap::build(const uint8_t* file_data, int64_t size) {
  data = file_data;
  file_size = size;
  // Claims that lie side by side are bounded by the file's bytes; only overlapping or empty
  // ones, which a hostile chunk table repeats at will, can go beyond. So the cap follows the
  // size, with a floor for small files of tiny samples that stays cheap to list.
  max_claims = size_t(size / 16) + (size_t(1) << 16);
  if (size >= 12 && loadBe32(data + 4) == fourCC("ftyp") && loadBe32(data + 8) == fourCC("qt  ")) quicktime = true;
  Walk state;
  walk(state, 0, size, 0, 0);
  for (size_t i = 0; i < track_list.size() && !cap_reached; ++i) buildProgressive(i);
  int64_t previous_end = 0;
  for (const TrafBoxes& traf : trafs) {
    if (cap_reached) break;
    buildFragment(traf, previous_end);
  }
  if (!cap_reached) buildItems();
  std::sort(claim_list.begin(), claim_list.end(), [](const Claim& a, const Claim& b) {
    if (a.offset != b.offset) return a.offset < b.offset;
    if (a.track != b.track) return a.track < b.track;
    return a.number < b.number;
  });
}

void SampleMap::walk(Walk& state, int64_t begin, int64_t end, uint32_t parent, int depth) {
  int64_t pos = begin;
  while (pos < end) {
    const BoxItem item = nextBoxItem(data, pos, end, parent == fourCC("ilst"));
    if (!item.is_box) {
      pos = item.garbage_end;
      continue;
    }
    const BoxHeader& h = item.header;
    onBox(state, h.type, parent, h.offset, h.payload, h.end);
    int64_t children = -1;
    switch (h.type) {
      case fourCC("moov"): case fourCC("trak"): case fourCC("mdia"): case fourCC("minf"): case fourCC("stbl"):
      case fourCC("mvex"): case fourCC("moof"): case fourCC("traf"):
        children = h.payload;
        break;
      case fourCC("meta"):
        if (parent == 0) children = metaIsFullBox(data, h.payload, h.end) ? h.payload + 4 : h.payload;
        break;
      case fourCC("iinf"):
        if (parent == fourCC("meta") && fits(h.payload, 4, h.end))
          children = h.payload + (data[h.payload] == 0 ? 6 : 8);
        break;
      default:
        break;
    }
    if (children >= 0 && children <= h.end && depth < kMaxDepth) {
      walk(state, children, h.end, h.type, depth + 1);
      if (h.type == fourCC("trak")) state.track = -1;
      if (h.type == fourCC("traf")) state.traf = -1;
    }
    pos = h.end;
  }
}

// The avcC, hvcC or av1C box among the children of a visual sample entry, which frames need for
// their NAL length size and parameter sets or their sequence header.
void SampleMap::findNalConfiguration(TrackInfo& track, int64_t entry, int64_t entry_end) {
  constexpr int64_t kVisualSampleEntrySize = 86;
  int64_t at = entry + kVisualSampleEntrySize;
  for (int boxes = 0; boxes < 64 && fits(at, 8, entry_end); ++boxes) {
    const int64_t size = loadBe32(data + at);
    const uint32_t type = loadBe32(data + at + 4);
    if (size < 8 || size > entry_end - at) return;
    if (type == fourCC("avcC") || type == fourCC("hvcC") || type == fourCC("av1C")) {
      track.config_type = type;
      track.config_begin = at + 8;
      track.config_end = at + size;
      return;
    }
    at += size;
  }
}

void SampleMap::onBox(Walk& state, uint32_t type, uint32_t parent, int64_t offset, int64_t payload,
                      int64_t end) {
  TrackInfo* track = state.track >= 0 ? &track_list[size_t(state.track)] : nullptr;
  TrafBoxes* traf = state.traf >= 0 ? &trafs[size_t(state.traf)] : nullptr;
  const uint8_t version = fits(payload, 1, end) ? data[payload] : 0;
  switch (type) {
    case fourCC("mdat"):
      mdat_ranges.emplace_back(payload, end);
      break;
    case fourCC("trak"):
      if (parent == fourCC("moov") && track_list.size() < kMaxTracks) {
        track_list.emplace_back();
        track_list.back().trak_offset = offset;
        state.track = int(track_list.size()) - 1;
      }
      break;
    case fourCC("tkhd"): {
      if (!track || parent != fourCC("trak")) break;
      const int64_t id_at = payload + (version == 1 ? 20 : 12);
      if (fits(id_at, 4, end)) track->track_id = loadBe32(data + id_at);
      const int64_t size_at = payload + 4 + (version == 1 ? 32 : 20) + 52;
      if (fits(size_at, 8, end) && !track->width) {
        track->width = loadBe32(data + size_at) >> 16;
        track->height = loadBe32(data + size_at + 4) >> 16;
      }
      break;
    }
    case fourCC("mdhd"): {
      const int64_t at = payload + (version == 1 ? 20 : 12);
      if (track && fits(at, 4, end)) track->timescale = loadBe32(data + at);
      break;
    }
    case fourCC("hdlr"):
      if (track && parent == fourCC("mdia") && fits(payload + 8, 4, end)) track->handler = loadBe32(data + payload + 8);
      break;
    case fourCC("stsd"): {
      const int64_t entry = payload + 8;
      if (!track || !fits(entry, 8, end)) break;
      track->codec = loadBe32(data + entry + 4);
      if (track->handler == fourCC("vide") && fits(entry + 32, 4, end)) {
        track->width = loadBe16(data + entry + 32);
        track->height = loadBe16(data + entry + 34);
        findNalConfiguration(*track, entry, std::min<int64_t>(end, entry + loadBe32(data + entry)));
      }
      break;
    }
    case fourCC("stts"): if (track) track->stts = tableBox(data, payload, end); break;
    case fourCC("stsc"): if (track) track->stsc = tableBox(data, payload, end); break;
    case fourCC("stsz"): if (track) track->stsz = tableBox(data, payload, end); break;
    case fourCC("stz2"): if (track) track->stz2 = tableBox(data, payload, end); break;
    case fourCC("stco"): if (track) track->stco = tableBox(data, payload, end); break;
    case fourCC("co64"): if (track) track->co64 = tableBox(data, payload, end); break;
    case fourCC("stss"): if (track) track->stss = tableBox(data, payload, end); break;
    case fourCC("ctts"): if (track) track->ctts = tableBox(data, payload, end); break;
    case fourCC("trex"):
      if (fits(payload + 4, 20, end)) {
        TrackInfo& t = trackFor(loadBe32(data + payload + 4));
        t.has_trex = true;
        t.trex_duration = loadBe32(data + payload + 12);
        t.trex_size = loadBe32(data + payload + 16);
        t.trex_flags = loadBe32(data + payload + 20);
      }
      break;
    case fourCC("moof"):
      state.moof_offset = offset;
      state.first_traf = true;
      break;
    case fourCC("traf"):
      if (parent != fourCC("moof")) break;
      trafs.emplace_back();
      trafs.back().moof_offset = state.moof_offset;
      trafs.back().traf_offset = offset;
      trafs.back().first_in_moof = state.first_traf;
      state.first_traf = false;
      state.traf = int(trafs.size()) - 1;
      break;
    case fourCC("tfhd"):
      if (traf && fits(payload, 4, end)) {
        traf->tfhd = tableBox(data, payload, end);
        traf->tfhd_flags = loadBe32(data + payload) & 0xffffff;
      }
      break;
    case fourCC("tfdt"): if (traf) traf->tfdt = tableBox(data, payload, end); break;
    case fourCC("trun"):
      if (traf && fits(payload, 4, end))
        traf->truns.emplace_back(tableBox(data, payload, end), loadBe32(data + payload) & 0xffffff);
      break;
    case fourCC("iloc"):
      if (parent == fourCC("meta") && fits(payload, 4, end)) {
        iloc_begin = payload + 4;
        iloc_end = end;
        iloc_version = version;
      }
      break;
    case fourCC("infe"):
      if (parent == fourCC("iinf") && version >= 2) {
        int64_t pos = payload + 4;
        bool ok = true;
        const uint32_t id = uint32_t(readSized(data, pos, version == 2 ? 2 : 4, end, ok));
        pos += 2;
        const uint32_t item_type = uint32_t(readSized(data, pos, 4, end, ok));
        if (ok && item_types.size() < 65536) item_types.emplace_back(id, item_type);
      }
      break;
    default:
      break;
  }
}

TrackInfo& SampleMap::trackFor(uint32_t track_id) {
  for (TrackInfo& t : track_list)
    if (t.track_id == track_id) return t;
  if (track_list.size() >= kMaxTracks) return track_list.back();
  track_list.emplace_back();
  track_list.back().track_id = track_id;
  return track_list.back();
}

const TrackInfo* SampleMap::trackAt(int64_t trak_offset) const {
  for (const TrackInfo& t : track_list)
    if (t.trak_offset == trak_offset) return &t;
  return nullptr;
}

const TrackInfo* SampleMap::trackById(uint32_t track_id) const {
  for (const TrackInfo& t : track_list)
    if (t.track_id == track_id) return &t;
  return nullptr;
}

const FragmentInfo* SampleMap::fragmentAt(int64_t traf_offset) const {
  const auto it = std::lower_bound(fragments.begin(), fragments.end(), traf_offset,
                                   [](const FragmentInfo& f, int64_t o) { return f.traf_offset < o; });
  return it != fragments.end() && it->traf_offset == traf_offset ? &*it : nullptr;
}

size_t SampleMap::firstClaimFrom(int64_t offset) const {
  return size_t(std::lower_bound(claim_list.begin(), claim_list.end(), offset,
                                 [](const Claim& c, int64_t o) { return c.offset < o; }) -
                claim_list.begin());
}

uint32_t SampleMap::itemType(uint32_t item_id) const {
  for (const auto& [id, type] : item_types)
    if (id == item_id) return type;
  return 0;
}

bool SampleMap::addClaim(const Claim& claim) {
  if (claim_list.size() >= max_claims) {
    cap_reached = true;
    return false;
  }
  claim_list.push_back(claim);
  Claim& c = claim_list.back();
  const auto it = std::upper_bound(mdat_ranges.begin(), mdat_ranges.end(), c.offset,
                                   [](int64_t o, const std::pair<int64_t, int64_t>& r) { return o < r.first; });
  const bool inside = it != mdat_ranges.begin() && c.offset < std::prev(it)->second;
  if (!inside) c.flags |= Claim::kOutside;
  if (!(c.flags & Claim::kItem)) {
    TrackInfo& t = track_list[c.track];
    t.samples += c.count;
    if (!inside) t.outside += c.count;
  }
  return true;
}

void SampleMap::buildProgressive(size_t index) {
  TrackInfo& t = track_list[index];
  const bool long_offsets = !t.stco.found && t.co64.found;
  const Table chunks(data, long_offsets ? t.co64 : t.stco, 4, long_offsets ? 8 : 4);
  const Table stsc(data, t.stsc, 4, 12);
  if (!chunks.first || !stsc.first) return;

  // Sample sizes: stsz (constant or one 32-bit entry each) or stz2 (4, 8 or 16 bits each).
  uint32_t constant = 0;
  uint64_t total = 0;
  const uint8_t* sizes = nullptr;
  int field_bits = 32;
  if (t.stsz.found && fits(t.stsz.begin, 8, t.stsz.end)) {
    constant = loadBe32(data + t.stsz.begin);
    total = loadBe32(data + t.stsz.begin + 4);
    sizes = data + t.stsz.begin + 8;
    if (!constant) total = std::min<uint64_t>(total, uint64_t(t.stsz.end - t.stsz.begin - 8) / 4);
  } else if (t.stz2.found && fits(t.stz2.begin, 8, t.stz2.end)) {
    field_bits = data[t.stz2.begin + 3];
    if (field_bits != 4 && field_bits != 8 && field_bits != 16) return;
    total = loadBe32(data + t.stz2.begin + 4);
    sizes = data + t.stz2.begin + 8;
    total = std::min<uint64_t>(total, uint64_t(t.stz2.end - t.stz2.begin - 8) * 8 / uint64_t(field_bits));
  } else {
    return;
  }
  auto sampleSize = [&](uint64_t i) -> uint32_t {
    if (constant) return constant;
    switch (field_bits) {
      case 4: return (sizes[i / 2] >> ((i & 1) ? 0 : 4)) & 15;
      case 8: return sizes[i];
      case 16: return loadBe16(sizes + 2 * i);
      default: return loadBe32(sizes + 4 * i);
    }
  };

  DecodeTimes times;
  times.table = Table(data, t.stts, 4, 8);
  SyncSamples sync;
  sync.table = Table(data, t.stss, 4, 4);
  CompositionOffsets composition;
  composition.table = Table(data, t.ctts, 4, 8);
  const uint16_t track = uint16_t(index);
  uint64_t done = 0;
  for (uint64_t e = 0; e < stsc.entries && done < total; ++e) {
    const uint64_t first_chunk = stsc.u32(e, 0);
    const uint64_t next_first = e + 1 < stsc.entries ? stsc.u32(e + 1, 0) : chunks.entries + 1;
    const uint64_t per_chunk = stsc.u32(e, 1);
    if (first_chunk == 0 || per_chunk == 0) continue;
    const uint64_t last = std::min<uint64_t>(next_first, chunks.entries + 1);
    for (uint64_t chunk = first_chunk; chunk < last && done < total; ++chunk) {
      int64_t pos = int64_t(long_offsets ? loadBe64(chunks.first + (chunk - 1) * 8) : chunks.u32(chunk - 1, 0));
      if (pos < 0) pos = file_size;  // an offset beyond 2^63 can only be outside the file
      const uint64_t in_chunk = std::min(per_chunk, total - done);
      if (constant && constant <= kSmallConstantSample) {
        Claim c;
        c.offset = pos;
        c.size = uint32_t(std::min<uint64_t>(uint64_t(constant) * in_chunk, UINT32_MAX));
        c.number = uint32_t(done + 1);
        c.count = uint32_t(in_chunk);
        c.track = track;
        c.dts = int64_t(times.dts);
        c.duration = uint32_t(std::min<uint64_t>(times.span(in_chunk), UINT32_MAX));
        c.flags = Claim::kSync;
        if (!addClaim(c)) return;
        times.advance(in_chunk);
        done += in_chunk;
        continue;
      }
      for (uint64_t k = 0; k < in_chunk; ++k) {
        if (pos >= file_size) {  // the rest of this chunk lies past the file: count, don't list
          const uint64_t rest = in_chunk - k;
          t.samples += rest;
          t.outside += rest;
          times.advance(rest);
          composition.skip(rest);
          done += rest;
          break;
        }
        Claim c;
        c.offset = pos;
        c.size = sampleSize(done);
        c.number = uint32_t(done + 1);
        c.track = track;
        c.dts = int64_t(times.dts);
        c.duration = uint32_t(std::min<uint64_t>(times.span(1), UINT32_MAX));
        c.cts_offset = composition.next();
        c.flags = sync.isSync(done + 1) ? Claim::kSync : 0;
        if (!addClaim(c)) return;
        pos += c.size;
        times.advance(1);
        ++done;
      }
    }
  }
  t.next_number = uint32_t(done + 1);
  t.next_dts = int64_t(times.dts);
}

void SampleMap::buildFragment(const TrafBoxes& traf, int64_t& previous_end) {
  if (!traf.tfhd.found) return;
  int64_t pos = traf.tfhd.begin;
  const int64_t end = traf.tfhd.end;
  const uint32_t flags = traf.tfhd_flags;
  bool ok = true;
  const uint32_t track_id = uint32_t(readSized(data, pos, 4, end, ok));
  const int64_t base_data_offset =
      int64_t(std::min<uint64_t>(flags & 0x1 ? readSized(data, pos, 8, end, ok) : 0, uint64_t(kFarAway)));
  if (flags & 0x2) readSized(data, pos, 4, end, ok);
  TrackInfo& t = trackFor(track_id);
  uint32_t default_duration = flags & 0x8 ? uint32_t(readSized(data, pos, 4, end, ok)) : t.trex_duration;
  uint32_t default_size = flags & 0x10 ? uint32_t(readSized(data, pos, 4, end, ok)) : t.trex_size;
  uint32_t default_flags = flags & 0x20 ? uint32_t(readSized(data, pos, 4, end, ok)) : t.trex_flags;
  if (!ok) return;
  const uint16_t track = uint16_t(&t - track_list.data());

  int64_t base = previous_end;
  if (flags & 0x1) base = base_data_offset;
  else if ((flags & 0x20000) || traf.first_in_moof) base = traf.moof_offset;
  uint64_t dts = uint64_t(t.next_dts);
  if (traf.tfdt.found) {
    int64_t p = traf.tfdt.begin;
    bool tfdt_ok = true;
    const uint64_t value = readSized(data, p, traf.tfdt.version == 1 ? 8 : 4, traf.tfdt.end, tfdt_ok);
    if (tfdt_ok) dts = value;
  }

  FragmentInfo info;
  info.traf_offset = traf.traf_offset;
  info.track_id = track_id;
  int64_t data_pos = base;
  for (const auto& [run, run_flags] : traf.truns) {
    int64_t p = run.begin;
    uint64_t count = readSized(data, p, 4, run.end, ok);
    if (run_flags & 0x1) data_pos = base + int32_t(uint32_t(readSized(data, p, 4, run.end, ok)));
    const bool has_first_flags = run_flags & 0x4;
    const uint32_t first_flags = has_first_flags ? uint32_t(readSized(data, p, 4, run.end, ok)) : 0;
    if (!ok) break;
    const int per_sample = 4 * (!!(run_flags & 0x100) + !!(run_flags & 0x200) + !!(run_flags & 0x400) +
                                !!(run_flags & 0x800));
    if (per_sample) count = std::min<uint64_t>(count, uint64_t(run.end - p) / uint64_t(per_sample));
    for (uint64_t k = 0; k < count; ++k) {
      const uint32_t duration = run_flags & 0x100 ? loadBe32(data + p) : default_duration;
      if (run_flags & 0x100) p += 4;
      const uint32_t size = run_flags & 0x200 ? loadBe32(data + p) : default_size;
      if (run_flags & 0x200) p += 4;
      uint32_t sample_flags = run_flags & 0x400 ? loadBe32(data + p) : default_flags;
      if (run_flags & 0x400) p += 4;
      const int32_t cts_offset = run_flags & 0x800 ? int32_t(loadBe32(data + p)) : 0;
      if (run_flags & 0x800) p += 4;
      if (k == 0 && has_first_flags) sample_flags = first_flags;
      if (data_pos < 0 || data_pos >= file_size) {  // past the file: count the rest, don't list
        const uint64_t rest = count - k;
        t.samples += rest;
        t.outside += rest;
        info.samples += rest;
        info.outside += rest;
        t.next_number += uint32_t(rest);
        dts += uint64_t(duration) * rest;
        data_pos = kFarAway;
        break;
      }
      Claim c;
      c.offset = data_pos;
      c.size = size;
      c.number = t.next_number++;
      c.track = track;
      c.dts = int64_t(dts);
      c.duration = duration;
      c.cts_offset = cts_offset;
      c.flags = (sample_flags & 0x10000) ? 0 : Claim::kSync;
      if (!addClaim(c)) break;
      ++info.samples;
      if (claim_list.back().flags & Claim::kOutside) ++info.outside;
      data_pos += size;
      dts += duration;
    }
    if (cap_reached) break;
  }
  previous_end = data_pos;
  t.next_dts = int64_t(dts);
  if (fragments.empty() || fragments.back().traf_offset < info.traf_offset) fragments.push_back(info);
}

void SampleMap::buildItems() {
  if (iloc_begin < 0) return;
  int64_t pos = iloc_begin;
  const int64_t end = iloc_end;
  bool ok = true;
  const uint64_t sizes = readSized(data, pos, 2, end, ok);
  const int offset_size = int(sizes >> 12), length_size = int((sizes >> 8) & 15);
  const int base_offset_size = int((sizes >> 4) & 15);
  const int index_size = (iloc_version == 1 || iloc_version == 2) ? int(sizes & 15) : 0;
  auto validSize = [](int s) { return s == 0 || s == 4 || s == 8; };
  if (!validSize(offset_size) || !validSize(length_size) || !validSize(base_offset_size) || !validSize(index_size))
    return;
  const uint64_t items = readSized(data, pos, iloc_version < 2 ? 2 : 4, end, ok);
  for (uint64_t i = 0; i < items && ok; ++i) {
    const uint32_t item_id = uint32_t(readSized(data, pos, iloc_version < 2 ? 2 : 4, end, ok));
    const unsigned method = iloc_version >= 1 ? unsigned(readSized(data, pos, 2, end, ok) & 15) : 0;
    const uint64_t reference = readSized(data, pos, 2, end, ok);
    const uint64_t base = readSized(data, pos, base_offset_size, end, ok);
    // The count is bounded by the bytes that hold the extents; with every field size 0 an
    // extent holds nothing and locates nothing, so 65535 of them must not cost a loop each.
    const int extent_size = index_size + offset_size + length_size;
    const uint64_t declared_extents = readSized(data, pos, 2, end, ok);
    const uint64_t extents =
        extent_size ? std::min<uint64_t>(declared_extents, uint64_t(end - pos) / uint64_t(extent_size)) : 0;
    for (uint64_t e = 0; e < extents && ok; ++e) {
      readSized(data, pos, index_size, end, ok);
      const uint64_t offset = readSized(data, pos, offset_size, end, ok);
      const uint64_t length = readSized(data, pos, length_size, end, ok);
      if (!ok || method != 0 || reference != 0 || length == 0) continue;
      Claim c;
      c.offset = int64_t(std::min<uint64_t>(base + offset, uint64_t(INT64_MAX / 2)));
      c.size = uint32_t(std::min<uint64_t>(length, UINT32_MAX));
      c.number = item_id;
      c.track = uint16_t(e + 1);
      c.flags = Claim::kItem;
      if (!addClaim(c)) return;
    }
  }
}

}  // namespace corvanta::isobmff
