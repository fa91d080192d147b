// Node-location lookups as the map builder makes them: every node of an
// OSM PBF stored in id order, then every node of every way looked up in
// file order. Times libosmium's disk-backed sparse array (a mapped file of
// 16-byte entries, searched) against the builder's compact store (varint
// blocks read with pread into a bounded cache), on the same nodes and
// lookups, and checks that both give the same locations.
//
// Usage: tevo-node-lookup EXTRACT.osm.pbf TEMPORARY_FOLDER
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <osmium/index/map/sparse_file_array.hpp>
#include <osmium/io/pbf_input.hpp>
#include <osmium/io/reader.hpp>
#include <osmium/osm.hpp>

#include "tools/mapbuild/node_location_store.h"

namespace {

using SparseArray = osmium::index::map::SparseFileArray<osmium::unsigned_object_id_type, osmium::Location>;
using Map = osmium::index::map::Map<osmium::unsigned_object_id_type, osmium::Location>;

struct Workload {
  std::vector<std::pair<osmium::unsigned_object_id_type, osmium::Location>> nodes;
  std::vector<osmium::unsigned_object_id_type> lookups;
};

int ReadWorkload(const char* path, Workload* work) {
  try {
    osmium::io::Reader reader(path, osmium::osm_entity_bits::node | osmium::osm_entity_bits::way,
                              osmium::io::read_meta::no);
    while (osmium::memory::Buffer buffer = reader.read()) {
      for (const osmium::OSMObject& object : buffer.select<osmium::OSMObject>()) {
        if (object.type() == osmium::item_type::node && object.id() > 0) {
          const auto& node = static_cast<const osmium::Node&>(object);
          work->nodes.emplace_back(node.positive_id(), node.location());
        } else if (object.type() == osmium::item_type::way) {
          for (const osmium::NodeRef& ref : static_cast<const osmium::Way&>(object).nodes()) {
            if (ref.ref() > 0) work->lookups.push_back(ref.positive_ref());
          }
        }
      }
    }
    reader.close();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tevo-node-lookup: %s: %s\n", path, e.what());
    return -1;
  }
  return 0;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Stores the nodes, looks them up, and prints the times; the locations
// found go to *found.
void Measure(const char* name, Map* map, const Workload& work, std::vector<osmium::Location>* found) {
  auto start = std::chrono::steady_clock::now();
  for (const auto& [id, location] : work.nodes) map->set(id, location);
  map->sort();
  const double setSeconds = Seconds(start);
  found->clear();
  found->reserve(work.lookups.size());
  start = std::chrono::steady_clock::now();
  for (osmium::unsigned_object_id_type id : work.lookups) found->push_back(map->get_noexcept(id));
  const double getSeconds = Seconds(start);
  std::printf("%-12s store %6.1f ns/node, lookup %6.1f ns/lookup, %7.1f MB\n", name,
              1e9 * setSeconds / static_cast<double>(work.nodes.size()),
              1e9 * getSeconds / static_cast<double>(work.lookups.size()),
              static_cast<double>(map->used_memory()) / (1 << 20));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) == "--help") {
    std::fprintf(argc == 2 ? stdout : stderr, "usage: tevo-node-lookup EXTRACT.osm.pbf TEMPORARY_FOLDER\n");
    return argc == 2 ? 0 : 2;
  }
  Workload work;
  if (ReadWorkload(argv[1], &work) != 0) return 1;
  std::printf("%zu nodes, %zu way-node lookups\n", work.nodes.size(), work.lookups.size());
  const std::string sparsePath = std::string(argv[2]) + "/sparse-array";
  const int fd = ::open(sparsePath.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) {
    std::fprintf(stderr, "tevo-node-lookup: cannot create %s\n", sparsePath.c_str());
    return 1;
  }
  std::vector<osmium::Location> sparseFound, storeFound;
  {
    SparseArray sparse(fd);
    Measure("sparse array", &sparse, work, &sparseFound);
  }
  ::close(fd);
  ::unlink(sparsePath.c_str());
  NodeLocationStore store;
  std::string error;
  if (store.Open(std::string(argv[2]) + "/node-store", false, &error) != 0) {
    std::fprintf(stderr, "tevo-node-lookup: %s\n", error.c_str());
    return 1;
  }
  Measure("store", &store, work, &storeFound);
  if (store.Failed() || storeFound != sparseFound) {
    std::fprintf(stderr, "tevo-node-lookup: the store and the sparse array differ %s\n", store.Error().c_str());
    return 1;
  }
  return 0;
}
