// The block cache and the bounded block readers.
#include <gtest/gtest.h>

#include <vector>

#include "mapdata/block_cache.h"
#include "mapdata_support.h"
#include "platform/files.h"

namespace {

constexpr uint32_t FILE_BYTES = 40000;

// A file whose byte i is i * 7 + (i >> 8), so every block has its own content.
uint8_t PatternByte(uint32_t i) { return static_cast<uint8_t>(i * 7 + (i >> 8)); }

class BlockCacheTest : public MapDataTest {
 protected:
  void SetUp() override {
    MapDataTest::SetUp();
    std::vector<uint8_t> bytes(FILE_BYTES);
    for (uint32_t i = 0; i < FILE_BYTES; ++i) bytes[i] = PatternByte(i);
    path = scratch.File("map.kwi");
    WriteBytes(path, bytes);
  }
  MapBlock* Open(uint32_t offset, uint32_t size) { return OpenBlock(path.c_str(), BYTE_ORDER_BIG, offset, size); }
  std::string path;
};

TEST_F(BlockCacheTest, BuffersAreWholePagesAndReadPastTheFileAsZeros) {
  MapBlock* exact = Open(0, 4096);
  ASSERT_NE(exact, nullptr);
  EXPECT_EQ(exact->length, 8192u);
  MapBlock* less = Open(4096, 4095);
  ASSERT_NE(less, nullptr);
  EXPECT_EQ(less->length, 4096u);
  EXPECT_EQ(less->data[0], PatternByte(4096));
  // The file ends 100 bytes into this block: the rest of the buffer is 0.
  MapBlock* tail = Open(FILE_BYTES - 100, 200);
  ASSERT_NE(tail, nullptr);
  EXPECT_EQ(tail->data[99], PatternByte(FILE_BYTES - 1));
  for (uint32_t i = 100; i < tail->length; ++i) ASSERT_EQ(tail->data[i], 0) << i;
  for (MapBlock* block : {exact, less, tail}) EXPECT_EQ(ReleaseBlock(block), 0);
}

TEST_F(BlockCacheTest, RequestsNotSmallerThanTheFileAndMissingFilesFail) {
  EXPECT_EQ(Open(0, FILE_BYTES), nullptr);
  EXPECT_EQ(Open(0, FILE_BYTES + 1), nullptr);
  EXPECT_EQ(OpenBlock(scratch.File("missing.kwi").c_str(), BYTE_ORDER_BIG, 0, 10), nullptr);
  EXPECT_EQ(OpenBlock(std::string(300, 'x').c_str(), BYTE_ORDER_BIG, 0, 10), nullptr);
  EXPECT_EQ(CachedBlockCount(), 0);
  EXPECT_EQ(ReleaseBlock(nullptr), -1);
}

TEST_F(BlockCacheTest, ABusyEntryIsDuplicatedAndAFreeEntryIsReused) {
  MapBlock* entry = Open(100, 50);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->isPrivate, 0);
  MapBlock* duplicate = Open(100, 50);
  ASSERT_NE(duplicate, nullptr);
  EXPECT_NE(duplicate, entry);
  EXPECT_NE(duplicate->data, entry->data);
  EXPECT_EQ(duplicate->isPrivate, 1);
  ByteCursor copy = BlockCursor(duplicate);
  EXPECT_EQ(ReadU8(&copy), PatternByte(100));
  EXPECT_EQ(ReleaseBlock(duplicate), 0);  // freed: AddressSanitizer would see a leak otherwise
  EXPECT_EQ(ReleaseBlock(entry), 0);
  EXPECT_EQ(entry->refCount, 0);
  EXPECT_EQ(ReleaseBlock(entry), -1);  // not held any more
  MapBlock* again = Open(100, 50);
  EXPECT_EQ(again, entry);
  EXPECT_EQ(CachedBlockCount(), 1);
  ReleaseBlock(again);
}

TEST_F(BlockCacheTest, AFullCacheRecyclesTheFirstUnheldEntryInSlotOrder) {
  std::vector<MapBlock*> held;
  for (uint32_t i = 0; i < BLOCK_CACHE_ENTRIES; ++i) held.push_back(Open(i * 10, 10));
  EXPECT_EQ(CachedBlockCount(), BLOCK_CACHE_ENTRIES);
  // Only the last entry is free: the new block takes its slot.
  ReleaseBlock(held[31]);
  MapBlock* replacing = Open(5000, 10);
  EXPECT_EQ(replacing, held[31]);
  EXPECT_EQ(replacing->offset, 5000u);
  EXPECT_EQ(replacing->data[0], PatternByte(5000));
  // With slots 3 and 31 free, slot 3 comes first.
  ReleaseBlock(replacing);
  ReleaseBlock(held[3]);
  EXPECT_EQ(Open(6000, 10), held[3]);
  EXPECT_EQ(held[31]->offset, 5000u);
  // The replaced block is read again from the file.
  MapBlock* reread = Open(30, 10);
  ASSERT_NE(reread, nullptr);
  EXPECT_EQ(reread, held[31]);
  EXPECT_EQ(reread->data[0], PatternByte(30));
}

TEST_F(BlockCacheTest, WithEveryEntryHeldABlockIsHandedOutUncached) {
  std::vector<MapBlock*> held;
  for (uint32_t i = 0; i < BLOCK_CACHE_ENTRIES; ++i) held.push_back(Open(i * 10, 10));
  MapBlock* extra = Open(7000, 10);
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(extra->isPrivate, 1);
  EXPECT_EQ(extra->data[0], PatternByte(7000));
  EXPECT_EQ(ReleaseBlock(extra), 0);
  EXPECT_EQ(CachedBlockCount(), BLOCK_CACHE_ENTRIES);
  for (MapBlock* block : held) EXPECT_EQ(block->isPrivate, 0);
}

TEST_F(BlockCacheTest, TheDeviceFileAndHostFilesAreDifferentKeys) {
  ScratchDir root;
  std::filesystem::create_directories(root.path / "NAND" / "CMC" / "KDH");
  WriteBytes((root.path / "NAND" / "CMC" / "KDH" / "ALLDATA.KWI").string(), std::vector<uint8_t>(8000, 0xAB));
  SetDeviceRoot(root.path.c_str());
  MapBlock* host = Open(0, 16);
  ASSERT_NE(host, nullptr);
  ReleaseBlock(host);
  MapBlock* device = OpenBlock(nullptr, BYTE_ORDER_BIG, 0, 16);
  ASSERT_NE(device, nullptr);
  EXPECT_NE(device, host);
  EXPECT_EQ(device->path[0], '\0');
  EXPECT_EQ(device->data[0], 0xAB);
  ReleaseBlock(device);
  SetDeviceRoot(nullptr);
}

// A block is read through a cursor over the bytes asked for: the padding
// of its last page is not readable, seeks stay inside, and a read that does
// not fit yields 0 and leaves a sticky mark.
TEST_F(BlockCacheTest, TheBlockCursorReadsOnlyTheBytesAskedFor) {
  MapBlock* block = Open(0, 4095);
  ASSERT_NE(block, nullptr);
  ASSERT_GT(block->length, block->size);
  ByteCursor cursor = BlockCursor(block);
  EXPECT_EQ(cursor.size, 4095u);
  EXPECT_EQ(SeekTo(&cursor, 4094), 4094u);
  EXPECT_EQ(Skip(&cursor, -10), 4084u);
  EXPECT_EQ(ReadU8(&cursor), PatternByte(4084));
  EXPECT_EQ(SeekTo(&cursor, 4095), 4095u);  // the end: nothing left to read
  EXPECT_EQ(cursor.overrun, 0);
  EXPECT_EQ(ReadU8(&cursor), 0u);  // the page's padding byte is not read
  EXPECT_EQ(cursor.overrun, 1);
  // A failed seek is a fault: the reads after it yield 0 instead of
  // continuing from a position the caller did not ask for.
  cursor = BlockCursor(block);
  EXPECT_EQ(SeekTo(&cursor, 4096), SEEK_FAILED);
  EXPECT_EQ(cursor.position, cursor.size);
  SeekTo(&cursor, 10);
  EXPECT_EQ(ReadU8(&cursor), PatternByte(10));
  EXPECT_EQ(cursor.overrun, 1);  // the flag stays for the decoder to see
  EXPECT_EQ(Skip(&cursor, -12), SEEK_FAILED);
  // A partial value is never assembled, and a short copy is zero-filled.
  cursor = BlockCursor(block);
  SeekTo(&cursor, 4093);
  EXPECT_EQ(Remaining(&cursor), 2u);
  EXPECT_EQ(ReadU32(&cursor), 0u);
  uint8_t copied[8];
  cursor = BlockCursor(block);
  SeekTo(&cursor, 4091);
  EXPECT_EQ(ReadBytes(&cursor, copied, sizeof(copied)), -1);
  for (uint8_t byte : copied) EXPECT_EQ(byte, 0);
  ReleaseBlock(block);
}

TEST_F(BlockCacheTest, ReadersAssembleBothByteOrders) {
  std::vector<uint8_t> bytes(5000, 0);
  const uint8_t head[] = {0x12, 0x34, 0x01, 0x02, 0x03, 0xDE, 0xAD, 0xBE, 0xEF};
  std::copy(head, head + sizeof(head), bytes.begin());
  const std::string file = scratch.File("orders.kwi");
  WriteBytes(file, bytes);
  MapBlock* big = OpenBlock(file.c_str(), BYTE_ORDER_BIG, 0, 16);
  ByteCursor cursor = BlockCursor(big);
  EXPECT_EQ(ReadU16(&cursor), 0x1234u);
  EXPECT_EQ(ReadU24(&cursor), 0x010203u);
  EXPECT_EQ(ReadU32(&cursor), 0xDEADBEEFu);
  ReleaseBlock(big);
  // The same cached block handed out for little-endian reading.
  MapBlock* little = OpenBlock(file.c_str(), BYTE_ORDER_LITTLE, 0, 16);
  EXPECT_EQ(little, big);
  cursor = BlockCursor(little);
  EXPECT_EQ(ReadU16(&cursor), 0x3412u);
  EXPECT_EQ(ReadU24(&cursor), 0x030201u);
  EXPECT_EQ(ReadU32(&cursor), 0xEFBEADDEu);
  ReleaseBlock(little);
}

TEST(SectorAddress, CountsSectorsAndUnitsIgnoringBitsSixAndSeven) {
  EXPECT_EQ(SectorAddressToOffset(0x00000301, 512), 6656u);
  EXPECT_EQ(SectorAddressToOffset(0x000003C1, 512), 6656u);
  EXPECT_EQ(SectorAddressToOffset(0x0000013F, 32), 2048u + 63 * 32);
}

}  // namespace
