// Node locations of an OSM extract, kept compact in a file of the
// temporary folder while the ways are read. Nodes come sorted by id, so
// they are appended in blocks of up to NODE_BLOCK_NODES: each block holds
// varints of the id gaps and zigzag varints of the location deltas, with a
// CRC of its bytes. The first NODE_RESIDENT_BYTES of blocks stay in memory
// as encoded; the blocks after them go to the file. Memory also holds the
// first id and the offset of every block (16 bytes a block) and a bounded
// cache of decoded blocks; blocks in the file are read back with pread,
// never mapped, so what is resident stays bounded whatever the extract's
// size.
//
// Keeping blocks in memory matters when the ways' nodes lie scattered over
// the id order (as in extracts edited over many years): almost every lookup
// then needs a block that is not in the decoded cache, and one decoded from
// memory costs a fraction of one read from the file and checked again.
//
// The store takes the place of libosmium's node-location maps. Its
// interface cannot report failures, so a node out of id order, a write
// that fails or a block that reads back damaged is kept as the store's
// error (Failed(), Error()), which the reader checks after every buffer;
// lookups then give the undefined location.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <osmium/index/map.hpp>
#include <osmium/osm/box.hpp>
#include <osmium/osm/location.hpp>
#include <osmium/osm/types.hpp>

constexpr int NODE_BLOCK_NODES = 32;
// Decoded blocks held at once (each NODE_BLOCK_NODES ids and locations).
constexpr size_t NODE_CACHE_BLOCKS = 8192;
// Encoded blocks kept in memory before the store writes to its file: the
// nodes of a few hundred copies of a city, about 6 million nodes.
constexpr size_t NODE_RESIDENT_BYTES = 32 << 20;

class NodeLocationStore final
    : public osmium::index::map::Map<osmium::unsigned_object_id_type, osmium::Location> {
 public:
  NodeLocationStore();
  ~NodeLocationStore() noexcept override;

  // Creates the store's file at `path` (removed when the store goes);
  // `negativeIds`: the store holds negated ids, so messages name them
  // with their sign. The first `residentBytes` of blocks stay in memory.
  // Returns 0, or -1 with *error.
  int Open(const std::string& path, bool negativeIds, std::string* error,
           size_t residentBytes = NODE_RESIDENT_BYTES);

  // Keeps only locations inside `box` from now on: set() stores the
  // others as the undefined location, so the ways through them have no
  // geometry (and reach no area assembly).
  void KeepOnlyWithin(const osmium::Box& box) {
    bounded = true;
    kept = box;
  }

  // Appends a node; ids must rise strictly.
  void set(osmium::unsigned_object_id_type id, osmium::Location location) override;
  // The location of `id`; throws osmium::not_found when it is not stored
  // (as the interface asks).
  osmium::Location get(osmium::unsigned_object_id_type id) const override;
  // The location of `id`, or the undefined location.
  osmium::Location get_noexcept(osmium::unsigned_object_id_type id) const noexcept override;
  size_t size() const override { return static_cast<size_t>(nodes); }
  // The bytes on disk and the block index in memory.
  size_t used_memory() const override;
  void clear() override;

  bool Failed() const { return !error.empty(); }
  const std::string& Error() const { return error; }
  uint64_t FileBytes() const { return fileBytes + pendingBytes.size(); }
  uint64_t IndexBytes() const { return firstIds.capacity() * 2 * sizeof(uint64_t); }
  uint64_t ResidentBytes() const { return resident.size(); }

 private:
  struct CachedBlock;

  // Encodes the nodes being gathered as one block and queues its bytes.
  void SealBlock() const;
  // Keeps the block in `encoded` in memory while there is room, else queues it for the file.
  void PlaceBlock(const std::vector<uint8_t>& encoded) const;
  // Reads a block of the file into readBytes; false (failed) when it cannot.
  bool ReadFromFile(size_t block) const;
  // Writes the queued bytes to the file.
  void Flush() const;
  CachedBlock* Block(size_t block) const;
  // Starts decoding one block's bytes; `checkCrc`: bytes read from the
  // file, checked and decoded whole. False when they are damaged.
  bool Decode(size_t block, const uint8_t* data, size_t size, bool checkCrc, CachedBlock* into) const;
  // Decodes the block's nodes up to `id` (or its last); false when damaged.
  bool DecodeUpTo(CachedBlock* block, uint64_t id) const;
  void Fail(const std::string& message) const;

  std::string IdText(uint64_t id) const;

  std::string path;
  bool negative = false;
  bool bounded = false;
  osmium::Box kept;
  int fd = -1;
  uint64_t nodes = 0;
  uint64_t lastId = 0;
  // The nodes of the block being gathered; sealed by set() when full and
  // by the first lookup after a set(), so that lookups read sealed blocks only.
  mutable std::vector<uint64_t> gatheredIds;
  mutable std::vector<osmium::Location> gatheredLocations;
  mutable std::vector<uint8_t> resident;      // the first sealed blocks, in memory
  mutable size_t residentBlocks = 0;           // how many blocks `resident` holds
  size_t residentLimit = NODE_RESIDENT_BYTES;
  mutable std::vector<uint8_t> encodedBlock;   // the block being sealed
  mutable std::vector<uint8_t> pendingBytes;  // sealed blocks not yet written
  mutable uint64_t fileBytes = 0;              // written to the file
  mutable std::vector<uint64_t> firstIds;      // of every sealed block
  mutable std::vector<uint64_t> offsets;       // of every sealed block, in `resident` or the file
  mutable std::vector<std::unique_ptr<CachedBlock>> cache;  // direct-mapped by block number
  mutable size_t lastBlock = SIZE_MAX;                       // of the last lookup
  mutable std::vector<uint8_t> readBytes;
  mutable std::string error;
};
