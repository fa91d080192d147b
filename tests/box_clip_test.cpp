// The one box clipper on the cases where a clipper goes wrong: rings that
// run along the box's sides, touch them at one vertex or pass through a
// corner, degenerate rings, and polylines that only touch the box. Edges
// the clip adds along a side are hidden; edges the ring had keep their flag.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/mapbuild/box_clip.h"

namespace {

using Points = std::vector<LocalPoint>;
using Ring = FlaggedRing<LocalPoint>;

constexpr InclusiveRect BOX{0, 0, 10, 10};

// The ring turned to start at its smallest point, so that rings are
// compared whatever point the clip started them at.
Ring Rotated(Ring ring) {
  if (ring.points.empty()) return ring;
  const auto smallest = std::min_element(ring.points.begin(), ring.points.end(), [](const LocalPoint& a, const LocalPoint& b) {
    return a.x != b.x ? a.x < b.x : a.y < b.y;
  });
  const auto shift = smallest - ring.points.begin();
  std::rotate(ring.points.begin(), smallest, ring.points.end());
  std::rotate(ring.hidden.begin(), ring.hidden.begin() + shift, ring.hidden.end());
  return ring;
}

std::string Text(const Ring& ring) {
  std::string text;
  for (size_t i = 0; i < ring.points.size(); ++i) {
    text += "(" + std::to_string(ring.points[i].x) + "," + std::to_string(ring.points[i].y) + ")";
    if (i < ring.hidden.size()) text += ring.hidden[i] ? "-h " : " ";
  }
  return text;
}

Ring Unflagged(Points points) { return {points, std::vector<uint8_t>(points.size(), 0)}; }

TEST(BoxClipTest, RingsOnTheEdgesOfTheBox) {
  struct Case {
    const char* name;
    Ring ring;
    Ring expected;  // starting at its smallest point
  };
  const std::vector<Case> cases = {
      {"the box itself: its edges are the ring's own, none hidden",
       Unflagged({{0, 0}, {10, 0}, {10, 10}, {0, 10}}), Unflagged({{0, 0}, {10, 0}, {10, 10}, {0, 10}})},
      {"along the south side and out east: the new east edge is hidden",
       Unflagged({{0, 0}, {20, 0}, {20, 10}, {0, 10}}), {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {0, 1, 0, 0}}},
      {"a vertex on the east side from inside: kept as it is",
       Unflagged({{2, 2}, {10, 5}, {2, 8}}), Unflagged({{2, 2}, {10, 5}, {2, 8}})},
      {"through the north-east corner: two new edges meet there",
       Unflagged({{5, 5}, {15, 5}, {5, 15}}), {{{5, 5}, {10, 5}, {10, 10}, {5, 10}}, {0, 1, 1, 0}}},
      {"a hidden edge cut by the box stays hidden",
       {{{-5, 2}, {5, 2}, {5, 8}, {-5, 8}}, {1, 0, 0, 0}}, {{{0, 2}, {5, 2}, {5, 8}, {0, 8}}, {1, 0, 0, 1}}},
      {"outside, touching the east side at one vertex: nothing",
       Unflagged({{10, 5}, {15, 0}, {20, 5}, {15, 10}}), {}},
      {"outside, along the east side only: nothing encloses", Unflagged({{10, 2}, {15, 2}, {15, 8}, {10, 8}}),
       {}},
      {"two points", Unflagged({{2, 2}, {8, 8}}), {}},
      {"one point repeated", Unflagged({{3, 3}, {3, 3}, {3, 3}}), {}},
      {"no points", {}, {}},
  };
  for (const Case& c : cases) {
    const Ring clipped = Rotated(ClipRingToBox(c.ring, BOX));
    EXPECT_EQ(clipped.points, c.expected.points) << c.name << ": " << Text(clipped);
    EXPECT_EQ(clipped.hidden, c.expected.hidden) << c.name << ": " << Text(clipped);
  }
}

// A square swept across the box a unit at a time: every point it keeps
// lies in the box, one flag per point, and every hidden edge lies on a side
// of the box (the ring's own edges are all drawn).
TEST(BoxClipTest, SweptSquareStaysInTheBoxAndHidesOnlyItsCuts) {
  for (int dx = -12; dx <= 12; ++dx) {
    for (int dy = -12; dy <= 12; dy += 3) {
      const Ring ring = Unflagged({{dx + 2, dy + 1}, {dx + 9, dy + 3}, {dx + 8, dy + 9}, {dx + 1, dy + 8}});
      const Ring clipped = ClipRingToBox(ring, BOX);
      const std::string where = std::to_string(dx) + "," + std::to_string(dy) + ": " + Text(clipped);
      ASSERT_EQ(clipped.hidden.size(), clipped.points.size()) << where;
      for (size_t i = 0; i < clipped.points.size(); ++i) {
        const LocalPoint a = clipped.points[i], b = clipped.points[(i + 1) % clipped.points.size()];
        EXPECT_TRUE(a.x >= 0 && a.x <= 10 && a.y >= 0 && a.y <= 10) << where;
        const bool onSide = (a.x == b.x && (a.x == 0 || a.x == 10)) || (a.y == b.y && (a.y == 0 || a.y == 10));
        EXPECT_TRUE(onSide || !clipped.hidden[i]) << where << " edge " << i;
      }
      if (dx == 0 && dy == 0) {
        EXPECT_EQ(clipped.points, ring.points) << "the square inside is kept whole";
      }
    }
  }
}

TEST(BoxClipTest, PolylinesThatTouchTheBox) {
  struct Case {
    const char* name;
    Points line;
    std::vector<Points> expected;
  };
  const std::vector<Case> cases = {
      {"through the north-east corner only", {{0, 20}, {20, 0}}, {}},
      {"along the south side", {{-5, 0}, {15, 0}}, {{{0, 0}, {10, 0}}}},
      {"out and back in: two parts", {{5, 5}, {15, 5}, {15, 8}, {5, 8}}, {{{5, 5}, {10, 5}}, {{10, 8}, {5, 8}}}},
      {"turning at a vertex on the east side: one part", {{5, 5}, {10, 5}, {5, 8}}, {{{5, 5}, {10, 5}, {5, 8}}}},
      {"ending on the east side from outside", {{15, 5}, {10, 5}}, {}},
      {"outside", {{11, 0}, {20, 10}}, {}},
      {"crossing diagonally, crossings rounded", {{-2, 3}, {12, 6}}, {{{0, 3}, {10, 6}}}},
      {"a single point", {{5, 5}}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ClipPolylineToBox(c.line, BOX), c.expected) << c.name;
}

// The map-unit sides that cut areas between parcels: both neighbours of a
// cut find the same crossing, whichever way the edge runs.
TEST(BoxClipTest, NeighboursOfACutMeetAtTheSameCrossing) {
  const ClipPoint a{0.3, 0.1}, b{7.9, 3.3};
  for (const MapBoxSide side : {MapBoxSide{0, 4.7, true}, MapBoxSide{0, 4.7, false}, MapBoxSide{1, 1.9, true}}) {
    const ClipPoint there = side.Crossing(a, b), back = side.Crossing(b, a);
    EXPECT_TRUE(there == back) << side.axis << " " << side.at;
    EXPECT_EQ(side.axis == 0 ? there.x : there.y, side.at);
  }
}

}  // namespace
