#pragma once

#include <cstdint>

namespace corvanta::codecs {

// What an elementary stream carries, for the one word of a packet's summary.
enum class StreamKind : uint8_t { Video, Audio, Subtitles, Teletext, Data, Sections };

// One line of the stream_type table (ISO/IEC 13818-1 Table 2-34, and the user-private values the
// common systems give a meaning).
struct StreamType {
  uint8_t value;
  const char* name;
  StreamKind kind;
};

// The line for `stream_type`, with "user private" or "reserved" for a value without one.
// `blu_ray`: an M2TS file or a program registered "HDMV", where the user-private values mean
// Blu-ray's audio and graphics streams.
const StreamType& streamType(uint8_t stream_type, bool blu_ray = false);

// The word for a kind: "video", "audio", "subtitles", "teletext", "data", "sections".
const char* streamKindWord(StreamKind kind);

}  // namespace corvanta::codecs
