// Writes a long transport stream for the benchmarks of large files (see LongTsGenerator.h).
//   make_long_ts PATH SIZE     SIZE in bytes, or with a suffix K, M or G (powers of 1024)
#include "LongTsGenerator.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int64_t parseSize(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  int64_t unit = 1;
  if (end && *end) {
    switch (*end) {
      case 'k': case 'K': unit = int64_t{1} << 10; break;
      case 'm': case 'M': unit = int64_t{1} << 20; break;
      case 'g': case 'G': unit = int64_t{1} << 30; break;
      default: return -1;
    }
  }
  return value > 0 ? int64_t(value * double(unit)) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || parseSize(argv[2]) < 188) {
    std::fprintf(stderr, "usage: make_long_ts PATH SIZE   (SIZE like 1G, 500M, 10G)\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  const int64_t size = parseSize(argv[2]);
  if (!LongTsGenerator().write(argv[1], size, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s: %lld bytes in %.1f s (%.0f MB/s)\n", argv[1], static_cast<long long>(size / 188 * 188), seconds,
              double(size) / 1e6 / seconds);
  return 0;
}
