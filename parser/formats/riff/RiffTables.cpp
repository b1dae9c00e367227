#include "formats/riff/RiffTables.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "codecs/AudioTags.h"
#include "formats/riff/AiffChunks.h"
#include "formats/riff/AviChunks.h"
#include "formats/riff/RiffWalk.h"
#include "formats/riff/WaveChunks.h"
#include "formats/riff/WebpChunks.h"

namespace corvanta::riff {

namespace {

constexpr uint32_t kAnywhere = 0;
constexpr uint32_t kInfo = fourCC("INFO");

const ValueName kInfoTags[] = {
    {fourCC("IARL"), "archival location"}, {fourCC("IART"), "artist"},        {fourCC("ICMS"), "commissioned by"},
    {fourCC("ICMT"), "comment"},           {fourCC("ICOP"), "copyright"},     {fourCC("ICRD"), "creation date"},
    {fourCC("ICRP"), "cropped"},           {fourCC("IDIM"), "dimensions"},    {fourCC("IDPI"), "dots per inch"},
    {fourCC("IENG"), "engineer"},          {fourCC("IGNR"), "genre"},         {fourCC("IKEY"), "keywords"},
    {fourCC("ILGT"), "lightness"},         {fourCC("IMED"), "medium"},        {fourCC("INAM"), "title"},
    {fourCC("IPLT"), "palette setting"},   {fourCC("IPRD"), "product"},       {fourCC("ISBJ"), "subject"},
    {fourCC("ISFT"), "software"},          {fourCC("ISHP"), "sharpness"},     {fourCC("ISRC"), "source"},
    {fourCC("ISRF"), "source form"},       {fourCC("ITCH"), "technician"},    {fourCC("ITRK"), "track number"},
    {fourCC("IPRT"), "part"},              {fourCC("IFRM"), "total parts"},   {fourCC("ILNG"), "language"},
    {fourCC("ISMP"), "SMPTE time code"},   {fourCC("IDIT"), "digitization date"}, {fourCC("ISGN"), "secondary genre"},
};

const ValueName kListTypes[] = {
    {fourCC("hdrl"), "AVI headers"},        {fourCC("strl"), "stream headers"},    {fourCC("odml"), "OpenDML headers"},
    {fourCC("movi"), "frames"},             {fourCC("rec "), "interleaved record"}, {fourCC("INFO"), "information tags"},
    {fourCC("adtl"), "cue labels and notes"}, {fourCC("AVI "), "AVI"},            {fourCC("AVIX"), "AVI extension beyond 1 GB"},
    {fourCC("WAVE"), "WAVE"},               {fourCC("WEBP"), "WebP"},             {fourCC("AIFF"), "AIFF"},
    {fourCC("AIFC"), "AIFF-C"},
};

// An id3 chunk (WAVE) or ID3 chunk (AIFF): the tag through the decoder every audio file shares.
std::string id3Payload(RiffWalk&, const Chunk&, FieldReader& f) {
  if (!f.byteAligned() || !codecs::writeAudioTagsIn(f.writer(), f.fileData(), f.bytePos(), f.endByte())) {
    f.rest("data", "no ID3 tag here");
    return "not an ID3 tag";
  }
  f.skipBits(f.bitsLeft());
  return "ID3 tag";
}

// The chunks of every form; a chunk is looked up with the list or form type around it.
const ChunkKind kChunkKinds[] = {
    // Common to every RIFF form.
    {fourCC("JUNK"), kAnywhere, "padding", junkPayload},
    {fourCC("PAD "), kAnywhere, "padding", junkPayload},
    {fourCC("JUNQ"), kAnywhere, "padding", junkPayload},
    {fourCC("LIST"), kAnywhere, "list", nullptr},
    {fourCC("RIFF"), kAnywhere, "RIFF form", nullptr},
    {fourCC("RF64"), kAnywhere, "RF64 form (64-bit sizes in ds64)", nullptr},
    {fourCC("BW64"), kAnywhere, "BW64 form (64-bit sizes in ds64)", nullptr},
    {fourCC("FORM"), kAnywhere, "IFF form", nullptr},
    // AVI.
    {fourCC("avih"), fourCC("hdrl"), "AVI main header", aviMainHeader},
    {fourCC("strh"), fourCC("strl"), "stream header", aviStreamHeader},
    {fourCC("strf"), fourCC("strl"), "stream format", aviStreamFormat},
    {fourCC("strd"), fourCC("strl"), "stream codec data", nullptr},
    {fourCC("strn"), fourCC("strl"), "stream name", textPayload},
    {fourCC("vprp"), fourCC("strl"), "video properties", aviVideoProperties},
    {fourCC("indx"), fourCC("strl"), "OpenDML index", aviIndex},
    {fourCC("dmlh"), fourCC("odml"), "OpenDML extended header", aviExtendedHeader},
    {fourCC("idx1"), fourCC("AVI "), "legacy index", aviOldIndex},
    // WAVE.
    {fourCC("fmt "), fourCC("WAVE"), "format", waveFormat},
    {fourCC("fact"), fourCC("WAVE"), "sample count", waveFact},
    {fourCC("data"), fourCC("WAVE"), "sample data", waveData},
    {fourCC("ds64"), kAnywhere, "64-bit sizes", waveDs64},
    {fourCC("bext"), fourCC("WAVE"), "Broadcast Wave extension", waveBext},
    {fourCC("cue "), fourCC("WAVE"), "cue points", waveCue},
    {fourCC("smpl"), fourCC("WAVE"), "sampler", waveSampler},
    {fourCC("inst"), fourCC("WAVE"), "instrument", waveInstrument},
    {fourCC("iXML"), kAnywhere, "iXML metadata", textPayload},
    {fourCC("axml"), kAnywhere, "XML metadata", textPayload},
    {fourCC("id3 "), kAnywhere, "ID3 tag", id3Payload},
    {fourCC("ID3 "), kAnywhere, "ID3 tag", id3Payload},
    {fourCC("labl"), fourCC("adtl"), "cue label", waveLabel},
    {fourCC("note"), fourCC("adtl"), "cue note", waveLabel},
    {fourCC("ltxt"), fourCC("adtl"), "cue text", waveLabeledText},
    {fourCC("PEAK"), fourCC("WAVE"), "peak envelope", nullptr},
    {fourCC("levl"), fourCC("WAVE"), "peak envelope", nullptr},
    // WebP.
    {fourCC("VP8 "), fourCC("WEBP"), "lossy image (VP8)", webpLossy},
    {fourCC("VP8L"), fourCC("WEBP"), "lossless image", webpLossless},
    {fourCC("VP8X"), fourCC("WEBP"), "extended header", webpExtended},
    {fourCC("ANIM"), fourCC("WEBP"), "animation", webpAnimation},
    {fourCC("ANMF"), fourCC("WEBP"), "animation frame", webpFrame},
    {fourCC("ALPH"), fourCC("WEBP"), "alpha", webpAlpha},
    {fourCC("ICCP"), fourCC("WEBP"), "ICC profile", nullptr},
    {fourCC("EXIF"), fourCC("WEBP"), "Exif metadata", nullptr},
    {fourCC("XMP "), fourCC("WEBP"), "XMP metadata", textPayload},
    // AIFF and AIFF-C.
    {fourCC("COMM"), fourCC("AIFF"), "common", aiffCommon},
    {fourCC("COMM"), fourCC("AIFC"), "common", aiffCommon},
    {fourCC("SSND"), kAnywhere, "sound data", aiffSoundData},
    {fourCC("FVER"), kAnywhere, "format version", aiffFormatVersion},
    {fourCC("MARK"), kAnywhere, "markers", aiffMarkers},
    {fourCC("INST"), kAnywhere, "instrument", aiffInstrument},
    {fourCC("COMT"), kAnywhere, "comments", aiffComments},
    {fourCC("NAME"), kAnywhere, "name", textPayload},
    {fourCC("AUTH"), kAnywhere, "author", textPayload},
    {fourCC("ANNO"), kAnywhere, "annotation", textPayload},
    {fourCC("(c) "), kAnywhere, "copyright", textPayload},
    {fourCC("APPL"), kAnywhere, "application data", nullptr},
};

// Forms whose chunks may sit directly in a list of theirs: an ANMF frame's chunks, for one,
// belong to WebP.
uint32_t formOf(uint32_t parent_type, uint32_t form_type) {
  if (parent_type == fourCC("AVIX")) return fourCC("AVI ");
  if (form_type == fourCC("WEBP") && parent_type == fourCC("ANMF")) return fourCC("WEBP");
  return parent_type;
}

}  // namespace

const char* infoTagName(uint32_t id) { return nameOf(kInfoTags, id); }

const char* listTypeName(uint32_t type) { return nameOf(kListTypes, type); }

const ChunkKind* findChunkKind(uint32_t id, uint32_t parent_type, uint32_t form_type) {
  static const ChunkKind kInfoTag = {0, kInfo, "", textPayload};
  if (parent_type == kInfo) return &kInfoTag;
  const uint32_t parent = formOf(parent_type, form_type);
  for (const ChunkKind& kind : kChunkKinds)
    if (kind.id == id && (kind.parent == parent || kind.parent == kAnywhere)) return &kind;
  return nullptr;
}

std::string junkPayload(RiffWalk&, const Chunk& chunk, FieldReader& f) {
  f.rest("padding");
  return numberText(chunk.declared) + " bytes";
}

std::string textPayload(RiffWalk&, const Chunk& chunk, FieldReader& f) {
  const char* tag = chunk.parent_type == kInfo ? infoTagName(chunk.id) : nullptr;
  const std::string text = f.fixedString("text", f.bytesLeft(), TextEncoding::Utf8, tag ? tag : "");
  return shortText(text);
}

std::string shortText(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t cut = limit - 3;
  while (cut > 0 && (uint8_t(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "…";
}

}  // namespace corvanta::riff
