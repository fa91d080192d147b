#include "tools/mapbuild/node_location_store.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <osmium/index/index.hpp>

#include "tools/mapbuild/spill_io.h"

namespace {

constexpr size_t WRITE_BYTES = 1 << 20;
constexpr size_t CRC_BYTES = 4;
// A block's CRC, node count and, per node, three varints of at most
// MAX_VARINT_BYTES: nothing larger can be a block.
constexpr size_t MAX_BLOCK_BYTES = CRC_BYTES + MAX_VARINT_BYTES + NODE_BLOCK_NODES * 3 * MAX_VARINT_BYTES;

uint32_t Crc(const uint8_t* data, size_t size) {
  return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), data, static_cast<uInt>(size)));
}

// Compares the coordinates as they are stored: a location outside what
// degrees can be (as a damaged extract may give) is outside the box.
bool Within(const osmium::Box& box, const osmium::Location& location) {
  return location.x() >= box.bottom_left().x() && location.x() <= box.top_right().x() &&
         location.y() >= box.bottom_left().y() && location.y() <= box.top_right().y();
}

}  // namespace

// A block decoded as far as the lookups needed: a block in memory is
// decoded up to the node looked up, as scattered lookups mostly want one
// node of it; one read from the file is decoded whole, as its bytes go.
struct NodeLocationStore::CachedBlock {
  size_t block = SIZE_MAX;
  int count = 0;    // nodes in the block
  int decoded = 0;  // of them in ids and locations
  SpillCursor rest{nullptr, 0};  // the bytes after the last node decoded
  uint64_t id = 0;              // of the last node decoded
  int64_t x = 0, y = 0;         // of the last node decoded
  uint64_t ids[NODE_BLOCK_NODES];
  osmium::Location locations[NODE_BLOCK_NODES];
};

NodeLocationStore::NodeLocationStore() = default;

NodeLocationStore::~NodeLocationStore() noexcept {
  if (fd >= 0) ::close(fd);
  if (!path.empty()) ::unlink(path.c_str());
}

int NodeLocationStore::Open(const std::string& filePath, bool negativeIds, std::string* message,
                            size_t residentBytes) {
  residentLimit = residentBytes;
  fd = ::open(filePath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    *message = "cannot create the node-location file " + filePath + ": " + std::strerror(errno);
    return -1;
  }
  path = filePath;
  negative = negativeIds;
  return 0;
}

std::string NodeLocationStore::IdText(uint64_t id) const { return (negative ? "-" : "") + std::to_string(id); }

void NodeLocationStore::Fail(const std::string& message) const {
  if (error.empty()) error = message;
}

void NodeLocationStore::set(osmium::unsigned_object_id_type id, osmium::Location location) {
  if (Failed()) return;
  if (nodes > 0 && id == lastId) {
    Fail("duplicate id " + IdText(id) + ": the extract holds node " + IdText(id) + " twice");
    return;
  }
  if (nodes > 0 && id < lastId) {
    Fail("node " + IdText(id) + " comes after node " + IdText(lastId) +
         ": the extract's nodes are not sorted by id; sort it first, for example with "
         "`osmium sort EXTRACT.osm.pbf -o SORTED.osm.pbf`");
    return;
  }
  lastId = id;
  ++nodes;
  gatheredIds.push_back(id);
  gatheredLocations.push_back(!bounded || Within(kept, location) ? location : osmium::Location());
  if (gatheredIds.size() == NODE_BLOCK_NODES) SealBlock();
  if (pendingBytes.size() >= WRITE_BYTES) Flush();
}

void NodeLocationStore::SealBlock() const {
  if (gatheredIds.empty()) return;
  firstIds.push_back(gatheredIds.front());
  encodedBlock.assign(CRC_BYTES, 0);
  PutVarint(&encodedBlock, gatheredIds.size());
  int64_t lastX = 0, lastY = 0;
  for (size_t i = 0; i < gatheredIds.size(); ++i) {
    if (i > 0) PutVarint(&encodedBlock, gatheredIds[i] - gatheredIds[i - 1]);
    PutSignedVarint(&encodedBlock, gatheredLocations[i].x() - lastX);
    PutSignedVarint(&encodedBlock, gatheredLocations[i].y() - lastY);
    lastX = gatheredLocations[i].x();
    lastY = gatheredLocations[i].y();
  }
  const uint32_t crc = Crc(encodedBlock.data() + CRC_BYTES, encodedBlock.size() - CRC_BYTES);
  std::memcpy(encodedBlock.data(), &crc, CRC_BYTES);
  PlaceBlock(encodedBlock);
  gatheredIds.clear();
  gatheredLocations.clear();
}

void NodeLocationStore::PlaceBlock(const std::vector<uint8_t>& encoded) const {
  // Only a run of first blocks stays in memory, so that a block's place
  // follows from its number.
  if (residentBlocks + 1 == firstIds.size() && resident.size() + encoded.size() <= residentLimit) {
    // Reserved whole, so that it never moves; only the pages written count.
    if (resident.capacity() == 0) resident.reserve(residentLimit);
    offsets.push_back(resident.size());
    resident.insert(resident.end(), encoded.begin(), encoded.end());
    ++residentBlocks;
    return;
  }
  offsets.push_back(FileBytes());
  pendingBytes.insert(pendingBytes.end(), encoded.begin(), encoded.end());
}

void NodeLocationStore::Flush() const {
  size_t done = 0;
  while (done < pendingBytes.size() && !Failed()) {
    const ssize_t written = ::pwrite(fd, pendingBytes.data() + done, pendingBytes.size() - done,
                                     static_cast<off_t>(fileBytes + done));
    if (written > 0) {
      done += static_cast<size_t>(written);
    } else if (written < 0 && errno != EINTR) {
      Fail("cannot write the node-location file " + path + ": " + std::strerror(errno));
    } else if (written == 0) {
      Fail("cannot write the node-location file " + path);
    }
  }
  fileBytes += done;
  pendingBytes.clear();
}

bool NodeLocationStore::Decode(size_t block, const uint8_t* data, size_t size, bool checkCrc, CachedBlock* into) const {
  uint32_t crc = 0;
  if (size < CRC_BYTES || size > MAX_BLOCK_BYTES) return false;
  std::memcpy(&crc, data, CRC_BYTES);
  if (checkCrc && crc != Crc(data + CRC_BYTES, size - CRC_BYTES)) return false;
  into->rest = SpillCursor(data + CRC_BYTES, size - CRC_BYTES);
  uint64_t count = 0;
  if (!into->rest.GetVarint(&count) || count == 0 || count > NODE_BLOCK_NODES) return false;
  into->count = static_cast<int>(count);
  into->decoded = 0;
  into->id = firstIds[block];
  into->x = into->y = 0;
  into->block = block;
  return checkCrc ? DecodeUpTo(into, UINT64_MAX) : true;
}

bool NodeLocationStore::DecodeUpTo(CachedBlock* into, uint64_t id) const {
  while (into->decoded < into->count && (into->decoded == 0 || into->ids[into->decoded - 1] < id)) {
    uint64_t gap = 0;
    int64_t dx = 0, dy = 0;
    const bool first = into->decoded == 0;
    if (!first && (!into->rest.GetVarint(&gap) || gap == 0 || into->id + gap < into->id)) return false;
    if (!into->rest.GetSignedVarint(&dx) || !into->rest.GetSignedVarint(&dy) ||
        !AddWithin(&into->x, dx, INT32_MIN, INT32_MAX) || !AddWithin(&into->y, dy, INT32_MIN, INT32_MAX)) {
      return false;
    }
    into->id += gap;
    into->ids[into->decoded] = into->id;
    into->locations[into->decoded] = osmium::Location(static_cast<int32_t>(into->x), static_cast<int32_t>(into->y));
    ++into->decoded;
  }
  // Whole: the bytes end with the last node, and the next block starts after it.
  if (into->decoded < into->count) return true;
  const size_t block = into->block;
  return into->rest.Done() && (block + 1 >= firstIds.size() || firstIds[block + 1] > into->id);
}

bool NodeLocationStore::ReadFromFile(size_t block) const {
  const uint64_t begin = offsets[block];
  const uint64_t end = block + 1 < offsets.size() ? offsets[block + 1] : fileBytes;
  if (end < begin || end - begin > MAX_BLOCK_BYTES) {
    Fail("the node-location file " + path + " is damaged");
    return false;
  }
  readBytes.resize(static_cast<size_t>(end - begin));
  size_t done = 0;
  while (done < readBytes.size()) {
    const ssize_t got =
        ::pread(fd, readBytes.data() + done, readBytes.size() - done, static_cast<off_t>(begin + done));
    if (got > 0) {
      done += static_cast<size_t>(got);
    } else if (got == 0 || errno != EINTR) {
      Fail("cannot read the node-location file " + path +
           (got == 0 ? ": it was cut short" : ": " + std::string(std::strerror(errno))));
      return false;
    }
  }
  return true;
}

NodeLocationStore::CachedBlock* NodeLocationStore::Block(size_t block) const {
  if (cache.empty()) cache.resize(NODE_CACHE_BLOCKS);
  std::unique_ptr<CachedBlock>& slot = cache[block % NODE_CACHE_BLOCKS];
  if (!slot) slot = std::make_unique<CachedBlock>();
  if (slot->block == block) return slot.get();
  slot->block = SIZE_MAX;
  const bool inMemory = block < residentBlocks;
  if (inMemory) {
    const size_t begin = offsets[block];
    const size_t end = block + 1 < residentBlocks ? offsets[block + 1] : resident.size();
    if (Decode(block, resident.data() + begin, end - begin, false, slot.get())) return slot.get();
  } else if (!ReadFromFile(block)) {
    return nullptr;
  } else if (Decode(block, readBytes.data(), readBytes.size(), true, slot.get())) {
    return slot.get();
  }
  slot->block = SIZE_MAX;
  Fail(inMemory ? "the node locations held in memory are damaged" : "the node-location file " + path + " is damaged");
  return nullptr;
}

osmium::Location NodeLocationStore::get_noexcept(osmium::unsigned_object_id_type id) const noexcept {
  if (!gatheredIds.empty()) SealBlock();
  if (!pendingBytes.empty()) Flush();
  if (Failed() || firstIds.empty() || id < firstIds.front()) return osmium::Location();
  // The nodes of a way mostly lie in the block of the node before.
  const bool inLastBlock = lastBlock < firstIds.size() && id >= firstIds[lastBlock] &&
                           (lastBlock + 1 == firstIds.size() || id < firstIds[lastBlock + 1]);
  if (!inLastBlock) {
    lastBlock = static_cast<size_t>(std::upper_bound(firstIds.begin(), firstIds.end(), id) - firstIds.begin()) - 1;
  }
  CachedBlock* cached = Block(lastBlock);
  if (cached == nullptr) return osmium::Location();
  if (!DecodeUpTo(cached, id)) {
    cached->block = SIZE_MAX;
    Fail("the node locations held in memory are damaged");
    return osmium::Location();
  }
  uint64_t* end = cached->ids + cached->decoded;
  const uint64_t* found = std::lower_bound(cached->ids, end, uint64_t{id});
  return found != end && *found == id ? cached->locations[found - cached->ids] : osmium::Location();
}

osmium::Location NodeLocationStore::get(osmium::unsigned_object_id_type id) const {
  const osmium::Location location = get_noexcept(id);
  if (!location.is_defined()) throw osmium::not_found{id};
  return location;
}

size_t NodeLocationStore::used_memory() const {
  return static_cast<size_t>(FileBytes() + ResidentBytes() + IndexBytes());
}

void NodeLocationStore::clear() {
  gatheredIds.clear();
  gatheredLocations.clear();
  pendingBytes.clear();
  std::vector<uint8_t>().swap(resident);
  residentBlocks = 0;
  std::vector<uint64_t>().swap(firstIds);
  std::vector<uint64_t>().swap(offsets);
  std::vector<std::unique_ptr<CachedBlock>>().swap(cache);
  lastBlock = SIZE_MAX;
  nodes = 0;
  if (fd >= 0 && ::ftruncate(fd, 0) != 0) Fail("cannot empty the node-location file " + path);
  fileBytes = 0;
}
