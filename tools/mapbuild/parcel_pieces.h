// Divides the content of a parcel that is too large for one data area into
// S × S pieces, the divided parcels of the parcel index. Pieces keep the
// parcel's own local units (the reader places a piece by its parent
// parcel), and each holds what lies in its rectangle: road links and lines
// clipped where they cross a piece edge, areas clipped into closed rings
// whose new edges along piece edges are hidden, names where their anchor
// lies. The outer pieces reach beyond the parcel's edge, so nothing is lost.
#pragma once

#include <vector>

#include "tools/mapbuild/parcel_content.h"

// The pieces of `content`, index row × side + column (row 0 south).
std::vector<ParcelContent> DivideParcelContent(const ParcelContent& content, int side);
