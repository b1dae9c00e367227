#include "JsonTreePrinter.h"

#include "ElementRows.h"

#include <cstdio>

std::string JsonTreePrinter::quoted(const std::string& text) {
  static const char hex[] = "0123456789abcdef";
  std::string literal = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': literal += "\\\""; break;
      case '\\': literal += "\\\\"; break;
      case '\n': literal += "\\n"; break;
      case '\r': literal += "\\r"; break;
      case '\t': literal += "\\t"; break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          literal += "\\u00";
          literal += hex[byte >> 4];
          literal += hex[byte & 15];
        } else {
          literal += c;
        }
    }
  }
  literal += '"';
  return literal;
}

void JsonTreePrinter::closeElements(int64_t down_to) {
  while (open_count > down_to) {
    buffer += "]}";
    --open_count;
    first_in_array = false;
  }
}

void JsonTreePrinter::openElement(int level, const std::string& name, bool has_seq_num, int64_t seq_num,
                                  int64_t bit_offset, int64_t bit_size, const std::string& raw_value,
                                  const std::string& hrf_value) {
  // A level deeper than the open elements allow is taken as a child of the last one.
  const int64_t depth = level < 0 ? 0 : (level > open_count ? open_count : level);
  closeElements(depth);
  buffer += first_in_array ? "\n" : ",\n";
  buffer.append(static_cast<size_t>(depth + 1) * 2, ' ');
  buffer += "{\"name\": ";
  buffer += quoted(name);
  buffer += ", \"seq_num\": ";
  buffer += has_seq_num ? std::to_string(seq_num) : std::string("null");
  buffer += ", \"offset\": ";
  buffer += std::to_string(bit_offset);
  buffer += ", \"size\": ";
  buffer += std::to_string(bit_size);
  buffer += ", \"raw_value\": ";
  buffer += quoted(raw_value);
  buffer += ", \"hrf_value\": ";
  buffer += quoted(hrf_value);
  buffer += ", \"children\": [";
  open_count = depth + 1;
  first_in_array = true;
  ++printed;
}

bool JsonTreePrinter::flush(bool force) {
  if (!force && buffer.size() < (1 << 16))
    return true;
  const bool ok = std::fwrite(buffer.data(), 1, buffer.size(), out) == buffer.size();
  buffer.clear();
  return ok;
}

bool JsonTreePrinter::print(sqlite3* db) {
  ElementRows rows(db);
  ElementRow row;
  buffer = "[";
  open_count = 0;
  first_in_array = true;
  bool ok = true;
  while (ok && rows.next(row)) {
    openElement(row.level, row.name, row.has_seq_num, row.seq_num, row.bit_offset, row.bit_size, row.raw_value,
                row.hrf_value);
    ok = flush(false);
  }
  closeElements(0);
  buffer += printed > 0 ? "\n]\n" : "]\n";
  return ok && rows.ok() && flush(true) && std::fflush(out) == 0;
}
