#include "tools/mapbuild/feature_filters.h"

#include <functional>
#include <memory>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/mapbuild/label_twins.h"

namespace {

// Each feature is remembered by two independent 64-bit hashes of its rule,
// WKB and text, not whole.
class RepeatedFeatures {
 public:
  explicit RepeatedFeatures(const RecipeSource& source) : source(source) {}
  // True when `feature` repeats one seen before; else it is remembered.
  bool Repeats(const SourceFeature& feature) {
    constexpr int ANY_ROAD_RULE = -1;
    wkb.resize(feature.geometry->WkbSize());
    feature.geometry->exportToWkb(wkbNDR, wkb.data());
    const int rule = source.rules[feature.rule].kind == RULE_ROAD ? ANY_ROAD_RULE : feature.rule;
    const std::string_view shape(reinterpret_cast<const char*>(wkb.data()), wkb.size());
    const uint64_t a = Mix(std::hash<std::string_view>()(shape), std::hash<std::string>()(feature.text), rule);
    const uint64_t b = Fnv(shape, Fnv(feature.text, static_cast<uint64_t>(rule) * 0x9E3779B97F4A7C15ull));
    return !seen.emplace(a, b).second;
  }

 private:
  static uint64_t Mix(uint64_t a, uint64_t b, int rule) {
    uint64_t z = a ^ (b + 0x9E3779B97F4A7C15ull + (a << 6) + (a >> 2)) ^ static_cast<uint64_t>(rule + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    return z ^ (z >> 31);
  }
  static uint64_t Fnv(std::string_view bytes, uint64_t seed) {
    uint64_t h = 0xcbf29ce484222325ull ^ seed;
    for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
    return h;
  }

  const RecipeSource& source;
  std::vector<unsigned char> wkb;
  std::set<std::pair<uint64_t, uint64_t>> seen;
};

}  // namespace

FeatureSink DropRepeatedFeatures(const RecipeSource& source, int64_t* dropped, FeatureSink next) {
  auto repeats = std::make_shared<RepeatedFeatures>(source);
  return [repeats, dropped, next = std::move(next)](SourceFeature&& feature) {
    if (repeats->Repeats(feature)) {
      ++*dropped;
      return 0;
    }
    return next(std::move(feature));
  };
}

FeatureSink MergeLabelTwins(const RecipeSource& source, double distance, int64_t* merged, FeatureSink next) {
  auto twins = std::make_shared<LabelTwins>(distance);
  return [&source, twins, merged, next = std::move(next)](SourceFeature&& feature) {
    if (source.rules[feature.rule].kind == RULE_LABEL && wkbFlatten(feature.geometry->getGeometryType()) == wkbPoint) {
      const OGRPoint* at = feature.geometry->toPoint();
      if (twins->IsTwin(feature.rule, feature.text, at->getX(), at->getY())) {
        ++*merged;
        return 0;
      }
    }
    return next(std::move(feature));
  };
}
