// Applies a source's rules to its features, the same way for every reader:
// which rules match, the label text with the source's corrections, the
// rank, the geometry (made once, and repaired where the reader asks for
// it) and the counts. A reader supplies only the feature's attribute
// lookup and a maker of its geometry in map units.
//
// The rules are looked up by key, through a table built once from the
// recipe: each rule is filed under the first key its conditions require
// (and, for key=value conditions, under those values), so a feature is
// compared only with the rules its own attributes can satisfy.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <ogr_geometry.h>

#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/source_reader.h"

// The attributes of one feature, looked up by the matcher's key numbers
// (RuleMatcher::KeyName). A value must stay readable only until the next
// lookup; null: the feature has no such attribute.
class FeatureAttributes {
 public:
  virtual const char* Value(int key) = 0;

 protected:
  ~FeatureAttributes() = default;
};

// Why a feature's geometry could not be made.
enum GeometryFault { GEOMETRY_MISSING = 0, GEOMETRY_OUTSIDE = 1 };

// Every shape at once: the feature's own geometry decides what a rule
// makes of it (sources read through GDAL).
constexpr uint8_t ANY_SHAPE = (1 << OBJECT_SHAPE_COUNT) - 1;
constexpr uint8_t ShapeBit(ObjectShape shape) { return static_cast<uint8_t>(1 << shape); }

class RuleMatcher {
 public:
  // What differs between the readers' sources.
  struct Habits {
    // An area that is not valid once its vertices are rounded to map units
    // is made valid (a ring touching itself would fail to clip and be
    // lost). Areas assembled from OSM objects are taken as they come, as
    // maps built from extracts always took them.
    bool repairAreas = false;
    // Every feature offered counts as read (a file's features), not only
    // those a rule takes (an extract's objects, most of which no rule wants).
    bool countEveryFeature = false;
  };

  // `source` must outlive the matcher.
  RuleMatcher(const RecipeSource& source, Habits habits);

  // Every attribute the rules read, numbered 0..KeyCount()-1.
  int KeyCount() const { return static_cast<int>(keyNames.size()); }
  const std::string& KeyName(int key) const { return *keyNames[key]; }
  // The number of attribute `name`, or -1 when no rule reads it.
  int KeyOf(std::string_view name) const;

  // The keys one of which an object of `shape` must carry for some rule to
  // take it; false when a rule that takes the shape requires none.
  bool RequiredKeys(ObjectShape shape, std::set<std::string>* keys) const;

  // Matches one feature of the shapes in `shapes` (ShapeBit or ANY_SHAPE)
  // and hands one SourceFeature per matching rule to `sink`, in rule order.
  // `makeGeometry(GeometryFault*)` is called once, when a rule matched; it
  // returns the geometry in map units or null with the fault set. Returns
  // the sink's first non-zero result, else 0.
  template <typename MakeGeometry>
  int Match(uint8_t shapes, FeatureAttributes& attributes, const MakeGeometry& makeGeometry, const FeatureSink& sink,
            SourceSummary* summary) {
    if (habits.countEveryFeature) ++summary->read;
    if (!FindMatches(shapes, attributes)) return 0;
    if (!habits.countEveryFeature) ++summary->read;
    GeometryFault fault = GEOMETRY_MISSING;
    std::unique_ptr<OGRGeometry> geometry = makeGeometry(&fault);
    return Emit(std::move(geometry), fault, sink, summary);
  }

 private:
  // The rules filed under one key.
  struct KeyedRules {
    std::vector<int> anyValue;  // the key with any non-empty value
    std::unordered_map<std::string_view, std::vector<int>> byValue;
  };
  struct Found {
    int rule;
    std::string text;
    double rank;
  };

  int AddKey(const std::string& name);
  void FileRule(int rule);
  // Fills `found` with the rules that match; false when none does.
  bool FindMatches(uint8_t shapes, FeatureAttributes& attributes);
  bool Holds(int rule, FeatureAttributes& attributes) const;
  // The rule's label text and rank into *found; false when it has no label.
  bool ReadLabel(int rule, FeatureAttributes& attributes, Found* found) const;
  int Emit(std::unique_ptr<OGRGeometry> geometry, GeometryFault fault, const FeatureSink& sink,
           SourceSummary* summary);

  const RecipeSource& source;
  const Habits habits;
  std::vector<const std::string*> keyNames;
  std::unordered_map<std::string_view, int> keyNumbers;
  // Per rule: the key numbers of its conditions, text, rank; the shapes it takes.
  std::vector<std::vector<int>> conditionKeys;
  std::vector<int> textKey, rankKey;
  std::vector<uint8_t> ruleShapes;
  int renameKey = -1;
  // Rules with no required key, and the rules filed per key (by key number).
  std::vector<int> unkeyed;
  std::vector<int> filedKeys;
  std::vector<KeyedRules> filed;
  // Scratch of one feature.
  std::vector<int> candidates;
  std::vector<Found> found;
};

// The values of the rules' keys gathered by walking a feature's tags once
// (readers whose attributes are a list of key/value pairs). The first
// value of a key repeated in the list counts.
class TagValues final : public FeatureAttributes {
 public:
  explicit TagValues(const RuleMatcher& matcher) : matcher(matcher), values(matcher.KeyCount(), nullptr) {}

  void Clear() {
    for (int key : set) values[key] = nullptr;
    set.clear();
  }
  void Offer(std::string_view key, const char* value) {
    const int number = matcher.KeyOf(key);
    if (number < 0 || values[number] != nullptr) return;
    values[number] = value;
    set.push_back(number);
  }
  const char* Value(int key) override { return values[key]; }

 private:
  const RuleMatcher& matcher;
  std::vector<const char*> values;
  std::vector<int> set;
};
