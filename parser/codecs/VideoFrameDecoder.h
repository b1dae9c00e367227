#pragma once

#include <memory>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// What a frame's codec headers say about the picture, for the summary of the sample, block or
// tag that carries it and for checking the container's key-frame claim.
struct FramePicture {
  std::string type;            // "IDR", "I", "P", "B", "CRA", "BLA", "KEY", "INTER", ...; empty when unknown
  bool random_access = false;  // decoding can start here: IDR, IRAP, a shown AV1 key frame
};

// One video stream as a container carries it: a configuration record, then frames. What the
// record and earlier frames set up (parameter sets, a sequence header) carries over from frame
// to frame, as the codec's own headers need it.
class VideoFrameDecoder {
 public:
  virtual ~VideoFrameDecoder() = default;

  // The configuration record from the reader's position to its end; returns its summary.
  virtual std::string configuration(FieldReader& f) = 0;
  // One frame from the reader's position to its end, its codec headers decoded as elements.
  // Returns the frame's summary (its picture type when known).
  virtual std::string frame(FieldReader& f, FramePicture& picture) = 0;
  // A copy with the same state, so that a frame can later be decoded again from this point.
  virtual std::unique_ptr<VideoFrameDecoder> clone() const = 0;

  // The decoder for a configuration record of this type (avcC, hvcC, av1C; "mpeg-video" for
  // MPEG-1/2 video headers; "vpcC-vp9" and "vpcC-vp8" for VP9 and VP8, whose frames need
  // nothing from a record), or null.
  static std::unique_ptr<VideoFrameDecoder> forRecord(const std::string& record_type);
};

}  // namespace corvanta::codecs
