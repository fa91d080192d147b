// The byte forms shared by the builder's temporary files: fixed-size values
// in the machine's order, unsigned varints (7 bits a byte, low bits first)
// and zigzag varints for signed values; a bounded cursor that reads them
// back and refuses anything running past its end; and a temporary file read
// through a large buffer of its own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// The longest varint of a 64-bit value.
constexpr size_t MAX_VARINT_BYTES = 10;

template <typename T>
void PutFixed(std::vector<uint8_t>* bytes, T value) {
  const size_t at = bytes->size();
  bytes->resize(at + sizeof(T));
  std::memcpy(bytes->data() + at, &value, sizeof(T));
}

void PutVarint(std::vector<uint8_t>* bytes, uint64_t value);
// Zigzag form: small magnitudes of either sign take few bytes.
void PutSignedVarint(std::vector<uint8_t>* bytes, int64_t value);

// Adds a decoded difference to a running coordinate in [low, high] when
// the sum stays in that range; false otherwise (damaged data), without the
// overflow that adding two arbitrary values could cause.
inline bool AddWithin(int64_t* value, int64_t delta, int64_t low, int64_t high) {
  if (delta > high - low || delta < low - high) return false;
  const int64_t sum = *value + delta;
  if (sum > high || sum < low) return false;
  *value = sum;
  return true;
}

// Reads values back from [data, data + size); every Get is false, and
// moves nothing, when the value would run past the end or is malformed.
class SpillCursor {
 public:
  SpillCursor(const uint8_t* data, size_t size) : at(data), end(data + size) {}
  template <typename T>
  bool Get(T* value) {
    if (Left() < sizeof(T)) return false;
    std::memcpy(value, at, sizeof(T));
    at += sizeof(T);
    return true;
  }
  bool GetVarint(uint64_t* value);
  bool GetSignedVarint(int64_t* value);
  // A count of items of at least `itemBytes` each that can still follow.
  bool GetCount(uint32_t* count, size_t itemBytes);
  bool GetBytes(size_t size, const uint8_t** bytes);
  size_t Left() const { return static_cast<size_t>(end - at); }
  bool Done() const { return at == end; }

 private:
  const uint8_t* at;
  const uint8_t* end;
};

// A temporary file opened for reading or writing through a buffer of
// `bufferBytes`, closed when it goes.
class SpillFile {
 public:
  SpillFile() = default;
  ~SpillFile() { Close(); }
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  // `mode` as for fopen. Returns 0, or -1 with *error naming the file.
  int Open(const std::string& path, const char* mode, size_t bufferBytes, std::string* error);
  // False when the file could not be written whole.
  bool Close();
  FILE* File() const { return file; }
  // The file's size when it was opened for reading.
  uint64_t Size() const { return size; }
  // Bytes read or skipped since it was opened.
  uint64_t Position() const { return position; }
  // Reads a varint; 1, 0 at a clean end of the file, -1 when the file
  // ends inside it, the value is malformed or cannot be read.
  int ReadVarint(uint64_t* value);
  // False when the file ends first or cannot be read.
  bool Read(void* bytes, size_t count);
  bool Skip(uint64_t count);

 private:
  FILE* file = nullptr;
  std::vector<char> buffer;
  uint64_t size = 0;
  uint64_t position = 0;
};
