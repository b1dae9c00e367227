#include "formats/isobmff/IsoBmffBoxTable.h"

#include "formats/isobmff/IsoBmffDecoders.h"
#include "codecs/Ac3Configuration.h"
#include "codecs/Av1Configuration.h"
#include "codecs/AvcConfiguration.h"
#include "codecs/HevcConfiguration.h"
#include "codecs/Mpeg4Descriptors.h"
#include "codecs/OpusConfiguration.h"
#include "codecs/VpCodecConfiguration.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"

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
    {fourCC("ftyp"), 0, "File type", kLeaf, d::ftyp},
    {fourCC("styp"), 0, "Segment type", kLeaf, d::ftyp},
    {fourCC("mdat"), 0, "Media data", kLeaf, nullptr},
    {fourCC("free"), 0, "Free space", kLeaf, d::opaque},
    {fourCC("skip"), 0, "Free space", kLeaf, d::opaque},
    {fourCC("wide"), 0, "Reserved space (QuickTime)", kLeaf, d::opaque},
    {fourCC("pnot"), 0, "Preview (QuickTime)", kLeaf, d::opaque},
    {fourCC("uuid"), 0, "User extension", kLeaf, d::opaque},
    {0, 0, "Terminator", kLeaf, nullptr},
    // Movie and tracks
    {fourCC("moov"), 0, "Movie", C, nullptr},
    {fourCC("mvhd"), 0, "Movie header", F, d::mvhd},
    {fourCC("trak"), 0, "Track", C, nullptr},
    {fourCC("tkhd"), 0, "Track header", F, d::tkhd},
    {fourCC("tref"), 0, "Track reference", C, nullptr},
    {kAnyType, fourCC("tref"), "Track reference type", kLeaf, d::trackReference},
    {fourCC("edts"), 0, "Edit", C, nullptr},
    {fourCC("elst"), 0, "Edit list", F, d::elst},
    {fourCC("mdia"), 0, "Media", C, nullptr},
    {fourCC("mdhd"), 0, "Media header", F, d::mdhd},
    {fourCC("hdlr"), 0, "Handler reference", F, d::hdlr},
    {fourCC("minf"), 0, "Media information", C, nullptr},
    {fourCC("vmhd"), 0, "Video media header", F, d::vmhd},
    {fourCC("smhd"), 0, "Sound media header", F, d::smhd},
    {fourCC("hmhd"), 0, "Hint media header", F, d::hmhd},
    {fourCC("nmhd"), 0, "Null media header", F, nullptr},
    {fourCC("sthd"), 0, "Subtitle media header", F, nullptr},
    {fourCC("gmhd"), 0, "Base media information header (QuickTime)", C, nullptr},
    {fourCC("gmin"), 0, "Base media information (QuickTime)", F, d::gmin},
    {fourCC("dinf"), 0, "Data information", C, nullptr},
    {fourCC("dref"), 0, "Data reference", FC, d::entryCount},
    {fourCC("url "), 0, "Data entry URL", F, d::url},
    {fourCC("urn "), 0, "Data entry URN", F, d::urn},
    {fourCC("alis"), 0, "Alias data entry (QuickTime)", F, d::opaque},
    // Sample tables
    {fourCC("stbl"), 0, "Sample table", C, nullptr},
    {fourCC("stsd"), 0, "Sample description", FC, d::entryCount},
    {kAnyType, fourCC("stsd"), "Sample entry", C, d::sampleEntry},
    {fourCC("stts"), 0, "Decoding time to sample", F, d::stts},
    {fourCC("ctts"), 0, "Composition time to sample", F, d::ctts},
    {fourCC("stss"), 0, "Sync sample", F, d::stss},
    {fourCC("stps"), 0, "Partial sync sample (QuickTime)", F, d::stss},
    {fourCC("stsc"), 0, "Sample to chunk", F, d::stsc},
    {fourCC("stsz"), 0, "Sample size", F, d::stsz},
    {fourCC("stz2"), 0, "Compact sample size", F, d::stz2},
    {fourCC("stco"), 0, "Chunk offset", F, d::stco},
    {fourCC("co64"), 0, "Chunk offset (64-bit)", F, d::co64},
    {fourCC("sdtp"), 0, "Independent and disposable samples", F, d::sdtp},
    {fourCC("sbgp"), 0, "Sample to group", F, d::sbgp},
    {fourCC("sgpd"), 0, "Sample group description", F, d::sgpd},
    // Codec configurations inside sample entries
    {fourCC("avcC"), 0, "AVC configuration", kLeaf, d::codecConfiguration<codecs::avcConfiguration>},
    {fourCC("hvcC"), 0, "HEVC configuration", kLeaf, d::codecConfiguration<codecs::hevcConfiguration>},
    {fourCC("av1C"), 0, "AV1 configuration", kLeaf, d::codecConfiguration<codecs::av1Configuration>},
    {fourCC("vpcC"), 0, "VP codec configuration", F, d::codecConfiguration<codecs::vpCodecConfiguration>},
    {fourCC("esds"), 0, "Elementary stream descriptor", F, d::codecConfiguration<codecs::mpeg4Descriptors>},
    {fourCC("dOps"), 0, "Opus specific", kLeaf, d::codecConfiguration<codecs::opusSpecificBox>},
    {fourCC("dac3"), 0, "AC-3 specific", kLeaf, d::codecConfiguration<codecs::ac3SpecificBox>},
    {fourCC("dec3"), 0, "E-AC-3 specific", kLeaf, d::codecConfiguration<codecs::eac3SpecificBox>},
    {fourCC("pasp"), 0, "Pixel aspect ratio", kLeaf, d::pasp},
    {fourCC("colr"), 0, "Colour information", kLeaf, d::colr},
    {fourCC("btrt"), 0, "Bit rate", kLeaf, d::btrt},
    {fourCC("clap"), 0, "Clean aperture", kLeaf, d::clap},
    {fourCC("fiel"), 0, "Field handling (QuickTime)", kLeaf, d::fiel},
    {fourCC("wave"), 0, "Sound description extension (QuickTime)", C, nullptr},
    {fourCC("mp4a"), fourCC("wave"), "Format (QuickTime)", kLeaf, d::opaque},
    {fourCC("frma"), 0, "Original format", kLeaf, d::frma},
    {fourCC("sinf"), 0, "Protection scheme information", C, nullptr},
    {fourCC("schm"), 0, "Scheme type", F, d::schm},
    {fourCC("schi"), 0, "Scheme information", C, nullptr},
    {fourCC("pssh"), 0, "Protection system specific header", F, d::pssh},
    // Fragments
    {fourCC("mvex"), 0, "Movie extends", C, nullptr},
    {fourCC("mehd"), 0, "Movie extends header", F, d::mehd},
    {fourCC("trex"), 0, "Track extends", F, d::trex},
    {fourCC("moof"), 0, "Movie fragment", C, nullptr},
    {fourCC("mfhd"), 0, "Movie fragment header", F, d::mfhd},
    {fourCC("traf"), 0, "Track fragment", C, nullptr},
    {fourCC("tfhd"), 0, "Track fragment header", F, d::tfhd},
    {fourCC("tfdt"), 0, "Track fragment decode time", F, d::tfdt},
    {fourCC("trun"), 0, "Track run", F, d::trun},
    {fourCC("mfra"), 0, "Movie fragment random access", C, nullptr},
    {fourCC("tfra"), 0, "Track fragment random access", F, d::tfra},
    {fourCC("mfro"), 0, "Movie fragment random access offset", F, d::mfro},
    {fourCC("sidx"), 0, "Segment index", F, d::sidx},
    {fourCC("emsg"), 0, "Event message", F, d::emsg},
    // User data and metadata
    {fourCC("udta"), 0, "User data", C, nullptr},
    {fourCC("cprt"), 0, "Copyright", F, d::cprt},
    {fourCC("meta"), 0, "Metadata", kMaybeFull | kContainer, nullptr},
    {fourCC("ilst"), 0, "Metadata item list", kContainer | kAnyChildType, nullptr},
    {kAnyType, fourCC("ilst"), "Metadata item", C, d::ilstItem},
    {fourCC("data"), 0, "Metadata value", kLeaf, d::data},
    {fourCC("mean"), 0, "Metadata item namespace", F, d::text},
    {fourCC("name"), 0, "Metadata item name", F, d::text},
    {fourCC("keys"), 0, "Metadata item keys (QuickTime)", F, d::keys},
    // Image items
    {fourCC("pitm"), 0, "Primary item", F, d::pitm},
    {fourCC("iinf"), 0, "Item information", FC, d::iinf},
    {fourCC("infe"), 0, "Item information entry", F, d::infe},
    {fourCC("iloc"), 0, "Item location", F, d::iloc},
    {fourCC("iref"), 0, "Item reference", FC, nullptr},
    {kAnyType, fourCC("iref"), "Item reference type", kLeaf, d::itemReference},
    {fourCC("iprp"), 0, "Item properties", C, nullptr},
    {fourCC("ipco"), 0, "Item property container", C, nullptr},
    {fourCC("ipma"), 0, "Item property association", F, d::ipma},
    {fourCC("ispe"), 0, "Image spatial extents", F, d::ispe},
    {fourCC("pixi"), 0, "Pixel information", F, d::pixi},
    {fourCC("irot"), 0, "Image rotation", kLeaf, d::irot},
    {fourCC("auxC"), 0, "Auxiliary type", F, d::auxC},
    {fourCC("idat"), 0, "Item data", kLeaf, d::opaque},
};

const BoxType kUnknown = {0, 0, "Unknown box", kLeaf, nullptr};
const BoxType kQuickTimeText = {0, fourCC("udta"), "User data text (QuickTime)", kLeaf, decode::quickTimeText};

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
  if (parent == fourCC("udta") && (type >> 24) == 0xa9) return kQuickTimeText;
  return kUnknown;
}

bool isKnownBoxType(uint32_t type) {
  const std::vector<uint32_t>& types = knownTypes();
  return std::binary_search(types.begin(), types.end(), type);
}

}  // namespace corvanta::isobmff
