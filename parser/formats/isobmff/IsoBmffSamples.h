#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvanta::isobmff {

// Payload range of one sample table box, as found by the first pass.
struct TableBox {
  int64_t begin = 0;  // first byte after version and flags
  int64_t end = 0;
  uint8_t version = 0;
  bool found = false;
};

// What the first pass learns about one track.
struct TrackInfo {
  uint32_t track_id = 0;
  uint32_t handler = 0;        // 'vide', 'soun', ...
  uint32_t codec = 0;          // type of the first sample entry
  uint32_t width = 0;          // pixels, from the sample entry or tkhd
  uint32_t height = 0;
  uint32_t timescale = 0;
  int64_t trak_offset = -1;    // -1 for a track known only from fragments
  uint32_t config_type = 0;    // avcC, hvcC or av1C of the first visual sample entry, 0 without one
  int64_t config_begin = 0;    // its payload [begin, end)
  int64_t config_end = 0;
  TableBox stts, stsc, stsz, stz2, stco, co64, stss, ctts;
  bool has_trex = false;
  uint32_t trex_duration = 0, trex_size = 0, trex_flags = 0;
  uint64_t samples = 0;        // samples in the map, all fragments included
  uint64_t outside = 0;        // of which lie outside every mdat
  uint32_t next_number = 1;    // fragments continue the numbering
  int64_t next_dts = 0;

  // "Track 1 video avc1 320x240"
  std::string summary() const;
  std::string kindText() const;  // "video", "audio", handler code otherwise
};

// One stretch of media data claimed by the sample tables, a track run or an item location.
struct Claim {
  int64_t offset = 0;
  int64_t dts = 0;
  uint32_t size = 0;
  uint32_t number = 0;  // sample number (1-based) or item_ID
  uint32_t count = 1;   // samples in the claim (constant-size audio is claimed by chunk)
  uint16_t track = 0;   // index into tracks(), or extent number for an item
  uint8_t flags = 0;
  int32_t cts_offset = 0;  // composition minus decode time (ctts, trun)
  uint32_t duration = 0;   // of all `count` samples (stts, trun), 0 unknown
  enum : uint8_t { kSync = 1, kOutside = 2, kItem = 4 };
};

// Samples found in one track fragment, for its summary.
struct FragmentInfo {
  int64_t traf_offset = 0;
  uint32_t track_id = 0;
  uint64_t samples = 0;
  uint64_t outside = 0;
};

// Boxes of one track fragment, resolved once the whole file is known (trex may come later).
struct TrafBoxes {
  int64_t moof_offset = 0;
  int64_t traf_offset = 0;
  bool first_in_moof = false;
  TableBox tfhd, tfdt;
  uint32_t tfhd_flags = 0;
  std::vector<std::pair<TableBox, uint32_t>> truns;  // payload and flags
};

// First pass: walks the boxes without writing anything and builds the map of every sample
// (and HEIF item extent) in the file, sorted by file offset.
class SampleMap {
 public:
  void build(const uint8_t* data, int64_t size);

  const std::vector<TrackInfo>& tracks() const { return track_list; }
  const TrackInfo* trackAt(int64_t trak_offset) const;
  const TrackInfo* trackById(uint32_t track_id) const;
  const FragmentInfo* fragmentAt(int64_t traf_offset) const;
  const std::vector<Claim>& claims() const { return claim_list; }
  // Index of the first claim that starts at or after `offset`.
  size_t firstClaimFrom(int64_t offset) const;
  uint32_t itemType(uint32_t item_id) const;
  bool isQuickTime() const { return quicktime; }
  // True when the map stopped growing at its memory bound (a hostile file).
  bool capped() const { return cap_reached; }

 private:
  struct Walk;
  void walk(Walk& state, int64_t begin, int64_t end, uint32_t parent, int depth);
  void findNalConfiguration(TrackInfo& track, int64_t entry, int64_t entry_end);
  void onBox(Walk& state, uint32_t type, uint32_t parent, int64_t offset, int64_t payload, int64_t end);
  TrackInfo& trackFor(uint32_t track_id);
  bool addClaim(const Claim& claim);
  void buildProgressive(size_t track_index);
  void buildFragment(const TrafBoxes& traf, int64_t& previous_end);
  void buildItems();

  const uint8_t* data = nullptr;
  int64_t file_size = 0;
  size_t max_claims = 0;
  bool cap_reached = false;
  bool quicktime = false;
  std::vector<TrackInfo> track_list;
  std::vector<Claim> claim_list;
  std::vector<FragmentInfo> fragments;
  std::vector<std::pair<int64_t, int64_t>> mdat_ranges;  // payload [begin, end)
  std::vector<TrafBoxes> trafs;
  std::vector<std::pair<uint32_t, uint32_t>> item_types;  // item_ID, item_type
  int64_t iloc_begin = -1, iloc_end = -1;
  uint8_t iloc_version = 0;
};

}  // namespace corvanta::isobmff
