#include "mapdata/byte_cursor.h"

#include <cstring>

int ReadBytes(ByteCursor* cursor, void* out, uint32_t n) {
  const uint8_t* bytes = CursorTake(cursor, n);
  if (bytes == nullptr) {
    std::memset(out, 0, n);
    return -1;
  }
  std::memcpy(out, bytes, n);
  return 0;
}

ByteCursor SubCursor(const ByteCursor* outer, uint32_t offset, uint32_t size) {
  // Compare lengths, never form a pointer past the end.
  if (offset > outer->size || size > outer->size - offset) return OverrunCursor(outer->byteOrder);
  return MakeCursor(outer->data + offset, size, outer->byteOrder);
}
