// VP9 uncompressed headers (VP9 Bitstream and Decoding Process Specification, 6.2) and the
// superframe index (Annex B).
#include "codecs/Vp9VideoStream.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/VpCodecConfiguration.h"

#include <algorithm>
#include <vector>

namespace corvanta::codecs {

namespace {

const ValueName kColorSpaces[] = {{0, "CS_UNKNOWN"}, {1, "CS_BT_601"}, {2, "CS_BT_709"}, {3, "CS_SMPTE_170"},
                                  {4, "CS_SMPTE_240"}, {5, "CS_BT_2020"}, {6, "CS_RESERVED"}, {7, "CS_RGB"}};
const ValueName kInterpolationFilters[] = {{0, "EIGHTTAP_SMOOTH"}, {1, "EIGHTTAP"}, {2, "EIGHTTAP_SHARP"}, {3, "BILINEAR"}};
constexpr uint64_t kCsRgb = 7;
constexpr uint64_t kSyncCode[] = {0x49, 0x83, 0x42};
constexpr int kSegmentFeatureBits[] = {8, 6, 2, 0};
constexpr bool kSegmentFeatureSigned[] = {true, true, false, false};
constexpr int kMaxFramesInSuperframe = 8;

// su(n): n bits of magnitude, then the sign.
int64_t signedField(FieldReader& f, const char* name, int bits, int64_t seq = -1) {
  if (!f.has(bits + 1)) {
    f.fail();
    return 0;
  }
  const uint64_t raw = f.peek(bits + 1);
  const int64_t magnitude = int64_t(raw >> 1);
  const int64_t value = (raw & 1) ? -magnitude : magnitude;
  f.text(name, bits + 1, signedText(value), {}, seq);
  return value;
}

void colorConfig(FieldReader& f, Vp9VideoStream::State& s) {
  s.bit_depth = 8;
  if (s.profile >= 2) s.bit_depth = f.flag("ten_or_twelve_bit") ? 12 : 10;
  const uint64_t space = f.uh("color_space", 3, [](uint64_t v) { return nameText(kColorSpaces, v); });
  if (space != kCsRgb) {
    f.flag("color_range");
    if (s.profile == 1 || s.profile == 3) {
      s.subsampling_x = f.flag("subsampling_x");
      s.subsampling_y = f.flag("subsampling_y");
      f.u("reserved_zero", 1);
    } else {
      s.subsampling_x = s.subsampling_y = true;
    }
  } else if (s.profile == 1 || s.profile == 3) {
    s.subsampling_x = s.subsampling_y = false;
    f.u("reserved_zero", 1);
  }
}

void frameSize(FieldReader& f, uint32_t& width, uint32_t& height) {
  width = uint32_t(f.uh("frame_width_minus_1", 16, [](uint64_t v) { return numberText(v + 1) + " pixels"; })) + 1;
  height = uint32_t(f.uh("frame_height_minus_1", 16, [](uint64_t v) { return numberText(v + 1) + " pixels"; })) + 1;
}

void renderSize(FieldReader& f) {
  if (!f.flag("render_and_frame_size_different")) return;
  f.u("render_width_minus_1", 16);
  f.u("render_height_minus_1", 16);
}

void frameSyncCode(FieldReader& f) {
  static const char* const kNames[] = {"frame_sync_byte_0", "frame_sync_byte_1", "frame_sync_byte_2"};
  for (int i = 0; i < 3; ++i)
    if (f.u(kNames[i], 8) != kSyncCode[i]) f.fail();
}

void loopFilterParams(FieldReader& f) {
  FieldUnit unit(f, "loop_filter_params");
  f.u("loop_filter_level", 6);
  f.u("loop_filter_sharpness", 3);
  if (!f.flag("loop_filter_delta_enabled") || !f.flag("loop_filter_delta_update")) return;
  for (int i = 0; i < 4 && f.ok(); ++i)
    if (f.u("update_ref_delta", 1, {}, i)) signedField(f, "loop_filter_ref_deltas", 6, i);
  for (int i = 0; i < 2 && f.ok(); ++i)
    if (f.u("update_mode_delta", 1, {}, i)) signedField(f, "loop_filter_mode_deltas", 6, i);
}

uint64_t quantizationParams(FieldReader& f) {
  FieldUnit unit(f, "quantization_params");
  const uint64_t base_q_idx = f.u("base_q_idx", 8);
  for (const char* name : {"delta_q_y_dc", "delta_q_uv_dc", "delta_q_uv_ac"}) {
    FieldUnit delta(f, name);
    if (f.flag("delta_coded")) signedField(f, "delta_q", 4);
  }
  return base_q_idx;
}

void segmentationParams(FieldReader& f) {
  FieldUnit unit(f, "segmentation_params");
  if (!f.flag("segmentation_enabled")) return;
  if (f.flag("segmentation_update_map")) {
    for (int i = 0; i < 7 && f.ok(); ++i)
      if (f.u("prob_coded", 1, {}, i)) f.u("tree_prob", 8, {}, i);
    if (f.flag("segmentation_temporal_update"))
      for (int i = 0; i < 3 && f.ok(); ++i)
        if (f.u("prob_coded", 1, {}, 7 + i)) f.u("pred_prob", 8, {}, i);
  }
  if (!f.flag("segmentation_update_data")) return;
  f.flag("segmentation_abs_or_delta_update");
  for (int segment = 0; segment < 8 && f.ok(); ++segment) {
    for (int feature = 0; feature < 4 && f.ok(); ++feature) {
      const int64_t seq = segment * 4 + feature;
      if (!f.u("feature_enabled", 1, {}, seq)) continue;
      if (kSegmentFeatureBits[feature]) f.u("feature_value", kSegmentFeatureBits[feature], {}, seq);
      if (kSegmentFeatureSigned[feature]) f.u("feature_sign", 1, {}, seq);
    }
  }
}

void tileInfo(FieldReader& f, uint32_t width) {
  const uint32_t sb64_cols = (((width + 7) >> 3) + 7) >> 3;
  int min_log2 = 0;
  while ((uint64_t(64) << min_log2) < sb64_cols) ++min_log2;
  int max_log2 = 1;
  while ((sb64_cols >> max_log2) >= 4) ++max_log2;
  --max_log2;
  int cols_log2 = min_log2;
  while (cols_log2 < max_log2 && f.ok() && f.flag("increment_tile_cols_log2")) ++cols_log2;
  if (f.flag("tile_rows_log2")) f.flag("increment_tile_rows_log2");
}

struct FrameFacts {
  std::string type;  // "key", "inter", "intra-only", "existing"
  bool shown = true;
  uint64_t header_size = 0;
};

// The uncompressed header from the reader's position; the reader ends after its trailing bits.
FrameFacts uncompressedHeader(FieldReader& f, Vp9VideoStream::State& s) {
  FrameFacts facts;
  FieldUnit unit(f, "uncompressed_header");
  f.u("frame_marker", 2);
  const uint64_t low = f.u("profile_low_bit", 1);
  const uint64_t high = f.u("profile_high_bit", 1);
  s.profile = int(high << 1 | low);
  if (s.profile == 3) f.u("reserved_zero", 1);
  if (f.flag("show_existing_frame")) {
    f.u("frame_to_show_map_idx", 3);
    facts.type = "existing";
    unit.setSummary("shows an existing frame");
    return facts;
  }
  const bool key = !f.uh("frame_type", 1, [](uint64_t v) { return std::string(v ? "NON_KEY_FRAME" : "KEY_FRAME"); });
  facts.shown = f.flag("show_frame");
  const bool error_resilient = f.flag("error_resilient_mode");
  uint32_t width = 0, height = 0;
  uint64_t refresh = 0;
  bool intra_only = false;
  if (key) {
    frameSyncCode(f);
    colorConfig(f, s);
    frameSize(f, width, height);
    renderSize(f);
    refresh = 0xFF;
  } else {
    if (!facts.shown) intra_only = f.flag("intra_only");
    if (!error_resilient) f.u("reset_frame_context", 2);
    if (intra_only) {
      frameSyncCode(f);
      if (s.profile > 0) {
        colorConfig(f, s);
      } else {
        s.bit_depth = 8;
        s.subsampling_x = s.subsampling_y = true;
      }
      refresh = f.u("refresh_frame_flags", 8);
      frameSize(f, width, height);
      renderSize(f);
    } else {
      refresh = f.u("refresh_frame_flags", 8);
      uint64_t refs[3] = {};
      for (int i = 0; i < 3 && f.ok(); ++i) {
        refs[i] = f.u("ref_frame_idx", 3, {}, i);
        f.u("ref_frame_sign_bias", 1, {}, i + 1);
      }
      bool found = false;
      for (int i = 0; i < 3 && f.ok() && !found; ++i) {
        found = f.u("found_ref", 1, {}, i) != 0;
        if (found) {
          width = s.ref_width[refs[i]];
          height = s.ref_height[refs[i]];
        }
      }
      if (!found) frameSize(f, width, height);
      renderSize(f);
      f.flag("allow_high_precision_mv");
      if (!f.flag("is_filter_switchable"))
        f.uh("raw_interpolation_filter_type", 2, [](uint64_t v) { return nameText(kInterpolationFilters, v); });
    }
  }
  if (!error_resilient) {
    f.flag("refresh_frame_context");
    f.flag("frame_parallel_decoding_mode");
  }
  f.u("frame_context_idx", 2);
  loopFilterParams(f);
  const uint64_t q = quantizationParams(f);
  segmentationParams(f);
  tileInfo(f, width);
  facts.header_size = f.u("header_size_in_bytes", 16);
  if (!f.ok()) {
    unit.setSummary("broken");
    return facts;
  }
  for (int i = 0; i < 8; ++i) {
    if (!(refresh >> i & 1)) continue;
    s.ref_width[size_t(i)] = width;
    s.ref_height[size_t(i)] = height;
  }
  facts.type = key ? "key" : intra_only ? "intra-only" : "inter";
  unit.setSummary(facts.type + ", " + numberText(width) + "x" + numberText(height) + ", base_q_idx " + numberText(q) +
                  (facts.shown ? "" : ", not shown"));
  return facts;
}

// One frame of [begin, end): its headers, then the rest as two fields.
FrameFacts oneFrame(FieldReader& outer, Vp9VideoStream::State& s, int64_t begin, int64_t end, int64_t seq) {
  ElementWriter& w = outer.writer();
  w.openUnit("vp9_frame", begin * 8, (end - begin) * 8, {}, {}, seq);
  FieldReader f(w, outer.fileData(), begin, end);
  const FrameFacts facts = uncompressedHeader(f, s);
  if (f.ok() && !f.byteAligned()) f.text("zero_bit", 8 - (f.bitPos() & 7), "0");
  if (f.ok() && facts.header_size > 0) f.bytes("compressed_header", int64_t(facts.header_size));
  if (!f.ok()) {
    f.recover();
    f.rest("frame_data", "not decoded: the header runs past the frame or a value is out of range");
  } else {
    f.rest("tile_data");
  }
  w.setUnitValue(facts.type.empty() ? "frame" : facts.type);
  w.closeUnit();
  return facts;
}

// The frame sizes of a superframe index at the end of [begin, end), or none.
std::vector<int64_t> superframeSizes(const uint8_t* data, int64_t begin, int64_t end, int64_t& index_bytes) {
  index_bytes = 0;
  if (end - begin < 2) return {};
  const uint8_t marker = data[end - 1];
  if ((marker & 0xE0) != 0xC0) return {};
  const int frames = (marker & 7) + 1;
  const int bytes = ((marker >> 3) & 3) + 1;
  const int64_t size = 2 + int64_t(frames) * bytes;
  if (end - begin < size || data[end - size] != marker) return {};
  std::vector<int64_t> sizes;
  int64_t total = 0;
  for (int i = 0; i < frames; ++i) {
    int64_t value = 0;
    for (int b = 0; b < bytes; ++b) value |= int64_t(data[end - size + 1 + i * bytes + b]) << (8 * b);
    sizes.push_back(value);
    total += value;
  }
  if (total > end - begin - size) return {};
  index_bytes = size;
  return sizes;
}

}  // namespace

std::string Vp9VideoStream::configuration(FieldReader& f) { return vpCodecConfiguration(f); }

std::string Vp9VideoStream::frame(FieldReader& f, FramePicture& picture) {
  picture = {};
  if (!f.byteAligned() || f.bytesLeft() <= 0) return {};
  const int64_t begin = f.bytePos();
  const int64_t end = f.endByte();
  int64_t index_bytes = 0;
  std::vector<int64_t> sizes = superframeSizes(f.fileData(), begin, end, index_bytes);
  if (sizes.empty()) sizes.push_back(end - begin);
  sizes.resize(std::min<size_t>(sizes.size(), kMaxFramesInSuperframe));
  int64_t at = begin;
  std::string summary;
  for (size_t i = 0; i < sizes.size(); ++i) {
    const FrameFacts facts = oneFrame(f, state, at, at + sizes[i], int64_t(i));
    if (i == 0) {
      picture.type = facts.type;
      picture.random_access = facts.type == "key" && facts.shown;
    }
    summary += (i ? " + " : "") + (facts.type.empty() ? std::string("frame") : facts.type);
    at += sizes[i];
  }
  if (index_bytes > 0) {
    f.skipBits((at - begin) * 8);
    if (end - index_bytes > at) f.bytes("unused", end - index_bytes - at, "between the last frame and the index");
    f.bytes("superframe_index", index_bytes, numberText(sizes.size()) + " frames");
  }
  f.skipBits(f.bitsLeft());
  return summary;
}

}  // namespace corvanta::codecs
