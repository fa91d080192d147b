// The renderer's 27 scale steps, from 10 m (step 0, the most detailed) to
// 200 km (step 26).
#pragma once

#include <cstdint>

constexpr uint16_t SCALE_STEP_COUNT = 27;
constexpr uint16_t MAX_SCALE_STEP = 26;
constexpr uint16_t DEFAULT_SCALE_STEP = 6;

// Level codes of the map's detail levels.
constexpr uint16_t LEVEL_CODE_FINEST = 62;  // used only where its parcels cover the whole view
constexpr uint16_t LEVEL_CODE_BASE = 0;     // what the finest level falls back to
constexpr uint16_t LEVEL_CODE_OVERVIEW = 10;  // only background areas and the track are drawn

struct ScaleStep {
  int32_t metres;         // distance shown by the scale label; selects the names' detail class
  int32_t unitsPerPixelX; // map units (1/128 arc-second) per pixel
  int32_t unitsPerPixelY;
  uint16_t roadLevel;     // level code of roads and names
  uint16_t lineLevel;     // level code of background lines
  uint16_t areaLevel;     // level code of background areas
};

// The table, indexed by step 0..26.
extern const ScaleStep SCALE_STEPS[SCALE_STEP_COUNT];
