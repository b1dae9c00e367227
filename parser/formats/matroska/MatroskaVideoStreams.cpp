#include "formats/matroska/MatroskaVideoStreams.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "formats/matroska/MatroskaTrack.h"

namespace corvanta::matroska {

namespace {

// The configuration record type that a codec's CodecPrivate holds.
std::string recordOf(const std::string& codec_id) {
  if (codec_id == "V_MPEG4/ISO/AVC") return "avcC";
  if (codec_id == "V_MPEGH/ISO/HEVC") return "hvcC";
  if (codec_id == "V_AV1") return "av1C";
  if (codec_id == "V_MPEG1" || codec_id == "V_MPEG2") return "mpeg-video";
  return {};
}

}  // namespace

codecs::VideoFrameDecoder* MatroskaVideoStreams::forTrack(const TrackInfo& track, const uint8_t* data) {
  const auto found = streams.find(track.number);
  if (found != streams.end()) return found->second.get();
  std::unique_ptr<codecs::VideoFrameDecoder>& stream = streams[track.number];
  if (track.compressed || track.encrypted) return nullptr;
  stream = codecs::VideoFrameDecoder::forRecord(recordOf(track.codec_id));
  if (!stream) return nullptr;
  // Without a CodecPrivate the frames may still bring their own headers.
  if (track.codec_private_begin < 0) return stream.get();
  // Only what the record sets up is wanted: the CodecPrivate's own elements are written where
  // it stands in the tree.
  ElementWriter counter{ElementWriter::CountOnly{}};
  FieldReader record(counter, data, track.codec_private_begin, track.codec_private_end);
  stream->configuration(record);
  return stream.get();
}

}  // namespace corvanta::matroska
