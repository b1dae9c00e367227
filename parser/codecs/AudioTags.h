#pragma once

#include <cstdint>
#include <vector>

namespace corvanta {
class ElementWriter;
}

namespace corvanta::codecs {

// The tags that audio files carry before and after their frames (ID3v2, ID3v1, APE,
// Lyrics3v2), found and written in one place for every module that meets them: the
// elementary streams, and the chunks of RIFF, AIFF and FLAC files that hold an ID3 tag.
enum class AudioTagKind { Id3v2, Id3v1, Ape, Lyrics3v2 };

struct AudioTag {
  AudioTagKind kind;
  int64_t begin = 0;
  int64_t end = 0;  // clamped to the range it was found in
};

// Tags that start at `begin`, one after the other (ID3v2 tags, an APEv2 tag with a header).
std::vector<AudioTag> leadingAudioTags(const uint8_t* data, int64_t begin, int64_t end);

// Tags that end at `end`, found backwards (ID3v1, Lyrics3v2, APE, ID3v2 with a footer), in
// file order; none reaches before `begin`.
std::vector<AudioTag> trailingAudioTags(const uint8_t* data, int64_t begin, int64_t end);

void writeAudioTag(ElementWriter& writer, const uint8_t* data, const AudioTag& tag);

// Writes every tag in [begin, end), leading and trailing; bytes between them that are no tag
// become GARBAGE. False (nothing written) when the range holds no tag: for a chunk that
// should hold an ID3 tag.
bool writeAudioTagsIn(ElementWriter& writer, const uint8_t* data, int64_t begin, int64_t end);

}  // namespace corvanta::codecs
