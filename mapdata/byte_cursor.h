// A bounded read cursor over a byte buffer: the one way every decoder of
// map data reads bytes.
//
// The cursor never leaves its buffer. A read that does not fit yields 0,
// parks the position at the end and sets the sticky `overrun` flag, which a
// decoder looks at once at the end of a record or loop. Offsets and counts
// read from a file therefore never make a reader touch memory outside the
// buffer, whatever the file holds. The cursor owns nothing and does not
// depend on where its bytes came from, so decoders run on small arrays in
// tests as well as on blocks of the map file.
#pragma once

#include <cstdint>

// Byte orders: 1 reads little-endian, any other value big-endian; every map
// reader asks for 2.
constexpr uint32_t BYTE_ORDER_LITTLE = 1;
constexpr uint32_t BYTE_ORDER_BIG = 2;

// Result of a failed CursorSeek or CursorSkip.
constexpr uint32_t SEEK_FAILED = 0xFFFFFFFF;

struct ByteCursor {
  const uint8_t* data;  // `size` bytes, not owned
  uint32_t size;        // bytes the cursor may read
  uint32_t position;    // next byte to read, always <= size
  uint32_t byteOrder;   // BYTE_ORDER_LITTLE, else big-endian
  uint8_t overrun;      // sticky: a read or seek went past the end
};

// A cursor at position 0 over `size` bytes at `data` (null only with size 0).
inline ByteCursor MakeCursor(const uint8_t* data, uint32_t size, uint32_t byteOrder = BYTE_ORDER_BIG) {
  return ByteCursor{data, size, 0, byteOrder, 0};
}

// An empty cursor that is already overrun: what a range outside a buffer
// reads as.
inline ByteCursor OverrunCursor(uint32_t byteOrder) {
  ByteCursor empty = MakeCursor(nullptr, 0, byteOrder);
  empty.overrun = 1;
  return empty;
}

// Bytes left between the position and the end.
inline uint32_t Remaining(const ByteCursor* cursor) {
  return cursor->position < cursor->size ? cursor->size - cursor->position : 0;
}

// The buffer at the position, for copying raw runs; check Remaining first.
inline const uint8_t* CurrentPointer(const ByteCursor* cursor) { return cursor->data + cursor->position; }

// The next n bytes, advancing the position; null (with the cursor marked
// overrun and parked at the end) when fewer than n remain.
inline const uint8_t* CursorTake(ByteCursor* cursor, uint32_t n) {
  if (Remaining(cursor) < n) {
    cursor->overrun = 1;
    cursor->position = cursor->size;
    return nullptr;
  }
  const uint8_t* bytes = cursor->data + cursor->position;
  cursor->position += n;
  return bytes;
}

// Assembles n bytes (1..4) at the position in the cursor's byte order, byte
// by byte (no alignment assumed); 0 when they do not fit.
inline uint32_t CursorReadUnsigned(ByteCursor* cursor, uint32_t n) {
  const uint8_t* bytes = CursorTake(cursor, n);
  if (bytes == nullptr) return 0;
  uint32_t value = 0;
  if (cursor->byteOrder == BYTE_ORDER_LITTLE) {
    for (uint32_t i = n; i > 0; --i) value = (value << 8) | bytes[i - 1];
  } else {
    for (uint32_t i = 0; i < n; ++i) value = (value << 8) | bytes[i];
  }
  return value;
}

// Unsigned integers of 1, 2, 3 and 4 bytes at the position; the position
// moves past them. A value that does not fit reads as 0 and marks overrun.
inline uint32_t ReadU8(ByteCursor* cursor) { return CursorReadUnsigned(cursor, 1); }
inline uint32_t ReadU16(ByteCursor* cursor) { return CursorReadUnsigned(cursor, 2); }
inline uint32_t ReadU24(ByteCursor* cursor) { return CursorReadUnsigned(cursor, 3); }
inline uint32_t ReadU32(ByteCursor* cursor) { return CursorReadUnsigned(cursor, 4); }

// Moves to `pos` (0..size; at size nothing is left to read, which is where
// a record that ends the buffer leaves the cursor): returns pos, or
// SEEK_FAILED when pos lies past the end; a failed seek marks the cursor as
// overrun and parks it at the end, so the reads that follow yield 0.
inline uint32_t SeekTo(ByteCursor* cursor, uint32_t pos) {
  if (pos > cursor->size) {
    cursor->overrun = 1;
    cursor->position = cursor->size;
    return SEEK_FAILED;
  }
  cursor->position = pos;
  return pos;
}

// Moves by n bytes (negative n moves back, with 32-bit wrap-around):
// returns the new position, or SEEK_FAILED as SeekTo does.
inline uint32_t Skip(ByteCursor* cursor, int32_t n) {
  return SeekTo(cursor, cursor->position + static_cast<uint32_t>(n));
}

// Copies n bytes from the position to `out` and moves past them. When fewer
// than n remain, `out` is zero-filled, the cursor is marked overrun and the
// result is -1; otherwise 0.
int ReadBytes(ByteCursor* cursor, void* out, uint32_t n);

// A cursor over `size` bytes of `outer` from byte `offset`, at position 0,
// with the outer byte order. When the range does not lie wholly inside the
// outer buffer the result is an empty cursor that is already overrun.
ByteCursor SubCursor(const ByteCursor* outer, uint32_t offset, uint32_t size);
