// tevo-osm-replicate: makes a real-shaped OSM PBF of any size for the map
// builder's benchmarks by laying N translated copies of small OSM files on a
// grid over Honshu. Every copy keeps the tags, the way and relation
// structure and the shapes of the originals; ids are renumbered so that they
// are unique and ascending (nodes, then ways, then relations, as an extract
// is sorted). By default each copy's ids form one run; --interleave-ids
// deals the node ids out across the copies instead (copy k's node i gets
// i × N + k + 1), so that consecutive nodes of a way lie far apart in the
// id order and the ways, read copy by copy, find their nodes scattered over
// the whole extract, as in a real extract after decades of editing. (Ways
// interleaved too would put the copies of one way side by side, which
// would find their nodes together again.) Objects an editor marked deleted in an OSM XML working copy
// are left out, as are references to objects the files do not hold.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

// GCC warns inside libosmium's tag builder about a strlen it cannot see
// bounded (a false alarm in the library's header, not in this file).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wstringop-overread"
#include <osmium/builder/osm_object_builder.hpp>
#pragma GCC diagnostic pop
#include <osmium/io/any_input.hpp>
#include <osmium/io/pbf_output.hpp>
#include <osmium/io/writer.hpp>
#include <osmium/memory/buffer.hpp>
#include <osmium/osm.hpp>
#include <osmium/visitor.hpp>

namespace {

// The grid starts here (south-west corner of the first copy), on land in
// central Honshu, and grows east and north.
constexpr double GRID_WEST = 136.0;
constexpr double GRID_SOUTH = 35.0;
// Space between neighbouring copies, as a share of the data's own extent.
constexpr double GRID_GAP = 0.05;
constexpr size_t FLUSH_BYTES = 8 << 20;

struct Tag {
  std::string key, value;
};
struct Node {
  osmium::object_id_type id;
  double lon, lat;
  std::vector<Tag> tags;
};
struct Way {
  osmium::object_id_type id;
  std::vector<osmium::object_id_type> nodes;
  std::vector<Tag> tags;
};
struct Member {
  osmium::item_type type;
  osmium::object_id_type ref;
  std::string role;
};
struct Relation {
  osmium::object_id_type id;
  std::vector<Member> members;
  std::vector<Tag> tags;
};

// The originals, merged over all input files (an object in two files is kept once).
struct Originals {
  std::map<osmium::object_id_type, Node> nodes;
  std::map<osmium::object_id_type, Way> ways;
  std::map<osmium::object_id_type, Relation> relations;
};

std::vector<Tag> TagsOf(const osmium::OSMObject& object) {
  std::vector<Tag> tags;
  for (const osmium::Tag& tag : object.tags()) tags.push_back({tag.key(), tag.value()});
  return tags;
}

// "node/ID", "way/ID", "relation/ID" of the objects an OSM XML file marks
// action="delete" (the reader keeps them as if they were live).
std::set<std::string> DeletedInXml(const std::string& path) {
  std::set<std::string> deleted;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("action='delete'") == std::string::npos && line.find("action=\"delete\"") == std::string::npos) continue;
    const size_t open = line.find('<');
    const size_t id = line.find(" id=");
    if (open == std::string::npos || id == std::string::npos) continue;
    const std::string element = line.substr(open + 1, line.find(' ', open) - open - 1);
    const size_t first = id + 5;
    deleted.insert(element + "/" + line.substr(first, line.find_first_of("'\"", first) - first));
  }
  return deleted;
}

class Collector : public osmium::handler::Handler {
 public:
  Collector(Originals* originals, const std::set<std::string>* deleted) : originals(originals), deleted(deleted) {}
  void node(const osmium::Node& n) {
    if (Gone("node", n.id()) || !n.location().valid()) return;
    originals->nodes[n.id()] = {n.id(), n.location().lon(), n.location().lat(), TagsOf(n)};
  }
  void way(const osmium::Way& w) {
    if (Gone("way", w.id())) return;
    Way way{w.id(), {}, TagsOf(w)};
    for (const osmium::NodeRef& ref : w.nodes()) way.nodes.push_back(ref.ref());
    originals->ways[w.id()] = way;
  }
  void relation(const osmium::Relation& r) {
    if (Gone("relation", r.id())) return;
    Relation relation{r.id(), {}, TagsOf(r)};
    for (const osmium::RelationMember& m : r.members()) relation.members.push_back({m.type(), m.ref(), m.role()});
    originals->relations[r.id()] = relation;
  }

 private:
  bool Gone(const char* kind, osmium::object_id_type id) const {
    return deleted->count(std::string(kind) + "/" + std::to_string(id)) > 0;
  }
  Originals* originals;
  const std::set<std::string>* deleted;
};

// New ids: copy k's object with index i (in id order) gets k × count + i + 1,
// or, for nodes with the ids interleaved, i × copies + k + 1.
struct Renumbering {
  std::map<osmium::object_id_type, osmium::object_id_type> nodes, ways, relations;
  const std::map<osmium::object_id_type, osmium::object_id_type>* Of(osmium::item_type type) const {
    return type == osmium::item_type::node ? &nodes : type == osmium::item_type::way ? &ways : &relations;
  }
};

template <typename Objects>
void Number(const Objects& objects, std::map<osmium::object_id_type, osmium::object_id_type>* index) {
  osmium::object_id_type next = 0;
  for (const auto& entry : objects) (*index)[entry.first] = next++;
}

void AddTags(osmium::builder::Builder* parent, osmium::memory::Buffer& buffer, const std::vector<Tag>& tags) {
  if (tags.empty()) return;
  osmium::builder::TagListBuilder builder(buffer, parent);
  for (const Tag& tag : tags) builder.add_tag(tag.key, tag.value);
}

class Replicator {
 public:
  Replicator(const Originals& originals, int copies, bool interleaved, osmium::io::Writer* writer)
      : originals(originals), copies(copies), interleaved(interleaved), writer(writer), buffer(FLUSH_BYTES * 2) {
    Number(originals.nodes, &renumbering.nodes);
    Number(originals.ways, &renumbering.ways);
    Number(originals.relations, &renumbering.relations);
    double west = 180, east = -180, south = 90, north = -90;
    for (const auto& [id, n] : originals.nodes) {
      west = std::min(west, n.lon), east = std::max(east, n.lon);
      south = std::min(south, n.lat), north = std::max(north, n.lat);
    }
    originWest = west;
    originSouth = south;
    stepX = (east - west) * (1 + GRID_GAP);
    stepY = (north - south) * (1 + GRID_GAP);
    columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(copies))));
  }

  // The box of all copies, for the file's header (as downloaded extracts
  // carry it; some readers need it).
  osmium::Box Bounds() const {
    const int rows = (copies + columns - 1) / columns;
    return osmium::Box(GRID_WEST, GRID_SOUTH, GRID_WEST + columns * stepX, GRID_SOUTH + rows * stepY);
  }

  void SetWriter(osmium::io::Writer* output) { writer = output; }

  void Run() {
    InIdOrder(originals.nodes, interleaved, [this](int copy, const Node& n) { WriteNode(copy, n); });
    InIdOrder(originals.ways, false, [this](int copy, const Way& w) { WriteWay(copy, w); });
    InIdOrder(originals.relations, false, [this](int copy, const Relation& r) { WriteRelation(copy, r); });
    Flush(true);
  }

 private:
  osmium::object_id_type NewId(osmium::item_type type, int copy, osmium::object_id_type index) const {
    const auto count = static_cast<osmium::object_id_type>(renumbering.Of(type)->size());
    if (interleaved && type == osmium::item_type::node) return index * copies + copy + 1;
    return static_cast<osmium::object_id_type>(copy) * count + index + 1;
  }

  // Calls write(copy, original) for every copy of every original, in the
  // order of their new ids (`dealt`: ids interleaved across the copies).
  template <typename Objects, typename Write>
  void InIdOrder(const Objects& objects, bool dealt, const Write& write) {
    if (dealt) {
      for (const auto& entry : objects) {
        for (int k = 0; k < copies; ++k) write(k, entry.second);
      }
      return;
    }
    for (int k = 0; k < copies; ++k) {
      for (const auto& entry : objects) write(k, entry.second);
    }
  }

  void WriteNode(int copy, const Node& n) {
    const double dx = GRID_WEST + (copy % columns) * stepX - originWest;
    const double dy = GRID_SOUTH + (copy / columns) * stepY - originSouth;
    {
      osmium::builder::NodeBuilder builder(buffer);
      builder.set_id(NewId(osmium::item_type::node, copy, renumbering.nodes.at(n.id)));
      builder.set_version(1).set_visible(true);
      builder.set_location(osmium::Location(n.lon + dx, n.lat + dy));
      AddTags(&builder, buffer, n.tags);
    }
    buffer.commit();
    Flush(false);
  }

  void WriteWay(int copy, const Way& w) {
    {
      osmium::builder::WayBuilder builder(buffer);
      builder.set_id(NewId(osmium::item_type::way, copy, renumbering.ways.at(w.id)));
      builder.set_version(1).set_visible(true);
      {
        osmium::builder::WayNodeListBuilder refs(buffer, &builder);
        for (osmium::object_id_type ref : w.nodes) {
          const auto found = renumbering.nodes.find(ref);
          if (found != renumbering.nodes.end()) refs.add_node_ref(NewId(osmium::item_type::node, copy, found->second));
        }
      }
      AddTags(&builder, buffer, w.tags);
    }
    buffer.commit();
    Flush(false);
  }

  void WriteRelation(int copy, const Relation& r) {
    {
      osmium::builder::RelationBuilder builder(buffer);
      builder.set_id(NewId(osmium::item_type::relation, copy, renumbering.relations.at(r.id)));
      builder.set_version(1).set_visible(true);
      {
        osmium::builder::RelationMemberListBuilder members(buffer, &builder);
        for (const Member& m : r.members) {
          const auto* index = renumbering.Of(m.type);
          const auto found = index->find(m.ref);
          if (found != index->end()) members.add_member(m.type, NewId(m.type, copy, found->second), m.role.c_str());
        }
      }
      AddTags(&builder, buffer, r.tags);
    }
    buffer.commit();
    Flush(false);
  }

  void Flush(bool always) {
    if (!always && buffer.committed() < FLUSH_BYTES) return;
    (*writer)(std::move(buffer));
    buffer = osmium::memory::Buffer(FLUSH_BYTES * 2);
  }

  const Originals& originals;
  int copies;
  bool interleaved;
  osmium::io::Writer* writer;
  osmium::memory::Buffer buffer;
  Renumbering renumbering;
  double originWest = 0, originSouth = 0, stepX = 0, stepY = 0;
  int columns = 1;
};

int Usage() {
  std::fprintf(stderr,
               "usage: tevo-osm-replicate --copies N [--interleave-ids] -o OUT.osm.pbf INPUT.osm [INPUT...] "
               "(--help for more)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int copies = 0;
  bool interleaved = false;
  std::string out;
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::printf(
          "usage: tevo-osm-replicate --copies N [--interleave-ids] -o OUT.osm.pbf INPUT.osm [INPUT...]\n\n"
          "Writes N translated copies of the OSM inputs (merged) on a square grid\n"
          "from %.1f E, %.1f N, ids renumbered, tags kept, as a sorted PBF.\n"
          "--interleave-ids deals the node ids out across the copies (copy k's node\n"
          "i gets i x N + k + 1) instead of giving each copy one run of ids.\n",
          GRID_WEST, GRID_SOUTH);
      return 0;
    }
    if (std::strcmp(argv[i], "--interleave-ids") == 0) {
      interleaved = true;
    } else if (std::strcmp(argv[i], "--copies") == 0 && i + 1 < argc) {
      copies = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      out = argv[++i];
    } else if (argv[i][0] != '-') {
      inputs.push_back(argv[i]);
    } else {
      return Usage();
    }
  }
  if (copies < 1 || out.empty() || inputs.empty()) return Usage();
  try {
    Originals originals;
    for (const std::string& input : inputs) {
      const std::set<std::string> deleted = DeletedInXml(input);
      osmium::io::Reader reader(input);
      Collector collector(&originals, &deleted);
      osmium::apply(reader, collector);
      reader.close();
    }
    osmium::io::Header header;
    header.set("generator", "tevo-osm-replicate");
    Replicator replicator(originals, copies, interleaved, nullptr);
    header.add_box(replicator.Bounds());
    osmium::io::Writer file(osmium::io::File(out + ".part", "pbf"), header, osmium::io::overwrite::allow);
    replicator.SetWriter(&file);
    replicator.Run();
    file.close();
    if (std::rename((out + ".part").c_str(), out.c_str()) != 0) {
      std::fprintf(stderr, "tevo-osm-replicate: cannot rename to %s\n", out.c_str());
      return 1;
    }
    std::fprintf(stderr, "tevo-osm-replicate: %d copies of %zu nodes, %zu ways, %zu relations\n", copies,
                 originals.nodes.size(), originals.ways.size(), originals.relations.size());
  } catch (const std::exception& e) {
    std::remove((out + ".part").c_str());
    std::fprintf(stderr, "tevo-osm-replicate: %s\n", e.what());
    return 1;
  }
  return 0;
}
