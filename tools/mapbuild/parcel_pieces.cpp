#include "tools/mapbuild/parcel_pieces.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "tools/mapbuild/box_clip.h"
#include "tools/mapbuild/section_encoders.h"

namespace {

// Far enough outside any parcel that nothing lies beyond it.
constexpr int32_t OUTSIDE = INT32_MAX / 4;
// An area's part in a piece is cut at most this many times more to fit one item.
constexpr int MAX_PART_SPLITS = 16;

InclusiveRect PieceBox(int side, int row, int column) {
  auto edge = [side](int i) { return static_cast<int32_t>(int64_t{PARCEL_SPAN} * i / side); };
  return {column == 0 ? -OUTSIDE : edge(column), row == 0 ? -OUTSIDE : edge(row),
          column == side - 1 ? OUTSIDE : edge(column + 1), row == side - 1 ? OUTSIDE : edge(row + 1)};
}

int PieceOf(int32_t v, int side) {
  return std::clamp(static_cast<int>(int64_t{v} * side / PARCEL_SPAN), 0, side - 1);
}

using Ring = FlaggedRing<LocalPoint>;

// An area item as an open ring and back: items store the ring closed
// (last point = first) with one hidden flag per point.
Ring RingOf(const BackgroundItem& item) {
  Ring ring;
  ring.points = item.points;
  ring.hidden.assign(ring.points.size(), 0);
  for (size_t i = 0; i < item.hidden.size() && i < ring.hidden.size(); ++i) ring.hidden[i] = item.hidden[i];
  if (ring.points.size() >= 2 && ring.points.front() == ring.points.back()) {
    ring.points.pop_back();
    ring.hidden.pop_back();
  }
  return ring;
}

BackgroundItem AreaOf(const BackgroundItem& like, const Ring& ring) {
  BackgroundItem item = like;
  item.points = ring.points;
  item.points.push_back(ring.points.front());
  item.hidden = ring.hidden;
  item.hidden.push_back(0);
  return item;
}

// Adds the area `ring` (cut to the piece `r`) as items like `like`. Where
// the area leaves the piece and comes back many times, the runs along the
// piece's edges can take it over the points one item holds: it is then cut
// again through the middle of what it covers, until each part fits.
void AddAreaParts(const BackgroundItem& like, const Ring& ring, int depth, std::vector<BackgroundItem>* items) {
  if (ring.points.empty()) return;
  BackgroundItem item = AreaOf(like, ring);
  InclusiveRect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (const LocalPoint& p : ring.points) box = {std::min(box.x0, p.x), std::min(box.y0, p.y), std::max(box.x1, p.x), std::max(box.y1, p.y)};
  const bool small = box.x1 - box.x0 < 2 && box.y1 - box.y0 < 2;
  if (EncodedPointCount(item) <= static_cast<int32_t>(FEATURE_MAX_POINTS) || depth >= MAX_PART_SPLITS || small) {
    items->push_back(std::move(item));
    return;
  }
  const bool vertical = box.x1 - box.x0 >= box.y1 - box.y0;
  const int32_t middle = vertical ? box.x0 + (box.x1 - box.x0) / 2 : box.y0 + (box.y1 - box.y0) / 2;
  const InclusiveRect halves[2] = {
      vertical ? InclusiveRect{box.x0, box.y0, middle, box.y1} : InclusiveRect{box.x0, box.y0, box.x1, middle},
      vertical ? InclusiveRect{middle, box.y0, box.x1, box.y1} : InclusiveRect{box.x0, middle, box.x1, box.y1}};
  for (const InclusiveRect& half : halves) AddAreaParts(like, ClipRingToBox(ring, half), depth + 1, items);
}

}  // namespace

std::vector<ParcelContent> DivideParcelContent(const ParcelContent& content, int side) {
  std::vector<ParcelContent> pieces(static_cast<size_t>(side) * side);
  for (int row = 0; row < side; ++row) {
    for (int column = 0; column < side; ++column) {
      const InclusiveRect r = PieceBox(side, row, column);
      ParcelContent& piece = pieces[static_cast<size_t>(row) * side + column];
      piece.created = content.created;
      for (const RoadLink& road : content.roads) {
        for (auto& part : ClipPolylineToBox(road.points, r)) piece.roads.push_back({road.roadClass, std::move(part)});
      }
      for (const BackgroundItem& item : content.background) {
        if (!item.area) {
          for (auto& part : ClipPolylineToBox(item.points, r)) {
            BackgroundItem line = item;
            line.points = std::move(part);
            line.hidden.clear();
            piece.background.push_back(std::move(line));
          }
          continue;
        }
        AddAreaParts(item, ClipRingToBox(RingOf(item), r), 0, &piece.background);
      }
    }
  }
  for (const NameItem& name : content.names) {
    pieces[static_cast<size_t>(PieceOf(name.anchor.y, side)) * side + PieceOf(name.anchor.x, side)].names.push_back(name);
  }
  return pieces;
}
