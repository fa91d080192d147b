#include "tools/mapbuild/osm_reader.h"

#include <cstring>
#include <memory>
#include <set>
#include <stdexcept>

#include <osmium/area/assembler.hpp>
#include <osmium/area/multipolygon_manager.hpp>
#include <osmium/handler.hpp>
#include <osmium/handler/node_locations_for_ways.hpp>
#include <osmium/io/pbf_input.hpp>
#include <osmium/io/reader.hpp>
#include <osmium/osm.hpp>
#include <osmium/relations/relations_manager.hpp>
#include <osmium/visitor.hpp>

#include "tools/mapbuild/node_location_store.h"
#include "tools/mapbuild/rule_matcher.h"

namespace {

constexpr char NODE_INDEX_FILE[] = "/node-locations";
constexpr char NEGATIVE_NODE_INDEX_FILE[] = "/node-locations-negative";
constexpr char READ_AHEAD_BLOCKS[] = "4";

// Nodes with negative ids (new objects of an editor's file) go to a store
// of their own, keyed by the id's magnitude.
using LocationHandler = osmium::handler::NodeLocationsForWays<NodeLocationStore, NodeLocationStore>;
using AreaManager = osmium::area::MultipolygonManager<osmium::area::Assembler>;

// The tags that make a closed way or a relation an area: the keys that the
// rules taking areas require (any value), or every object when such a
// rule requires none.
osmium::TagsFilter AreaFilter(const RuleMatcher& matcher) {
  std::set<std::string> keys;
  osmium::TagsFilter filter{!matcher.RequiredKeys(SHAPE_AREA, &keys)};
  for (const std::string& key : keys) filter.add_rule(true, osmium::TagMatcher{key});
  return filter;
}

// An object the reader refuses, with the reason.
class RefusedObject : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string ObjectName(const osmium::OSMObject& object) {
  return std::string(osmium::item_type_to_name(object.type())) + " " + std::to_string(object.id());
}

// True when the bytes of a tag list are whole key/value pairs of text. A
// NUL byte inside a PBF string ends the text early in the library's copy,
// so the keys and values that follow are out of step and a walk over the
// tags runs past the list.
bool WholeTags(const osmium::TagList& tags) {
  const unsigned char* at = tags.data() + sizeof(osmium::TagList);
  const unsigned char* end = tags.data() + tags.byte_size();
  size_t texts = 0;
  while (at < end) {
    const void* nul = std::memchr(at, '\0', static_cast<size_t>(end - at));
    if (nul == nullptr) return false;
    at = static_cast<const unsigned char*>(nul) + 1;
    ++texts;
  }
  return texts % 2 == 0;
}

// Stands first in the handler chain and refuses what the others cannot
// take: tags with a NUL byte, and nodes after ways or relations (their
// locations would be looked up before they are stored, leaving every way
// without geometry).
class ObjectChecks : public osmium::handler::Handler {
 public:
  void osm_object(const osmium::OSMObject& object) {
    if (!WholeTags(object.tags())) {
      throw RefusedObject(ObjectName(object) + " has a tag with a NUL byte in its key or value");
    }
  }
  void node(const osmium::Node& node) {
    if (lastWayOrRelation.empty()) return;
    throw RefusedObject("node " + std::to_string(node.id()) + " comes after " + lastWayOrRelation +
                        ": the extract's object types are out of order (nodes must come first, then ways, then "
                        "relations); sort it first, for example with `osmium sort EXTRACT.osm.pbf -o SORTED.osm.pbf`");
  }
  void way(const osmium::Way& way) { lastWayOrRelation = ObjectName(way); }
  void relation(const osmium::Relation& relation) { lastWayOrRelation = ObjectName(relation); }

 private:
  std::string lastWayOrRelation;
};

class FeatureHandler : public osmium::handler::Handler {
 public:
  FeatureHandler(const RecipeSource& source, const FeatureSink& sink, SourceSummary* summary, OsmReadSummary* osm)
      : matcher(source, RuleMatcher::Habits{}), tags(matcher), sink(sink), summary(summary), osm(osm) {}

  void node(const osmium::Node& node) {
    if (failed || node.tags().empty()) return;
    Match(node.tags(), SHAPE_POINT, [&](GeometryFault*) -> std::unique_ptr<OGRGeometry> {
      double x = 0, y = 0;
      if (!node.location().valid() || !DegreesToMapUnits(node.location().lon(), node.location().lat(), &x, &y)) {
        return nullptr;
      }
      return std::make_unique<OGRPoint>(x, y);
    });
  }

  void way(const osmium::Way& way) {
    if (failed || way.tags().empty()) return;
    Match(way.tags(), SHAPE_LINE, [&](GeometryFault*) -> std::unique_ptr<OGRGeometry> {
      auto line = std::make_unique<OGRLineString>();
      if (!AddPoints(way.nodes(), line.get()) || line->getNumPoints() < 2) return nullptr;
      return line;
    });
  }

  void area(const osmium::Area& area) {
    if (failed) return;
    Match(area.tags(), SHAPE_AREA, [&](GeometryFault*) -> std::unique_ptr<OGRGeometry> {
      auto polygons = std::make_unique<OGRMultiPolygon>();
      for (const osmium::OuterRing& outer : area.outer_rings()) {
        auto polygon = std::make_unique<OGRPolygon>();
        auto ring = std::make_unique<OGRLinearRing>();
        if (!AddPoints(outer, ring.get()) || ring->getNumPoints() < 4) return nullptr;
        polygon->addRingDirectly(ring.release());
        for (const osmium::InnerRing& inner : area.inner_rings(outer)) {
          auto hole = std::make_unique<OGRLinearRing>();
          if (!AddPoints(inner, hole.get())) return nullptr;
          if (hole->getNumPoints() >= 4) polygon->addRingDirectly(hole.release());
        }
        polygons->addGeometryDirectly(polygon.release());
      }
      if (polygons->IsEmpty()) {
        ++osm->brokenAreas;
        return nullptr;
      }
      return polygons;
    });
  }

  bool Failed() const { return failed; }
  const RuleMatcher& Matcher() const { return matcher; }

 private:
  // Adds the map-unit positions of `nodes`; false when one has no location
  // or lies outside map units.
  template <typename Nodes, typename Line>
  bool AddPoints(const Nodes& nodes, Line* line) {
    line->setNumPoints(static_cast<int>(nodes.size()), FALSE);
    int count = 0;
    for (const osmium::NodeRef& ref : nodes) {
      double x = 0, y = 0;
      if (!ref.location().valid() || !DegreesToMapUnits(ref.location().lon(), ref.location().lat(), &x, &y)) {
        return false;
      }
      line->setPoint(count++, x, y);
    }
    return true;
  }

  template <typename MakeGeometry>
  void Match(const osmium::TagList& list, ObjectShape shape, const MakeGeometry& makeGeometry) {
    tags.Clear();
    for (const osmium::Tag& tag : list) tags.Offer(tag.key(), tag.value());
    failed = matcher.Match(ShapeBit(shape), tags, makeGeometry, sink, summary) != 0;
  }

  RuleMatcher matcher;
  TagValues tags;
  const FeatureSink& sink;
  SourceSummary* summary;
  OsmReadSummary* osm;
  bool failed = false;
};

// libosmium decodes PBF blocks ahead of the reader on threads of its own,
// by default up to 20 blocks of raw and 20 of decoded data (tens of MB of
// ways). The builder takes each block as it comes, so a few ahead keep
// the decoding threads busy. The library reads these limits only from the
// environment; values the user set there are kept.
void LimitReadAhead() {
  ::setenv("OSMIUM_MAX_INPUT_QUEUE_SIZE", READ_AHEAD_BLOCKS, 0);
  ::setenv("OSMIUM_MAX_OSMDATA_QUEUE_SIZE", READ_AHEAD_BLOCKS, 0);
}

bool Stopped(const OsmReadOptions& options) { return options.stop != nullptr && options.stop->load(); }

// The relations pass: the members of every multipolygon and boundary
// relation the area filter wants.
int ReadRelations(const RecipeSource& source, const OsmReadOptions& options, ObjectChecks* checks, AreaManager* areas,
                  std::string* error) {
  osmium::io::Reader reader(source.resolvedPath, osmium::osm_entity_bits::relation, osmium::io::read_meta::no);
  const uint64_t total = reader.file_size();
  while (osmium::memory::Buffer buffer = reader.read()) {
    for (const osmium::Relation& relation : buffer.select<osmium::Relation>()) {
      checks->osm_object(relation);
      areas->relation(relation);
    }
    if (options.progress) options.progress(1, reader.offset(), total);
    if (Stopped(options)) {
      *error = "interrupted";
      return -1;
    }
  }
  reader.close();
  areas->prepare_for_lookup();
  return 0;
}

}  // namespace

bool IsOsmExtract(const std::string& path) {
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".pbf") == 0;
}

int ReadOsmSource(const RecipeSource& source, const OsmReadOptions& options, const FeatureSink& sink,
                  SourceSummary* summary, OsmReadSummary* osm, std::string* error) {
  int result = 0;
  try {
    FeatureHandler features(source, sink, summary, osm);
    ObjectChecks checks;
    osmium::area::Assembler::config_type config;
    AreaManager areas(config, AreaFilter(features.Matcher()));
    if (ReadRelations(source, options, &checks, &areas, error) != 0) {
      *error = source.id + ": " + *error;
      return -1;
    }
    NodeLocationStore positives, negatives;
    if (positives.Open(options.temporaryDirectory + NODE_INDEX_FILE, false, error) != 0 ||
        negatives.Open(options.temporaryDirectory + NEGATIVE_NODE_INDEX_FILE, true, error) != 0) {
      *error = source.id + ": " + *error;
      return -1;
    }
    // Map units hold only places east of Greenwich and north of the
    // equator. Nodes elsewhere are kept as unknown: no way through them can
    // have a geometry in the map, and at the far corners (±180°, ±90°) the
    // area assembler's 64-bit products of coordinates overflow.
    const osmium::Box mapUnitDegrees{osmium::Location(0.0, 0.0), osmium::Location(180.0, 90.0)};
    positives.KeepOnlyWithin(mapUnitDegrees);
    negatives.KeepOnlyWithin(mapUnitDegrees);
    LocationHandler locations(positives, negatives);
    locations.ignore_errors();
    const auto storeFailed = [&]() {
      const NodeLocationStore& failed = positives.Failed() ? positives : negatives;
      if (!failed.Failed()) return false;
      *error = source.id + ": " + failed.Error();
      return true;
    };
    LimitReadAhead();
    osmium::io::Reader reader(source.resolvedPath, osmium::io::read_meta::no);
    const uint64_t total = reader.file_size();
    auto areaHandler = areas.handler([&features](osmium::memory::Buffer&& buffer) { osmium::apply(buffer, features); });
    while (osmium::memory::Buffer buffer = reader.read()) {
      osmium::apply(buffer, checks, locations, features, areaHandler);
      if (options.progress) options.progress(2, reader.offset(), total);
      if (features.Failed() || storeFailed()) {
        result = -1;
        break;
      }
      if (Stopped(options)) {
        *error = source.id + ": interrupted";
        result = -1;
        break;
      }
    }
    reader.close();
    if (result == 0) {
      areas.for_each_incomplete_relation([osm](const osmium::relations::RelationHandle&) { ++osm->incompleteRelations; });
      osm->indexBytes = positives.FileBytes() + negatives.FileBytes();
      result = features.Failed() || storeFailed() ? -1 : 0;
    }
  } catch (const std::exception& e) {
    *error = source.id + ": cannot read " + source.resolvedPath + ": " + e.what();
    result = -1;
  }
  return result;
}
