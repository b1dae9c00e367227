#pragma once

#include <cstdint>
#include <memory>

namespace corvanta::codecs {

class NalVideoStream;

// What an AnnexBCarriage carries from one carrier to the next, saved to go on from there later
// (AnnexBCarriage::save and restore) without the carriers before. The NAL unit still being
// written is kept as where it began, to be gathered again from the file, not as its bytes.
struct AnnexBCarriageState {
  // The decoder with its parameter sets; one copy is shared by every state saved while they did
  // not change. Null when the stream changed its parameter sets too often to keep a copy here:
  // going on needs an earlier state then.
  std::shared_ptr<const NalVideoStream> decoder;
  int64_t gathering_begin = -1;  // the first piece of the NAL unit under way in the file, -1 none
  int64_t gathering_end = -1;    // the end of that carrier's payload
  int64_t gathering_seq = 0;     // the unit's number
  uint32_t next_piece = 0;       // its first piece not written yet
  bool at_start_code = false;
  int64_t count = 0;             // NAL units so far
};

}  // namespace corvanta::codecs
