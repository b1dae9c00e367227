// The AV1 uncompressed frame header (AV1 bitstream 5.9) and the tile group header (5.11.1).
#include "codecs/Av1FrameHeader.h"

#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/Av1Obu.h"

#include <algorithm>

namespace corvanta::codecs {

namespace {

enum FrameType : uint64_t { kKeyFrame = 0, kInterFrame = 1, kIntraOnlyFrame = 2, kSwitchFrame = 3 };
const ValueName kFrameTypes[] = {{0, "KEY_FRAME"}, {1, "INTER_FRAME"}, {2, "INTRA_ONLY_FRAME"}, {3, "SWITCH_FRAME"}};

constexpr int kRefSlots = 8;
constexpr int kRefsPerFrame = 7;
constexpr uint64_t kAllFrames = 0xFF;
constexpr uint64_t kPrimaryRefNone = 7;
constexpr uint64_t kSuperresNum = 8, kSuperresDenomMin = 9;
constexpr uint64_t kMaxTileWidth = 4096, kMaxTileArea = 4096 * 2304, kMaxTileCols = 64, kMaxTileRows = 64;
constexpr int kSegments = 8, kSegmentFeatures = 8;
constexpr int kSegmentFeatureBits[kSegmentFeatures] = {8, 6, 6, 6, 6, 3, 0, 0};
constexpr bool kSegmentFeatureSigned[kSegmentFeatures] = {true, true, true, true, true, false, false, false};
constexpr int kSegmentFeatureMax[kSegmentFeatures] = {255, 63, 63, 63, 63, 7, 0, 0};
const char* const kSegmentFeatureNames[kSegmentFeatures] = {"alt_q",    "alt_lf_y_v", "alt_lf_y_h", "alt_lf_u",
                                                           "alt_lf_v", "ref_frame",  "skip",       "globalmv"};
constexpr int kSegLvlAltQ = 0;

const ValueName kInterpolationFilters[] = {
    {0, "EIGHTTAP"}, {1, "EIGHTTAP_SMOOTH"}, {2, "EIGHTTAP_SHARP"}, {3, "BILINEAR"}};
const ValueName kRestorationTypes[] = {
    {0, "RESTORE_NONE"}, {1, "RESTORE_SWITCHABLE"}, {2, "RESTORE_WIENER"}, {3, "RESTORE_SGRPROJ"}};
const char* const kRefNames[kRefsPerFrame] = {"LAST", "LAST2", "LAST3", "GOLDEN", "BWDREF", "ALTREF2", "ALTREF"};

const char* const kUnseenSlot = "a reference slot that holds no frame known so far";

uint64_t tileLog2(uint64_t block, uint64_t target) {
  uint64_t k = 0;
  while ((block << k) < target) ++k;
  return k;
}

// ns(n): a number below n in the fewest bits, as one field.
uint64_t nonSymmetric(FieldReader& f, const char* name, uint64_t n, int64_t seq = -1) {
  int w = 0;
  while ((uint64_t(1) << w) <= n) ++w;  // FloorLog2(n) + 1
  const uint64_t m = (uint64_t(1) << w) - n;
  if (!f.has(w - 1)) {
    f.fail();
    return 0;
  }
  const uint64_t v = w > 1 ? f.peek(w - 1) : 0;
  if (v < m) {
    if (w > 1) f.u(name, w - 1, {}, seq);
    return v;
  }
  if (!f.has(w)) {
    f.fail();
    return 0;
  }
  const uint64_t extra = f.peek(w) & 1;
  const uint64_t value = (v << 1) - m + extra;
  f.text(name, w, numberText(value), {}, seq);
  return value;
}

// su(1 + n).
int64_t signedValue(FieldReader& f, const char* name, int bits, int64_t seq = -1) { return f.s(name, 1 + bits, {}, seq); }

// The frame header's reading: one object per header, its fields the variables the format names.
class HeaderReader {
 public:
  HeaderReader(FieldReader& reader, const Av1SequenceHeader& sequence, Av1FrameState& frame_state)
      : f(reader), seq(sequence), state(frame_state) {}

  Av1FrameFacts read();

 private:
  bool frameKind();
  void showExistingFrame();
  void temporalPointInfo() { f.u("frame_presentation_time", int(seq.frame_presentation_time_length)); }
  bool frameSetup();
  void bufferRemovalTimes();
  void refOrderHints();
  bool referenceIndices();
  bool frameSizeWithRefs();
  void frameSize();
  void superresParams();
  void renderSize();
  void interpolationFilter();
  void tileInfo();
  void uniformTileSpacing(uint64_t sb_cols, uint64_t sb_rows, uint64_t min_log2_tiles);
  void explicitTileSizes(uint64_t sb_cols, uint64_t sb_rows, uint64_t min_log2_tiles);
  void quantizationParams();
  int64_t deltaQ(const char* name);
  bool segmentationParams();
  void segmentationData();
  void deltaParams();
  void decideLossless();
  void loopFilterParams();
  void cdefParams();
  void loopRestorationParams();
  void txMode();
  bool skipModeParams();
  void globalMotionParams();
  void afterFrameSize();
  void filmGrainParams();
  void refreshSlots(bool sized);
  int64_t relativeDistance(uint64_t a, uint64_t b) const;
  bool stop(std::string why) {
    facts.note = std::move(why);
    return false;
  }
  int planes() const { return seq.mono_chrome ? 1 : 3; }

  FieldReader& f;
  const Av1SequenceHeader& seq;
  Av1FrameState& state;
  Av1FrameFacts facts;

  bool frame_is_intra = true, error_resilient_mode = false, showable_frame = false;
  bool allow_screen_content_tools = false, force_integer_mv = false, frame_size_override_flag = false;
  bool allow_intrabc = false, use_ref_frame_mvs = false, reference_select = false;
  bool disable_cdf_update = false, ref_indices_known = true, coded_lossless = false, all_lossless = false, delta_q_present = false;
  uint64_t order_hint = 0, primary_ref_frame = kPrimaryRefNone, refresh_frame_flags = 0;
  std::array<uint64_t, kRefsPerFrame> ref_frame_idx{};
  uint64_t upscaled_width = 0, frame_width = 0, frame_height = 0, render_width = 0, render_height = 0;
  uint64_t mi_cols = 0, mi_rows = 0;
  uint64_t tile_cols_log2 = 0, tile_rows_log2 = 0, tile_count = 1;
  bool any_delta_q = false;  // a DC or AC delta of any plane: the frame is not lossless
  bool segments_known = false;
  Av1SegmentFeatures segments;
};

// From show_existing_frame to error_resilient_mode: which frame this is.
bool HeaderReader::frameKind() {
  if (seq.reduced_still_picture_header) {
    error_resilient_mode = true;
    return true;
  }
  if (f.flag("show_existing_frame")) {
    showExistingFrame();
    return false;
  }
  facts.frame_type = f.uh("frame_type", 2, [](uint64_t v) { return nameText(kFrameTypes, v); });
  frame_is_intra = facts.frame_type == kIntraOnlyFrame || facts.frame_type == kKeyFrame;
  facts.show_frame = f.flag("show_frame");
  if (facts.show_frame && seq.decoder_model_info_present && !seq.equal_picture_interval) temporalPointInfo();
  if (facts.show_frame) showable_frame = facts.frame_type != kKeyFrame;
  else showable_frame = f.flag("showable_frame");
  if (facts.frame_type == kSwitchFrame || (facts.frame_type == kKeyFrame && facts.show_frame))
    error_resilient_mode = true;
  else
    error_resilient_mode = f.flag("error_resilient_mode");
  return true;
}

// A frame of a reference slot shown again: nothing is decoded, but a key frame shown this way
// refreshes every slot with itself.
void HeaderReader::showExistingFrame() {
  facts.show_existing_frame = true;
  const uint64_t slot = f.u("frame_to_show_map_idx", 3);
  if (seq.decoder_model_info_present && !seq.equal_picture_interval) temporalPointInfo();
  if (seq.frame_id_numbers_present)
    f.u("display_frame_id", int(seq.additional_frame_id_length + seq.delta_frame_id_length));
  if (!f.ok()) return;
  const Av1ReferenceFrame shown = state.refs[slot];
  facts.frame_type = shown.frame_type;
  facts.width = shown.upscaled_width;
  facts.height = shown.frame_height;
  facts.complete = true;
  if (shown.valid && shown.frame_type == kKeyFrame) state.refs.fill(shown);
}

// From disable_cdf_update to refresh_frame_flags: the tools the frame may use and the slots
// it refreshes.
bool HeaderReader::frameSetup() {
  if (facts.frame_type == kKeyFrame && facts.show_frame)
    for (Av1ReferenceFrame& ref : state.refs) {
      ref.valid = false;
      ref.order_hint = 0;
    }
  disable_cdf_update = f.flag("disable_cdf_update");
  allow_screen_content_tools = seq.seq_force_screen_content_tools == 2 ? f.flag("allow_screen_content_tools")
                                                                       : seq.seq_force_screen_content_tools != 0;
  if (allow_screen_content_tools)
    force_integer_mv = seq.seq_force_integer_mv == 2 ? f.flag("force_integer_mv") : seq.seq_force_integer_mv != 0;
  if (frame_is_intra) force_integer_mv = true;
  if (seq.frame_id_numbers_present)
    f.u("current_frame_id", int(seq.additional_frame_id_length + seq.delta_frame_id_length));
  if (facts.frame_type == kSwitchFrame) frame_size_override_flag = true;
  else if (!seq.reduced_still_picture_header) frame_size_override_flag = f.flag("frame_size_override_flag");
  order_hint = f.u("order_hint", int(seq.order_hint_bits));
  if (!frame_is_intra && !error_resilient_mode) primary_ref_frame = f.u("primary_ref_frame", 3);
  if (seq.decoder_model_info_present) bufferRemovalTimes();
  if (facts.frame_type == kSwitchFrame || (facts.frame_type == kKeyFrame && facts.show_frame))
    refresh_frame_flags = kAllFrames;
  else
    refresh_frame_flags = f.uh("refresh_frame_flags", 8, [](uint64_t v) { return hexText(v, 2); });
  if ((!frame_is_intra || refresh_frame_flags != kAllFrames) && error_resilient_mode && seq.enable_order_hint)
    refOrderHints();
  if (frame_is_intra) {
    frameSize();
    renderSize();
    if (allow_screen_content_tools && upscaled_width == frame_width) allow_intrabc = f.flag("allow_intrabc");
    return f.ok();
  }
  return referenceIndices();
}

void HeaderReader::bufferRemovalTimes() {
  if (!f.flag("buffer_removal_time_present_flag")) return;
  for (uint64_t op = 0; op < seq.operating_points && f.ok(); ++op) {
    if (!seq.decoder_model_present_for_op[op]) continue;
    const uint64_t idc = seq.operating_point_idc[op];
    const bool in_temporal = (idc >> state.temporal_id) & 1, in_spatial = (idc >> (state.spatial_id + 8)) & 1;
    if (idc == 0 || (in_temporal && in_spatial))
      f.u("buffer_removal_time", int(seq.buffer_removal_time_length), {}, int64_t(op));
  }
}

// Error-resilient frames restate the order hint of every slot, so that a decoder that lost one
// still knows it.
void HeaderReader::refOrderHints() {
  FieldUnit unit(f, "ref_order_hints");
  for (int i = 0; i < kRefSlots && f.ok(); ++i) {
    const uint64_t hint = f.u("ref_order_hint", int(seq.order_hint_bits), {}, i);
    if (hint != state.refs[i].order_hint) {
      state.refs[i].valid = false;
      state.refs[i].order_hint = hint;
    }
  }
}

// The seven references of an inter frame, its size (often taken from one of them) and the
// motion vector tools.
bool HeaderReader::referenceIndices() {
  {
    FieldUnit unit(f, "frame_refs");
    bool short_signaling = false;
    if (seq.enable_order_hint) short_signaling = f.flag("frame_refs_short_signaling");
    if (short_signaling) {
      // The other five are derived from the order hints of every slot (7.8): not worked out here.
      f.u("last_frame_idx", 3);
      f.u("gold_frame_idx", 3);
      ref_indices_known = false;
    }
    std::string summary;
    for (int i = 0; i < kRefsPerFrame && f.ok(); ++i) {
      if (!short_signaling) {
        ref_frame_idx[i] = f.u("ref_frame_idx", 3, kRefNames[i], i);
        summary += (i ? " " : "") + numberText(ref_frame_idx[i]);
      }
      if (seq.frame_id_numbers_present) f.u("delta_frame_id_minus_1", int(seq.delta_frame_id_length), {}, i);
    }
    unit.setSummary(short_signaling ? "short signaling" : "slots " + summary);
  }
  if (frame_size_override_flag && !error_resilient_mode) {
    if (!frameSizeWithRefs()) return false;
  } else {
    frameSize();
    renderSize();
  }
  if (!force_integer_mv) f.flag("allow_high_precision_mv");
  interpolationFilter();
  f.flag("is_motion_mode_switchable");
  if (!error_resilient_mode && seq.enable_ref_frame_mvs) use_ref_frame_mvs = f.flag("use_ref_frame_mvs");
  return f.ok();
}

bool HeaderReader::frameSizeWithRefs() {
  for (int i = 0; i < kRefsPerFrame && f.ok(); ++i) {
    if (!f.u("found_ref", 1, kRefNames[i], i)) continue;
    if (!ref_indices_known) return stop("the size of a reference named by short signaling: not derived here");
    const Av1ReferenceFrame& ref = state.refs[ref_frame_idx[i]];
    if (!ref.valid) return stop(std::string("found_ref names ") + kUnseenSlot);
    upscaled_width = frame_width = ref.upscaled_width;
    frame_height = ref.frame_height;
    render_width = ref.render_width;
    render_height = ref.render_height;
    superresParams();
    return f.ok();
  }
  frameSize();
  renderSize();
  return f.ok();
}

void HeaderReader::frameSize() {
  if (frame_size_override_flag) {
    frame_width = 1 + f.u("frame_width_minus_1", int(seq.frame_width_bits));
    frame_height = 1 + f.u("frame_height_minus_1", int(seq.frame_height_bits));
  } else {
    frame_width = seq.max_frame_width;
    frame_height = seq.max_frame_height;
  }
  upscaled_width = frame_width;
  superresParams();
}

// Superres codes the frame narrower and scales it up to upscaled_width.
void HeaderReader::superresParams() {
  uint64_t denominator = kSuperresNum;
  if (seq.enable_superres && f.flag("use_superres"))
    denominator = kSuperresDenomMin + f.uh("coded_denom", 3, [](uint64_t v) {
                    return "scale 8/" + numberText(v + kSuperresDenomMin);
                  });
  frame_width = (upscaled_width * kSuperresNum + denominator / 2) / denominator;
  mi_cols = 2 * ((frame_width + 7) >> 3);
  mi_rows = 2 * ((frame_height + 7) >> 3);
}

void HeaderReader::renderSize() {
  render_width = upscaled_width;
  render_height = frame_height;
  if (!f.flag("render_and_frame_size_different")) return;
  FieldUnit unit(f, "render_size");
  render_width = 1 + f.u("render_width_minus_1", 16);
  render_height = 1 + f.u("render_height_minus_1", 16);
  unit.setSummary(numberText(render_width) + "x" + numberText(render_height));
}

void HeaderReader::interpolationFilter() {
  if (f.uh("is_filter_switchable", 1, [](uint64_t v) { return v ? "SWITCHABLE" : ""; })) return;
  f.uh("interpolation_filter", 2, [](uint64_t v) { return nameText(kInterpolationFilters, v); });
}

void HeaderReader::tileInfo() {
  FieldUnit unit(f, "tile_info");
  const uint64_t sb_cols = seq.use_128x128_superblock ? (mi_cols + 31) >> 5 : (mi_cols + 15) >> 4;
  const uint64_t sb_rows = seq.use_128x128_superblock ? (mi_rows + 31) >> 5 : (mi_rows + 15) >> 4;
  const int sb_size = seq.use_128x128_superblock ? 7 : 6;
  const uint64_t min_log2_tile_cols = tileLog2(kMaxTileWidth >> sb_size, sb_cols);
  const uint64_t min_log2_tiles =
      std::max(min_log2_tile_cols, tileLog2(kMaxTileArea >> (2 * sb_size), sb_rows * sb_cols));
  if (f.flag("uniform_tile_spacing_flag")) uniformTileSpacing(sb_cols, sb_rows, min_log2_tiles);
  else explicitTileSizes(sb_cols, sb_rows, min_log2_tiles);
  if (tile_cols_log2 > 0 || tile_rows_log2 > 0) {
    f.u("context_update_tile_id", int(tile_cols_log2 + tile_rows_log2));
    f.uh("tile_size_bytes_minus_1", 2, [](uint64_t v) { return numberText(v + 1) + " bytes"; });
  }
  unit.setSummary(numberText(tile_count) + (tile_count == 1 ? " tile" : " tiles"));
}

// Tile counts as powers of two, each raised from its minimum by a unary code; the field holds
// the whole code and the exponent it gives.
void HeaderReader::uniformTileSpacing(uint64_t sb_cols, uint64_t sb_rows, uint64_t min_log2_tiles) {
  const auto increments = [&](const char* name, uint64_t minimum, uint64_t maximum) {
    FieldReader probe = f;
    uint64_t value = minimum;
    bool ended = false;  // by a zero bit, before the maximum
    while (value < maximum && probe.has(1) && !ended) {
      if (probe.read(1)) ++value;
      else ended = true;
    }
    if (value < maximum && !ended) f.fail();
    const int64_t bits = probe.bitPos() - f.bitPos();
    if (bits > 0) f.text(name, bits, numberText(value));
    return value;
  };
  const uint64_t min_log2_cols = tileLog2(kMaxTileWidth >> (seq.use_128x128_superblock ? 7 : 6), sb_cols);
  tile_cols_log2 = increments("tile_cols_log2", min_log2_cols, tileLog2(1, std::min(sb_cols, kMaxTileCols)));
  const uint64_t width_sb = (sb_cols + (uint64_t(1) << tile_cols_log2) - 1) >> tile_cols_log2;
  const uint64_t cols = width_sb ? (sb_cols + width_sb - 1) / width_sb : 1;
  const uint64_t min_log2_rows = min_log2_tiles > tile_cols_log2 ? min_log2_tiles - tile_cols_log2 : 0;
  tile_rows_log2 = increments("tile_rows_log2", min_log2_rows, tileLog2(1, std::min(sb_rows, kMaxTileRows)));
  const uint64_t height_sb = (sb_rows + (uint64_t(1) << tile_rows_log2) - 1) >> tile_rows_log2;
  const uint64_t rows = height_sb ? (sb_rows + height_sb - 1) / height_sb : 1;
  tile_count = std::max<uint64_t>(cols, 1) * std::max<uint64_t>(rows, 1);
}

void HeaderReader::explicitTileSizes(uint64_t sb_cols, uint64_t sb_rows, uint64_t min_log2_tiles) {
  const uint64_t max_width_sb = kMaxTileWidth >> (seq.use_128x128_superblock ? 7 : 6);
  uint64_t widest = 0, cols = 0, rows = 0;
  for (uint64_t start = 0; start < sb_cols && cols < kMaxTileCols && f.ok(); ++cols) {
    const uint64_t size = 1 + nonSymmetric(f, "width_in_sbs_minus_1", std::min(sb_cols - start, max_width_sb), int64_t(cols));
    widest = std::max(widest, size);
    start += size;
  }
  const uint64_t area = min_log2_tiles > 0 ? (sb_rows * sb_cols) >> (min_log2_tiles + 1) : sb_rows * sb_cols;
  const uint64_t max_height_sb = std::max<uint64_t>(widest ? area / widest : 1, 1);
  for (uint64_t start = 0; start < sb_rows && rows < kMaxTileRows && f.ok(); ++rows)
    start += 1 + nonSymmetric(f, "height_in_sbs_minus_1", std::min(sb_rows - start, max_height_sb), int64_t(rows));
  tile_cols_log2 = tileLog2(1, cols);
  tile_rows_log2 = tileLog2(1, rows);
  tile_count = std::max<uint64_t>(cols, 1) * std::max<uint64_t>(rows, 1);
}

void HeaderReader::quantizationParams() {
  FieldUnit unit(f, "quantization_params");
  facts.base_q_idx = f.u("base_q_idx", 8);
  deltaQ("delta_q_y_dc");
  if (planes() > 1) {
    const bool diff_uv_delta = seq.separate_uv_delta_q && f.flag("diff_uv_delta");
    deltaQ("delta_q_u_dc");
    deltaQ("delta_q_u_ac");
    if (diff_uv_delta) {
      deltaQ("delta_q_v_dc");
      deltaQ("delta_q_v_ac");
    }
  }
  if (f.flag("using_qmatrix")) {
    f.u("qm_y", 4);
    f.u("qm_u", 4);
    if (seq.separate_uv_delta_q) f.u("qm_v", 4);
  }
  unit.setSummary("base_q_idx " + numberText(facts.base_q_idx) + (any_delta_q ? ", with deltas" : ""));
}

int64_t HeaderReader::deltaQ(const char* name) {
  FieldUnit unit(f, name);
  if (!f.flag("delta_coded")) return 0;
  const int64_t delta = signedValue(f, "delta_q", 6);
  if (delta != 0) any_delta_q = true;
  return delta;
}

// The features of each segment: sent by this frame, or taken from the primary reference frame.
bool HeaderReader::segmentationParams() {
  FieldUnit unit(f, "segmentation_params");
  segments = {};
  if (!f.flag("segmentation_enabled")) {
    unit.setSummary("disabled");
    return true;
  }
  bool update_data = true;
  if (primary_ref_frame != kPrimaryRefNone) {
    if (f.flag("segmentation_update_map")) f.flag("segmentation_temporal_update");
    update_data = f.flag("segmentation_update_data");
  }
  std::string summary;
  if (update_data) {
    segmentationData();
  } else {
    const Av1ReferenceFrame& ref = state.refs[ref_frame_idx[primary_ref_frame]];
    if (!ref_indices_known || !ref.valid || !ref.segments_known)
      return stop(std::string("the segment features come from ") + kUnseenSlot);
    segments = ref.segments;
    summary = "features of the primary reference frame";
  }
  std::string features;
  for (int j = 0; j < kSegmentFeatures; ++j) {
    int count = 0;
    for (int i = 0; i < kSegments; ++i) count += segments.enabled[i][j] ? 1 : 0;
    if (count) features += std::string(features.empty() ? "" : ", ") + kSegmentFeatureNames[j] + " in " +
                           numberText(uint64_t(count)) + (count == 1 ? " segment" : " segments");
  }
  if (summary.empty()) summary = features.empty() ? "enabled, no features" : features;
  else if (!features.empty()) summary += ": " + features;
  unit.setSummary(summary);
  return f.ok();
}

void HeaderReader::segmentationData() {
  for (int i = 0; i < kSegments && f.ok(); ++i) {
    FieldUnit segment(f, "segment", i);
    std::string enabled;
    for (int j = 0; j < kSegmentFeatures && f.ok(); ++j) {
      segments.enabled[i][j] = f.u("feature_enabled", 1, kSegmentFeatureNames[j], j) != 0;
      if (!segments.enabled[i][j]) continue;
      enabled += std::string(enabled.empty() ? "" : ", ") + kSegmentFeatureNames[j];
      const int bits = kSegmentFeatureBits[j], limit = kSegmentFeatureMax[j];
      int64_t value = 0;
      if (kSegmentFeatureSigned[j]) value = std::clamp<int64_t>(signedValue(f, "feature_value", bits, j), -limit, limit);
      else if (bits > 0) value = std::min<int64_t>(int64_t(f.u("feature_value", bits, {}, j)), limit);
      segments.data[i][j] = int16_t(value);
    }
    segment.setSummary(enabled.empty() ? "no features" : enabled);
  }
}

void HeaderReader::deltaParams() {
  if (facts.base_q_idx > 0) delta_q_present = f.flag("delta_q_present");
  if (!delta_q_present) return;
  f.uh("delta_q_res", 2, [](uint64_t v) { return "steps of " + numberText(uint64_t(1) << v); });
  if (!allow_intrabc && f.flag("delta_lf_present")) {
    f.uh("delta_lf_res", 2, [](uint64_t v) { return "steps of " + numberText(uint64_t(1) << v); });
    f.flag("delta_lf_multi");
  }
}

// A lossless frame (every segment at quantizer 0 with no deltas) has no loop filter, CDEF,
// restoration or transform mode fields.
void HeaderReader::decideLossless() {
  coded_lossless = !any_delta_q;
  for (int i = 0; i < kSegments && coded_lossless; ++i) {
    int64_t qindex = int64_t(facts.base_q_idx);
    if (segments.enabled[i][kSegLvlAltQ]) qindex = std::clamp<int64_t>(qindex + segments.data[i][kSegLvlAltQ], 0, 255);
    coded_lossless = qindex == 0;
  }
  all_lossless = coded_lossless && frame_width == upscaled_width;
}

void HeaderReader::loopFilterParams() {
  if (coded_lossless || allow_intrabc) return;
  FieldUnit unit(f, "loop_filter_params");
  uint64_t levels[4] = {};
  levels[0] = f.u("loop_filter_level", 6, {}, 0);
  levels[1] = f.u("loop_filter_level", 6, {}, 1);
  if (planes() > 1 && (levels[0] || levels[1])) {
    levels[2] = f.u("loop_filter_level", 6, {}, 2);
    levels[3] = f.u("loop_filter_level", 6, {}, 3);
  }
  const uint64_t sharpness = f.u("loop_filter_sharpness", 3);
  bool updated = false;
  if (f.flag("loop_filter_delta_enabled") && f.flag("loop_filter_delta_update")) {
    updated = true;
    for (int i = 0; i < kRefSlots && f.ok(); ++i)
      if (f.u("update_ref_delta", 1, {}, i)) signedValue(f, "loop_filter_ref_deltas", 6, i);
    for (int i = 0; i < 2 && f.ok(); ++i)
      if (f.u("update_mode_delta", 1, {}, i)) signedValue(f, "loop_filter_mode_deltas", 6, i);
  }
  unit.setSummary("levels " + numberText(levels[0]) + " " + numberText(levels[1]) + " " + numberText(levels[2]) + " " +
                  numberText(levels[3]) + ", sharpness " + numberText(sharpness) + (updated ? ", deltas updated" : ""));
}

void HeaderReader::cdefParams() {
  if (coded_lossless || allow_intrabc || !seq.enable_cdef) return;
  FieldUnit unit(f, "cdef_params");
  const uint64_t damping = 3 + f.uh("cdef_damping_minus_3", 2, [](uint64_t v) { return numberText(v + 3); });
  const uint64_t bits = f.u("cdef_bits", 2);
  for (uint64_t i = 0; i < (uint64_t(1) << bits) && f.ok(); ++i) {
    f.u("cdef_y_pri_strength", 4, {}, int64_t(i));
    f.u("cdef_y_sec_strength", 2, {}, int64_t(i));
    if (planes() > 1) {
      f.u("cdef_uv_pri_strength", 4, {}, int64_t(i));
      f.u("cdef_uv_sec_strength", 2, {}, int64_t(i));
    }
  }
  const uint64_t strengths = uint64_t(1) << bits;
  unit.setSummary("damping " + numberText(damping) + ", " + numberText(strengths) +
                  (strengths == 1 ? " strength" : " strengths"));
}

void HeaderReader::loopRestorationParams() {
  if (all_lossless || allow_intrabc || !seq.enable_restoration) return;
  FieldUnit unit(f, "lr_params");
  bool uses_lr = false, uses_chroma_lr = false;
  std::string types;
  for (int i = 0; i < planes() && f.ok(); ++i) {
    const uint64_t type = f.uh("lr_type", 2, [](uint64_t v) { return nameText(kRestorationTypes, v); }, i);
    types += (i ? " " : "") + nameText(kRestorationTypes, type);
    if (type == 0) continue;
    uses_lr = true;
    uses_chroma_lr = uses_chroma_lr || i > 0;
  }
  unit.setSummary(types);
  if (!uses_lr) return;
  const bool shift = f.flag("lr_unit_shift");
  if (!seq.use_128x128_superblock && shift) f.flag("lr_unit_extra_shift");
  if (seq.subsampling_x && seq.subsampling_y && uses_chroma_lr) f.flag("lr_uv_shift");
}

void HeaderReader::txMode() {
  if (coded_lossless) return;
  f.uh("tx_mode_select", 1, [](uint64_t v) { return v ? "TX_MODE_SELECT" : "TX_MODE_LARGEST"; });
}

int64_t HeaderReader::relativeDistance(uint64_t a, uint64_t b) const {
  if (!seq.enable_order_hint) return 0;
  const int64_t m = int64_t(1) << (seq.order_hint_bits - 1);
  const int64_t diff = int64_t(a) - int64_t(b);
  return (diff & (m - 1)) - (diff & m);
}

// Skip mode needs a reference before this frame and one after it (or a second one before),
// judged by the order hints of the reference slots.
bool HeaderReader::skipModeParams() {
  if (frame_is_intra || !reference_select || !seq.enable_order_hint) return true;
  if (!ref_indices_known) return stop("skip_mode_present depends on references named by short signaling: not derived here");
  int forward = -1, backward = -1, second_forward = -1;
  uint64_t forward_hint = 0, backward_hint = 0, second_forward_hint = 0;
  for (int i = 0; i < kRefsPerFrame; ++i) {
    const Av1ReferenceFrame& ref = state.refs[ref_frame_idx[i]];
    if (!ref.valid) return stop(std::string("skip_mode_present depends on ") + kUnseenSlot);
    const uint64_t hint = ref.order_hint;
    if (relativeDistance(hint, order_hint) < 0) {
      if (forward < 0 || relativeDistance(hint, forward_hint) > 0) {
        forward = i;
        forward_hint = hint;
      }
    } else if (relativeDistance(hint, order_hint) > 0) {
      if (backward < 0 || relativeDistance(hint, backward_hint) < 0) {
        backward = i;
        backward_hint = hint;
      }
    }
  }
  if (forward >= 0 && backward < 0) {
    for (int i = 0; i < kRefsPerFrame; ++i) {
      const uint64_t hint = state.refs[ref_frame_idx[i]].order_hint;
      if (relativeDistance(hint, forward_hint) < 0 &&
          (second_forward < 0 || relativeDistance(hint, second_forward_hint) > 0)) {
        second_forward = i;
        second_forward_hint = hint;
      }
    }
  }
  if (forward >= 0 && (backward >= 0 || second_forward >= 0)) f.flag("skip_mode_present");
  return f.ok();
}

// Whether each reference has global motion; its parameters are coded against those of the
// primary reference frame, which are not kept, so a frame that has some stops there.
void HeaderReader::globalMotionParams() {
  if (frame_is_intra) return;
  FieldUnit unit(f, "global_motion_params");
  std::string with_motion;
  for (int ref = 0; ref < kRefsPerFrame && f.ok(); ++ref) {
    if (!f.u("is_global", 1, kRefNames[ref], ref + 1)) continue;
    with_motion += std::string(with_motion.empty() ? "" : " ") + kRefNames[ref];
    stop("the global motion parameters of " + std::string(kRefNames[ref]) + ": not decoded");
    break;
  }
  unit.setSummary(with_motion.empty() ? "none" : with_motion);
}

// The pieces of a piecewise-linear scaling function: `count` points of a value and a scaling.
void scalingPoints(FieldReader& f, const char* count_name, const char* value_name, const char* scaling_name,
                   uint64_t& count) {
  count = f.u(count_name, 4);
  for (uint64_t i = 0; i < count && f.ok(); ++i) {
    f.u(value_name, 8, {}, int64_t(i));
    f.u(scaling_name, 8, {}, int64_t(i));
  }
}

// The coefficients of the auto-regressive filter that shapes the grain of one plane.
void arCoefficients(FieldReader& f, const char* name, uint64_t count) {
  for (uint64_t i = 0; i < count && f.ok(); ++i)
    f.uh(name, 8, [](uint64_t v) { return signedText(int64_t(v) - 128); }, int64_t(i));
}

// The film grain synthesis parameters (5.9.30), or the slot whose parameters this frame reuses.
void HeaderReader::filmGrainParams() {
  FieldUnit unit(f, "film_grain_params");
  if (!f.flag("apply_grain")) {
    unit.setSummary("no grain");
    return;
  }
  f.u("grain_seed", 16);
  if (facts.frame_type == kInterFrame && !f.flag("update_grain")) {
    f.u("film_grain_params_ref_idx", 3);
    unit.setSummary("the parameters of a reference frame");
    return;
  }
  uint64_t y_points = 0, cb_points = 0, cr_points = 0;
  scalingPoints(f, "num_y_points", "point_y_value", "point_y_scaling", y_points);
  const bool from_luma = !seq.mono_chrome && f.flag("chroma_scaling_from_luma");
  if (!seq.mono_chrome && !from_luma && !(seq.subsampling_x && seq.subsampling_y && y_points == 0)) {
    scalingPoints(f, "num_cb_points", "point_cb_value", "point_cb_scaling", cb_points);
    scalingPoints(f, "num_cr_points", "point_cr_value", "point_cr_scaling", cr_points);
  }
  f.u("grain_scaling_minus_8", 2);
  const uint64_t lag = f.u("ar_coeff_lag", 2);
  const uint64_t luma_positions = 2 * lag * (lag + 1);
  const uint64_t chroma_positions = luma_positions + (y_points ? 1 : 0);
  if (y_points) arCoefficients(f, "ar_coeffs_y_plus_128", luma_positions);
  if (from_luma || cb_points) arCoefficients(f, "ar_coeffs_cb_plus_128", chroma_positions);
  if (from_luma || cr_points) arCoefficients(f, "ar_coeffs_cr_plus_128", chroma_positions);
  f.u("ar_coeff_shift_minus_6", 2);
  f.u("grain_scale_shift", 2);
  if (cb_points) {
    f.u("cb_mult", 8);
    f.u("cb_luma_mult", 8);
    f.u("cb_offset", 9);
  }
  if (cr_points) {
    f.u("cr_mult", 8);
    f.u("cr_luma_mult", 8);
    f.u("cr_offset", 9);
  }
  f.flag("overlap_flag");
  f.flag("clip_to_restricted_range");
  unit.setSummary(numberText(y_points) + " luma points, lag " + numberText(lag));
}

// The reference update process (7.20): the slots of refresh_frame_flags now hold this frame,
// known when its size was.
void HeaderReader::refreshSlots(bool sized) {
  Av1ReferenceFrame frame;
  frame.valid = sized;
  frame.segments_known = segments_known;
  frame.frame_type = facts.frame_type;
  frame.order_hint = order_hint;
  frame.upscaled_width = upscaled_width;
  frame.frame_width = frame_width;
  frame.frame_height = frame_height;
  frame.render_width = render_width;
  frame.render_height = render_height;
  frame.segments = segments;
  for (int i = 0; i < kRefSlots; ++i)
    if ((refresh_frame_flags >> i) & 1) state.refs[i] = frame;
}

// The fields after the frame size, up to where the header ends or a note stops it.
void HeaderReader::afterFrameSize() {
  if (!seq.reduced_still_picture_header && !disable_cdf_update) f.flag("disable_frame_end_update_cdf");
  tileInfo();
  quantizationParams();
  if (!segmentationParams()) return;
  segments_known = true;
  deltaParams();
  decideLossless();
  loopFilterParams();
  cdefParams();
  loopRestorationParams();
  txMode();
  if (!frame_is_intra) reference_select = f.flag("reference_select");
  if (!skipModeParams()) return;
  if (!frame_is_intra && !error_resilient_mode && seq.enable_warped_motion) f.flag("allow_warped_motion");
  f.flag("reduced_tx_set");
  globalMotionParams();
  if (facts.note.empty() && seq.film_grain_params_present && (facts.show_frame || showable_frame))
    filmGrainParams();
}

Av1FrameFacts HeaderReader::read() {
  if (!frameKind()) return facts;
  const bool sized = frameSetup() && f.ok();
  if (sized) {
    facts.width = upscaled_width;
    facts.height = frame_height;
    afterFrameSize();
  }
  if (!f.ok()) return facts;  // a broken header refreshes nothing
  // A header stopped by a note still refreshes its slots, with what it has shown.
  refreshSlots(sized);
  if (!facts.note.empty()) return facts;
  facts.complete = true;
  state.has_frame_header = true;
  state.tile_cols_log2 = tile_cols_log2;
  state.tile_rows_log2 = tile_rows_log2;
  state.tile_count = tile_count;
  return facts;
}

}  // namespace

std::string av1FrameTypeName(uint64_t frame_type) { return nameText(kFrameTypes, frame_type); }

Av1FrameFacts av1UncompressedHeader(FieldReader& f, const Av1SequenceHeader& seq, Av1FrameState& state) {
  return HeaderReader(f, seq, state).read();
}

void av1ByteAlignment(FieldReader& f) {
  if (f.ok() && !f.byteAligned()) f.u("zero_bit", int(8 - (f.bitPos() & 7)));
}

void av1TileGroup(FieldReader& f, const Av1FrameState& state) {
  if (state.tile_count > 1) {
    FieldUnit unit(f, "tile_group_header");
    if (f.flag("tile_start_and_end_present_flag")) {
      const int bits = int(state.tile_cols_log2 + state.tile_rows_log2);
      const uint64_t start = f.u("tg_start", bits), end = f.u("tg_end", bits);
      unit.setSummary("tiles " + numberText(start) + " to " + numberText(end));
    } else {
      unit.setSummary("all " + numberText(state.tile_count) + " tiles");
    }
    av1ByteAlignment(f);
  }
  f.rest("tile_data");
}

}  // namespace corvanta::codecs
