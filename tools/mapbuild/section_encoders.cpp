#include "tools/mapbuild/section_encoders.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace {

// Big-endian words into a growing byte string.
struct Bytes {
  std::vector<uint8_t> data;
  void U8(uint32_t v) { data.push_back(static_cast<uint8_t>(v)); }
  void U16(uint32_t v) {
    U8(v >> 8);
    U8(v);
  }
  void U32(uint32_t v) {
    U16(v >> 16);
    U16(v);
  }
  void Set16(size_t at, uint32_t v) {
    data[at] = static_cast<uint8_t>(v >> 8);
    data[at + 1] = static_cast<uint8_t>(v);
  }
  void PadToWord() {
    if (data.size() % 2 != 0) U8(0);
  }
  uint32_t Words() const { return static_cast<uint32_t>(data.size() / 2); }
};

constexpr uint32_t EMPTY_GROUP = 0xFFFF;

// --- Roads ---

constexpr int ROAD_SECTION_HEAD = 8;
constexpr uint32_t ROAD_GROUP_FLAGS = 0xF;  // no fields A, B, C; no per-segment trailer
constexpr uint32_t ROAD_FIXED_WORDS = 5;    // header, shape word, skipped word, attributes
constexpr int MAX_SEGMENT_DELTAS = 0x3FF;
constexpr int MAX_OBJECT_SEGMENTS = 0x7FF;
constexpr int DRAW_CLASS_SHIFT = 12;

// Road and name coordinates: 13 bits plus a count of 4096s in the top three.
uint32_t RoadCoordinate(int32_t value) {
  const uint32_t v = static_cast<uint32_t>(std::clamp(value, 0, 0xFFFF));
  return v < 0x2000 ? v : ((v >> 12) << 13) | (v & 0xFFF);
}

bool FitsDelta(const LocalPoint& from, const LocalPoint& to) {
  return std::abs(to.x - from.x) <= MAX_DELTA && std::abs(to.y - from.y) <= MAX_DELTA;
}

struct Segment {
  LocalPoint start;
  std::vector<LocalPoint> deltas;
};

// Cuts a polyline into shape segments: a move too long for a signed byte
// starts a new segment at its far end (the reader joins it to the last one).
std::vector<Segment> ShapeSegments(const std::vector<LocalPoint>& points) {
  std::vector<Segment> segments;
  for (size_t i = 0; i < points.size(); ++i) {
    if (i > 0 && points[i] == points[i - 1]) continue;
    if (segments.empty() || !FitsDelta(points[i - 1], points[i]) ||
        segments.back().deltas.size() >= MAX_SEGMENT_DELTAS) {
      segments.push_back({points[i], {}});
    } else {
      segments.back().deltas.push_back({points[i].x - points[i - 1].x, points[i].y - points[i - 1].y});
    }
  }
  return segments;
}

void PutObject(Bytes* out, uint8_t roadClass, const Segment* segments, size_t count) {
  out->U32(ROAD_FIXED_WORDS);
  out->U16(static_cast<uint32_t>(count));
  out->U16(0);
  out->U16(uint32_t{roadClass} << DRAW_CLASS_SHIFT);
  for (size_t s = 0; s < count; ++s) {
    out->U16(static_cast<uint32_t>(segments[s].deltas.size()));
    out->U16(RoadCoordinate(segments[s].start.x));
    out->U16(RoadCoordinate(segments[s].start.y));
    for (const LocalPoint& d : segments[s].deltas) {
      out->U8(static_cast<uint8_t>(static_cast<int8_t>(d.x)));
      out->U8(static_cast<uint8_t>(static_cast<int8_t>(d.y)));
    }
  }
}

// --- Background ---

constexpr int CLASS_SLOTS = 32;
constexpr uint32_t DIRECTORY_WORDS = 2 * CLASS_SLOTS;
constexpr uint32_t GROUP_KIND_LINES = 1;
constexpr uint32_t GROUP_KIND_AREAS = 2;
constexpr uint32_t ITEM_CLASS = 1;         // any nonzero item class has a shape
constexpr uint32_t ITEM_FLAG_TOGGLES = 1u << 10;  // zero deltas flip the hidden-edge flag
constexpr uint32_t ITEM_FIXED_WORDS = 6;   // header, class word, type, flags, first point

// The point sequence of an item as it is written: steps of at most a signed
// byte, and a repeated point wherever the hidden-edge flag changes.
std::vector<LocalPoint> EncodedPoints(const BackgroundItem& item, bool* toggles) {
  std::vector<LocalPoint> out;
  *toggles = false;
  bool flag = false;
  for (size_t i = 0; i < item.points.size(); ++i) {
    const LocalPoint p = item.points[i];
    if (i > 0) {
      const LocalPoint from = out.back();
      if (p == from) continue;
      const int steps = (std::max(std::abs(p.x - from.x), std::abs(p.y - from.y)) + MAX_DELTA - 1) / MAX_DELTA;
      for (int k = 1; k <= steps; ++k) {
        out.push_back({from.x + (p.x - from.x) * k / steps, from.y + (p.y - from.y) * k / steps});
      }
    } else {
      out.push_back(p);
    }
    const bool hidden = i < item.hidden.size() && item.hidden[i] != 0 && i + 1 < item.points.size();
    if (hidden != flag) {
      out.push_back(p);  // a zero step flips the flag
      flag = hidden;
      *toggles = true;
    }
  }
  return out;
}

void PutItem(Bytes* out, const BackgroundItem& item, const std::vector<LocalPoint>& points, bool toggles) {
  const uint32_t words = ITEM_FIXED_WORDS + static_cast<uint32_t>(points.size() - 1);
  out->U16(words);
  out->U16((ITEM_CLASS << 11) | static_cast<uint32_t>(points.size() - 1));
  out->U16(item.code);
  out->U16(toggles ? ITEM_FLAG_TOGGLES : 0);
  out->U16(static_cast<uint32_t>(std::clamp(points[0].x, 0, 0x1FFF)));
  out->U16(static_cast<uint32_t>(std::clamp(points[0].y, 0, 0x1FFF)));
  for (size_t i = 1; i < points.size(); ++i) {
    out->U8(static_cast<uint8_t>(static_cast<int8_t>(points[i].x - points[i - 1].x)));
    out->U8(static_cast<uint8_t>(static_cast<int8_t>(points[i].y - points[i - 1].y)));
  }
}

// --- Names ---

constexpr uint32_t NAME_FIXED_BYTES = 14;  // header, attributes, class, style, x, y, count
constexpr int MAX_OFFSET_SHIFT = 7;

std::vector<uint8_t> NameRecord(const NameItem& name) {
  Bytes record;
  const size_t count = std::min<size_t>(name.text.size(), MAX_NAME_CHARACTERS);
  int shift = 0;
  if (name.type == NAME_ALONG) {
    int largest = 0;
    for (const LocalPoint& o : name.offsets) largest = std::max({largest, std::abs(o.x), std::abs(o.y)});
    while (shift < MAX_OFFSET_SHIFT && (largest >> shift) > MAX_DELTA) ++shift;
  }
  record.U16(0);  // length, set below
  record.U16((uint32_t{name.detailMask} << 11) | (uint32_t{name.type} << 8));
  record.U16(name.code);
  record.U16(static_cast<uint32_t>(shift));
  record.U16(RoadCoordinate(name.anchor.x));
  record.U16(RoadCoordinate(name.anchor.y));
  record.U16(static_cast<uint32_t>(count));
  for (size_t i = 0; i < count; ++i) {  // two bytes per character, low byte first
    record.U8(name.text[i] & 0xFF);
    record.U8(name.text[i] >> 8);
  }
  if (name.type == NAME_ALONG && count > 0) {
    if (count % 2 != 0) record.U8(0);
    for (size_t i = 0; i < count; ++i) record.U8(0);  // every character takes an offset
    for (size_t i = 0; i < count; ++i) {
      const LocalPoint o = i < name.offsets.size() ? name.offsets[i] : LocalPoint{};
      record.U8(static_cast<uint8_t>(static_cast<int8_t>(std::clamp(o.x >> shift, -128, 127))));
      record.U8(static_cast<uint8_t>(static_cast<int8_t>(std::clamp(o.y >> shift, -128, 127))));
    }
  }
  record.PadToWord();
  record.Set16(0, record.Words());
  return std::move(record.data);
}

}  // namespace

int32_t EncodedPointCount(const BackgroundItem& item) {
  bool toggles = false;
  return static_cast<int32_t>(EncodedPoints(item, &toggles).size());
}

std::vector<uint8_t> EncodeRoadSection(const std::vector<RoadLink>& links, EncodeReport* report) {
  // Objects per class, encoded first so that the section's size is known.
  std::map<int, std::vector<std::vector<uint8_t>>> objects;
  size_t total = ROAD_SECTION_HEAD + 4 * (MAX_ROAD_CLASS + 1);
  for (const RoadLink& link : links) {
    const std::vector<Segment> segments = ShapeSegments(link.points);
    if (segments.empty() || (segments.size() == 1 && segments[0].deltas.empty())) continue;
    for (size_t first = 0; first < segments.size(); first += MAX_OBJECT_SEGMENTS) {
      Bytes object;
      PutObject(&object, link.roadClass, &segments[first], std::min<size_t>(MAX_OBJECT_SEGMENTS, segments.size() - first));
      std::vector<std::vector<uint8_t>>& list = objects[std::min<int>(link.roadClass, MAX_ROAD_CLASS)];
      if (total + object.data.size() + 2 > MAX_SECTION_BYTES || list.size() >= 0xFFFF) {
        ++report->droppedLinks;
        break;
      }
      total += object.data.size() + (list.empty() ? 2 : 0);
      list.push_back(std::move(object.data));
    }
  }
  if (objects.empty()) return {};
  const int rows = objects.rbegin()->first + 1;
  Bytes out;
  out.U16(0);
  out.U16(0);
  out.U8(static_cast<uint32_t>(rows));
  out.U8(0);
  out.U16(0);
  const size_t table = out.data.size();
  for (int row = 0; row < rows; ++row) out.U32(EMPTY_GROUP << 16);
  for (const auto& [roadClass, list] : objects) {
    out.Set16(table + 4 * roadClass, out.Words());
    out.Set16(table + 4 * roadClass + 2, static_cast<uint32_t>(list.size()));
    out.U16(ROAD_GROUP_FLAGS);
    for (const std::vector<uint8_t>& object : list) out.data.insert(out.data.end(), object.begin(), object.end());
  }
  return std::move(out.data);
}

std::vector<uint8_t> EncodeBackgroundSection(const std::vector<BackgroundItem>& items, EncodeReport* report) {
  // Items by slot and kind (lines before areas is not needed: the reader
  // keeps group order, and a slot's areas are drawn before its lines).
  struct Encoded {
    std::vector<std::vector<uint8_t>> areas, lines;
  };
  std::map<int, Encoded> slots;
  size_t total = 2 + 2 * DIRECTORY_WORDS;
  for (const BackgroundItem& item : items) {
    bool toggles = false;
    const std::vector<LocalPoint> points = EncodedPoints(item, &toggles);
    if (points.size() < 2 || points.size() > MAX_ITEM_POINTS) {
      if (points.size() > MAX_ITEM_POINTS) ++report->droppedItems;
      continue;
    }
    Bytes bytes;
    PutItem(&bytes, item, points, toggles);
    Encoded& slot = slots[std::min<int>(item.order, CLASS_SLOTS - 1)];
    std::vector<std::vector<uint8_t>>& list = item.area ? slot.areas : slot.lines;
    const size_t groupHead = list.size() % MAX_GROUP_ITEMS == 0 ? 4 : 0;  // a new group's pair
    const size_t classHead = slot.areas.empty() && slot.lines.empty() ? 2 : 0;
    if (total + bytes.data.size() + groupHead + classHead > MAX_SECTION_BYTES) {
      ++report->droppedItems;
      continue;
    }
    total += bytes.data.size() + groupHead + classHead;
    list.push_back(std::move(bytes.data));
  }
  if (slots.empty()) return {};
  Bytes out;
  out.U16(DIRECTORY_WORDS);
  for (int slot = 0; slot < CLASS_SLOTS; ++slot) out.U32(0);
  for (const auto& [slot, encoded] : slots) {
    const uint32_t classOffset = out.Words();
    out.Set16(2 + 4 * slot, classOffset);
    out.Set16(2 + 4 * slot + 2, 1);
    struct Group {
      uint32_t kind;
      const std::vector<std::vector<uint8_t>>* list;
      size_t first, count;
    };
    std::vector<Group> groups;
    for (const auto& [kind, list] : {std::pair{GROUP_KIND_AREAS, &encoded.areas}, std::pair{GROUP_KIND_LINES, &encoded.lines}}) {
      for (size_t first = 0; first < list->size(); first += MAX_GROUP_ITEMS) {
        groups.push_back({kind, list, first, std::min<size_t>(MAX_GROUP_ITEMS, list->size() - first)});
      }
    }
    out.U16(static_cast<uint32_t>(groups.size()));
    const size_t pairs = out.data.size();
    for (size_t g = 0; g < groups.size(); ++g) out.U32(0);
    for (size_t g = 0; g < groups.size(); ++g) {
      out.Set16(pairs + 4 * g, out.Words() - classOffset);
      out.Set16(pairs + 4 * g + 2, (groups[g].kind << 14) | static_cast<uint32_t>(groups[g].count));
      for (size_t i = 0; i < groups[g].count; ++i) {
        const std::vector<uint8_t>& item = (*groups[g].list)[groups[g].first + i];
        out.data.insert(out.data.end(), item.begin(), item.end());
      }
    }
  }
  return std::move(out.data);
}

std::vector<uint8_t> EncodeNameSection(const std::vector<NameItem>& names, EncodeReport* report) {
  std::vector<const NameItem*> order;
  for (const NameItem& name : names) order.push_back(&name);
  std::stable_sort(order.begin(), order.end(), [](const NameItem* a, const NameItem* b) {
    if (a->group != b->group) return a->group < b->group;
    return a->priority > b->priority;
  });
  std::map<int, std::vector<std::vector<uint8_t>>> groups;
  size_t total = 2 + 4 * MAX_NAME_GROUPS;
  for (const NameItem* name : order) {
    std::vector<uint8_t> record = NameRecord(*name);
    std::vector<std::vector<uint8_t>>& list = groups[std::min<int>(name->group, MAX_NAME_GROUPS - 1)];
    if (total + record.size() > MAX_SECTION_BYTES || list.size() >= 0xFFFF) {
      ++report->droppedNames;
      continue;
    }
    total += record.size();
    list.push_back(std::move(record));
  }
  if (groups.empty()) return {};
  const int count = groups.rbegin()->first + 1;
  Bytes out;
  out.U16(1 + 2 * static_cast<uint32_t>(count));
  for (int g = 0; g < count; ++g) out.U32(EMPTY_GROUP << 16);
  for (const auto& [group, list] : groups) {
    out.Set16(2 + 4 * group, out.Words());
    out.Set16(2 + 4 * group + 2, static_cast<uint32_t>(list.size()));
    for (const std::vector<uint8_t>& record : list) out.data.insert(out.data.end(), record.begin(), record.end());
  }
  return std::move(out.data);
}
