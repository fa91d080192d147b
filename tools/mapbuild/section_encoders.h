// Encodes a parcel's content (parcel_content.h) into the bytes of its road,
// background and name sections, as the map reader decodes them. Every count
// is kept within the record layouts' limits; what does not fit is left out
// and counted in the EncodeReport.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/mapbuild/parcel_content.h"

// Limits of the record layouts.
constexpr int MAX_ROAD_CLASS = 9;
constexpr int MAX_ITEM_POINTS = 2048;        // points of one background item
constexpr int MAX_GROUP_ITEMS = 4095;        // items of one background group
constexpr int MAX_NAME_GROUPS = 16;          // name groups a parcel can hold
constexpr int MAX_NAME_CHARACTERS = 32;      // characters of a name
constexpr uint32_t MAX_SECTION_BYTES = 0xFFFF * 2;  // sizes are 16-bit word counts
constexpr int MAX_DELTA = 127;               // a signed-byte step

// What an encoder had to leave out.
struct EncodeReport {
  int32_t droppedItems = 0;   // background items beyond a section's size or with too many points
  int32_t droppedLinks = 0;   // road links beyond the road section's size
  int32_t droppedNames = 0;   // name records beyond the name section's size
};

// Number of points a background item encodes to: its points, the steps that
// split moves longer than a signed byte, and the repeated points that switch
// the hidden-edge flag.
int32_t EncodedPointCount(const BackgroundItem& item);

// The road section of `links`: one group per road class, group-table row =
// class, so no group takes the alternate style. Empty when there are no links.
std::vector<uint8_t> EncodeRoadSection(const std::vector<RoadLink>& links, EncodeReport* report);

// The background section of `items` (directory of 32 class slots by `order`;
// per slot one group of areas and one of lines).
std::vector<uint8_t> EncodeBackgroundSection(const std::vector<BackgroundItem>& items, EncodeReport* report);

// The name section of `names` (groups by `group`, records by priority).
// Texts longer than MAX_NAME_CHARACTERS are expected to be cut already.
std::vector<uint8_t> EncodeNameSection(const std::vector<NameItem>& names, EncodeReport* report);
