// The seams between the builder's stages: the chain that takes a source's
// features from the reader to its spill, in its order and on its thread.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logs_test_support.h"
#include "tools/mapbuild/feature_handoff.h"
#include "tools/mapbuild/map_build.h"

namespace {

SourceFeature Numbered(int n) {
  SourceFeature feature;
  feature.rule = n;
  feature.geometry = std::make_unique<OGRPoint>(n, n);
  return feature;
}

// Over many batches the features arrive in the order the reader gave them.
TEST(FeatureHandOffTest, FeaturesArriveWholeAndInOrder) {
  constexpr int COUNT = static_cast<int>(FeatureHandOff::BATCH_FEATURES * FeatureHandOff::WAITING_BATCHES * 3 + 7);
  std::vector<int> arrived;
  FeatureHandOff handOff([&](SourceFeature&& feature) {
    arrived.push_back(feature.geometry != nullptr && feature.geometry->toPoint()->getX() == feature.rule ? feature.rule
                                                                                                          : -1);
    return 0;
  });
  const FeatureSink sink = handOff.Sink();
  for (int n = 0; n < COUNT; ++n) ASSERT_EQ(sink(Numbered(n)), 0);
  ASSERT_EQ(handOff.Finish(), 0);
  ASSERT_EQ(arrived.size(), static_cast<size_t>(COUNT));
  for (int n = 0; n < COUNT; ++n) ASSERT_EQ(arrived[static_cast<size_t>(n)], n);
}

// A failure behind the hand-off reaches the reader within the features
// that may wait, and nothing is passed on after it.
TEST(FeatureHandOffTest, AFailureBehindStopsTheReader) {
  for (const int failAt : {0, 5, static_cast<int>(FeatureHandOff::BATCH_FEATURES) * 3}) {
    SCOPED_TRACE(failAt);
    int passed = 0;
    FeatureHandOff handOff([&](SourceFeature&& feature) {
      ++passed;
      return feature.rule == failAt ? -1 : 0;
    });
    const FeatureSink sink = handOff.Sink();
    const int bound = failAt + static_cast<int>(FeatureHandOff::BATCH_FEATURES * (FeatureHandOff::WAITING_BATCHES + 2));
    int n = 0;
    while (n < bound * 4 && sink(Numbered(n)) == 0) ++n;
    EXPECT_LE(n, bound);
    EXPECT_EQ(handOff.Finish(), -1);
    EXPECT_EQ(passed, failAt + 1);
  }
}

// Repeats are dropped before label twins are looked for: a label listed
// twice at one place is a repeat, a third one nearby a twin.
class ReadStageTest : public ScratchDirectoryTest {};

TEST_F(ReadStageTest, ALabelListedTwiceIsARepeatAndOneNearbyATwin) {
  const std::string point = R"({"type":"Feature","properties":{"name":"栄"},"geometry":{"type":"Point","coordinates":)";
  Write("labels.geojson", R"({"type":"FeatureCollection","features":[)" + point + "[136.9066,35.1720]}}," + point +
                              "[136.9066,35.1720]}}," + point + "[136.9070,35.1721]}}," + point +
                              "[136.9500,35.1721]}}]}");
  const std::string recipePath = Write("recipe.yaml", R"(title: labels
sources:
  - id: labels
    path: labels.geojson
    rules:
      - {label: 320, text: name, levels: 62}
)");
  Recipe recipe;
  std::string error, lines;
  ASSERT_EQ(LoadRecipe(recipePath, "", &recipe, &error), 0) << error;
  BuildSummary summary;
  ASSERT_EQ(BuildMapFromRecipe(recipe, (directory / "ALLDATA.KWI").string(),
                               [&](const std::string& line) { lines += line + "\n"; }, &summary, &error),
            0)
      << error;
  EXPECT_NE(lines.find("4 rule matches, 1 features repeating another exactly (left out), 1 point labels repeating a "
                       "label nearby (merged)"),
            std::string::npos)
      << lines;
  EXPECT_EQ(summary.features, 4);
}

}  // namespace
