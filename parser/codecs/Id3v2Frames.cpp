#include "codecs/Id3v2Frames.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "codecs/Id3v1Tag.h"

#include <cstring>
#include <utility>

namespace corvanta::codecs::id3 {

namespace {

struct IdName {
  const char* id;
  const char* name;
};

const IdName kFrameNames[] = {
    {"AENC", "Audio encryption"}, {"APIC", "Attached picture"}, {"ASPI", "Audio seek point index"},
    {"CHAP", "Chapter"}, {"COMM", "Comments"}, {"COMR", "Commercial"}, {"CTOC", "Table of contents"},
    {"ENCR", "Encryption method registration"}, {"EQU2", "Equalisation (2)"}, {"EQUA", "Equalisation"},
    {"ETCO", "Event timing codes"}, {"GEOB", "General encapsulated object"}, {"GRID", "Group identification registration"},
    {"GRP1", "Grouping"}, {"IPLS", "Involved people list"}, {"LINK", "Linked information"}, {"MCDI", "Music CD identifier"},
    {"MLLT", "MPEG location lookup table"}, {"MVIN", "Movement number"}, {"MVNM", "Movement name"},
    {"OWNE", "Ownership"}, {"PCNT", "Play counter"}, {"POPM", "Popularimeter"}, {"POSS", "Position synchronisation"},
    {"PRIV", "Private"}, {"RBUF", "Recommended buffer size"}, {"RVA2", "Relative volume adjustment (2)"},
    {"RVAD", "Relative volume adjustment"}, {"RVRB", "Reverb"}, {"SEEK", "Seek"}, {"SIGN", "Signature"},
    {"SYLT", "Synchronised lyrics"}, {"SYTC", "Synchronised tempo codes"}, {"TALB", "Album"},
    {"TBPM", "Beats per minute"}, {"TCMP", "Compilation"}, {"TCOM", "Composer"}, {"TCON", "Content type"},
    {"TCOP", "Copyright"}, {"TDAT", "Date"}, {"TDEN", "Encoding time"}, {"TDLY", "Playlist delay"},
    {"TDOR", "Original release time"}, {"TDRC", "Recording time"}, {"TDRL", "Release time"}, {"TDTG", "Tagging time"},
    {"TENC", "Encoded by"}, {"TEXT", "Lyricist"}, {"TFLT", "File type"}, {"TIME", "Time"},
    {"TIPL", "Involved people list"}, {"TIT1", "Content group"}, {"TIT2", "Title"}, {"TIT3", "Subtitle"},
    {"TKEY", "Initial key"}, {"TLAN", "Language"}, {"TLEN", "Length"}, {"TMCL", "Musician credits list"},
    {"TMED", "Media type"}, {"TMOO", "Mood"}, {"TOAL", "Original album"}, {"TOFN", "Original file name"},
    {"TOLY", "Original lyricist"}, {"TOPE", "Original artist"}, {"TORY", "Original release year"},
    {"TOWN", "File owner"}, {"TPE1", "Lead artist"}, {"TPE2", "Band"}, {"TPE3", "Conductor"},
    {"TPE4", "Remixed by"}, {"TPOS", "Part of a set"}, {"TPRO", "Produced notice"}, {"TPUB", "Publisher"},
    {"TRCK", "Track number"}, {"TRDA", "Recording dates"}, {"TRSN", "Internet radio station name"},
    {"TRSO", "Internet radio station owner"}, {"TSIZ", "Size"}, {"TSO2", "Album artist sort order"},
    {"TSOA", "Album sort order"}, {"TSOC", "Composer sort order"}, {"TSOP", "Performer sort order"},
    {"TSOT", "Title sort order"}, {"TSRC", "ISRC"}, {"TSSE", "Encoder settings"}, {"TSST", "Set subtitle"},
    {"TXXX", "User defined text"}, {"TYER", "Year"}, {"UFID", "Unique file identifier"},
    {"USER", "Terms of use"}, {"USLT", "Unsynchronised lyrics"}, {"WCOM", "Commercial information"},
    {"WCOP", "Copyright information"}, {"WOAF", "Official audio file webpage"}, {"WOAR", "Official artist webpage"},
    {"WOAS", "Official audio source webpage"}, {"WORS", "Official internet radio station homepage"},
    {"WPAY", "Payment"}, {"WPUB", "Publisher's official webpage"}, {"WXXX", "User defined URL"},
};

// ID3v2.2 ids and their ID3v2.3 counterparts.
const IdName kVersion2Ids[] = {
    {"BUF", "RBUF"}, {"CNT", "PCNT"}, {"COM", "COMM"}, {"CRA", "AENC"}, {"ETC", "ETCO"}, {"EQU", "EQUA"},
    {"GEO", "GEOB"}, {"IPL", "IPLS"}, {"LNK", "LINK"}, {"MCI", "MCDI"}, {"MLL", "MLLT"}, {"PIC", "APIC"},
    {"POP", "POPM"}, {"REV", "RVRB"}, {"RVA", "RVAD"}, {"SLT", "SYLT"}, {"STC", "SYTC"}, {"TAL", "TALB"},
    {"TBP", "TBPM"}, {"TCM", "TCOM"}, {"TCO", "TCON"}, {"TCR", "TCOP"}, {"TDA", "TDAT"}, {"TDY", "TDLY"},
    {"TEN", "TENC"}, {"TFT", "TFLT"}, {"TIM", "TIME"}, {"TKE", "TKEY"}, {"TLA", "TLAN"}, {"TLE", "TLEN"},
    {"TMT", "TMED"}, {"TOA", "TOPE"}, {"TOF", "TOFN"}, {"TOL", "TOLY"}, {"TOR", "TORY"}, {"TOT", "TOAL"},
    {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TP3", "TPE3"}, {"TP4", "TPE4"}, {"TPA", "TPOS"}, {"TPB", "TPUB"},
    {"TRC", "TSRC"}, {"TRD", "TRDA"}, {"TRK", "TRCK"}, {"TSI", "TSIZ"}, {"TSS", "TSSE"}, {"TT1", "TIT1"},
    {"TT2", "TIT2"}, {"TT3", "TIT3"}, {"TXT", "TEXT"}, {"TXX", "TXXX"}, {"TYE", "TYER"}, {"UFI", "UFID"},
    {"ULT", "USLT"}, {"WAF", "WOAF"}, {"WAR", "WOAR"}, {"WAS", "WOAS"}, {"WCM", "WCOM"}, {"WCP", "WCOP"},
    {"WPB", "WPUB"}, {"WXX", "WXXX"},
};

const char* const kPictureTypes[] = {
    "Other", "32x32 pixels file icon", "Other file icon", "Cover (front)", "Cover (back)", "Leaflet page",
    "Media", "Lead artist", "Artist", "Conductor", "Band", "Composer", "Lyricist", "Recording location",
    "During recording", "During performance", "Movie screen capture", "A bright coloured fish", "Illustration",
    "Band logotype", "Publisher logotype",
};

// Text values of one frame beyond which the rest is shown as one field.
constexpr int kMostTextValues = 64;

TextEncoding textEncoding(uint64_t code) {
  switch (code) {
    case 1: return TextEncoding::Utf16BomBe;
    case 2: return TextEncoding::Utf16Be;
    case 3: return TextEncoding::Utf8;
    default: return TextEncoding::Latin1;
  }
}

int codeUnitBytes(uint64_t code) {
  return code == 1 || code == 2 ? 2 : 1;
}

uint64_t encodingField(FieldReader& f) {
  return f.uh("text_encoding", 8, [](uint64_t v) {
    static const char* const kNames[] = {"ISO-8859-1", "UTF-16 with byte order mark", "UTF-16BE", "UTF-8"};
    return v < 4 ? std::string(kNames[v]) : std::string("unknown, read as ISO-8859-1");
  });
}

// True when a terminator (a zero code unit) lies ahead, looked for in a copy of the reader.
bool terminatorAhead(const FieldReader& f, int unit_bytes) {
  FieldReader look = f;
  while (look.has(unit_bytes * 8))
    if (look.read(unit_bytes * 8) == 0) return true;
  return false;
}

// One string of the frame: up to its terminator, or to the end of the frame without one (the
// last string of a frame needs none).
std::string textValue(FieldReader& f, std::string_view name, uint64_t encoding, std::string_view hrf = {}) {
  if (!f.ok() || f.bytesLeft() == 0) return {};
  if (terminatorAhead(f, codeUnitBytes(encoding))) return f.terminatedString(name, textEncoding(encoding), hrf);
  return f.fixedString(name, f.bytesLeft(), textEncoding(encoding), hrf);
}

std::string latin1Value(FieldReader& f, std::string_view name) {
  return textValue(f, name, 0);
}

std::string quoted(const std::string& text) {
  constexpr size_t kLongest = 60;
  return "\"" + (text.size() > kLongest ? text.substr(0, kLongest) + "…" : text) + "\"";
}

// "(13)" or "13" as ID3v1 genres name them.
std::string genreHrf(const std::string& text) {
  std::string digits = text;
  if (digits.size() > 2 && digits.front() == '(' && digits.back() == ')') digits = digits.substr(1, digits.size() - 2);
  if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos) return {};
  return id3v1GenreName(std::stoul(digits));
}

std::string textFrame(FieldReader& f, const std::string& id) {
  const uint64_t encoding = encodingField(f);
  std::string first;
  for (int i = 0; f.ok() && f.bytesLeft() > 0; ++i) {
    if (i == kMostTextValues) {
      f.rest("more text values");
      break;
    }
    std::string value = textValue(f, "text", encoding);
    if (id == "TCON") {
      // The readable form of an ID3v1 genre number comes after the text is read: rewrite is not
      // possible, so the number stays in the raw value and the summary names it.
      const std::string genre = genreHrf(value);
      if (!genre.empty()) value += " (" + genre + ")";
    }
    if (i == 0) first = std::move(value);
  }
  return quoted(first);
}

std::string userTextFrame(FieldReader& f, bool url) {
  const uint64_t encoding = encodingField(f);
  const std::string description = textValue(f, "description", encoding);
  const std::string value = url ? latin1Value(f, "url") : textValue(f, "value", encoding);
  return description + " = " + quoted(value);
}

std::string languageTextFrame(FieldReader& f) {
  const uint64_t encoding = encodingField(f);
  const std::string language = f.fixedString("language", 3, TextEncoding::Latin1);
  const std::string description = textValue(f, "content_descriptor", encoding);
  const std::string text = textValue(f, "text", encoding);
  return language + (description.empty() ? "" : " " + description) + ": " + quoted(text);
}

std::string pictureFrame(FieldReader& f, const FrameContext& context) {
  const uint64_t encoding = encodingField(f);
  const std::string format = context.version == 2 ? f.fixedString("image_format", 3, TextEncoding::Latin1)
                                                  : latin1Value(f, "mime_type");
  const uint64_t type = f.uh("picture_type", 8, pictureTypeName);
  textValue(f, "description", encoding);
  const int64_t bytes = f.bytesLeft();
  f.rest("picture_data");
  return pictureTypeName(type) + ", " + format + ", " + numberText(uint64_t(bytes)) + " bytes";
}

std::string ownerAndData(FieldReader& f, std::string_view data_name) {
  const std::string owner = latin1Value(f, "owner_identifier");
  const int64_t bytes = f.bytesLeft();
  f.rest(data_name);
  return owner + ", " + numberText(uint64_t(bytes)) + " bytes";
}

std::string objectFrame(FieldReader& f) {
  const uint64_t encoding = encodingField(f);
  const std::string mime = latin1Value(f, "mime_type");
  const std::string file_name = textValue(f, "filename", encoding);
  textValue(f, "content_description", encoding);
  const int64_t bytes = f.bytesLeft();
  f.rest("encapsulated_object");
  return file_name + ", " + mime + ", " + numberText(uint64_t(bytes)) + " bytes";
}

std::string millisecondsHrf(uint64_t ms) {
  return secondsText(int64_t(ms), 1000);
}

std::string offsetHrf(uint64_t offset) {
  return offset == 0xFFFFFFFF ? std::string("not used") : std::string();
}

std::string chapterFrame(FieldReader& f, const FrameContext& context, EmbeddedFrames embedded) {
  const std::string element = latin1Value(f, "element_id");
  const uint64_t start = f.uh("start_time", 32, millisecondsHrf);
  const uint64_t end = f.uh("end_time", 32, millisecondsHrf);
  f.uh("start_offset", 32, offsetHrf);
  f.uh("end_offset", 32, offsetHrf);
  if (f.ok()) embedded(f, context);
  return element + ", " + millisecondsHrf(start) + " to " + millisecondsHrf(end);
}

std::string tableOfContentsFrame(FieldReader& f, const FrameContext& context, EmbeddedFrames embedded) {
  const std::string element = latin1Value(f, "element_id");
  f.u("reserved", 6);
  const bool top = f.flag("top_level", f.has(1) && f.peek(1) ? "top level" : "");
  f.flag("ordered", f.has(1) && f.peek(1) ? "ordered" : "");
  const uint64_t count = f.u("entry_count", 8);
  for (uint64_t i = 0; i < count && f.ok() && f.bytesLeft() > 0; ++i) {
    if (terminatorAhead(f, 1)) f.terminatedString("child_element_id", TextEncoding::Latin1, {}, int64_t(i));
    else f.fixedString("child_element_id", f.bytesLeft(), TextEncoding::Latin1, {}, int64_t(i));
  }
  if (f.ok()) embedded(f, context);
  return element + ", " + numberText(count) + " entries" + (top ? ", top level" : "");
}

std::string counterField(FieldReader& f) {
  const int64_t bytes = f.bytesLeft();
  if (bytes >= 1 && bytes <= 8) return numberText(f.u("counter", int(bytes * 8)));
  f.rest("counter", "more than 8 bytes");
  return {};
}

std::string popularimeterFrame(FieldReader& f) {
  const std::string email = latin1Value(f, "email");
  const uint64_t rating = f.u("rating", 8);
  if (f.ok() && f.bytesLeft() > 0) counterField(f);
  return email + ", rating " + numberText(rating);
}

}  // namespace

std::string frameName(const std::string& id) {
  for (const IdName& entry : kFrameNames)
    if (id == entry.id) return entry.name;
  return {};
}

std::string frameIdV3(const std::string& id) {
  for (const IdName& entry : kVersion2Ids)
    if (id == entry.id) return entry.name;
  return id;
}

std::string pictureTypeName(uint64_t type) {
  constexpr uint64_t kCount = sizeof kPictureTypes / sizeof kPictureTypes[0];
  return type < kCount ? std::string(kPictureTypes[type]) : "type " + numberText(type);
}

std::string writeFrameBody(FieldReader& f, const std::string& id, const FrameContext& context,
                           EmbeddedFrames embedded) {
  std::string summary;
  if (id == "TXXX") summary = userTextFrame(f, false);
  else if (id == "WXXX") summary = userTextFrame(f, true);
  else if (id.size() == 4 && (id[0] == 'T' || id == "IPLS")) summary = textFrame(f, id);
  else if (id.size() == 4 && id[0] == 'W') summary = quoted(latin1Value(f, "url"));
  else if (id == "COMM" || id == "USLT" || id == "USER") summary = languageTextFrame(f);
  else if (id == "APIC") summary = pictureFrame(f, context);
  else if (id == "PRIV") summary = ownerAndData(f, "private_data");
  else if (id == "UFID") summary = ownerAndData(f, "identifier");
  else if (id == "GEOB") summary = objectFrame(f);
  else if (id == "CHAP") summary = chapterFrame(f, context, embedded);
  else if (id == "CTOC") summary = tableOfContentsFrame(f, context, embedded);
  else if (id == "PCNT") summary = counterField(f);
  else if (id == "POPM") summary = popularimeterFrame(f);
  if (!f.ok()) f.recover();
  f.rest("data");
  return summary;
}

}  // namespace corvanta::codecs::id3
