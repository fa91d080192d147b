#include "tools/mapbuild/osm_reader.h"

#include <cstdlib>
#include <memory>
#include <set>

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

namespace {

constexpr char NODE_INDEX_FILE[] = "/node-locations";
constexpr char NEGATIVE_NODE_INDEX_FILE[] = "/node-locations-negative";
constexpr char READ_AHEAD_BLOCKS[] = "4";

// Nodes with negative ids (new objects of an editor's file) go to a store
// of their own, keyed by the id's magnitude.
using LocationHandler = osmium::handler::NodeLocationsForWays<NodeLocationStore, NodeLocationStore>;
using AreaManager = osmium::area::MultipolygonManager<osmium::area::Assembler>;

// Which rule kinds apply to which kind of object.
bool PointRule(RuleKind kind) { return kind == RULE_LABEL; }
bool LineRule(RuleKind kind) { return kind == RULE_ROAD || kind == RULE_LINE || kind == RULE_ALONG; }
bool AreaRule(RuleKind kind) { return kind == RULE_AREA || kind == RULE_LABEL; }

// The tags that make a closed way or a relation an area: the keys that the
// area and label rules ask for (any value), or every object when such a
// rule asks for none.
osmium::TagsFilter AreaFilter(const RecipeSource& source) {
  std::set<std::string> keys;
  bool all = false;
  for (const RecipeRule& rule : source.rules) {
    if (!AreaRule(rule.kind)) continue;
    bool keyed = false;
    for (const RecipeCondition& condition : rule.where) {
      if (condition.negate || condition.key.empty()) continue;
      keys.insert(condition.key);
      keyed = true;
      break;
    }
    all = all || !keyed;
  }
  osmium::TagsFilter filter{all};
  for (const std::string& key : keys) filter.add_rule(true, osmium::TagMatcher{key});
  return filter;
}

class FeatureHandler : public osmium::handler::Handler {
 public:
  FeatureHandler(const RecipeSource& source, const FeatureSink& sink, SourceSummary* summary, OsmReadSummary* osm)
      : source(source), sink(sink), summary(summary), osm(osm) {}

  void node(const osmium::Node& node) {
    if (failed || node.tags().empty()) return;
    Emit(node.tags(), PointRule, [&]() -> std::unique_ptr<OGRGeometry> {
      double x = 0, y = 0;
      if (!node.location().valid() || !DegreesToMapUnits(node.location().lon(), node.location().lat(), &x, &y)) {
        return nullptr;
      }
      return std::make_unique<OGRPoint>(x, y);
    });
  }

  void way(const osmium::Way& way) {
    if (failed || way.tags().empty()) return;
    Emit(way.tags(), LineRule, [&]() -> std::unique_ptr<OGRGeometry> {
      auto line = std::make_unique<OGRLineString>();
      if (!AddPoints(way.nodes(), line.get()) || line->getNumPoints() < 2) return nullptr;
      return line;
    });
  }

  void area(const osmium::Area& area) {
    if (failed) return;
    Emit(area.tags(), AreaRule, [&]() -> std::unique_ptr<OGRGeometry> {
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

 private:
  // Adds the map-unit positions of `nodes`; false when one has no location
  // or lies outside map units.
  template <typename Nodes, typename Line>
  bool AddPoints(const Nodes& nodes, Line* line) {
    for (const osmium::NodeRef& ref : nodes) {
      double x = 0, y = 0;
      if (!ref.location().valid() || !DegreesToMapUnits(ref.location().lon(), ref.location().lat(), &x, &y)) {
        return false;
      }
      line->addPoint(x, y);
    }
    return true;
  }

  template <typename Applies, typename MakeGeometry>
  void Emit(const osmium::TagList& tags, const Applies& applies, const MakeGeometry& makeGeometry) {
    bool counted = false;
    std::unique_ptr<OGRGeometry> geometry;
    for (size_t r = 0; r < source.rules.size() && !failed; ++r) {
      const RecipeRule& rule = source.rules[r];
      if (!applies(rule.kind) || !Matches(rule, tags)) continue;
      const char* text = rule.text.empty() ? nullptr : tags.get_value_by_key(rule.text.c_str());
      if (!rule.text.empty() && (text == nullptr || text[0] == '\0')) continue;
      if (!counted) {
        counted = true;
        ++summary->read;
        geometry = makeGeometry();
        if (!geometry) {
          ++summary->noGeometry;
          return;
        }
      }
      SourceFeature out;
      out.rule = static_cast<int>(r);
      out.geometry.reset(geometry->clone());
      if (text != nullptr) out.text = text;
      if (!rule.rank.empty()) {
        const char* rank = tags.get_value_by_key(rule.rank.c_str());
        out.rank = rank != nullptr ? std::atof(rank) : 0;
      }
      ++summary->matched;
      failed = sink(std::move(out)) != 0;
    }
  }

  static bool Matches(const RecipeRule& rule, const osmium::TagList& tags) {
    for (const RecipeCondition& condition : rule.where) {
      if (!ConditionHolds(condition, tags.get_value_by_key(condition.key.c_str()))) return false;
    }
    return true;
  }

  const RecipeSource& source;
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
int ReadRelations(const RecipeSource& source, const OsmReadOptions& options, AreaManager* areas, std::string* error) {
  osmium::io::Reader reader(source.resolvedPath, osmium::osm_entity_bits::relation, osmium::io::read_meta::no);
  const uint64_t total = reader.file_size();
  while (osmium::memory::Buffer buffer = reader.read()) {
    for (const osmium::Relation& relation : buffer.select<osmium::Relation>()) areas->relation(relation);
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
    osmium::area::Assembler::config_type config;
    AreaManager areas(config, AreaFilter(source));
    if (ReadRelations(source, options, &areas, error) != 0) {
      *error = source.id + ": " + *error;
      return -1;
    }
    NodeLocationStore positives, negatives;
    if (positives.Open(options.temporaryDirectory + NODE_INDEX_FILE, false, error) != 0 ||
        negatives.Open(options.temporaryDirectory + NEGATIVE_NODE_INDEX_FILE, true, error) != 0) {
      *error = source.id + ": " + *error;
      return -1;
    }
    LocationHandler locations(positives, negatives);
    locations.ignore_errors();
    const auto storeFailed = [&]() {
      const NodeLocationStore& failed = positives.Failed() ? positives : negatives;
      if (!failed.Failed()) return false;
      *error = source.id + ": " + failed.Error();
      return true;
    };
    FeatureHandler features(source, sink, summary, osm);
    LimitReadAhead();
    osmium::io::Reader reader(source.resolvedPath, osmium::io::read_meta::no);
    const uint64_t total = reader.file_size();
    auto areaHandler = areas.handler([&features](osmium::memory::Buffer&& buffer) { osmium::apply(buffer, features); });
    while (osmium::memory::Buffer buffer = reader.read()) {
      osmium::apply(buffer, locations, features, areaHandler);
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
