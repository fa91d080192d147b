// The rule matcher's table of rules by key selects exactly the rules whose
// conditions hold, in rule order, whatever the mix of conditions; every
// match gets a geometry of its own.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/rule_matcher.h"

namespace {

constexpr char RULES[] = R"(sources:
  - path: x.osm.pbf
    trim: [駅]
    rename: {key: ref, texts: {"1": renamed, "2": ""}}
    rules:
      - {where: "highway=primary|secondary", road: 3, levels: 62}
      - {where: "highway=*&oneway!=yes", line: 20, levels: 62}
      - {where: "highway=primary&lanes>=2", road: 2, levels: 62}
      - {where: "lanes<3", line: 21, levels: 62}
      - {where: "oneway!=yes", area: 30, levels: 62}
      - {where: "*", label: 40, text: name, levels: 62}
      - {where: "place=city|town&population>=1000", label: 41, text: name, rank: population, levels: 62}
      - {where: "highway=primary", along: 50, text: name, levels: 62}
)";

class MapAttributes final : public FeatureAttributes {
 public:
  MapAttributes(const RuleMatcher& matcher, const std::map<std::string, std::string>& values)
      : matcher(matcher), values(values) {}
  const char* Value(int key) override {
    const auto found = values.find(matcher.KeyName(key));
    return found == values.end() ? nullptr : found->second.c_str();
  }

 private:
  const RuleMatcher& matcher;
  const std::map<std::string, std::string>& values;
};

// The rules a walk over every rule's conditions takes.
std::vector<int> Expected(const RecipeSource& source, const std::map<std::string, std::string>& values,
                          ObjectShape shape) {
  auto get = [&](const std::string& key) -> const char* {
    const auto found = values.find(key);
    return found == values.end() ? nullptr : found->second.c_str();
  };
  std::vector<int> rules;
  for (size_t r = 0; r < source.rules.size(); ++r) {
    const RecipeRule& rule = source.rules[r];
    bool holds = RuleTakes(rule.kind, shape);
    for (const RecipeCondition& condition : rule.where) holds = holds && ConditionHolds(condition, get(condition.key));
    if (holds && !rule.text.empty()) {
      holds = get(rule.text) != nullptr &&
              !CorrectedLabelText(source, get(source.renameKey), get(rule.text)).empty();
    }
    if (holds) rules.push_back(static_cast<int>(r));
  }
  return rules;
}

TEST(RuleMatcherTest, TheKeyTableTakesExactlyTheRulesWhoseConditionsHold) {
  Recipe recipe;
  std::string error;
  ASSERT_EQ(ParseRecipe(RULES, "r.yaml", ".", &recipe, &error), 0) << error;
  const RecipeSource& source = recipe.sources[0];
  RuleMatcher matcher(source, RuleMatcher::Habits{});
  const std::map<std::string, std::vector<std::string>> choices = {
      {"highway", {"primary", "secondary", "track", ""}}, {"oneway", {"yes", "no"}},
      {"lanes", {"1", "2", "4", "x", ""}},                {"place", {"city", "town", "village"}},
      {"population", {"500", "5000", "many"}},           {"name", {"栄駅", "駅", "", "Sakae"}},
      {"ref", {"1", "2", "3"}}};
  std::mt19937 random(7);
  int matches = 0;
  for (int feature = 0; feature < 3000; ++feature) {
    std::map<std::string, std::string> values;
    for (const auto& [key, options] : choices) {
      if (random() % 2 == 0) values[key] = options[random() % options.size()];
    }
    const auto shape = static_cast<ObjectShape>(random() % OBJECT_SHAPE_COUNT);
    MapAttributes attributes(matcher, values);
    std::vector<int> got;
    std::vector<const OGRGeometry*> geometries;
    SourceSummary summary;
    const auto make = [](GeometryFault*) { return std::make_unique<OGRPoint>(1, 2); };
    const int result = matcher.Match(ShapeBit(shape), attributes, make, [&](SourceFeature&& out) {
      got.push_back(out.rule);
      geometries.push_back(out.geometry.release());
      return 0;
    }, &summary);
    ASSERT_EQ(result, 0);
    ASSERT_EQ(got, Expected(source, values, shape)) << ::testing::PrintToString(values) << " shape " << shape;
    for (size_t i = 0; i < geometries.size(); ++i) {
      ASSERT_NE(geometries[i], nullptr);
      for (size_t j = 0; j < i; ++j) EXPECT_NE(geometries[i], geometries[j]);
    }
    for (const OGRGeometry* geometry : geometries) delete geometry;
    matches += static_cast<int>(got.size());
  }
  EXPECT_GT(matches, 1000);  // the sweep reaches the rules, not only misses
}

}  // namespace
