#include "formats/IsoBmffBoxTable.h"

#include "formats/IsoBmffDecoders.h"
#include "formats/IsoBmffFields.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace corvanta::isobmff {

namespace {

namespace d = decode;
constexpr uint8_t C = kContainer;
constexpr uint8_t F = kFullBox;
constexpr uint8_t FC = kFullBox | kContainer;

// Lines for a specific parent come before the any-parent line of the same type;
// lookupBox takes the first that matches.
const BoxType kBoxes[] = {
    // File structure
    {code("ftyp"), 0, "File type", kLeaf, d::ftyp},
    {code("styp"), 0, "Segment type", kLeaf, d::ftyp},
    {code("mdat"), 0, "Media data", kLeaf, nullptr},
    {code("free"), 0, "Free space", kLeaf, d::opaque},
    {code("skip"), 0, "Free space", kLeaf, d::opaque},
    {code("wide"), 0, "Reserved space (QuickTime)", kLeaf, d::opaque},
    {code("pnot"), 0, "Preview (QuickTime)", kLeaf, d::opaque},
    {code("uuid"), 0, "User extension", kLeaf, d::opaque},
    {0, 0, "Terminator", kLeaf, nullptr},
    // Movie and tracks
    {code("moov"), 0, "Movie", C, nullptr},
    {code("mvhd"), 0, "Movie header", F, d::mvhd},
    {code("trak"), 0, "Track", C, nullptr},
    {code("tkhd"), 0, "Track header", F, d::tkhd},
    {code("tref"), 0, "Track reference", C, nullptr},
    {kAnyType, code("tref"), "Track reference type", kLeaf, d::trackReference},
    {code("edts"), 0, "Edit", C, nullptr},
    {code("elst"), 0, "Edit list", F, d::elst},
    {code("mdia"), 0, "Media", C, nullptr},
    {code("mdhd"), 0, "Media header", F, d::mdhd},
    {code("hdlr"), 0, "Handler reference", F, d::hdlr},
    {code("minf"), 0, "Media information", C, nullptr},
    {code("vmhd"), 0, "Video media header", F, d::vmhd},
    {code("smhd"), 0, "Sound media header", F, d::smhd},
    {code("hmhd"), 0, "Hint media header", F, d::hmhd},
    {code("nmhd"), 0, "Null media header", F, nullptr},
    {code("sthd"), 0, "Subtitle media header", F, nullptr},
    {code("gmhd"), 0, "Base media information header (QuickTime)", C, nullptr},
    {code("gmin"), 0, "Base media information (QuickTime)", F, d::gmin},
    {code("dinf"), 0, "Data information", C, nullptr},
    {code("dref"), 0, "Data reference", FC, d::entryCount},
    {code("url "), 0, "Data entry URL", F, d::url},
    {code("urn "), 0, "Data entry URN", F, d::urn},
    {code("alis"), 0, "Alias data entry (QuickTime)", F, d::opaque},
    // Sample tables
    {code("stbl"), 0, "Sample table", C, nullptr},
    {code("stsd"), 0, "Sample description", FC, d::entryCount},
    {kAnyType, code("stsd"), "Sample entry", C, d::sampleEntry},
    {code("stts"), 0, "Decoding time to sample", F, d::stts},
    {code("ctts"), 0, "Composition time to sample", F, d::ctts},
    {code("stss"), 0, "Sync sample", F, d::stss},
    {code("stps"), 0, "Partial sync sample (QuickTime)", F, d::stss},
    {code("stsc"), 0, "Sample to chunk", F, d::stsc},
    {code("stsz"), 0, "Sample size", F, d::stsz},
    {code("stz2"), 0, "Compact sample size", F, d::stz2},
    {code("stco"), 0, "Chunk offset", F, d::stco},
    {code("co64"), 0, "Chunk offset (64-bit)", F, d::co64},
    {code("sdtp"), 0, "Independent and disposable samples", F, d::sdtp},
    {code("sbgp"), 0, "Sample to group", F, d::sbgp},
    {code("sgpd"), 0, "Sample group description", F, d::sgpd},
    // Codec configurations inside sample entries
    {code("avcC"), 0, "AVC configuration", kLeaf, d::avcC},
    {code("hvcC"), 0, "HEVC configuration", kLeaf, d::hvcC},
    {code("av1C"), 0, "AV1 configuration", kLeaf, d::av1C},
    {code("vpcC"), 0, "VP codec configuration", F, d::vpcC},
    {code("esds"), 0, "Elementary stream descriptor", F, d::esds},
    {code("dOps"), 0, "Opus specific", kLeaf, d::dOps},
    {code("dac3"), 0, "AC-3 specific", kLeaf, d::dac3},
    {code("dec3"), 0, "E-AC-3 specific", kLeaf, d::dec3},
    {code("pasp"), 0, "Pixel aspect ratio", kLeaf, d::pasp},
    {code("colr"), 0, "Colour information", kLeaf, d::colr},
    {code("btrt"), 0, "Bit rate", kLeaf, d::btrt},
    {code("clap"), 0, "Clean aperture", kLeaf, d::clap},
    {code("fiel"), 0, "Field handling (QuickTime)", kLeaf, d::fiel},
    {code("wave"), 0, "Sound description extension (QuickTime)", C, nullptr},
    {code("mp4a"), code("wave"), "Format (QuickTime)", kLeaf, d::opaque},
    {code("frma"), 0, "Original format", kLeaf, d::frma},
    {code("sinf"), 0, "Protection scheme information", C, nullptr},
    {code("schm"), 0, "Scheme type", F, d::schm},
    {code("schi"), 0, "Scheme information", C, nullptr},
    {code("pssh"), 0, "Protection system specific header", F, d::pssh},
    // Fragments
    {code("mvex"), 0, "Movie extends", C, nullptr},
    {code("mehd"), 0, "Movie extends header", F, d::mehd},
    {code("trex"), 0, "Track extends", F, d::trex},
    {code("moof"), 0, "Movie fragment", C, nullptr},
    {code("mfhd"), 0, "Movie fragment header", F, d::mfhd},
    {code("traf"), 0, "Track fragment", C, nullptr},
    {code("tfhd"), 0, "Track fragment header", F, d::tfhd},
    {code("tfdt"), 0, "Track fragment decode time", F, d::tfdt},
    {code("trun"), 0, "Track run", F, d::trun},
    {code("mfra"), 0, "Movie fragment random access", C, nullptr},
    {code("tfra"), 0, "Track fragment random access", F, d::tfra},
    {code("mfro"), 0, "Movie fragment random access offset", F, d::mfro},
    {code("sidx"), 0, "Segment index", F, d::sidx},
    {code("emsg"), 0, "Event message", F, d::emsg},
    // User data and metadata
    {code("udta"), 0, "User data", C, nullptr},
    {code("cprt"), 0, "Copyright", F, d::cprt},
    {code("meta"), 0, "Metadata", kMaybeFull | kContainer, nullptr},
    {code("ilst"), 0, "Metadata item list", kContainer | kAnyChildType, nullptr},
    {kAnyType, code("ilst"), "Metadata item", C, d::ilstItem},
    {code("data"), 0, "Metadata value", kLeaf, d::data},
    {code("mean"), 0, "Metadata item namespace", F, d::text},
    {code("name"), 0, "Metadata item name", F, d::text},
    {code("keys"), 0, "Metadata item keys (QuickTime)", F, d::keys},
    // Image items
    {code("pitm"), 0, "Primary item", F, d::pitm},
    {code("iinf"), 0, "Item information", FC, d::iinf},
    {code("infe"), 0, "Item information entry", F, d::infe},
    {code("iloc"), 0, "Item location", F, d::iloc},
    {code("iref"), 0, "Item reference", FC, nullptr},
    {kAnyType, code("iref"), "Item reference type", kLeaf, d::itemReference},
    {code("iprp"), 0, "Item properties", C, nullptr},
    {code("ipco"), 0, "Item property container", C, nullptr},
    {code("ipma"), 0, "Item property association", F, d::ipma},
    {code("ispe"), 0, "Image spatial extents", F, d::ispe},
    {code("pixi"), 0, "Pixel information", F, d::pixi},
    {code("irot"), 0, "Image rotation", kLeaf, d::irot},
    {code("auxC"), 0, "Auxiliary type", F, d::auxC},
    {code("idat"), 0, "Item data", kLeaf, d::opaque},
};

const BoxType kUnknown = {0, 0, "Unknown box", kLeaf, nullptr};
const BoxType kQuickTimeText = {0, code("udta"), "User data text (QuickTime)", kLeaf, decode::quickTimeText};

const std::vector<uint32_t>& knownTypes() {
  static const std::vector<uint32_t> types = [] {
    std::vector<uint32_t> list;
    for (const BoxType& line : kBoxes)
      if (line.type != kAnyType && line.type != 0) list.push_back(line.type);
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    return list;
  }();
  return types;
}

}  // namespace

const BoxType& lookupBox(uint32_t type, uint32_t parent) {
  const BoxType* any_parent = nullptr;
  const BoxType* any_type = nullptr;
  for (const BoxType& line : kBoxes) {
    if (line.type == type && line.parent == parent && parent != 0) return line;
    if (line.type == type && line.parent == 0 && !any_parent) any_parent = &line;
    if (line.type == kAnyType && line.parent == parent && parent != 0) any_type = &line;
  }
  // Under stsd, ilst, tref and iref the parent decides, whatever the code.
  if (any_type) return *any_type;
  if (any_parent) return *any_parent;
  if (parent == code("udta") && (type >> 24) == 0xa9) return kQuickTimeText;
  return kUnknown;
}

bool isKnownBoxType(uint32_t type) {
  const std::vector<uint32_t>& types = knownTypes();
  return std::binary_search(types.begin(), types.end(), type);
}

}  // namespace corvanta::isobmff
