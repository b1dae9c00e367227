#include "formats/flac/FlacFrameWriter.h"

#include "Checksums.h"
#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"

namespace corvanta::flac {

int64_t FlacFrameWriter::write(ElementWriter& w, const FrameStretch& stretch, int64_t seq) const {
  const int64_t bytes = stretch.end - stretch.begin;
  const int64_t id = w.openUnit("frame", stretch.begin * 8, bytes * 8, {}, {}, seq);
  FieldReader f(w, data, stretch.begin, stretch.end);
  const bool cut = stretch.end == size && !(stretch.layout.subframes_ok && bytes == stretch.layout.end_bytes) &&
                   crc16Flac(data + stretch.begin, bytes) != 0;
  std::string summary = codecs::flacFrame(f, stretch.layout, bytes, cut);
  w.setUnitValue(summary, startText(stretch.layout) + (cut ? ", truncated" : ""));
  w.closeUnit();
  return id;
}

std::string FlacFrameWriter::startText(const codecs::FlacFrameLayout& layout) const {
  const uint32_t rate = layout.sample_rate ? layout.sample_rate : info.sample_rate;
  if (rate == 0) return {};
  const uint64_t block = info.min_block_size == info.max_block_size && info.max_block_size ? info.max_block_size
                                                                                            : layout.block_size;
  const uint64_t sample = layout.variable_block_size ? layout.number : layout.number * block;
  if (sample > uint64_t(INT64_MAX)) return {};
  return "at " + secondsText(int64_t(sample), rate);
}

}  // namespace corvanta::flac
