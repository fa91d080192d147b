#include "bench/nmea_chunked_scan.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {
constexpr size_t CHUNK_BYTES = 256 * 1024;
}

long CountLinesInChunks(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return -1;
  std::vector<char> buffer(CHUNK_BYTES);
  long lines = 0;
  for (size_t got; (got = std::fread(buffer.data(), 1, CHUNK_BYTES, file)) > 0;) {
    const char* end = buffer.data() + got;
    for (const char* p = buffer.data(); (p = static_cast<const char*>(std::memchr(p, '\n', end - p))) != nullptr; ++p) {
      ++lines;
    }
  }
  std::fclose(file);
  return lines;
}
