#include "formats/mpegts/DvbText.h"

#include "FieldReader.h"
#include "TextForms.h"

namespace corvanta::mpegts {

namespace {

struct CharacterTable {
  const char* iconv_name;
  const char* name;
};

// Tables chosen by a first byte 0x01 to 0x0B (Annex A, Table A.3).
const CharacterTable kSingleByteTables[] = {
    {"ISO-8859-5", "ISO/IEC 8859-5"},  {"ISO-8859-6", "ISO/IEC 8859-6"},  {"ISO-8859-7", "ISO/IEC 8859-7"},
    {"ISO-8859-8", "ISO/IEC 8859-8"},  {"ISO-8859-9", "ISO/IEC 8859-9"},  {"ISO-8859-10", "ISO/IEC 8859-10"},
    {"ISO-8859-11", "ISO/IEC 8859-11"}, {nullptr, "reserved"},            {"ISO-8859-13", "ISO/IEC 8859-13"},
    {"ISO-8859-14", "ISO/IEC 8859-14"}, {"ISO-8859-15", "ISO/IEC 8859-15"},
};

// Tables chosen by 0x10 0x00 0xNN: ISO/IEC 8859-NN.
const CharacterTable kIso8859Parts[] = {
    {nullptr, "reserved"},              {"ISO-8859-1", "ISO/IEC 8859-1"},   {"ISO-8859-2", "ISO/IEC 8859-2"},
    {"ISO-8859-3", "ISO/IEC 8859-3"},   {"ISO-8859-4", "ISO/IEC 8859-4"},   {"ISO-8859-5", "ISO/IEC 8859-5"},
    {"ISO-8859-6", "ISO/IEC 8859-6"},   {"ISO-8859-7", "ISO/IEC 8859-7"},   {"ISO-8859-8", "ISO/IEC 8859-8"},
    {"ISO-8859-9", "ISO/IEC 8859-9"},   {"ISO-8859-10", "ISO/IEC 8859-10"}, {"ISO-8859-11", "ISO/IEC 8859-11"},
    {nullptr, "reserved"},              {"ISO-8859-13", "ISO/IEC 8859-13"}, {"ISO-8859-14", "ISO/IEC 8859-14"},
    {"ISO-8859-15", "ISO/IEC 8859-15"},
};

// The control codes of single-byte tables (0x80 to 0x9F): CR/LF becomes a space, the emphasis
// switches and the rest are dropped, so that the text stays one line.
void withoutControls(const uint8_t* p, int64_t size, std::string& kept) {
  kept.clear();
  for (int64_t i = 0; i < size; ++i) {
    if (p[i] == 0x8A)
      kept += ' ';
    else if (p[i] < 0x80 || p[i] > 0x9F)
      kept += char(p[i]);
  }
}

// The same for the two-byte codes of UTF-16 text (0xE080 to 0xE09F).
std::string utf16WithoutControls(const uint8_t* p, int64_t size) {
  std::string kept;
  for (int64_t i = 0; i + 1 < size; i += 2) {
    if (p[i] == 0xE0 && p[i + 1] >= 0x80 && p[i + 1] <= 0x9F) {
      if (p[i + 1] == 0x8A) {
        kept += '\0';
        kept += ' ';
      }
      continue;
    }
    kept += char(p[i]);
    kept += char(p[i + 1]);
  }
  return kept;
}

std::string singleByteText(const char* iconv_name, const uint8_t* p, int64_t size) {
  std::string kept;
  withoutControls(p, size, kept);
  const auto* bytes = reinterpret_cast<const uint8_t*>(kept.data());
  return iconv_name ? charsetText(iconv_name, bytes, int64_t(kept.size())) : latin1Text(bytes, int64_t(kept.size()));
}

}  // namespace

DvbText dvbText(const uint8_t* p, int64_t size) {
  DvbText out;
  if (size <= 0) return out;
  const uint8_t first = p[0];
  if (first >= 0x20) {
    out.text = singleByteText("ISO_6937", p, size);
    return out;
  }
  if (first >= 0x01 && first <= 0x0B) {
    const CharacterTable& table = kSingleByteTables[first - 1];
    out.table = table.name;
    out.text = singleByteText(table.iconv_name, p + 1, size - 1);
    return out;
  }
  if (first == 0x10 && size >= 3) {
    const uint16_t part = uint16_t((p[1] << 8) | p[2]);
    const CharacterTable& table = part < 16 ? kIso8859Parts[part] : kIso8859Parts[0];
    out.table = table.name;
    out.text = singleByteText(table.iconv_name, p + 3, size - 3);
    return out;
  }
  std::string kept;
  switch (first) {
    case 0x11:
      out.table = "ISO/IEC 10646 (UCS-2)";
      kept = utf16WithoutControls(p + 1, size - 1);
      out.text = utf16Text(reinterpret_cast<const uint8_t*>(kept.data()), int64_t(kept.size()), true);
      return out;
    case 0x12:
      out.table = "KS X 1001-2014 (Korean)";
      out.text = charsetText("EUC-KR", p + 1, size - 1);
      return out;
    case 0x13:
      out.table = "GB-2312-1980 (Simplified Chinese)";
      out.text = charsetText("GB2312", p + 1, size - 1);
      return out;
    case 0x14:
      out.table = "Big5 (Traditional Chinese)";
      out.text = charsetText("BIG5", p + 1, size - 1);
      return out;
    case 0x15:
      out.table = "UTF-8";
      out.text = utf8Text(p + 1, size - 1);
      return out;
    case 0x1F:
      out.table = "encoding_type_id (compressed, not decoded)";
      return out;
    default:
      out.table = "reserved character table";
      out.text = singleByteText(nullptr, p + 1, size - 1);
      return out;
  }
}

std::string dvbString(FieldReader& f, std::string_view name, int64_t bytes) {
  if (bytes < 0 || (f.bitPos() & 7) || !f.need(bytes * 8)) {
    f.fail();
    return {};
  }
  const DvbText text = dvbText(f.fileData() + f.bytePos(), bytes);
  f.text(name, bytes * 8, text.text, text.table);
  return text.text;
}

std::string dvbLengthString(FieldReader& f, std::string_view length_name, std::string_view name) {
  const uint64_t length = f.u(length_name, 8);
  if (!f.ok()) return {};
  return dvbString(f, name, int64_t(length));
}

}  // namespace corvanta::mpegts
