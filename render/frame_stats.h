// What one frame drew, counted by the passes as they draw: the parcels of
// its lists, road groups and links, background areas and lines, names placed
// and names left out because their label would overlap one placed before,
// and how long each pass and the whole frame took. Tools print them so that
// a map or a recipe can be tuned by numbers.
#pragma once

#include <cstdint>

// Kinds of labels, as the names pass places them.
enum NameKind : uint8_t {
  NAME_KIND_POINT = 0,     // a label around its anchor
  NAME_KIND_ANCHORED = 1,  // a label below its mark or symbol, by its anchor
  NAME_KIND_ANGLED = 2,    // characters set along an angle
  NAME_KIND_LINE = 3,      // characters at their own places along a line (never left out)
  NAME_KIND_COUNT = 4,
};

// The passes' slots, in the order of RenderPass.
constexpr int FRAME_STATS_PASSES = 5;

struct FrameStats {
  uint32_t roadParcels = 0;  // entries of the roads' and names' list
  uint32_t areaParcels = 0;  // entries of the areas' list
  uint32_t roadGroups = 0;   // road groups with links drawn
  uint32_t roadLinks = 0;    // links walked
  uint32_t areasFilled = 0;  // background areas filled (base areas and features)
  uint32_t linesDrawn = 0;   // background lines drawn
  uint32_t namesPlaced[NAME_KIND_COUNT] = {};
  uint32_t namesLeftOut[NAME_KIND_COUNT] = {};  // for lack of room
  double passSeconds[FRAME_STATS_PASSES] = {};   // 0 for a pass that did not run
  double selectSeconds = 0.0;  // selecting the parcel lists
  double frameSeconds = 0.0;  // the whole frame: parcels, background, passes, publishing
  double frameCpuSeconds = 0.0;  // the processor time the worker spent on it

  uint32_t NamesPlaced() const { return Sum(namesPlaced); }
  uint32_t NamesLeftOut() const { return Sum(namesLeftOut); }

 private:
  static uint32_t Sum(const uint32_t (&counts)[NAME_KIND_COUNT]) {
    uint32_t total = 0;
    for (uint32_t c : counts) total += c;
    return total;
  }
};
