// Areas as plain rings for cutting them into parcels: clipping a ring to
// an axis-aligned rectangle is one pass over its points per side it
// crosses (each side a half-plane, points on the side kept), so an area cut
// by halving its parcel range costs about its points times the depth of the
// halving, however many parcels it crosses.
//
// Where an area leaves the rectangle and comes back further along a side,
// its clipped ring runs along that side between the two places: an edge
// there and back that encloses nothing (RunsBackAlongTheBox finds them).
#pragma once

#include <vector>

#include <ogr_geometry.h>

#include "tools/mapbuild/box_clip.h"
// A ring's points, the last joined to the first (not repeated).
using ClipRing = std::vector<ClipPoint>;
// The outer ring first, then its holes.
using ClipPolygon = std::vector<ClipRing>;
using ClipShape = std::vector<ClipPolygon>;

struct ClipBox {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// The polygons of an OGR geometry (other parts, such as lines, are skipped).
ClipShape ClipShapeOf(const OGRGeometry& geometry);

// `shape` cut to `box`: rings that end up enclosing nothing are dropped,
// and a polygon whose outer ring is dropped is dropped with its holes.
// Outer rings come out clockwise, holes counterclockwise.
ClipShape ClipShapeToBox(const ClipShape& shape, const ClipBox& box);

// True when a ring of `polygon` runs along a side of `box` over a stretch
// where it also runs back (the joins that clipping leaves between the
// parts of an area that leaves the box and comes back): such a ring has to
// be split into its parts before it is drawn, as a fill counts the pixels
// on each edge.
bool RunsBackAlongTheBox(const ClipPolygon& polygon, const ClipBox& box);

// `polygon` (cut to `box`) as separate polygons without such joins: its
// rings are taken apart where they run along the box's sides and joined
// again along the sides the way round that keeps the area inside, so that
// each part is a ring of its own and a hole that a side cuts open becomes a
// bay of its shell. Holes that reach no side go with the part that holds
// them. Outer rings come out clockwise, holes counterclockwise.
ClipShape SeparatedAlongTheBox(const ClipPolygon& polygon, const ClipBox& box);

// `shape` (cut to `box`) with each polygon that runs back along the box
// taken apart (SeparatedAlongTheBox), the others as they are: parts
// joined along a parcel's edge, and holes cut open there, are drawn apart,
// as a fill would colour the pixels along the joins.
ClipShape SeparatedWhereJoined(const ClipShape& shape, const ClipBox& box);

// The area enclosed: outer rings less their holes.
double ClipShapeArea(const ClipShape& shape);

// The smallest box holding every point; false for an empty shape.
bool ClipShapeBounds(const ClipShape& shape, ClipBox* bounds);
