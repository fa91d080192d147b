#include "tools/mapbuild/section_encoders.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace {

// Sections are located by 16-bit word counts and offsets; the estimates
// below keep each one under this many bytes.
constexpr size_t MAX_SECTION_BYTES = SECTION_MAX_WORDS * 2 - 256;
constexpr int MAX_OFFSET_SHIFT = 7;
constexpr uint16_t ROAD_GROUP_FLAGS =
    ROAD_GROUP_NO_FIELD_A | ROAD_GROUP_NO_FIELD_B | ROAD_GROUP_NO_FIELD_C | ROAD_GROUP_NO_SEGMENT_BLOCKS;
// Bytes of the fixed parts, for the size estimates: an object's lead and
// attribute word, a name record's lead, style, anchor and character count.
constexpr size_t ROAD_OBJECT_BYTES = ROAD_OBJECT_LEAD_BYTES + 2;
constexpr size_t NAME_RECORD_BYTES = NAME_RECORD_LEAD_BYTES + 8;

std::vector<SectionPoint> SectionPoints(const std::vector<LocalPoint>& points) {
  std::vector<SectionPoint> out;
  out.reserve(points.size());
  for (const LocalPoint& p : points) out.push_back({p.x, p.y});
  return out;
}

// The points of an item as written: steps of at most a signed byte, and a
// repeated point (a zero step, which flips the toggle) wherever the
// hidden-edge flag changes, so that each point's toggle says whether the
// edge that starts there is drawn.
std::vector<FeaturePointRecord> ItemPoints(const BackgroundItem& item, bool* toggles) {
  std::vector<FeaturePointRecord> out;
  *toggles = false;
  uint8_t flag = 0;
  for (size_t i = 0; i < item.points.size(); ++i) {
    const LocalPoint p = item.points[i];
    if (i == 0) {
      out.push_back({p.x, p.y, 0});
    } else {
      const FeaturePointRecord from = out.back();
      const int steps = (std::max(std::abs(p.x - from.x), std::abs(p.y - from.y)) + BYTE_DELTA_MAX - 1) / BYTE_DELTA_MAX;
      for (int k = 1; k <= steps; ++k) {
        out.push_back({from.x + (p.x - from.x) * k / steps, from.y + (p.y - from.y) * k / steps, flag});
      }
    }
    const uint8_t hidden = i + 1 < item.points.size() && i < item.hidden.size() && item.hidden[i] != 0 ? 1 : 0;
    if (hidden != flag) {
      flag = hidden;
      out.push_back({p.x, p.y, flag});
      *toggles = true;
    }
  }
  return out;
}

void AddRoads(const std::vector<RoadLink>& links, RoadSectionRecord* section, EncodeReport* report) {
  size_t bytes = 8 + 4 * (MAX_ROAD_CLASS + 1);
  for (const RoadLink& link : links) {
    RoadObjectRecord object;
    object.attributes = static_cast<uint16_t>(std::min<int>(link.roadClass, MAX_ROAD_CLASS) << ROAD_ATTR_CLASS_SHIFT);
    if (AppendRoadPolyline(SectionPoints(link.points), &object) <= 0) continue;
    size_t size = ROAD_OBJECT_BYTES;
    for (const RoadSegmentRecord& segment : object.segments) size += ROAD_SEGMENT_HEAD_BYTES + 2 * (segment.points.size() - 1);
    if (bytes + size + 2 > MAX_SECTION_BYTES) {
      ++report->droppedLinks;
      continue;
    }
    // Finer classes take the earlier rows: rows are drawn in order, so the
    // main roads (lower classes) are drawn over the streets they cross.
    const size_t row = MAX_ROAD_CLASS - std::min<int>(link.roadClass, MAX_ROAD_CLASS);
    if (section->groups.size() <= row) section->groups.resize(row + 1, RoadGroupRecord{true, 0, {}});
    RoadGroupRecord& group = section->groups[row];
    if (group.absent) {
      group = RoadGroupRecord{false, ROAD_GROUP_FLAGS, {}};
      bytes += 2;
    }
    bytes += size;
    group.objects.push_back(std::move(object));
  }
}

void AddBackground(const std::vector<BackgroundItem>& items, BackgroundSectionRecord* section, EncodeReport* report) {
  std::map<int, FeatureClassRecord> slots;
  size_t bytes = 2 + 4 * FEATURE_CLASS_SLOTS;
  for (const BackgroundItem& item : items) {
    FeatureItemRecord record;
    record.typeCode = item.code;
    bool toggles = false;
    record.points = ItemPoints(item, &toggles);
    if (record.points.size() < 2) continue;
    if (record.points.size() > FEATURE_MAX_POINTS) {
      ++report->droppedItems;
      continue;
    }
    record.flags = toggles ? FEATURE_FLAG_TOGGLES : 0;
    const size_t size = FEATURE_ITEM_SHAPE_BYTES + 2 * (record.points.size() - 1);
    const uint8_t kind = item.area ? FEATURE_KIND_AREA : FEATURE_KIND_LINE;
    FeatureClassRecord& slot = slots[std::min<int>(item.order, FEATURE_CLASS_SLOTS - 1)];
    auto group = std::find_if(slot.groups.rbegin(), slot.groups.rend(), [&](const FeatureGroupRecord& g) {
      return g.kind == kind && g.items.size() < FEATURE_ITEM_COUNT_MASK;
    });
    const size_t head = (group == slot.groups.rend() ? 4 : 0) + (slot.groups.empty() ? 2 : 0);
    if (bytes + size + head > MAX_SECTION_BYTES) {
      ++report->droppedItems;
      continue;
    }
    bytes += size + head;
    if (group == slot.groups.rend()) {
      slot.groups.push_back({kind, false, {}});
      slot.groups.back().items.push_back(std::move(record));
    } else {
      group->items.push_back(std::move(record));
    }
  }
  for (auto& [slot, record] : slots) {
    record.slot = static_cast<uint8_t>(slot);
    // Areas of a slot are drawn before its lines.
    std::stable_sort(record.groups.begin(), record.groups.end(),
                     [](const FeatureGroupRecord& a, const FeatureGroupRecord& b) { return a.kind > b.kind; });
    section->classes.push_back(std::move(record));
  }
}

NameRecordRecord NameRecord(const NameItem& name) {
  NameRecordRecord record;
  record.type = name.type;
  record.attributes = static_cast<uint16_t>(name.detailMask << NAME_VISIBILITY_SHIFT);
  record.classCode = name.code;
  record.anchor = {name.anchor.x, name.anchor.y};
  record.text = name.text.substr(0, MAX_NAME_CHARACTERS);
  if (name.type == NAME_ALONG && !record.text.empty()) {
    int largest = 0;
    for (const LocalPoint& o : name.offsets) largest = std::max({largest, std::abs(o.x), std::abs(o.y)});
    int shift = 0;
    while (shift < MAX_OFFSET_SHIFT && (largest >> shift) > BYTE_DELTA_MAX) ++shift;
    record.style = static_cast<uint16_t>(shift);
    record.placement.assign(record.text.size(), 0);  // every character takes an offset pair
    for (size_t i = 0; i < record.text.size(); ++i) {
      const LocalPoint o = i < name.offsets.size() ? name.offsets[i] : LocalPoint{};
      record.placementOffsets.push_back(static_cast<uint8_t>(static_cast<int8_t>(std::clamp(o.x >> shift, -128, 127))));
      record.placementOffsets.push_back(static_cast<uint8_t>(static_cast<int8_t>(std::clamp(o.y >> shift, -128, 127))));
    }
  }
  return record;
}

void AddNames(const std::vector<NameItem>& names, NameSectionRecord* section, EncodeReport* report) {
  std::vector<const NameItem*> order;
  for (const NameItem& name : names) order.push_back(&name);
  std::stable_sort(order.begin(), order.end(), [](const NameItem* a, const NameItem* b) {
    return a->group != b->group ? a->group < b->group : a->priority > b->priority;
  });
  size_t bytes = 2 + 4 * MAX_NAME_GROUPS;
  for (const NameItem* name : order) {
    NameRecordRecord record = NameRecord(*name);
    const size_t size = NAME_RECORD_BYTES + 2 * record.text.size() + 4 * record.placement.size();
    if (bytes + size > MAX_SECTION_BYTES) {
      ++report->droppedNames;
      continue;
    }
    bytes += size;
    const size_t group = std::min<int>(name->group, MAX_NAME_GROUPS - 1);
    if (section->groups.size() <= group) section->groups.resize(group + 1, NameGroupRecord{true, {}});
    section->groups[group].absent = false;
    section->groups[group].records.push_back(std::move(record));
  }
}

}  // namespace

int32_t EncodedPointCount(const BackgroundItem& item) {
  bool toggles = false;
  return static_cast<int32_t>(ItemPoints(item, &toggles).size());
}

int EncodeParcelContent(const ParcelContent& content, ParcelData* data, EncodeReport* report) {
  ParcelSectionsRecord sections;
  RoadSectionRecord roads;
  AddRoads(content.roads, &roads, report);
  if (!roads.groups.empty()) sections.roads = std::move(roads);
  BackgroundSectionRecord background;
  AddBackground(content.background, &background, report);
  if (!background.classes.empty()) sections.background = std::move(background);
  NameSectionRecord names;
  AddNames(content.names, &names, report);
  if (!names.groups.empty()) sections.names = std::move(names);
  std::string error;
  if (EncodeParcelSections(sections, data, &error) != 0) {
    *data = ParcelData();
    ++report->failedParcels;
    report->failures.push_back(error);
    return -1;
  }
  return 0;
}
