#include "formats/matroska/MatroskaVideoStreams.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "formats/matroska/MatroskaTrack.h"

#include <utility>

namespace corvanta::matroska {

namespace {

// The configuration record type of a codec's frames, and whether its CodecPrivate holds that
// record (WebM's VP9 CodecPrivate holds feature triplets, which the frames do not need).
std::pair<std::string, bool> recordOf(const std::string& codec_id) {
  if (codec_id == "V_MPEG4/ISO/AVC") return {"avcC", true};
  if (codec_id == "V_MPEGH/ISO/HEVC") return {"hvcC", true};
  if (codec_id == "V_AV1") return {"av1C", true};
  if (codec_id == "V_MPEG1" || codec_id == "V_MPEG2") return {"mpeg-video", true};
  if (codec_id == "V_VP9") return {"vpcC-vp9", false};
  if (codec_id == "V_VP8") return {"vpcC-vp8", false};
  return {};
}

}  // namespace

codecs::VideoFrameDecoder* MatroskaVideoStreams::forTrack(const TrackInfo& track, const uint8_t* data) {
  const auto found = streams.find(track.number);
  if (found != streams.end()) {
    // The caller decodes a frame with it, which may change its state.
    if (found->second.decoder) {
      found->second.changed = true;
      ++frames_decoded;
    }
    return found->second.decoder.get();
  }
  ++frames_decoded;
  std::unique_ptr<codecs::VideoFrameDecoder>& stream = streams[track.number].decoder;
  if (track.compressed || track.encrypted) return nullptr;
  const auto [record_type, in_codec_private] = recordOf(track.codec_id);
  stream = codecs::VideoFrameDecoder::forRecord(record_type);
  if (!stream) return nullptr;
  // Without a CodecPrivate the frames may still bring their own headers.
  if (track.codec_private_begin < 0 || !in_codec_private) return stream.get();
  // Only what the record sets up is wanted: the CodecPrivate's own elements are written where
  // it stands in the tree.
  ElementWriter counter{ElementWriter::CountOnly{}};
  FieldReader record(counter, data, track.codec_private_begin, track.codec_private_end);
  stream->configuration(record);
  return stream.get();
}

std::shared_ptr<const MatroskaVideoStreams::Snapshot> MatroskaVideoStreams::snapshot() {
  bool any_changed = !saved || saved->size() != streams.size();
  for (auto& [number, stream] : streams) {
    if (!stream.changed) continue;
    any_changed = true;
    stream.copy = stream.decoder ? std::shared_ptr<const codecs::VideoFrameDecoder>(stream.decoder->clone()) : nullptr;
    stream.changed = false;
  }
  if (!any_changed) return saved;
  auto taken = std::make_shared<Snapshot>();
  for (const auto& [number, stream] : streams) taken->emplace(number, stream.copy);
  saved = std::move(taken);
  return saved;
}

bool MatroskaVideoStreams::changedSinceSnapshot() const {
  if (!saved || saved->size() != streams.size()) return true;
  for (const auto& [number, stream] : streams)
    if (stream.changed) return true;
  return false;
}

void MatroskaVideoStreams::restore(const std::shared_ptr<const Snapshot>& from) {
  streams.clear();
  saved = from;
  if (!from) return;
  for (const auto& [number, copy] : *from) {
    Stream& stream = streams[number];
    stream.decoder = copy ? copy->clone() : nullptr;
    stream.copy = copy;
    stream.changed = false;
  }
}

}  // namespace corvanta::matroska
