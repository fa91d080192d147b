// What the builder puts into one parcel, in parcel-local units (0 at the
// parcel's west / south edge, 4096 at its east / north edge), before it is
// encoded into the parcel's road, background and name sections.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mapdata/map_layout.h"
#include "tools/mapwriter/map_sections.h"

// Points are the section encoders' own: parcel-local units, values beyond
// 0..4096 reaching into the neighbours.
using LocalPoint = SectionPoint;

// One road link: a polyline of one road class (0..9).
struct RoadLink {
  uint8_t roadClass = 0;
  std::vector<LocalPoint> points;
};

// One background item: a closed ring (area) or a polyline (line) of one
// class code. hidden[i] marks the edge from point i to point i + 1 as not
// drawn (the cut edges of a clipped area); empty when no edge is hidden.
struct BackgroundItem {
  uint16_t code = 0;
  bool area = false;
  uint8_t order = 0;  // drawing slot 0..31
  std::vector<LocalPoint> points;
  std::vector<uint8_t> hidden;
};

// Name record types.
constexpr uint8_t NAME_POINT = 1;  // a label around its anchor
constexpr uint8_t NAME_ALONG = 3;  // characters placed one by one along a line

// One name record. For NAME_ALONG, offsets[i] moves character i from the
// position of character i - 1 (offsets[0] from the anchor), in parcel units.
struct NameItem {
  uint8_t type = NAME_POINT;
  uint16_t code = 0;
  uint8_t detailMask = 0x1F;  // bits for detail classes 0..4 (class d is 16 >> d)
  uint8_t group = 0;          // name group 0..15, the drawing order
  int priority = 0;           // higher first within its group
  LocalPoint anchor;
  std::u16string text;
  std::vector<LocalPoint> offsets;
};

struct ParcelContent {
  std::vector<RoadLink> roads;
  std::vector<BackgroundItem> background;
  std::vector<NameItem> names;
  bool created = false;  // a rule that makes parcels put something here
};
