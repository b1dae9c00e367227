// Decoders of the movie structure: file type, headers, handler, data references,
// fragments, segment index and events.
#include "ElementWriter.h"
#include "formats/IsoBmffBox.h"
#include "formats/IsoBmffDecoders.h"
#include "formats/IsoBmffFields.h"
#include "formats/IsoBmffSamples.h"

namespace corvanta::isobmff::decode {

namespace {

const ValueName kBrands[] = {
    {code("isom"), "ISO base media"}, {code("iso2"), "ISO base media v2"},
    {code("iso4"), "ISO base media v4"}, {code("iso5"), "ISO base media v5"},
    {code("iso6"), "ISO base media v6"}, {code("mp41"), "MP4 v1"}, {code("mp42"), "MP4 v2"},
    {code("avc1"), "AVC"}, {code("qt  "), "QuickTime"}, {code("M4A "), "Apple audio"},
    {code("M4V "), "Apple video"}, {code("3gp4"), "3GPP release 4"}, {code("3gp5"), "3GPP release 5"},
    {code("3gp6"), "3GPP release 6"}, {code("3g2a"), "3GPP2"}, {code("dash"), "DASH segment"},
    {code("msdh"), "media segment"}, {code("msix"), "indexed media segment"},
    {code("heic"), "HEIF image, HEVC"}, {code("heix"), "HEIF image, HEVC range extensions"},
    {code("mif1"), "HEIF image"}, {code("msf1"), "HEIF image sequence"}, {code("avif"), "AVIF image"},
    {code("miaf"), "MIAF image"}, {code("cmfc"), "CMAF"}, {code("mj2s"), "Motion JPEG 2000"},
};

const ValueName kHandlers[] = {
    {code("vide"), "Video track"}, {code("soun"), "Audio track"}, {code("hint"), "Hint track"},
    {code("meta"), "Timed metadata track"}, {code("text"), "Text track"},
    {code("subt"), "Subtitle track"}, {code("sbtl"), "Subtitle track (QuickTime)"},
    {code("tmcd"), "Timecode track"}, {code("pict"), "Image items"}, {code("mdir"), "Apple metadata"},
    {code("mdta"), "QuickTime metadata keys"}, {code("alis"), "Alias data (QuickTime)"},
    {code("url "), "URL data (QuickTime)"}, {code("mhlr"), "Media handler (QuickTime)"},
    {code("dhlr"), "Data handler (QuickTime)"}, {code("auxv"), "Auxiliary video track"},
    {code("clcp"), "Closed captions"}, {code("sdsm"), "Scene description"},
};

std::string brandName(uint32_t brand) {
  const char* name = nameOf(kBrands, brand);
  return name ? name : "";
}

}  // namespace

void ftyp(BoxScope& b) {
  Fields& f = b.f;
  const uint32_t major = f.fourcc("major_brand", brandName(uint32_t(f.peek(32))));
  f.u("minor_version", 32);
  for (int64_t i = 1; f.bytesLeft() >= 4; ++i) f.fourcc("compatible_brands", brandName(uint32_t(f.peek(32))), i);
  b.summary = (b.box.type == code("styp") ? "Segment type " : "File type ") + codeText(major);
}

// The times, timescale and duration that open both the movie and the media header;
// version 1 widens the times and the duration to 64 bits.
struct TimeHeader {
  uint32_t timescale;
  uint64_t duration;
};

TimeHeader timeHeader(BoxScope& b) {
  Fields& f = b.f;
  const int wide = b.version == 1 ? 64 : 32;
  f.time("creation_time", wide);
  f.time("modification_time", wide);
  const uint32_t timescale = uint32_t(f.uh("timescale", 32, [](uint64_t v) { return numberText(v) + " Hz"; }));
  return {timescale, f.duration("duration", wide, timescale)};
}

void mvhd(BoxScope& b) {
  Fields& f = b.f;
  const auto [timescale, duration] = timeHeader(b);
  f.fixed("rate", 32, 16, true);
  f.fixed("volume", 16, 8, true);
  f.u("reserved", 16);
  f.u("reserved", 64);
  f.matrix("matrix");
  f.bytes("pre_defined", 24);
  f.u("next_track_ID", 32);
  if (f.ok() && timescale) b.summary = "Movie header, " + durationText(duration, timescale);
}

void tkhd(BoxScope& b) {
  Fields& f = b.f;
  const int wide = b.version == 1 ? 64 : 32;
  f.time("creation_time", wide);
  f.time("modification_time", wide);
  const uint64_t id = f.u("track_ID", 32);
  f.u("reserved", 32);
  f.u("duration", wide, "in movie timescale units");
  f.u("reserved", 64);
  f.s("layer", 16);
  f.s("alternate_group", 16);
  f.fixed("volume", 16, 8, true);
  f.u("reserved", 16);
  f.matrix("matrix");
  const int64_t width = f.fixed("width", 32, 16);
  const int64_t height = f.fixed("height", 32, 16);
  if (f.ok()) {
    b.summary = "Track header, track " + numberText(id);
    if (width && height) b.summary += ", " + numberText(uint64_t(width >> 16)) + "x" + numberText(uint64_t(height >> 16));
  }
}

void mdhd(BoxScope& b) {
  Fields& f = b.f;
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
  Fields& f = b.f;
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
  b.summary = "Handler " + codeText(handler) + (name.empty() ? "" : " \"" + name + "\"");
}

void vmhd(BoxScope& b) {
  Fields& f = b.f;
  f.u("graphicsmode", 16);
  for (int i = 1; i <= 3; ++i) f.u("opcolor", 16, {}, i);
}

void smhd(BoxScope& b) {
  b.f.fixed("balance", 16, 8, true);
  b.f.u("reserved", 16);
}

void hmhd(BoxScope& b) {
  Fields& f = b.f;
  f.u("maxPDUsize", 16);
  f.u("avgPDUsize", 16);
  f.u("maxbitrate", 32, "bit/s");
  f.u("avgbitrate", 32, "bit/s");
  f.u("reserved", 32);
}

void gmin(BoxScope& b) {
  Fields& f = b.f;
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
  Fields& f = b.f;
  std::string ids;
  for (int64_t i = 1; f.bytesLeft() >= 4; ++i) {
    const uint64_t id = f.u("track_IDs", 32, {}, i);
    ids += (ids.empty() ? "" : ", ") + numberText(id);
  }
  b.summary = "Reference " + codeText(b.box.type) + " to track " + ids;
}

void cprt(BoxScope& b) {
  Fields& f = b.f;
  f.u("pad", 1);
  if (f.has(15)) f.u("language", 15, languageText(uint16_t(f.peek(15))));
  b.summary = "Copyright " + f.cstring("notice");
}

void quickTimeText(BoxScope& b) {
  Fields& f = b.f;
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
  Fields& f = b.f;
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
  Fields& f = b.f;
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
  Fields& f = b.f;
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
  Fields& f = b.f;
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
  Fields& f = b.f;
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
  Fields& f = b.f;
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
  b.summary = "Original format " + codeText(format);
}

void schm(BoxScope& b) {
  Fields& f = b.f;
  const uint32_t scheme = f.fourcc("scheme_type");
  f.u("scheme_version", 32);
  if (b.flags & 1) f.cstring("scheme_uri");
  b.summary = "Scheme " + codeText(scheme);
}

}  // namespace corvanta::isobmff::decode
