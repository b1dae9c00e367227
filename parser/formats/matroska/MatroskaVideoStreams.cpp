#include "formats/matroska/MatroskaVideoStreams.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "formats/matroska/MatroskaTrack.h"

namespace corvanta::matroska {

codecs::NalVideoStream* MatroskaVideoStreams::forTrack(const TrackInfo& track, const uint8_t* data) {
  const auto found = streams.find(track.number);
  if (found != streams.end()) return found->second.get();
  const bool avc = track.codec_id == "V_MPEG4/ISO/AVC";
  const bool hevc = track.codec_id == "V_MPEGH/ISO/HEVC";
  std::unique_ptr<codecs::NalVideoStream>& stream = streams[track.number];
  if ((!avc && !hevc) || track.compressed || track.encrypted || track.codec_private_begin < 0) return nullptr;
  stream = std::make_unique<codecs::NalVideoStream>(hevc);
  // Only the parameter sets and the NAL length size are wanted: the CodecPrivate's own
  // elements are written where it stands in the tree.
  ElementWriter counter{ElementWriter::CountOnly{}};
  FieldReader record(counter, data, track.codec_private_begin, track.codec_private_end);
  stream->configuration(record);
  return stream.get();
}

}  // namespace corvanta::matroska
