#include "tools/mapbuild/spill_io.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

namespace {

uint64_t Zigzag(int64_t value) {
  return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

int64_t Unzigzag(uint64_t value) { return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1); }

}  // namespace

void PutVarint(std::vector<uint8_t>* bytes, uint64_t value) {
  while (value >= 0x80) {
    bytes->push_back(static_cast<uint8_t>(value | 0x80));
    value >>= 7;
  }
  bytes->push_back(static_cast<uint8_t>(value));
}

void PutSignedVarint(std::vector<uint8_t>* bytes, int64_t value) { PutVarint(bytes, Zigzag(value)); }

bool SpillCursor::GetVarint(uint64_t* value) {
  uint64_t result = 0;
  for (size_t i = 0; i < MAX_VARINT_BYTES && at + i < end; ++i) {
    const uint8_t byte = at[i];
    // The tenth byte holds the 64th bit alone.
    if (i == MAX_VARINT_BYTES - 1 && byte > 1) return false;
    result |= static_cast<uint64_t>(byte & 0x7F) << (7 * i);
    if ((byte & 0x80) == 0) {
      at += i + 1;
      *value = result;
      return true;
    }
  }
  return false;
}

bool SpillCursor::GetSignedVarint(int64_t* value) {
  uint64_t raw = 0;
  if (!GetVarint(&raw)) return false;
  *value = Unzigzag(raw);
  return true;
}

bool SpillCursor::GetCount(uint32_t* count, size_t itemBytes) {
  uint64_t value = 0;
  const uint8_t* start = at;
  if (!GetVarint(&value) || value > UINT32_MAX || value > Left() / itemBytes) {
    at = start;
    return false;
  }
  *count = static_cast<uint32_t>(value);
  return true;
}

bool SpillCursor::GetBytes(size_t size, const uint8_t** bytes) {
  if (Left() < size) return false;
  *bytes = at;
  at += size;
  return true;
}

int SpillFile::Open(const std::string& path, const char* mode, size_t bufferBytes, std::string* error) {
  Close();
  file = std::fopen(path.c_str(), mode);
  if (file == nullptr) {
    *error = "cannot open the temporary file " + path + ": " + std::strerror(errno);
    return -1;
  }
  buffer.resize(bufferBytes);
  std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
  struct stat info {};
  size = ::fstat(fileno(file), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
  position = 0;
  return 0;
}

bool SpillFile::Close() {
  if (file == nullptr) return true;
  const bool ok = std::fclose(file) == 0;
  file = nullptr;
  std::vector<char>().swap(buffer);
  return ok;
}

int SpillFile::ReadVarint(uint64_t* value) {
  uint64_t result = 0;
  for (size_t i = 0; i < MAX_VARINT_BYTES; ++i) {
    const int byte = getc_unlocked(file);
    if (byte == EOF) return i == 0 && std::ferror(file) == 0 ? 0 : -1;
    if (i == MAX_VARINT_BYTES - 1 && byte > 1) return -1;
    result |= static_cast<uint64_t>(byte & 0x7F) << (7 * i);
    if ((byte & 0x80) == 0) {
      position += i + 1;
      *value = result;
      return 1;
    }
  }
  return -1;
}

bool SpillFile::Read(void* bytes, size_t count) {
  if (std::fread(bytes, 1, count, file) != count) return false;
  position += count;
  return true;
}

bool SpillFile::Skip(uint64_t count) {
  if (count > size - std::min(size, position) || std::fseek(file, static_cast<long>(count), SEEK_CUR) != 0) {
    return false;
  }
  position += count;
  return true;
}
