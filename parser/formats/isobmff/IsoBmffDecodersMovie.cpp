// Decoders of the movie structure: file type, headers, handler, data references,
// fragments, segment index and events.
#include "ElementWriter.h"
#include "formats/isobmff/IsoBmffBox.h"
#include "formats/isobmff/IsoBmffDecoders.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "formats/isobmff/IsoBmffText.h"
#include "formats/isobmff/IsoBmffSamples.h"

namespace corvanta::isobmff::decode {

namespace {

const ValueName kBrands[] = {
    {fourCC("isom"), "ISO base media"}, {fourCC("iso2"), "ISO base media v2"},
    {fourCC("iso4"), "ISO base media v4"}, {fourCC("iso5"), "ISO base media v5"},
    {fourCC("iso6"), "ISO base media v6"}, {fourCC("mp41"), "MP4 v1"}, {fourCC("mp42"), "MP4 v2"},
    {fourCC("avc1"), "AVC"}, {fourCC("qt  "), "QuickTime"}, {fourCC("M4A "), "Apple audio"},
    {fourCC("M4V "), "Apple video"}, {fourCC("3gp4"), "3GPP release 4"}, {fourCC("3gp5"), "3GPP release 5"},
    {fourCC("3gp6"), "3GPP release 6"}, {fourCC("3g2a"), "3GPP2"}, {fourCC("dash"), "DASH segment"},
    {fourCC("msdh"), "media segment"}, {fourCC("msix"), "indexed media segment"},
    {fourCC("heic"), "HEIF image, HEVC"}, {fourCC("heix"), "HEIF image, HEVC range extensions"},
    {fourCC("mif1"), "HEIF image"}, {fourCC("msf1"), "HEIF image sequence"}, {fourCC("avif"), "AVIF image"},
    {fourCC("miaf"), "MIAF image"}, {fourCC("cmfc"), "CMAF"}, {fourCC("mj2s"), "Motion JPEG 2000"},
};

const ValueName kHandlers[] = {
    {fourCC("vide"), "Video track"}, {fourCC("soun"), "Audio track"}, {fourCC("hint"), "Hint track"},
    {fourCC("meta"), "Timed metadata track"}, {fourCC("text"), "Text track"},
    {fourCC("subt"), "Subtitle track"}, {fourCC("sbtl"), "Subtitle track (QuickTime)"},
    {fourCC("tmcd"), "Timecode track"}, {fourCC("pict"), "Image items"}, {fourCC("mdir"), "Apple metadata"},
    {fourCC("mdta"), "QuickTime metadata keys"}, {fourCC("alis"), "Alias data (QuickTime)"},
    {fourCC("url "), "URL data (QuickTime)"}, {fourCC("mhlr"), "Media handler (QuickTime)"},
    {fourCC("dhlr"), "Data handler (QuickTime)"}, {fourCC("auxv"), "Auxiliary video track"},
    {fourCC("clcp"), "Closed captions"}, {fourCC("sdsm"), "Scene description"},
};

std::string brandName(uint32_t brand) {
  const char* name = nameOf(kBrands, brand);
  return name ? name : "";
}

}  // namespace

void ftyp(BoxScope& b) {
  FieldReader& f = b.f;
  const uint32_t major = f.fourcc("major_brand", brandName(uint32_t(f.peek(32))));
  f.u("minor_version", 32);
  for (int64_t i = 1; f.bytesLeft() >= 4; ++i) f.fourcc("compatible_brands", brandName(uint32_t(f.peek(32))), i);
  b.summary = (b.box.type == fourCC("styp") ? "Segment type " : "File type ") + fourCCText(major);
}

// The times, timescale and duration that open both the movie and the media header;
// version 1 widens the times and the duration to 64 bits.
struct TimeHeader {
  uint32_t timescale;
  uint64_t duration;
};

TimeHeader timeHeader(BoxScope& b) {
  FieldReader& f = b.f;
  const int wide = b.version == 1 ? 64 : 32;
  f.date1904("creation_time", wide);
  f.date1904("modification_time", wide);
  const uint32_t timescale = uint32_t(f.uh("timescale", 32, [](uint64_t v) { return numberText(v) + " Hz"; }));
  return {timescale, f.duration("duration", wide, timescale)};
}

void mvhd(BoxScope& b) {
  FieldReader& f = b.f;
  const auto [timescale, duration] = timeHeader(b);
  f.fixed("rate", 32, 16, true);
  f.fixed("volume", 16, 8, true);
  f.u("reserved", 16);
  f.u("reserved", 64);
  matrixField(f, "matrix");
  f.bytes("pre_defined", 24);
  f.u("next_track_ID", 32);
  if (f.ok() && timescale) b.summary = "Movie header, " + durationText(duration, timescale);
}

void tkhd(BoxScope& b) {
  FieldReader& f = b.f;
  const int wide = b.version == 1 ? 64 : 32;
  f.date1904("creation_time", wide);
  f.date1904("modification_time", wide);
  const uint64_t id = f.u("track_ID", 32);
  f.u("reserved", 32);
  f.u("duration", wide, "in movie timescale units");
  f.u("reserved", 64);
  f.s("layer", 16);
  f.s("alternate_group", 16);
  f.fixed("volume", 16, 8, true);
  f.u("reserved", 16);
  matrixField(f, "matrix");
  const int64_t width = f.fixed("width", 32, 16);
  const int64_t height = f.fixed("height", 32, 16);
  if (f.ok()) {
    b.summary = "Track header, track " + numberText(id);
    if (width && height) b.summary += ", " + numberText(uint64_t(width >> 16)) + "x" + numberText(uint64_t(height >> 16));
  }
}

void mdhd(BoxScope& b) {
  FieldReader& f = b.f;
  const auto [timescale, duration] = timeHeader(b);
  f.u("pad", 1);
  std::string language;
  if (f.has(15)) {
    language = languageText(uint16_t(f.peek(15)));
    f.u("language", 15, language);
  }
  f.u("pre_defined", 16);
  if (f.ok()) b.summary = "Media header, " + numberText(timescale) + " Hz, " + durationText(duration, timescale) + ", " + language;
}

void hdlr(BoxScope& b) {
  FieldReader& f = b.f;
  const uint32_t pre_defined = uint32_t(f.peek(32));
  f.fourcc("pre_defined", nameOf(kHandlers, pre_defined) ? nameOf(kHandlers, pre_defined) : "");
  const uint32_t handler = uint32_t(f.peek(32));
  const char* handler_name = nameOf(kHandlers, handler);
  f.fourcc("handler_type", handler_name ? handler_name : "");
  f.bytes("reserved", 12);
  if (!f.ok()) return;
  // QuickTime writes a Pascal string (length byte first), ISO files a zero-terminated one.
  std::string name;
  const int64_t left = f.bytesLeft();
  if (left > 0) {
    const uint8_t first = f.fileData()[f.bytePos()];
    if (first == left - 1 || (first > 0 && first < left && first < 0x20))
      name = f.pstring("name");
    else
      name = f.cstring("name");
  }
  b.summary = "Handler " + fourCCText(handler) + (name.empty() ? "" : " \"" + name + "\"");
}

void vmhd(BoxScope& b) {
  FieldReader& f = b.f;
  f.u("graphicsmode", 16);
  for (int i = 1; i <= 3; ++i) f.u("opcolor", 16, {}, i);
}

void smhd(BoxScope& b) {
  b.f.fixed("balance", 16, 8, true);
  b.f.u("reserved", 16);
}

void hmhd(BoxScope& b) {
  FieldReader& f = b.f;
  f.u("maxPDUsize", 16);
  f.u("avgPDUsize", 16);
  f.u("maxbitrate", 32, "bit/s");
  f.u("avgbitrate", 32, "bit/s");
  f.u("reserved", 32);
}

void gmin(BoxScope& b) {
  FieldReader& f = b.f;
  f.u("graphicsMode", 16);
  for (int i = 1; i <= 3; ++i) f.u("opColor", 16, {}, i);
  f.fixed("balance", 16, 8, true);
  f.u("reserved", 16);
}

void entryCount(BoxScope& b) {
  b.f.u("entry_count", 32);
}

void url(BoxScope& b) {
  if (b.flags & 1) {
    b.summary = "Data entry URL: media in this file";
    return;
  }
  const std::string location = b.f.cstring("location");
  b.summary = "Data entry URL " + location;
}

void urn(BoxScope& b) {
  b.f.cstring("name");
  if (b.f.bytesLeft() > 0) b.f.cstring("location");
}

void trackReference(BoxScope& b) {
  FieldReader& f = b.f;
  std::string ids;
  for (int64_t i = 1; f.bytesLeft() >= 4; ++i) {
    const uint64_t id = f.u("track_IDs", 32, {}, i);
    ids += (ids.empty() ? "" : ", ") + numberText(id);
  }
  b.summary = "Reference " + fourCCText(b.box.type) + " to track " + ids;
}

void cprt(BoxScope& b) {
  FieldReader& f = b.f;
  f.u("pad", 1);
  if (f.has(15)) f.u("language", 15, languageText(uint16_t(f.peek(15))));
  b.summary = "Copyright " + f.cstring("notice");
}

void quickTimeText(BoxScope& b) {
  FieldReader& f = b.f;
  const uint64_t length = f.u("text_size", 16);
  f.u("language", 16);
  if (!f.ok() || int64_t(length) > f.bytesLeft()) {
    f.fail();
    return;
  }
  const std::string value(reinterpret_cast<const char*>(f.fileData() + f.bytePos()), size_t(length));
  f.text("text", int64_t(length) * 8, value);
  b.summary = value;
}

void opaque(BoxScope& b) {
  b.f.rest("data");
}

void mehd(BoxScope& b) {
  b.f.u("fragment_duration", b.version == 1 ? 64 : 32, "in movie timescale units");
}

void trex(BoxScope& b) {
  FieldReader& f = b.f;
  const uint64_t id = f.u("track_ID", 32);
  f.u("default_sample_description_index", 32);
  f.u("default_sample_duration", 32);
  f.u("default_sample_size", 32);
  f.uh("default_sample_flags", 32, [](uint64_t v) { return sampleFlagsText(uint32_t(v)); });
  if (f.ok()) b.summary = "Track extends, track " + numberText(id);
}

void mfhd(BoxScope& b) {
  const uint64_t sequence = b.f.u("sequence_number", 32);
  if (b.f.ok()) b.summary = "Movie fragment header, sequence " + numberText(sequence);
}

void tfhd(BoxScope& b) {
  FieldReader& f = b.f;
  const uint64_t id = f.u("track_ID", 32);
  if (b.flags & 0x1) f.u("base_data_offset", 64);
  if (b.flags & 0x2) f.u("sample_description_index", 32);
  if (b.flags & 0x8) f.u("default_sample_duration", 32);
  if (b.flags & 0x10) f.u("default_sample_size", 32);
  if (b.flags & 0x20) f.uh("default_sample_flags", 32, [](uint64_t v) { return sampleFlagsText(uint32_t(v)); });
  if (f.ok()) b.summary = "Track fragment header, track " + numberText(id);
}

void tfdt(BoxScope& b) {
  const uint64_t time = b.f.u("baseMediaDecodeTime", b.version == 1 ? 64 : 32);
  if (b.f.ok()) b.summary = "Track fragment decode time " + numberText(time);
}

void sidx(BoxScope& b) {
  FieldReader& f = b.f;
  f.u("reference_ID", 32);
  const uint32_t timescale = uint32_t(f.uh("timescale", 32, [](uint64_t v) { return numberText(v) + " Hz"; }));
  const int wide = b.version == 0 ? 32 : 64;
  f.uh("earliest_presentation_time", wide, [&](uint64_t v) { return secondsText(int64_t(v), timescale); });
  f.u("first_offset", wide);
  f.u("reserved", 16);
  const uint64_t count = f.count("reference_count", 16, 96);
  for (uint64_t i = 1; i <= count && f.ok(); ++i) {
    f.writer().openUnit("reference", f.bitPos(), 96, {}, {}, int64_t(i));
    const uint64_t type = f.u("reference_type", 1, f.peek(1) ? "index" : "media");
    const uint64_t size = f.u("referenced_size", 31);
    const uint64_t duration = f.uh("subsegment_duration", 32, [&](uint64_t v) { return secondsText(int64_t(v), timescale); });
    f.u("starts_with_SAP", 1);
    f.u("SAP_type", 3);
    f.u("SAP_delta_time", 28);
    f.writer().setUnitValue((type ? "index " : "media ") + numberText(size) + " bytes, " + secondsText(int64_t(duration), timescale));
    f.writer().closeUnit();
  }
  b.summary = "Segment index, " + numberText(count) + " references";
}

void emsg(BoxScope& b) {
  FieldReader& f = b.f;
  std::string scheme;
  if (b.version == 0) {
    scheme = f.cstring("scheme_id_uri");
    f.cstring("value");
    f.uh("timescale", 32, [](uint64_t v) { return numberText(v) + " Hz"; });
    f.u("presentation_time_delta", 32);
    f.u("event_duration", 32);
    f.u("id", 32);
  } else {
    f.uh("timescale", 32, [](uint64_t v) { return numberText(v) + " Hz"; });
    f.u("presentation_time", 64);
    f.u("event_duration", 32);
    f.u("id", 32);
    scheme = f.cstring("scheme_id_uri");
    f.cstring("value");
  }
  f.rest("message_data");
  b.summary = "Event " + scheme;
}

void tfra(BoxScope& b) {
  FieldReader& f = b.f;
  f.u("track_ID", 32);
  f.u("reserved", 26);
  const int traf_bits = int(f.u("length_size_of_traf_num", 2) + 1) * 8;
  const int trun_bits = int(f.u("length_size_of_trun_num", 2) + 1) * 8;
  const int sample_bits = int(f.u("length_size_of_sample_num", 2) + 1) * 8;
  const int wide = b.version == 1 ? 64 : 32;
  const int entry_bits = 2 * wide + traf_bits + trun_bits + sample_bits;
  const uint64_t count = f.count("number_of_entry", 32, entry_bits);
  for (uint64_t i = 1; i <= count && f.ok(); ++i) {
    f.writer().openUnit("entry", f.bitPos(), entry_bits, {}, {}, int64_t(i));
    const uint64_t time = f.u("time", wide);
    const uint64_t moof = f.u("moof_offset", wide);
    f.u("traf_number", traf_bits);
    f.u("trun_number", trun_bits);
    f.u("sample_number", sample_bits);
    f.writer().setUnitValue("time " + numberText(time) + ", moof at " + numberText(moof));
    f.writer().closeUnit();
  }
}

void mfro(BoxScope& b) {
  b.f.u("size", 32, "size of the enclosing mfra box");
}

void pssh(BoxScope& b) {
  FieldReader& f = b.f;
  f.bytes("SystemID", 16);
  if (b.version > 0) {
    const uint64_t kids = f.count("KID_count", 32, 128);
    for (uint64_t i = 1; i <= kids && f.ok(); ++i) f.bytes("KID", 16, {}, int64_t(i));
  }
  const uint64_t size = f.u("DataSize", 32);
  if (f.ok() && int64_t(size) <= f.bytesLeft()) f.bytes("Data", int64_t(size));
}

void frma(BoxScope& b) {
  const uint32_t format = b.f.fourcc("data_format");
  b.summary = "Original format " + fourCCText(format);
}

void schm(BoxScope& b) {
  FieldReader& f = b.f;
  const uint32_t scheme = f.fourcc("scheme_type");
  f.u("scheme_version", 32);
  if (b.flags & 1) f.cstring("scheme_uri");
  b.summary = "Scheme " + fourCCText(scheme);
}

}  // namespace corvanta::isobmff::decode
