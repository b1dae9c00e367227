#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::isobmff {

struct BoxHeader;
struct TrackInfo;
class SampleMap;

// What a payload decoder knows about the box it decodes.
struct BoxScope {
  FieldReader& f;
  const BoxHeader& box;
  const SampleMap& map;
  uint32_t parent_type = 0;
  uint8_t parent_version = 0;  // of a full-box parent (iref children need it)
  uint8_t version = 0;
  uint32_t flags = 0;
  const TrackInfo* track = nullptr;  // the enclosing track, when known
  std::string summary;               // replaces the table's name as the box's value when set
};

using BoxDecoder = void (*)(BoxScope&);

enum BoxKind : uint8_t {
  kLeaf = 0,
  kContainer = 1,   // children follow the decoded fields
  kFullBox = 2,     // version and flags follow the header
  kMaybeFull = 4,   // 'meta': full box in ISO files, plain in QuickTime
  kAnyChildType = 8 // children may have codes that are not printable (keyed ilst items)
};

// One line of the box table: type, the parent it applies under (0 = any), the readable
// name used as the box's value, its kind and the decoder of its fields (or none).
struct BoxType {
  uint32_t type;
  uint32_t parent;
  const char* name;
  uint8_t kind;
  BoxDecoder decode;
};

// Any four-character code under the given parent (sample entries, ilst items, tref entries).
inline constexpr uint32_t kAnyType = 0xFFFFFFFFu;

// The table line for `type` under `parent`: a line for that parent first, then one for
// any parent; an "Unknown box" line when there is none.
const BoxType& lookupBox(uint32_t type, uint32_t parent);
// True for the types of the table (used to find the next plausible box after garbage).
bool isKnownBoxType(uint32_t type);

}  // namespace corvanta::isobmff
