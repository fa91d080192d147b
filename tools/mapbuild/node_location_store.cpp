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

}  // namespace

struct NodeLocationStore::CachedBlock {
  size_t block = SIZE_MAX;
  int count = 0;
  uint64_t ids[NODE_BLOCK_NODES];
  osmium::Location locations[NODE_BLOCK_NODES];
};

NodeLocationStore::NodeLocationStore() = default;

NodeLocationStore::~NodeLocationStore() noexcept {
  if (fd >= 0) ::close(fd);
  if (!path.empty()) ::unlink(path.c_str());
}

int NodeLocationStore::Open(const std::string& filePath, bool negativeIds, std::string* message) {
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
  if (nodes > 0 && id <= lastId) {
    Fail("node " + IdText(id) + " comes after node " + IdText(lastId) +
         ": the extract's nodes are not sorted by id; sort it first, for example with "
         "`osmium sort EXTRACT.osm.pbf -o SORTED.osm.pbf`");
    return;
  }
  lastId = id;
  ++nodes;
  gatheredIds.push_back(id);
  gatheredLocations.push_back(location);
  if (gatheredIds.size() == NODE_BLOCK_NODES) SealBlock();
  if (pendingBytes.size() >= WRITE_BYTES) Flush();
}

void NodeLocationStore::SealBlock() const {
  if (gatheredIds.empty()) return;
  firstIds.push_back(gatheredIds.front());
  offsets.push_back(FileBytes());
  const size_t start = pendingBytes.size();
  pendingBytes.resize(start + CRC_BYTES);
  PutVarint(&pendingBytes, gatheredIds.size());
  int64_t lastX = 0, lastY = 0;
  for (size_t i = 0; i < gatheredIds.size(); ++i) {
    if (i > 0) PutVarint(&pendingBytes, gatheredIds[i] - gatheredIds[i - 1]);
    PutSignedVarint(&pendingBytes, gatheredLocations[i].x() - lastX);
    PutSignedVarint(&pendingBytes, gatheredLocations[i].y() - lastY);
    lastX = gatheredLocations[i].x();
    lastY = gatheredLocations[i].y();
  }
  const uint32_t crc = Crc(pendingBytes.data() + start + CRC_BYTES, pendingBytes.size() - start - CRC_BYTES);
  std::memcpy(pendingBytes.data() + start, &crc, CRC_BYTES);
  gatheredIds.clear();
  gatheredLocations.clear();
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

bool NodeLocationStore::Decode(size_t block, const uint8_t* data, size_t size, CachedBlock* into) const {
  uint32_t crc = 0;
  if (size < CRC_BYTES || size > MAX_BLOCK_BYTES) return false;
  std::memcpy(&crc, data, CRC_BYTES);
  if (crc != Crc(data + CRC_BYTES, size - CRC_BYTES)) return false;
  SpillCursor in(data + CRC_BYTES, size - CRC_BYTES);
  uint64_t count = 0;
  if (!in.GetVarint(&count) || count == 0 || count > NODE_BLOCK_NODES) return false;
  uint64_t id = firstIds[block];
  int64_t x = 0, y = 0;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t gap = 0;
    int64_t dx = 0, dy = 0;
    if (i > 0 && (!in.GetVarint(&gap) || gap == 0 || id + gap < id)) return false;
    if (!in.GetSignedVarint(&dx) || !in.GetSignedVarint(&dy) || !AddWithin(&x, dx, INT32_MIN, INT32_MAX) ||
        !AddWithin(&y, dy, INT32_MIN, INT32_MAX)) {
      return false;
    }
    id += gap;
    into->ids[i] = id;
    into->locations[i] = osmium::Location(static_cast<int32_t>(x), static_cast<int32_t>(y));
  }
  // The next block must start after this one's last id.
  if (!in.Done() || (block + 1 < firstIds.size() && firstIds[block + 1] <= id)) return false;
  into->count = static_cast<int>(count);
  into->block = block;
  return true;
}

const NodeLocationStore::CachedBlock* NodeLocationStore::Block(size_t block) const {
  if (cache.empty()) cache.resize(NODE_CACHE_BLOCKS);
  std::unique_ptr<CachedBlock>& slot = cache[block % NODE_CACHE_BLOCKS];
  if (!slot) slot = std::make_unique<CachedBlock>();
  if (slot->block == block) return slot.get();
  slot->block = SIZE_MAX;
  const uint64_t begin = offsets[block];
  const uint64_t end = block + 1 < offsets.size() ? offsets[block + 1] : fileBytes;
  if (end < begin || end - begin > MAX_BLOCK_BYTES) {
    Fail("the node-location file " + path + " is damaged");
    return nullptr;
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
      return nullptr;
    }
  }
  if (!Decode(block, readBytes.data(), readBytes.size(), slot.get())) {
    Fail("the node-location file " + path + " is damaged");
    return nullptr;
  }
  return slot.get();
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
  const CachedBlock* cached = Block(lastBlock);
  if (cached == nullptr) return osmium::Location();
  const uint64_t* end = cached->ids + cached->count;
  const uint64_t* found = std::lower_bound(cached->ids, end, id);
  return found != end && *found == id ? cached->locations[found - cached->ids] : osmium::Location();
}

osmium::Location NodeLocationStore::get(osmium::unsigned_object_id_type id) const {
  const osmium::Location location = get_noexcept(id);
  if (!location.is_defined()) throw osmium::not_found{id};
  return location;
}

size_t NodeLocationStore::used_memory() const { return static_cast<size_t>(FileBytes() + IndexBytes()); }

void NodeLocationStore::clear() {
  gatheredIds.clear();
  gatheredLocations.clear();
  pendingBytes.clear();
  std::vector<uint64_t>().swap(firstIds);
  std::vector<uint64_t>().swap(offsets);
  std::vector<std::unique_ptr<CachedBlock>>().swap(cache);
  lastBlock = SIZE_MAX;
  nodes = 0;
  if (fd >= 0 && ::ftruncate(fd, 0) != 0) Fail("cannot empty the node-location file " + path);
  fileBytes = 0;
}
