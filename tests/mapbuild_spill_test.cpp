// The builder's compact temporary files: the node-location store gives back
// every location it was given and nothing else, refuses nodes out of id
// order, and reports a damaged or cut file instead of reading garbage; the
// feature spill gives back every feature exactly, in either of its
// geometry forms, and refuses a damaged file.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>

#include <cpl_error.h>
#include <gtest/gtest.h>
#include <ogr_geometry.h>

#include "tests/temporary_directory.h"
#include "tools/mapbuild/feature_spill.h"
#include "tools/mapbuild/node_location_store.h"

namespace {

using NodeId = osmium::unsigned_object_id_type;

class SpillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = MakeTemporaryDirectory("mapbuild_spill_test");
    ASSERT_FALSE(folder.empty());
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  std::string File(const std::string& name) const { return (folder / name).string(); }

  std::filesystem::path folder;
};

struct Node {
  NodeId id;
  osmium::Location location;
};

// Ids with gaps of every size, from the smallest to the largest id, and
// locations anywhere, negative and undefined ones included.
std::vector<Node> NodePattern(size_t count, uint64_t seed) {
  std::mt19937_64 random(seed);
  std::vector<Node> nodes;
  NodeId id = 1;
  const int32_t extremes[] = {std::numeric_limits<int32_t>::min(), -1800000000, -1, 0, 1, 1800000000,
                              std::numeric_limits<int32_t>::max()};
  for (size_t i = 0; i < count; ++i) {
    osmium::Location location(static_cast<int32_t>(random()), static_cast<int32_t>(random()));
    if (i % 5 == 0) location = osmium::Location(extremes[i % 7], extremes[(i / 7) % 7]);
    if (i % 3 == 0 && i > 0) {
      // Near the last location, wrapping around at the int32 extremes.
      const auto near = [](int32_t value, uint32_t step) {
        return static_cast<int32_t>(static_cast<uint32_t>(value) + step);
      };
      location = osmium::Location(near(nodes.back().location.x(), 37), near(nodes.back().location.y(), -11u));
    }
    nodes.push_back({id, location});
    const uint64_t gap = i % 11 == 0 ? (uint64_t{1} << (random() % 40)) : 1 + random() % 3;
    id += gap;
  }
  nodes.push_back({std::numeric_limits<NodeId>::max() - 1, osmium::Location(-5, 7)});
  nodes.push_back({std::numeric_limits<NodeId>::max(), osmium::Location()});
  return nodes;
}

TEST_F(SpillTest, NodeStoreGivesBackEveryLocationAcrossBlockEdges) {
  // Counts around the block size leave the last block full, one short
  // and one over; lookups come before the last nodes are set, so the
  // block being gathered is sealed early and the nodes after it go on.
  const size_t counts[] = {1, NODE_BLOCK_NODES - 1, NODE_BLOCK_NODES, NODE_BLOCK_NODES + 1, 5000};
  for (size_t count : counts) {
    SCOPED_TRACE(count);
    const std::vector<Node> nodes = NodePattern(count, count);
    NodeLocationStore store;
    std::string error;
    ASSERT_EQ(store.Open(File("nodes"), false, &error), 0) << error;
    const size_t early = nodes.size() / 2;
    for (size_t i = 0; i < early; ++i) store.set(nodes[i].id, nodes[i].location);
    EXPECT_EQ(store.get_noexcept(nodes[0].id), nodes[0].location);
    for (size_t i = early; i < nodes.size(); ++i) store.set(nodes[i].id, nodes[i].location);
    ASSERT_FALSE(store.Failed()) << store.Error();
    EXPECT_EQ(store.size(), nodes.size());
    // Twice over, backwards, so the second round meets both cached and
    // evicted blocks.
    for (int round = 0; round < 2; ++round) {
      for (size_t i = nodes.size(); i-- > 0;) {
        ASSERT_EQ(store.get_noexcept(nodes[i].id), nodes[i].location) << "node " << nodes[i].id;
        // The ids in a gap and before the first are not there.
        if (i + 1 < nodes.size() && nodes[i + 1].id > nodes[i].id + 1) {
          EXPECT_FALSE(store.get_noexcept(nodes[i].id + 1).is_defined());
        }
      }
    }
    EXPECT_FALSE(store.get_noexcept(0).is_defined());
    EXPECT_FALSE(store.Failed()) << store.Error();
    // Far smaller than libosmium's 16 bytes a node.
    if (count == 5000) {
      EXPECT_LT(store.FileBytes(), nodes.size() * 10);
    }
  }
}

TEST_F(SpillTest, NodeStoreRefusesNodesOutOfIdOrder) {
  const NodeId repeats[][2] = {{10, 9}, {10, 10}};
  for (const auto& ids : repeats) {
    NodeLocationStore store;
    std::string error;
    ASSERT_EQ(store.Open(File("nodes"), true, &error), 0) << error;
    store.set(ids[0], osmium::Location(1, 1));
    store.set(ids[1], osmium::Location(2, 2));
    ASSERT_TRUE(store.Failed());
    EXPECT_NE(store.Error().find("node -" + std::to_string(ids[1]) + " comes after node -10"), std::string::npos)
        << store.Error();
    EXPECT_NE(store.Error().find("osmium sort"), std::string::npos) << store.Error();
  }
}

TEST_F(SpillTest, DamagedOrCutNodeStoreIsAnErrorNotGarbage) {
  enum Damage { FLIPPED_BYTE, CUT_SHORT };
  for (Damage damage : {FLIPPED_BYTE, CUT_SHORT}) {
    SCOPED_TRACE(damage);
    const std::vector<Node> nodes = NodePattern(20 * NODE_BLOCK_NODES, 7);
    NodeLocationStore store;
    std::string error;
    ASSERT_EQ(store.Open(File("nodes"), false, &error), 0) << error;
    for (const Node& node : nodes) store.set(node.id, node.location);
    // The first lookup writes every block and caches only the first.
    ASSERT_EQ(store.get_noexcept(nodes[0].id), nodes[0].location);
    const off_t size = static_cast<off_t>(store.FileBytes());
    const int fd = ::open(File("nodes").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    if (damage == FLIPPED_BYTE) {
      uint8_t byte = 0;
      ASSERT_EQ(::pread(fd, &byte, 1, size - 3), 1);
      byte ^= 0x40;
      ASSERT_EQ(::pwrite(fd, &byte, 1, size - 3), 1);
    } else {
      ASSERT_EQ(::ftruncate(fd, size / 2), 0);
    }
    ::close(fd);
    EXPECT_FALSE(store.get_noexcept(nodes[nodes.size() - 2].id).is_defined());
    EXPECT_TRUE(store.Failed());
    EXPECT_NE(store.Error().find(File("nodes")), std::string::npos) << store.Error();
  }
}

// One feature of each geometry the readers make, in whole map units, and
// others that only the WKB form keeps exactly.
struct SpillCase {
  const char* wkt;
  bool whole;  // every coordinate a whole number of map units
};
const SpillCase SPILL_CASES[] = {
    {"POINT (53913600 16128000)", true},
    {"LINESTRING (-3 4,5 -6,2147483647 -2147483648,0 0)", true},
    {"POLYGON ((0 0,10 0,10 10,0 10,0 0),(2 2,3 2,3 3,2 2))", true},
    {"POLYGON EMPTY", true},
    {"MULTIPOINT ((1 2),(3 4))", true},
    {"MULTILINESTRING ((1 2,3 4),(5 6,7 8,9 10))", true},
    {"MULTIPOLYGON (((0 0,4 0,4 4,0 0)),((10 10,14 10,14 14,10 10),(11 11,12 11,12 12,11 11)))", true},
    {"LINESTRING (0.5 1,2 3)", false},
    {"POINT (1e15 3)", false},
    {"LINESTRING Z (1 2 3,4 5 6)", false},
    {"GEOMETRYCOLLECTION (POINT (1 2),LINESTRING (3 4,5 6))", false},
    {"POINT EMPTY", false},
};

std::vector<uint8_t> Wkb(const OGRGeometry& geometry) {
  std::vector<uint8_t> bytes(geometry.WkbSize());
  geometry.exportToWkb(wkbNDR, bytes.data(), wkbVariantIso);
  return bytes;
}

std::unique_ptr<OGRGeometry> FromWkt(const char* wkt) {
  OGRGeometry* geometry = nullptr;
  EXPECT_EQ(OGRGeometryFactory::createFromWkt(wkt, nullptr, &geometry), OGRERR_NONE) << wkt;
  return std::unique_ptr<OGRGeometry>(geometry);
}

// Spills the cases spread over the levels and sources, with texts and
// ranks; returns the spill's bytes.
uint64_t SpillCases(FeatureSpill* spill, const std::string& prefix) {
  std::string error;
  EXPECT_EQ(spill->Open(prefix, &error), 0) << error;
  for (size_t i = 0; i < std::size(SPILL_CASES); ++i) {
    RecipeRule rule;
    rule.firstLevel = 0;
    rule.lastLevel = static_cast<int>(i % STANDARD_LEVEL_COUNT);
    SourceFeature feature;
    feature.rule = static_cast<int>(i % 3);
    feature.geometry = FromWkt(SPILL_CASES[i].wkt);
    feature.text = i % 2 == 0 ? "名古屋 " + std::to_string(i) : "";
    feature.rank = i % 4 == 0 ? 0.0 : i % 4 == 1 ? -0.0 : 1.5 * static_cast<double>(i);
    EXPECT_EQ(spill->Add(static_cast<int>(i % 2), rule, feature, &error), 0) << error;
  }
  EXPECT_EQ(spill->Close(&error), 0) << error;
  return spill->Bytes();
}

TEST_F(SpillTest, FeatureSpillGivesBackEveryFeatureExactlyInEitherForm) {
  FeatureSpill spill;
  SpillCases(&spill, File("features"));
  std::vector<SpilledFeature> read;
  std::string error;
  const auto all = [](uint64_t, int, int) { return true; };
  ASSERT_EQ(spill.Read(0, all, [&](const SpilledFeature& f) {
    SpilledFeature copy;
    copy.sequence = f.sequence;
    copy.source = f.source;
    copy.feature.rule = f.feature.rule;
    copy.feature.text = f.feature.text;
    copy.feature.rank = f.feature.rank;
    copy.feature.geometry.reset(f.feature.geometry->clone());
    read.push_back(std::move(copy));
    return 0;
  }, &error), 0) << error;
  ASSERT_EQ(read.size(), std::size(SPILL_CASES));
  for (size_t i = 0; i < read.size(); ++i) {
    SCOPED_TRACE(SPILL_CASES[i].wkt);
    EXPECT_EQ(read[i].sequence, i);
    EXPECT_EQ(read[i].source, static_cast<int>(i % 2));
    EXPECT_EQ(read[i].feature.rule, static_cast<int>(i % 3));
    EXPECT_EQ(read[i].feature.text, i % 2 == 0 ? "名古屋 " + std::to_string(i) : "");
    EXPECT_EQ(std::signbit(read[i].feature.rank), i % 4 == 1);
    EXPECT_EQ(read[i].feature.rank, i % 4 < 2 ? 0.0 : 1.5 * static_cast<double>(i));
    const std::unique_ptr<OGRGeometry> written = FromWkt(SPILL_CASES[i].wkt);
    EXPECT_EQ(Wkb(*read[i].feature.geometry), Wkb(*written));
    EXPECT_EQ(read[i].feature.geometry->getCoordinateDimension(), written->getCoordinateDimension());
  }
  // A level reads only the features whose rules reach it.
  int atLastLevel = 0;
  ASSERT_EQ(spill.Read(STANDARD_LEVEL_COUNT - 1, all, [&](const SpilledFeature&) { return ++atLastLevel, 0; }, &error),
            0);
  EXPECT_EQ(atLastLevel, spill.CountAt(STANDARD_LEVEL_COUNT - 1));
}

TEST_F(SpillTest, WholeUnitGeometriesTakeTheCompactForm) {
  // A long road in whole map units, and the same road half a unit off.
  std::string whole = "LINESTRING (", half = "LINESTRING (";
  for (int i = 0; i < 500; ++i) {
    const std::string x = std::to_string(53913600 + 7 * i), y = std::to_string(16128000 - 3 * i);
    whole += (i > 0 ? "," : "") + x + " " + y;
    half += (i > 0 ? "," : "") + x + ".5 " + y;
  }
  uint64_t bytes[2] = {};
  for (int i = 0; i < 2; ++i) {
    FeatureSpill spill;
    std::string error;
    ASSERT_EQ(spill.Open(File("compact" + std::to_string(i)), &error), 0);
    RecipeRule rule;
    SourceFeature feature;
    feature.geometry = FromWkt((i == 0 ? whole + ")" : half + ")").c_str());
    ASSERT_EQ(spill.Add(0, rule, feature, &error), 0);
    ASSERT_EQ(spill.Close(&error), 0);
    bytes[i] = spill.Bytes();
  }
  EXPECT_LT(bytes[0] * 4, bytes[1]);
  // Each case alone: a head of four one-byte varints, the flags and the
  // text's size, then the geometry in the integer form, which is always
  // smaller than its WKB, or the WKB itself.
  for (const SpillCase& spillCase : SPILL_CASES) {
    FeatureSpill spill;
    std::string error;
    ASSERT_EQ(spill.Open(File("single"), &error), 0);
    RecipeRule rule;
    SourceFeature feature;
    feature.geometry = FromWkt(spillCase.wkt);
    ASSERT_EQ(spill.Add(0, rule, feature, &error), 0);
    ASSERT_EQ(spill.Close(&error), 0);
    EXPECT_EQ(spill.Bytes() < 6 + feature.geometry->WkbSize(), spillCase.whole) << spillCase.wkt;
  }
}

TEST_F(SpillTest, DamagedOrCutFeatureSpillIsAnErrorNotACrash) {
  FeatureSpill spill;
  SpillCases(&spill, File("features"));
  // The file of level index 0 holds a feature in each form.
  const std::string path = File("features.0");
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(original.size(), 20u);
  const auto readAll = [&](std::string* error) {
    return spill.Read(0, [](uint64_t, int, int) { return true; }, [](const SpilledFeature&) { return 0; }, error);
  };
  const auto rewrite = [&](const std::vector<char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  };
  // Cut anywhere: refused.
  for (size_t size : {size_t{0}, size_t{1}, original.size() / 2, original.size() - 1}) {
    rewrite(std::vector<char>(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(size)));
    std::string error;
    EXPECT_EQ(readAll(&error), -1) << size;
    EXPECT_NE(error.find(path), std::string::npos) << error;
  }
  // Any byte changed: read or refused, never a crash or a read past the
  // record (the sanitizer builds check that). GDAL's own complaints about
  // damaged WKB stay quiet.
  CPLPushErrorHandler(CPLQuietErrorHandler);
  for (size_t at = 0; at < original.size(); ++at) {
    for (uint8_t flip : {0x01, 0x80, 0xFF}) {
      std::vector<char> damaged = original;
      damaged[at] = static_cast<char>(damaged[at] ^ flip);
      rewrite(damaged);
      std::string error;
      readAll(&error);
    }
  }
  CPLPopErrorHandler();
  // A source beyond any written is refused: the head's second varint.
  std::vector<char> wrongSource = original;
  wrongSource[1] = 0x7F;
  rewrite(wrongSource);
  std::string error;
  EXPECT_EQ(readAll(&error), -1);
}

// Sources read at the same time are written to their spills in any order;
// reading numbers them as if they had been read in recipe order.
TEST_F(SpillTest, SourceSpillsReadBackInRecipeOrderWhateverOrderTheyWereWritten) {
  SourceSpills spills(File("sources"), 3);
  std::string error;
  const int features[3] = {2, 0, 3};  // the middle source gave nothing
  for (int source : {2, 0, 1}) {
    FeatureSpill* spill = spills.Open(source, &error);
    ASSERT_NE(spill, nullptr) << error;
    for (int i = 0; i < features[source]; ++i) {
      RecipeRule rule;
      rule.lastLevel = i % 2 == 0 ? 0 : STANDARD_LEVEL_COUNT - 1;
      SourceFeature feature;
      feature.rule = i;
      feature.geometry = FromWkt("POINT (1 2)");
      ASSERT_EQ(spill->Add(source, rule, feature, &error), 0) << error;
    }
    ASSERT_EQ(spill->Close(&error), 0) << error;
  }
  EXPECT_EQ(spills.CountAt(0), 5);
  std::vector<std::pair<uint64_t, std::pair<int, int>>> read;
  ASSERT_EQ(spills.Read(0, [](uint64_t, int, int) { return true; },
                        [&](const SpilledFeature& f) {
                          read.push_back({f.sequence, {f.source, f.feature.rule}});
                          return 0;
                        },
                        &error),
            0)
      << error;
  const std::vector<std::pair<uint64_t, std::pair<int, int>>> expected = {
      {0, {0, 0}}, {1, {0, 1}}, {2, {2, 0}}, {3, {2, 1}}, {4, {2, 2}}};
  EXPECT_EQ(read, expected);
}

}  // namespace
