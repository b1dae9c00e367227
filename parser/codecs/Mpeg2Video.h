#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvanta {
class ElementWriter;
class FieldReader;
}  // namespace corvanta

// MPEG-1 and MPEG-2 video elementary streams (ISO/IEC 11172-2, ISO/IEC 13818-2 / H.262): the
// units between start codes, found by scanning, and the fields of their headers. A container
// hands the stream over in stretches (a raw file is one stretch, a program stream one per PES
// payload); positions are counted in bytes of the stream, not of the file.
namespace corvanta::codecs {

enum class MpegVideoUnitKind : uint8_t {
  Lead,     // bytes before the first start code (a stream joined in the middle)
  Header,   // one start code and what follows it up to the next one
  Slices,   // a run of slice start codes: one picture's slice data
  Tail,     // what is left of a header unit past kMaxMpegVideoHeaderBytes (stuffing, as a rule)
};

struct MpegVideoUnit {
  int64_t begin = 0;  // stream bytes
  int64_t end = 0;
  MpegVideoUnitKind kind = MpegVideoUnitKind::Header;
  uint8_t code = 0;          // the start code's last byte (of the first slice for a run)
  uint8_t last_code = 0;     // slice runs: the last slice's code
  int64_t slices = 0;        // slice runs: how many slices
};

// A header unit longer than this is decoded over its first bytes only; the rest is a Tail.
inline constexpr int64_t kMaxMpegVideoHeaderBytes = 4096;

// Finds the units of a stream fed in consecutive stretches; a start code may straddle two.
class MpegVideoScanner {
 public:
  void feed(const uint8_t* bytes, int64_t size);
  // Ends the last unit at the end of the stream and returns every unit in stream order.
  std::vector<MpegVideoUnit> finish();
  // A sequence_extension was found: the stream is MPEG-2.
  bool sawSequenceExtension() const { return mpeg2; }

 private:
  void startCode(int64_t at, uint8_t code);
  void closeCurrent(int64_t end);

  std::vector<MpegVideoUnit> units;
  MpegVideoUnit current;
  bool open = false;
  int64_t position = 0;     // stream bytes fed so far
  int zeros = 0;            // zero bytes just before `position`
  bool code_pending = false;  // a prefix 00 00 01 ended the last stretch
  bool extension_pending = false;  // the next byte holds an extension_start_code_identifier
  bool mpeg2 = false;
};

// What earlier headers said that later ones need, carried forward by the walk.
struct MpegVideoContext {
  bool mpeg2 = false;  // the stream has a sequence_extension (from the scanner, before the walk)
  bool progressive_sequence = false;
  uint8_t picture_structure = 3;
  bool top_field_first = false;
  bool repeat_first_field = false;
  uint8_t picture_coding_type = 0;  // of the first picture_header since the caller cleared it: 1 I, 2 P, 3 B, 4 D
};

// Writes one Header unit from its start code to the reader's end: a unit named for the start
// code (sequence_header, sequence_extension, picture_header, ...) with its fields, and the
// stuffing up to the next start code.
void mpegVideoHeader(FieldReader& f, MpegVideoContext& context);

// The name and summary of a unit that is not decoded field by field (Lead, Slices, Tail).
const char* mpegVideoLeafName(const MpegVideoUnit& unit);
std::string mpegVideoLeafSummary(const MpegVideoUnit& unit);

// The readable name of a start code value: "picture_start_code", "slice_start_code 12", ...
std::string mpegVideoStartCodeName(uint8_t code);

// A contiguous stream in the file, [begin, end): scans it and writes every unit.
void writeMpegVideoStream(ElementWriter& writer, const uint8_t* file_data, int64_t begin, int64_t end);
// The same for one stretch of a longer stream (a container's frame), with what the stretches
// before it said.
void writeMpegVideoStream(ElementWriter& writer, const uint8_t* file_data, int64_t begin, int64_t end,
                          MpegVideoContext& context);

}  // namespace corvanta::codecs
