// Turns a parcel's content (parcel_content.h) into the section records of
// the map writer (tools/mapwriter/map_sections.h) and encodes them. Every
// count is kept within the record layouts' limits; what does not fit is
// left out and counted in the EncodeReport.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/mapbuild/parcel_content.h"
#include "tools/mapwriter/map_sections.h"

constexpr int MAX_ROAD_CLASS = 9;
constexpr int MAX_NAME_GROUPS = 16;          // name groups a parcel can hold
constexpr int MAX_NAME_CHARACTERS = 32;      // characters of a name

// What the encoding had to leave out.
struct EncodeReport {
  int32_t droppedItems = 0;   // background items beyond a section's size or point limit
  int32_t droppedLinks = 0;   // road links beyond the road section's size
  int32_t droppedNames = 0;   // name records beyond the name section's size
  int32_t failedParcels = 0;  // parcels the writer refused (the reason is in `failures`)
  std::vector<std::string> failures;
};

// Number of points a background item encodes to: its points, the steps that
// split moves longer than a signed byte, and the repeated points that switch
// the hidden-edge flag.
int32_t EncodedPointCount(const BackgroundItem& item);

// Encodes `content` into `data`: roads as one group per road class with
// group-table row = class (so no group takes the alternate style);
// background items in the directory slot of their `order`, areas and lines
// in groups of their own; names in the group of their `group`, higher
// priority first. Returns 0, or -1 when the writer refused the parcel
// (counted and described in *report; `data` then holds no sections).
int EncodeParcelContent(const ParcelContent& content, ParcelData* data, EncodeReport* report);
