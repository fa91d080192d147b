// The block cache shared by two reading threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "mapdata/block_cache.h"
#include "mapdata_support.h"

namespace {

uint8_t PatternByte(uint32_t i) { return static_cast<uint8_t>(i * 7 + (i >> 8)); }

// Two readers of the same blocks never share a cursor, always read the bytes
// they asked for, and never see an entry recycled under them (40 distinct
// blocks keep the 32-entry cache recycling all the time).
TEST_F(MapDataTest, ConcurrentReadersGetTheirOwnBlocks) {
  std::vector<uint8_t> bytes(40000);
  for (uint32_t i = 0; i < bytes.size(); ++i) bytes[i] = PatternByte(i);
  const std::string path = scratch.File("map.kwi");
  WriteBytes(path, bytes);
  std::atomic<int> wrong{0};
  auto reader = [&](uint32_t seed) {
    for (uint32_t i = 0; i < 1500; ++i) {
      const uint32_t offset = ((i * 31 + seed) % 40) * 500;
      MapBlock* block = OpenBlock(path.c_str(), BYTE_ORDER_BIG, offset, 300);
      if (block == nullptr) {
        ++wrong;
        continue;
      }
      ByteCursor cursor = BlockCursor(block);
      for (uint32_t k = 0; k < 300; k += 37) {
        SeekTo(&cursor, k);
        const uint32_t value = ReadU8(&cursor);
        if (value != PatternByte(offset + k) || cursor.position != k + 1) ++wrong;
      }
      ReleaseBlock(block);
    }
  };
  std::thread first(reader, 1), second(reader, 7);
  first.join();
  second.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
