#pragma once

#include "codecs/FlacFrame.h"
#include "formats/flac/FlacFrameWalk.h"

#include <cstdint>
#include <string>

namespace corvanta {
class ElementWriter;
}

namespace corvanta::flac {

// Writes one frame of a FLAC file as its unit "frame": what the analysis and the decoding of a
// lazy frame again share. A frame needs nothing from the frames before it but STREAMINFO.
class FlacFrameWriter {
 public:
  FlacFrameWriter(const uint8_t* data, int64_t size, const codecs::FlacStreamParameters& info)
      : data(data), size(size), info(info) {}

  // Returns the frame's id.
  int64_t write(ElementWriter& w, const FrameStretch& stretch, int64_t seq) const;

 private:
  // When the frame starts: a fixed block size counts frames, a variable one samples.
  std::string startText(const codecs::FlacFrameLayout& layout) const;

  const uint8_t* data;
  int64_t size;
  codecs::FlacStreamParameters info;
};

}  // namespace corvanta::flac
