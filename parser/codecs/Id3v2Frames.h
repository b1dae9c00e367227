#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs::id3 {

// The name of an ID3v2.3/2.4 frame id ("TIT2": "Title"), empty when unknown.
std::string frameName(const std::string& id);

// The ID3v2.3 id that stands for an ID3v2.2 id ("TT2": "TIT2"), or the id itself.
std::string frameIdV3(const std::string& id);

// What a frame body decoder needs to know besides its bytes.
struct FrameContext {
  int version = 4;  // 2, 3 or 4
  int depth = 0;    // frames embedded in CHAP and CTOC nest, bounded
  bool unsynchronised_frames = false;  // ID3v2.4 header flag: every frame is unsynchronised
};

// Decodes the body of a frame with id `id` (in its ID3v2.3/2.4 form) from `f` (which covers the
// body, unsynchronisation undone); returns the frame's summary. Embedded frames of CHAP and
// CTOC are written through `embedded`.
using EmbeddedFrames = void (*)(FieldReader& f, const FrameContext& context);
std::string writeFrameBody(FieldReader& f, const std::string& id, const FrameContext& context,
                           EmbeddedFrames embedded);

// Picture type of APIC ("Cover (front)").
std::string pictureTypeName(uint64_t type);

}  // namespace corvanta::codecs::id3
