#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

// What DVD-Video puts into the private streams of a program stream: sub-streams of
// private_stream_1 (AC-3, DTS, LPCM, subpictures), each PES payload starting with the sub-stream
// id, and the navigation packets (PCI and DSI) of private_stream_2.
namespace corvanta::mpegps {

// The readable kind of a private_stream_1 sub-stream id: "AC-3 1", "LPCM 0", "subpicture 3".
std::string subStreamName(uint8_t id);

// Reads a private_stream_1 payload from its sub_stream_id on: the sub-stream's header fields,
// then its data as one field. Returns the sub-stream's name.
std::string privateStream1Payload(FieldReader& f);

// Reads a private_stream_2 payload: PCI or DSI by its sub-stream id, their general information
// fields, the rest as one field. Returns a summary.
std::string privateStream2Payload(FieldReader& f);

}  // namespace corvanta::mpegps
