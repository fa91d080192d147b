// Drawing helpers of the background pass, shared with the road pass: a
// segment, a polyline with edge flags and a filled area, each in a style.
#pragma once

#include <cstdint>

#include "geometry/types.h"
#include "render/frame.h"
#include "render/styles.h"

// Draws the segment p..q (pixels) in `style`: a railway line for line type
// 1 (its own black and white, the style's colour and width unused), a
// dotted line in the style's colour for type 2, otherwise a two-colour line
// of the style's width with the style's colour at the edges and
// `centre`'s colour in the middle (the style's own when centre is null).
// Clipped to the canvas.
void DrawSegment(Frame* frame, Point p, Point q, const Style& style, const Style* centre);

// Draws the segments i..i+1 of the n pixels whose edge flag i is clear
// (flags may be null: every edge is drawn), in `style`.
void DrawPolyline(Frame* frame, const Point* pixels, const int32_t* flags, int32_t n, const Style& style);

// Fills the polygon of n pixels (closed back to the first) in the style's
// colour, clipped to the canvas; edge flags do not matter here.
void FillArea(Frame* frame, const Point* pixels, int32_t n, const Style& style);
