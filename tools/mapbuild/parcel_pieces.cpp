#include "tools/mapbuild/parcel_pieces.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "tools/mapbuild/section_encoders.h"

namespace {

// Far enough outside any parcel that nothing lies beyond it.
constexpr int32_t OUTSIDE = INT32_MAX / 4;
// An area's part in a piece is cut at most this many times more to fit one item.
constexpr int MAX_PART_SPLITS = 16;

struct Box {
  int32_t x0, y0, x1, y1;
  bool Holds(const LocalPoint& p) const { return p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1; }
};

Box PieceBox(int side, int row, int column) {
  auto edge = [side](int i) { return static_cast<int32_t>(int64_t{PARCEL_SPAN} * i / side); };
  return {column == 0 ? -OUTSIDE : edge(column), row == 0 ? -OUTSIDE : edge(row),
          column == side - 1 ? OUTSIDE : edge(column + 1), row == side - 1 ? OUTSIDE : edge(row + 1)};
}

int PieceOf(int32_t v, int side) {
  return std::clamp(static_cast<int>(int64_t{v} * side / PARCEL_SPAN), 0, side - 1);
}

LocalPoint Rounded(double x, double y) {
  return {static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y))};
}

void Append(std::vector<LocalPoint>* points, const LocalPoint& p) {
  if (points->empty() || !(points->back() == p)) points->push_back(p);
}

// The parts of a polyline inside `r` (Liang-Barsky per segment; parts that
// continue across a vertex stay one polyline).
std::vector<std::vector<LocalPoint>> ClipPolyline(const std::vector<LocalPoint>& points, const Box& r) {
  std::vector<std::vector<LocalPoint>> parts;
  std::vector<LocalPoint> current;
  for (size_t i = 0; i + 1 < points.size(); ++i) {
    const double x0 = points[i].x, y0 = points[i].y, dx = points[i + 1].x - x0, dy = points[i + 1].y - y0;
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - r.x0, r.x1 - x0, y0 - r.y0, r.y1 - y0};
    bool inside = true;
    for (int k = 0; k < 4 && inside; ++k) {
      if (p[k] == 0) {
        inside = q[k] >= 0;
      } else {
        const double t = q[k] / p[k];
        if (p[k] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        inside = t0 <= t1;
      }
    }
    if (!inside) {
      if (current.size() >= 2) parts.push_back(std::move(current));
      current.clear();
      continue;
    }
    const LocalPoint a = t0 == 0 ? points[i] : Rounded(x0 + t0 * dx, y0 + t0 * dy);
    const LocalPoint b = t1 == 1 ? points[i + 1] : Rounded(x0 + t1 * dx, y0 + t1 * dy);
    if (t0 > 0 && current.size() >= 2) parts.push_back(std::move(current));
    if (t0 > 0) current.clear();
    Append(&current, a);
    Append(&current, b);
    if (t1 < 1) {
      if (current.size() >= 2) parts.push_back(std::move(current));
      current.clear();
    }
  }
  if (current.size() >= 2) parts.push_back(std::move(current));
  return parts;
}

// A ring with a hidden flag per edge (edge i runs from point i to i + 1,
// the last back to the first).
struct Ring {
  std::vector<LocalPoint> points;
  std::vector<uint8_t> hidden;
};

// Clips a ring against one side of a rectangle (Sutherland-Hodgman): an
// edge keeps its flag, a new edge along the clipping line is hidden.
template <typename Inside, typename Cross>
Ring ClipRingSide(const Ring& ring, const Inside& inside, const Cross& cross) {
  Ring out;
  const size_t n = ring.points.size();
  uint8_t firstLeading = 0;
  auto emit = [&](const LocalPoint& p, uint8_t leading) {
    if (!out.points.empty() && out.points.back() == p) return;
    if (out.points.empty()) firstLeading = leading;
    else out.hidden.push_back(leading);
    out.points.push_back(p);
  };
  for (size_t i = 0; i < n; ++i) {
    const LocalPoint& from = ring.points[(i + n - 1) % n];
    const LocalPoint& to = ring.points[i];
    const uint8_t flag = ring.hidden[(i + n - 1) % n];
    const bool fromIn = inside(from), toIn = inside(to);
    if (fromIn && toIn) {
      emit(to, flag);
    } else if (fromIn) {
      emit(cross(from, to), flag);
    } else if (toIn) {
      emit(cross(from, to), 1);
      emit(to, flag);
    }
  }
  if (out.points.size() >= 2 && out.points.front() == out.points.back()) out.points.pop_back();
  out.hidden.push_back(firstLeading);
  out.hidden.resize(out.points.size());
  return out;
}

Ring ClipRing(Ring ring, const Box& r) {
  auto atX = [](const LocalPoint& a, const LocalPoint& b, int32_t x) {
    const double t = double(x - a.x) / double(b.x - a.x);
    return LocalPoint{x, static_cast<int32_t>(std::lround(a.y + t * (b.y - a.y)))};
  };
  auto atY = [](const LocalPoint& a, const LocalPoint& b, int32_t y) {
    const double t = double(y - a.y) / double(b.y - a.y);
    return LocalPoint{static_cast<int32_t>(std::lround(a.x + t * (b.x - a.x))), y};
  };
  ring = ClipRingSide(ring, [&](const LocalPoint& p) { return p.x >= r.x0; },
                      [&](const LocalPoint& a, const LocalPoint& b) { return atX(a, b, r.x0); });
  if (ring.points.size() < 3) return {};
  ring = ClipRingSide(ring, [&](const LocalPoint& p) { return p.x <= r.x1; },
                      [&](const LocalPoint& a, const LocalPoint& b) { return atX(a, b, r.x1); });
  if (ring.points.size() < 3) return {};
  ring = ClipRingSide(ring, [&](const LocalPoint& p) { return p.y >= r.y0; },
                      [&](const LocalPoint& a, const LocalPoint& b) { return atY(a, b, r.y0); });
  if (ring.points.size() < 3) return {};
  ring = ClipRingSide(ring, [&](const LocalPoint& p) { return p.y <= r.y1; },
                      [&](const LocalPoint& a, const LocalPoint& b) { return atY(a, b, r.y1); });
  return ring.points.size() < 3 ? Ring{} : ring;
}

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
  Box box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (const LocalPoint& p : ring.points) box = {std::min(box.x0, p.x), std::min(box.y0, p.y), std::max(box.x1, p.x), std::max(box.y1, p.y)};
  const bool small = box.x1 - box.x0 < 2 && box.y1 - box.y0 < 2;
  if (EncodedPointCount(item) <= static_cast<int32_t>(FEATURE_MAX_POINTS) || depth >= MAX_PART_SPLITS || small) {
    items->push_back(std::move(item));
    return;
  }
  const bool vertical = box.x1 - box.x0 >= box.y1 - box.y0;
  const int32_t middle = vertical ? box.x0 + (box.x1 - box.x0) / 2 : box.y0 + (box.y1 - box.y0) / 2;
  const Box halves[2] = {vertical ? Box{box.x0, box.y0, middle, box.y1} : Box{box.x0, box.y0, box.x1, middle},
                          vertical ? Box{middle, box.y0, box.x1, box.y1} : Box{box.x0, middle, box.x1, box.y1}};
  for (const Box& half : halves) AddAreaParts(like, ClipRing(ring, half), depth + 1, items);
}

}  // namespace

std::vector<ParcelContent> DivideParcelContent(const ParcelContent& content, int side) {
  std::vector<ParcelContent> pieces(static_cast<size_t>(side) * side);
  for (int row = 0; row < side; ++row) {
    for (int column = 0; column < side; ++column) {
      const Box r = PieceBox(side, row, column);
      ParcelContent& piece = pieces[static_cast<size_t>(row) * side + column];
      piece.created = content.created;
      for (const RoadLink& road : content.roads) {
        for (auto& part : ClipPolyline(road.points, r)) piece.roads.push_back({road.roadClass, std::move(part)});
      }
      for (const BackgroundItem& item : content.background) {
        if (!item.area) {
          for (auto& part : ClipPolyline(item.points, r)) {
            BackgroundItem line = item;
            line.points = std::move(part);
            line.hidden.clear();
            piece.background.push_back(std::move(line));
          }
          continue;
        }
        AddAreaParts(item, ClipRing(RingOf(item), r), 0, &piece.background);
      }
    }
  }
  for (const NameItem& name : content.names) {
    pieces[static_cast<size_t>(PieceOf(name.anchor.y, side)) * side + PieceOf(name.anchor.x, side)].names.push_back(name);
  }
  return pieces;
}
