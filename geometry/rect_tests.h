// Point-in-rectangle and segment-against-rectangle tests, used to skip
// geometry that lies off screen.
#pragma once

#include "geometry/types.h"

// 1 when p lies in the rectangle, bounds included; otherwise 0.
int PointInRect(const InclusiveRect& rect, Point p);

// 1 when the segment p..q may touch the rectangle: either end lies in it
// (bounds included), or the segment's bounding box overlaps it on both axes.
// A cheap conservative test: it may answer 1 for a segment that passes
// beside a corner. 0 when the segment certainly misses the rectangle.
int SegmentTouchesRect(const InclusiveRect& rect, Point16 p, Point16 q);
