#include "tools/mapbuild/parcel_emitters.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "mapdata/map_layout.h"
#include "platform/unicode.h"
#include "tools/mapbuild/parcel_units.h"
#include "tools/mapbuild/section_encoders.h"

namespace {

// A label character's width in pixels (the label font's full-width
// characters) and the room left at each end of an along-line name.
constexpr double CHARACTER_PIXELS = 15.0;
// Steps (pixels) in which a line is walked to place those characters.
constexpr double SAMPLE_PIXELS = 0.5;
// Background items are split further above this many encoded points, so
// that the encoder's limit is never reached.
constexpr int32_t ITEM_POINT_BUDGET = FEATURE_MAX_POINTS - 64;
// A ring is split at most this many times before it is given up.
constexpr int MAX_SPLIT_DEPTH = 16;
constexpr int MAX_CUT_EXAMPLES = 5;

bool OnSameEdge(const LocalPoint& a, const LocalPoint& b, const InclusiveRect& r) {
  return (a.x == r.x0 && b.x == r.x0) || (a.x == r.x1 && b.x == r.x1) || (a.y == r.y0 && b.y == r.y0) ||
         (a.y == r.y1 && b.y == r.y1);
}

std::u16string LabelText(const EmitContext& c) {
  std::u16string text = Utf8ToUtf16(c.feature.text);
  if (text.size() > MAX_NAME_CHARACTERS) {
    ++c.report->cutNames;
    if (c.report->cutExamples.size() < MAX_CUT_EXAMPLES) c.report->cutExamples.push_back(c.feature.text);
    text.resize(Utf16CutLength(text, MAX_NAME_CHARACTERS));
  }
  return text;
}

// The two halves of `rect` for splitting `polygon`: through its first
// hole's centre when it has one, else through its middle, across the
// rectangle's longer side.
void SplitHalves(const ClipPolygon& polygon, const InclusiveRect& rect, InclusiveRect halves[2]) {
  ClipBox e;
  ClipShapeBounds(ClipShape{polygon.size() > 1 ? ClipPolygon{polygon[1]} : polygon}, &e);
  const bool vertical = (rect.x1 - rect.x0) >= (rect.y1 - rect.y0);
  int32_t cut = vertical ? static_cast<int32_t>(std::lround((e.x0 + e.x1) / 2))
                         : static_cast<int32_t>(std::lround((e.y0 + e.y1) / 2));
  cut = vertical ? std::clamp(cut, rect.x0 + 1, rect.x1 - 1) : std::clamp(cut, rect.y0 + 1, rect.y1 - 1);
  halves[0] = vertical ? InclusiveRect{rect.x0, rect.y0, cut, rect.y1} : InclusiveRect{rect.x0, rect.y0, rect.x1, cut};
  halves[1] = vertical ? InclusiveRect{cut, rect.y0, rect.x1, rect.y1} : InclusiveRect{rect.x0, cut, rect.x1, rect.y1};
}

// AddArea for the part of the parcel `rect`, `depth` splits deep.
void AddAreaIn(const EmitContext& c, ParcelContent* content, const ClipPolygon& polygon, const InclusiveRect& rect,
               int depth) {
  if (polygon.empty() || polygon[0].size() < 3) return;
  BackgroundItem item;
  item.code = c.rule.code;
  item.area = true;
  item.order = static_cast<uint8_t>(c.rule.order);
  item.points = RoundedClosedRing(polygon[0]);
  if (item.points.size() < 3) return;
  const bool tooBig = EncodedPointCount(item) > ITEM_POINT_BUDGET;
  if ((polygon.size() == 1 && !tooBig) || depth >= MAX_SPLIT_DEPTH || (rect.x1 - rect.x0 < 2 && rect.y1 - rect.y0 < 2)) {
    if (tooBig) {
      ++c.report->tooComplex;
      return;
    }
    item.hidden.resize(item.points.size(), 0);
    for (size_t i = 0; i + 1 < item.points.size(); ++i) {
      item.hidden[i] = OnSameEdge(item.points[i], item.points[i + 1], rect) ? 1 : 0;
    }
    content->background.push_back(std::move(item));
    return;
  }
  ++c.report->splitAreas;
  InclusiveRect halves[2];
  SplitHalves(polygon, rect, halves);
  // Cut by hand as between parcels: a hole the cut runs through opens
  // into a bay of its shell.
  ClipShape whole;
  if (ClipPolygon rings = WithoutRepeats(polygon); !rings.empty()) whole.push_back(std::move(rings));
  for (const InclusiveRect& half : halves) {
    const ClipBox box{double(half.x0), double(half.y0), double(half.x1), double(half.y1)};
    for (const ClipPolygon& part : SeparatedWhereJoined(ClipShapeToBox(whole, box), box)) {
      AddAreaIn(c, content, part, half, depth + 1);
    }
  }
}

// Where the characters of an along-line name go on `line` (pixels at one
// step, x east, y north), as distances along it from `start`: each
// character is placed at the first point of the line whose pixel lies
// CHARACTER_PIXELS or more from the previous character's pixel on either
// axis, so that their boxes never overlap, also on diagonal and curved
// lines. Returns fewer positions than `count` where the line ends first.
std::vector<double> CharacterPositions(const std::vector<double>& along, const std::vector<double>& px,
                                       const std::vector<double>& py, double start, size_t count) {
  std::vector<double> positions;
  double lastX = 0, lastY = 0;
  size_t segment = 1;
  for (double at = start; at <= along.back() && positions.size() < count; at += SAMPLE_PIXELS) {
    while (segment + 1 < along.size() && along[segment] < at) ++segment;
    const double length = along[segment] - along[segment - 1];
    const double f = length > 0 ? (at - along[segment - 1]) / length : 0;
    const double x = px[segment - 1] + f * (px[segment] - px[segment - 1]);
    const double y = py[segment - 1] + f * (py[segment] - py[segment - 1]);
    if (positions.empty() || std::max(std::fabs(x - lastX), std::fabs(y - lastY)) >= CHARACTER_PIXELS) {
      positions.push_back(at);
      lastX = x;
      lastY = y;
    }
  }
  return positions;
}

// `points` with the distance along it of each point, in pixels of `step`
// (parcel units differ east and north).
struct LineInPixels {
  std::vector<double> px, py, along;
};
LineInPixels InPixels(const EmitContext& c, const std::vector<LocalPoint>& points, int step) {
  const double xPixels = static_cast<double>(c.grid.parcelWidth) / PARCEL_SPAN / SCALE_STEPS[step].unitsPerPixelX;
  const double yPixels = static_cast<double>(c.grid.parcelHeight) / PARCEL_SPAN / SCALE_STEPS[step].unitsPerPixelY;
  LineInPixels line;
  line.along.assign(points.size(), 0);
  for (size_t i = 0; i < points.size(); ++i) {
    line.px.push_back(points[i].x * xPixels);
    line.py.push_back(points[i].y * yPixels);
    if (i > 0) line.along[i] = line.along[i - 1] + std::hypot(line.px[i] - line.px[i - 1], line.py[i] - line.py[i - 1]);
  }
  return line;
}

// The characters of `name` at distances `at` along `points`: its anchor
// and each character's offset from the one before.
void PlaceCharacters(const std::vector<LocalPoint>& points, const std::vector<double>& along,
                     const std::vector<double>& at, NameItem* name) {
  LocalPoint previous{};
  size_t segment = 1;
  for (size_t i = 0; i < at.size(); ++i) {
    while (segment + 1 < points.size() && along[segment] < at[i]) ++segment;
    const double length = along[segment] - along[segment - 1];
    const double f = length > 0 ? (at[i] - along[segment - 1]) / length : 0;
    const LocalPoint here{static_cast<int32_t>(std::lround(points[segment - 1].x + f * (points[segment].x - points[segment - 1].x))),
                          static_cast<int32_t>(std::lround(points[segment - 1].y + f * (points[segment].y - points[segment - 1].y)))};
    if (i == 0) name->anchor = here;
    name->offsets.push_back(i == 0 ? LocalPoint{} : LocalPoint{here.x - previous.x, here.y - previous.y});
    previous = here;
  }
}

}  // namespace

void AddRoad(const EmitContext& c, ParcelContent* content, std::vector<LocalPoint> points) {
  content->roads.push_back({static_cast<uint8_t>(c.rule.code), std::move(points)});
}

void AddLine(const EmitContext& c, ParcelContent* content, std::vector<LocalPoint> points) {
  // Long lines go into several items that share their end points.
  constexpr size_t CHUNK = ITEM_POINT_BUDGET / 2;
  for (size_t first = 0; first + 1 < points.size(); first += CHUNK) {
    BackgroundItem item;
    item.code = c.rule.code;
    item.order = static_cast<uint8_t>(c.rule.order);
    item.points.assign(points.begin() + first, points.begin() + std::min(points.size(), first + CHUNK + 1));
    if (EncodedPointCount(item) > ITEM_POINT_BUDGET) {  // long moves: halve the chunk's points again
      const size_t half = item.points.size() / 2;
      BackgroundItem second = item;
      second.points.erase(second.points.begin(), second.points.begin() + half);
      item.points.resize(half + 1);
      content->background.push_back(second);
    }
    content->background.push_back(item);
  }
}

void AddAlongLabels(const EmitContext& c, ParcelContent* content, std::vector<LocalPoint> points) {
  const std::u16string text = LabelText(c);
  if (text.empty()) return;
  if (points.back().x < points.front().x) std::reverse(points.begin(), points.end());  // read left to right
  for (int detail = 0; detail < RECIPE_DETAIL_CLASSES; ++detail) {
    const uint8_t bit = static_cast<uint8_t>(16 >> detail);
    const int step = c.grid.firstStep + detail;
    if ((c.rule.detailMask & bit) == 0 || step > c.grid.lastStep) continue;
    const LineInPixels line = InPixels(c, points, step);
    // Placed from the line's start first, then again from the start that
    // centres the name with equal room left at both ends.
    std::vector<double> at = CharacterPositions(line.along, line.px, line.py, CHARACTER_PIXELS, text.size());
    if (at.size() == text.size()) {
      const double room = line.along.back() - CHARACTER_PIXELS - at.back();
      at = CharacterPositions(line.along, line.px, line.py, CHARACTER_PIXELS + std::floor(room / 2), text.size());
    }
    if (at.size() < text.size() || line.along.back() - at.back() < CHARACTER_PIXELS) {
      ++c.report->noRoom;
      continue;
    }
    bool present = false;
    for (const NameItem& other : content->names) present = present || (other.text == text && other.detailMask == bit);
    if (present) continue;
    NameItem name;
    name.type = NAME_ALONG;
    name.code = c.rule.code;
    name.detailMask = bit;
    name.group = static_cast<uint8_t>(std::min(c.rule.order, MAX_NAME_GROUPS - 1));
    name.text = text;
    PlaceCharacters(points, line.along, at, &name);
    content->names.push_back(std::move(name));
  }
}

void AddPointLabel(const EmitContext& c, ParcelContent* content, const ClipPoint& anchor) {
  NameItem name;
  name.type = NAME_POINT;
  name.code = c.rule.code;
  name.detailMask = c.rule.detailMask;
  name.group = static_cast<uint8_t>(std::min(c.rule.order, MAX_NAME_GROUPS - 1));
  name.priority = static_cast<int>(std::clamp(c.feature.rank, -2e9, 2e9));
  name.anchor = Rounded(anchor);
  name.text = LabelText(c);
  if (!name.text.empty()) content->names.push_back(std::move(name));
}

void AddArea(const EmitContext& c, ParcelContent* content, const ClipPolygon& polygon) {
  AddAreaIn(c, content, polygon, WHOLE_PARCEL, 0);
}

const Emitter& EmitterFor(RuleKind kind) {
  static const Emitter ROAD{FeatureShape::LINES, AddRoad, nullptr, nullptr};
  static const Emitter AREA{FeatureShape::AREAS, nullptr, nullptr, AddArea};
  static const Emitter LINE{FeatureShape::LINES, AddLine, nullptr, nullptr};
  static const Emitter LABEL{FeatureShape::ANCHOR, nullptr, AddPointLabel, nullptr};
  static const Emitter ALONG{FeatureShape::LINES_EXACT, AddAlongLabels, nullptr, nullptr};
  switch (kind) {
    case RULE_ROAD: return ROAD;
    case RULE_AREA: return AREA;
    case RULE_LINE: return LINE;
    case RULE_LABEL: return LABEL;
    case RULE_ALONG: return ALONG;
  }
  return LINE;
}

int64_t MergeRepeatedAlongNames(ParcelContent* content) {
  std::set<std::pair<std::u16string, uint8_t>> seen;
  int64_t merged = 0;
  std::vector<NameItem> kept;
  kept.reserve(content->names.size());
  for (NameItem& name : content->names) {
    const bool repeated = !seen.insert({name.text, name.detailMask}).second;
    if (repeated && name.type == NAME_ALONG) {
      ++merged;
      continue;
    }
    kept.push_back(std::move(name));
  }
  content->names = std::move(kept);
  return merged;
}
