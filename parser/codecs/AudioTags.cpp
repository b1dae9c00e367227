#include "codecs/AudioTags.h"

#include "ElementWriter.h"
#include "codecs/ApeTag.h"
#include "codecs/Id3v1Tag.h"
#include "codecs/Id3v2Tag.h"
#include "codecs/Lyrics3Tag.h"

#include <algorithm>

namespace corvanta::codecs {

namespace {

// Tags stacked at one end of a file beyond which the rest is taken for audio.
constexpr int kMostTags = 16;

}  // namespace

std::vector<AudioTag> leadingAudioTags(const uint8_t* data, int64_t begin, int64_t end) {
  std::vector<AudioTag> tags;
  int64_t at = begin;
  while (at < end && int(tags.size()) < kMostTags) {
    int64_t bytes = id3v2TagBytes(data, at, end);
    AudioTagKind kind = AudioTagKind::Id3v2;
    if (bytes == 0) {
      bytes = apeTagBytesAt(data, at, end);
      kind = AudioTagKind::Ape;
    }
    if (bytes == 0) break;
    tags.push_back({kind, at, std::min(end, at + bytes)});
    at = tags.back().end;
  }
  return tags;
}

std::vector<AudioTag> trailingAudioTags(const uint8_t* data, int64_t begin, int64_t end) {
  std::vector<AudioTag> tags;
  int64_t at = end;
  while (at > begin && int(tags.size()) < kMostTags) {
    AudioTagKind kind = AudioTagKind::Id3v1;
    int64_t bytes = isId3v1Tag(data, begin, at) ? kId3v1Bytes : 0;
    if (bytes == 0 && (bytes = lyrics3v2BytesBefore(data, begin, at)) != 0) kind = AudioTagKind::Lyrics3v2;
    if (bytes == 0 && (bytes = apeTagBytesBefore(data, begin, at)) != 0) kind = AudioTagKind::Ape;
    if (bytes == 0 && (bytes = id3v2TagBytesBefore(data, begin, at)) != 0) kind = AudioTagKind::Id3v2;
    if (bytes == 0) break;
    tags.push_back({kind, at - bytes, at});
    at -= bytes;
  }
  std::reverse(tags.begin(), tags.end());
  return tags;
}

void writeAudioTag(ElementWriter& writer, const uint8_t* data, const AudioTag& tag) {
  switch (tag.kind) {
    case AudioTagKind::Id3v2: writeId3v2Tag(writer, data, tag.begin, tag.end); break;
    case AudioTagKind::Id3v1: writeId3v1Tag(writer, data, tag.begin); break;
    case AudioTagKind::Ape: writeApeTag(writer, data, tag.begin, tag.end); break;
    case AudioTagKind::Lyrics3v2: writeLyrics3v2Tag(writer, data, tag.begin, tag.end); break;
  }
}

bool writeAudioTagsIn(ElementWriter& writer, const uint8_t* data, int64_t begin, int64_t end) {
  const std::vector<AudioTag> leading = leadingAudioTags(data, begin, end);
  const int64_t middle = leading.empty() ? begin : leading.back().end;
  const std::vector<AudioTag> trailing = trailingAudioTags(data, middle, end);
  if (leading.empty() && trailing.empty()) return false;
  for (const AudioTag& tag : leading) writeAudioTag(writer, data, tag);
  const int64_t middle_end = trailing.empty() ? end : trailing.front().begin;
  if (middle_end > middle) writer.addGarbage(middle * 8, (middle_end - middle) * 8);
  for (const AudioTag& tag : trailing) writeAudioTag(writer, data, tag);
  return true;
}

}  // namespace corvanta::codecs
