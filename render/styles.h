// The drawing styles of background features and roads, and the class
// tables that choose a background feature's style from its class code.
#pragma once

#include <cstdint>

#include "canvas/canvas.h"

// Line types of a style.
constexpr int32_t LINE_SOLID = 0;    // two-colour line
constexpr int32_t LINE_RAILWAY = 1;  // black and white dashes
constexpr int32_t LINE_DOTTED = 2;

struct Style {
  uint8_t red, green, blue;
  int32_t width;     // pixels: 1, 2, 3 or 5
  int32_t lineType;  // LINE_SOLID, LINE_RAILWAY or LINE_DOTTED
};

constexpr uint16_t StyleColour(const Style& s) { return Rgb565(s.red, s.green, s.blue); }

constexpr int32_t BACKGROUND_STYLE_COUNT = 43;
extern const Style BACKGROUND_STYLES[BACKGROUND_STYLE_COUNT];
// Styles with a meaning of their own: the frame's sea and land colours and
// the outline of outlined areas.
constexpr int32_t STYLE_SEA = 1;
constexpr int32_t STYLE_LAND = 19;
constexpr int32_t STYLE_OUTLINE = 40;

// Road styles: entries 0..9 are the edges of road classes 0..9 (colour,
// width, line type), entries 16..25 their centre colours. Alternate groups
// take class 0's styles.
constexpr int32_t ROAD_STYLE_COUNT = 26;
constexpr int32_t ROAD_CLASS_COUNT = 10;  // classes 10 and above are not drawn
constexpr int32_t ROAD_CENTRE_STYLES = 16;
extern const Style ROAD_STYLES[ROAD_STYLE_COUNT];

// No style: the class is not drawn by the pass.
constexpr int32_t NO_STYLE = -1;

// The style of a base area of class `code` at a step whose scale value is
// `metres`, or NO_STYLE.
int32_t BaseAreaStyle(uint16_t code, int32_t metres);

// The style of a background feature of class `code`, or NO_STYLE.
int32_t FeatureStyle(uint16_t code);

// True for the styles whose areas are filled without an outline.
bool IsFillOnlyStyle(int32_t style);
