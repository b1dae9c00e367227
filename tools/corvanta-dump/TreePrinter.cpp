#include "TreePrinter.h"

#include "BitsText.h"
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

std::string columnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column))) : std::string();
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
  sqlite3_stmt* statement = nullptr;
  const char* sql =
      "SELECT e.level, d.name, s.seq_num, e.\"offset\", e.size, e.raw_value, e.hrf_value FROM elements e "
      "LEFT JOIN dictionary d ON e.name_id = d.id LEFT JOIN elements_seq_num s ON e.id = s.id ORDER BY e.id";
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
    return false;
  bool ok = true;
  std::string buffer;
  int step = SQLITE_DONE;
  while (ok && (step = sqlite3_step(statement)) == SQLITE_ROW) {
    const bool has_seq_num = sqlite3_column_type(statement, 2) != SQLITE_NULL;
    buffer += line(sqlite3_column_int(statement, 0), columnText(statement, 1), has_seq_num,
                   sqlite3_column_int64(statement, 2), sqlite3_column_int64(statement, 3),
                   sqlite3_column_int64(statement, 4), columnText(statement, 5), columnText(statement, 6));
    buffer += '\n';
    ++printed;
    if (buffer.size() > (1 << 16)) {
      ok = write(buffer);
      buffer.clear();
    }
  }
  ok = ok && step == SQLITE_DONE && write(buffer) && std::fflush(out) == 0;
  sqlite3_finalize(statement);
  return ok;
}
