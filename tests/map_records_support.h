// Helpers of the parcel section tests: a tiny big-endian byte builder and
// small, valid road, background and name sections built with it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "mapdata/parcel_header.h"

class Bytes {
 public:
  Bytes& U8(uint32_t v) {
    data.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  Bytes& U16(uint32_t v) { return U8(v >> 8).U8(v); }
  Bytes& U32(uint32_t v) { return U16(v >> 16).U16(v); }
  Bytes& Raw(std::initializer_list<uint8_t> bytes) {
    data.insert(data.end(), bytes);
    return *this;
  }
  Bytes& Append(const Bytes& other) {
    data.insert(data.end(), other.data.begin(), other.data.end());
    return *this;
  }
  Bytes& Fill(uint32_t count, uint8_t byte = 0xEE) {
    data.insert(data.end(), count, byte);
    return *this;
  }
  Bytes& PadToWords() { return data.size() % 2 ? U8(0) : *this; }
  void Put16(uint32_t pos, uint32_t v) {
    data[pos] = static_cast<uint8_t>(v >> 8);
    data[pos + 1] = static_cast<uint8_t>(v);
  }
  uint32_t Size() const { return static_cast<uint32_t>(data.size()); }
  std::vector<uint8_t> data;
};

// A parcel header whose only section is `bytes` at the start of the data.
enum class SectionKind { ROADS, BACKGROUND, NAMES };
inline ParcelHeader HeaderFor(SectionKind kind, const Bytes& bytes) {
  ParcelHeader header{};
  header.roadOffset = header.backgroundOffset = header.nameOffset = NO_SECTION;
  const auto words = static_cast<uint16_t>((bytes.Size() + 1) / 2);
  if (kind == SectionKind::ROADS) header.roadOffset = 0, header.roadSize = words;
  if (kind == SectionKind::BACKGROUND) header.backgroundOffset = 0, header.backgroundSize = words;
  if (kind == SectionKind::NAMES) header.nameOffset = 0, header.nameSize = words;
  return header;
}

// A road section: the head, a group table of `rows` (offset, count) rows,
// and the groups' bytes appended by the caller; group offsets are in words
// from the section's start.
inline Bytes RoadHead(std::initializer_list<std::pair<uint16_t, uint16_t>> rows) {
  Bytes b;
  b.U16(0).U16(0).U8(static_cast<uint32_t>(rows.size())).U8(0).U16(0);
  for (const auto& [offset, count] : rows) b.U16(offset).U16(count);
  return b;
}

// A road object with all fields absent (group flags 0x000F): header with
// the fixed length of 5 words, a shape word, a skipped word, the attribute
// word, then one segment from (x, y) with the given deltas.
inline Bytes SimpleRoadObject(uint16_t attributes, uint16_t x, uint16_t y,
                              std::initializer_list<int8_t> deltas) {
  Bytes b;
  b.U32(5).U16(1).U16(0).U16(attributes);
  b.U16(static_cast<uint32_t>(deltas.size() / 2)).U16(x).U16(y);
  for (int8_t d : deltas) b.U8(static_cast<uint8_t>(d));
  return b;
}

// A background section with one present class (slot `slot`) whose groups
// follow; class data at word 65 (right after the 64-word directory and its
// length word), group data appended by the caller at `groupOffset` words
// from the class.
inline Bytes BackgroundDirectory(int slot) {
  Bytes b;
  b.U16(64);
  for (int i = 0; i < 32; ++i) b.U16(i == slot ? 65 : 0).U16(i == slot ? 1 : 0);
  return b;
}

// A name section with a directory of `pairs` (offset, count) and word a.
inline Bytes NameDirectory(uint16_t a, std::initializer_list<std::pair<uint16_t, uint16_t>> pairs) {
  Bytes b;
  b.U16(a);
  for (const auto& [offset, count] : pairs) b.U16(offset).U16(count);
  return b;
}
