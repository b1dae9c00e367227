#pragma once

#include "ValueName.h"

#include <cstdint>
#include <string>

namespace corvanta::matroska {

// The EBML types an element's data may have.
enum class EbmlType : uint8_t { Master, Unsigned, Signed, Float, String, Utf8, Date, Binary };

// How a value reads for a person beyond the names of an enumeration.
enum class ValueForm : uint8_t {
  Plain,
  Nanoseconds,      // Matroska ticks: a time
  SegmentTicks,     // ticks of TimestampScale: a time
  TimestampScale,   // nanoseconds per segment tick
  DefaultDuration,  // nanoseconds per frame, with the frame rate
  Hertz,
  Bits,             // a bit count (BitDepth, BitsPerChannel)
  BitMask,          // the names of the set bits (ContentEncodingScope)
  Uuid,             // 16 bytes shown as a UUID
  FourCC,           // 4 bytes shown as characters
  ElementId,        // SeekID: an element ID, named
  SegmentPosition,  // SeekPosition, CueClusterPosition: checked against what stands there
  ClusterPosition,  // CueRelativePosition: checked inside the cue's cluster
  Padding,          // Void
};

// The parent IDs with a meaning of their own.
inline constexpr uint32_t kRoot = 0;               // the top level of the file
inline constexpr uint32_t kAnyParent = 0xFFFFFFFF;  // global elements: Void, CRC-32

// One line of the element table.
struct ElementType {
  uint32_t id;
  const char* name;
  EbmlType type;
  uint32_t parent;
  uint32_t other_parent;  // a second parent (recursive elements, SignatureSlot), or kRoot when none
  const ValueName* values;
  uint8_t value_count;
  ValueForm form;
  bool webm;  // part of the WebM subset
};

// Element IDs the walk itself needs.
namespace id {
inline constexpr uint32_t kEbml = 0x1A45DFA3;
inline constexpr uint32_t kEbmlMaxSizeLength = 0x42F3;
inline constexpr uint32_t kDocType = 0x4282;
inline constexpr uint32_t kDocTypeVersion = 0x4287;
inline constexpr uint32_t kDocTypeReadVersion = 0x4285;
inline constexpr uint32_t kVoid = 0xEC;
inline constexpr uint32_t kCrc32 = 0xBF;
inline constexpr uint32_t kSegment = 0x18538067;
inline constexpr uint32_t kSeekHead = 0x114D9B74;
inline constexpr uint32_t kSeek = 0x4DBB;
inline constexpr uint32_t kSeekId = 0x53AB;
inline constexpr uint32_t kSeekPosition = 0x53AC;
inline constexpr uint32_t kInfo = 0x1549A966;
inline constexpr uint32_t kTimestampScale = 0x2AD7B1;
inline constexpr uint32_t kDuration = 0x4489;
inline constexpr uint32_t kTitle = 0x7BA9;
inline constexpr uint32_t kCluster = 0x1F43B675;
inline constexpr uint32_t kTimestamp = 0xE7;
inline constexpr uint32_t kSimpleBlock = 0xA3;
inline constexpr uint32_t kBlockGroup = 0xA0;
inline constexpr uint32_t kBlock = 0xA1;
inline constexpr uint32_t kBlockDuration = 0x9B;
inline constexpr uint32_t kReferenceBlock = 0xFB;
inline constexpr uint32_t kEncryptedBlock = 0xAF;
inline constexpr uint32_t kTracks = 0x1654AE6B;
inline constexpr uint32_t kTrackEntry = 0xAE;
inline constexpr uint32_t kTrackNumber = 0xD7;
inline constexpr uint32_t kTrackUid = 0x73C5;
inline constexpr uint32_t kTrackType = 0x83;
inline constexpr uint32_t kName = 0x536E;
inline constexpr uint32_t kLanguage = 0x22B59C;
inline constexpr uint32_t kLanguageBcp47 = 0x22B59D;
inline constexpr uint32_t kCodecId = 0x86;
inline constexpr uint32_t kCodecPrivate = 0x63A2;
inline constexpr uint32_t kDefaultDuration = 0x23E383;
inline constexpr uint32_t kVideo = 0xE0;
inline constexpr uint32_t kFlagInterlaced = 0x9A;
inline constexpr uint32_t kPixelWidth = 0xB0;
inline constexpr uint32_t kPixelHeight = 0xBA;
inline constexpr uint32_t kAudio = 0xE1;
inline constexpr uint32_t kSamplingFrequency = 0xB5;
inline constexpr uint32_t kChannels = 0x9F;
inline constexpr uint32_t kBitDepth = 0x6264;
inline constexpr uint32_t kContentEncodings = 0x6D80;
inline constexpr uint32_t kContentEncoding = 0x6240;
inline constexpr uint32_t kContentEncodingType = 0x5033;
inline constexpr uint32_t kContentCompression = 0x5034;
inline constexpr uint32_t kContentCompAlgo = 0x4254;
inline constexpr uint32_t kContentCompSettings = 0x4255;
inline constexpr uint32_t kContentEncryption = 0x5035;
inline constexpr uint32_t kContentEncAlgo = 0x47E1;
inline constexpr uint32_t kCues = 0x1C53BB6B;
inline constexpr uint32_t kCuePoint = 0xBB;
inline constexpr uint32_t kCueTime = 0xB3;
inline constexpr uint32_t kCueTrackPositions = 0xB7;
inline constexpr uint32_t kCueTrack = 0xF7;
inline constexpr uint32_t kCueClusterPosition = 0xF1;
inline constexpr uint32_t kAttachments = 0x1941A469;
inline constexpr uint32_t kAttachedFile = 0x61A7;
inline constexpr uint32_t kFileName = 0x466E;
inline constexpr uint32_t kFileMediaType = 0x4660;
inline constexpr uint32_t kFileData = 0x465C;
inline constexpr uint32_t kChapters = 0x1043A770;
inline constexpr uint32_t kEditionEntry = 0x45B9;
inline constexpr uint32_t kChapterAtom = 0xB6;
inline constexpr uint32_t kChapterTimeStart = 0x91;
inline constexpr uint32_t kChapterTimeEnd = 0x92;
inline constexpr uint32_t kChapterDisplay = 0x80;
inline constexpr uint32_t kChapString = 0x85;
inline constexpr uint32_t kTags = 0x1254C367;
inline constexpr uint32_t kTag = 0x7373;
inline constexpr uint32_t kTargets = 0x63C0;
inline constexpr uint32_t kTargetTypeValue = 0x68CA;
inline constexpr uint32_t kTargetType = 0x63CA;
inline constexpr uint32_t kSimpleTag = 0x67C8;
inline constexpr uint32_t kTagName = 0x45A3;
inline constexpr uint32_t kTagString = 0x4487;
inline constexpr uint32_t kTagBinary = 0x4485;
}  // namespace id

// The table line of `element_id`, or null for an ID the table does not know.
const ElementType* findElementType(uint32_t element_id);

// Every line of the table, in table order (for the tests).
const ElementType* elementTypesBegin();
const ElementType* elementTypesEnd();

// The name of an enumeration value of `type`, or empty.
std::string valueName(const ElementType& type, uint64_t value);

// Void and CRC-32: allowed under any master.
bool isGlobal(const ElementType& type);
// True when `parent_id` (an element ID, or kRoot) may hold `type` directly.
bool isChildOf(const ElementType& type, uint32_t parent_id);
// True when `type` may stand anywhere below `ancestor_id`.
bool isDescendantOf(const ElementType& type, uint32_t ancestor_id);
// Elements of the top level (EBML, Segment) and the children of Segment: where the walk
// resynchronises after bytes that belong to no element.
bool isUpperLevel(uint32_t element_id);

}  // namespace corvanta::matroska
