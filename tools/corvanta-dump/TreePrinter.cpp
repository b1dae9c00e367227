#include "TreePrinter.h"

#include "BitsText.h"
#include "ElementRows.h"
#include "ElementWriter.h"

#include <sqlite3.h>

namespace {

void appendEscaped(std::string& line, const std::string& text) {
  static const char hex[] = "0123456789abcdef";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      line += "\\n";
    } else if (c == '\t') {
      line += "\\t";
    } else if (c == '\\') {
      line += "\\\\";
    } else if (byte < 0x20 || byte == 0x7f) {
      line += "\\x";
      line += hex[byte >> 4];
      line += hex[byte & 15];
    } else {
      line += c;
    }
  }
}

}  // namespace

std::string TreePrinter::line(int level, const std::string& name, bool has_seq_num, int64_t seq_num,
                              int64_t bit_offset, int64_t bit_size, const std::string& raw_value,
                              const std::string& hrf_value) {
  std::string text(static_cast<size_t>(level > 0 ? level * 2 : 0), ' ');
  if (has_seq_num) {
    appendEscaped(text, name);
    text += '-';
    text += std::to_string(seq_num);
  } else if (name == corvanta::kGarbageName) {
    text += "GARBAGE";
  } else {
    appendEscaped(text, name.empty() ? std::string("(empty)") : name);
  }
  text += ' ';
  text += corvanta::bitsTextStd(bit_offset);
  text += " +";
  text += corvanta::bitsTextStd(bit_size);
  if (!raw_value.empty()) {
    text += " = ";
    appendEscaped(text, raw_value);
  }
  if (!hrf_value.empty() && hrf_value != raw_value) {
    text += " [";
    appendEscaped(text, hrf_value);
    text += ']';
  }
  return text;
}

bool TreePrinter::write(const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

bool TreePrinter::print(sqlite3* db) {
  ElementRows rows(db);
  ElementRow row;
  bool ok = true;
  std::string buffer;
  while (ok && rows.next(row)) {
    buffer += line(row.level, row.name, row.has_seq_num, row.seq_num, row.bit_offset, row.bit_size, row.raw_value,
                   row.hrf_value);
    buffer += '\n';
    ++printed;
    if (buffer.size() > (1 << 16)) {
      ok = write(buffer);
      buffer.clear();
    }
  }
  return ok && rows.ok() && write(buffer) && std::fflush(out) == 0;
}
