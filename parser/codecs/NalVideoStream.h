#pragma once

#include "codecs/AnnexB.h"
#include "codecs/H264ParameterSets.h"
#include "codecs/HevcParameterSets.h"
#include "codecs/ParameterSetChanges.h"
#include "codecs/VideoFrameDecoder.h"

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// One H.264 or H.265 stream as MP4, Matroska and FLV carry it: a configuration record, then
// frames of NAL units each preceded by its length; or as a byte stream (transport and program
// streams, raw files) with a start code before each NAL unit instead. The parameter sets of the
// record and of the frames carry over from frame to frame, as slice headers need them.
class NalVideoStream : public VideoFrameDecoder {
 public:
  enum class Framing { LengthPrefixed, StartCodes };
  explicit NalVideoStream(bool hevc, Framing framing = Framing::LengthPrefixed)
      : is_hevc(hevc), start_codes(framing == Framing::StartCodes), changes(hevc) {}

  bool hevc() const { return is_hevc; }
  int lengthSize() const { return length_size; }

  // The AVCDecoderConfigurationRecord or HEVCDecoderConfigurationRecord from the reader's
  // position to its end; its parameter sets and NAL length size are kept for the frames.
  std::string configuration(FieldReader& f) override;

  // The NAL units of one frame from the reader's position to its end, each a unit "NAL unit"
  // with its length field (or start code and trailing zero bytes) and the unit decoded. Returns
  // the frame's summary: its picture type, or the kinds of its units when it holds no slice.
  std::string frame(FieldReader& f, FramePicture& picture) override;
  std::unique_ptr<VideoFrameDecoder> clone() const override { return std::make_unique<NalVideoStream>(*this); }

  // Moves whenever what later NAL units need from the earlier ones may have changed (see
  // ParameterSetChanges): a copy saved at one count is this decoder at any point of that count.
  uint64_t stateVersion() const { return changes.count(); }
  // About how many bytes a copy of this decoder takes, its parameter sets included.
  size_t stateBytes() const;

  // One NAL unit of a byte stream as a unit "NAL unit" numbered `seq`: its start code, the unit
  // decoded and its trailing zero bytes. `nal` is in the reader's coordinates, the reader at its
  // start; the reader may send its elements through a PieceWriter. The picture type of a slice
  // goes into `picture` (an I slice does not overwrite a P or B one). Returns the unit's kind.
  std::string byteStreamNalUnit(FieldReader& f, const AnnexBNalUnit& nal, int64_t seq, FramePicture& picture);

 private:
  // What the frame's summary collects from its NAL units.
  struct FrameUnits {
    int64_t count = 0;
    std::string kinds;
    int rank = -1;  // of the most dependent slice so far
  };

  void lengthPrefixedUnits(FieldReader& f, FramePicture& picture, FrameUnits& units);
  void startCodeUnits(FieldReader& f, FramePicture& picture, FrameUnits& units);
  void byteStreamUnit(FieldReader& f, const AnnexBNalUnit& nal, FramePicture& picture, FrameUnits& units);
  // The NAL unit of `bytes` bytes at the reader's position, decoded into the unit that is open;
  // the reader moves past it.
  void decodeNalUnit(FieldReader& f, int64_t bytes, FramePicture& picture, FrameUnits& units);
  std::string nalUnit(FieldReader& unit, FramePicture& picture, int& rank);
  int64_t activeSps() const { return is_hevc ? h265.sei.active_sps : h264.sei.active_sps; }

  bool is_hevc;
  bool start_codes;
  int length_size = 4;
  H264Context h264;
  HevcContext h265;
  ParameterSetChanges changes;
};

}  // namespace corvanta::codecs
