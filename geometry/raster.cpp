#include "geometry/raster.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "canvas/blit.h"

namespace {

// Cuts the clip rectangle to the canvas: the box of pixels a drawer may
// touch. False when nothing is left to draw or the canvas is empty.
bool DrawableBox(const Canvas* canvas, const Rect& clip, Rect* box) {
  if (canvas->pixels == nullptr) return false;
  box->left = std::max(clip.left, 0);
  box->top = std::max(clip.top, 0);
  box->right = std::min(clip.right, canvas->width);
  box->bottom = std::min(clip.bottom, canvas->height);
  return box->left < box->right && box->top < box->bottom;
}

Rect CanvasBox(const Canvas* canvas) { return Rect{0, 0, canvas->width, canvas->height}; }

// 64-bit coordinates: callers test positions a few pixels beside 32-bit ones.
inline bool InBox(const Rect& box, int64_t x, int64_t y) {
  return box.left <= x && x < box.right && box.top <= y && y < box.bottom;
}

inline uint16_t* Row(Canvas* canvas, int32_t y) {
  return canvas->pixels + static_cast<ptrdiff_t>(y) * canvas->stride;
}

inline int32_t ClampWeight(int32_t weight) { return std::clamp(weight, 0, WEIGHT_OPAQUE); }

// RGB565 channel positions and sizes.
constexpr int32_t RED_SHIFT = 11;
constexpr int32_t GREEN_SHIFT = 5;
constexpr int32_t FIVE_BITS = 0x1F;
constexpr int32_t SIX_BITS = 0x3F;

// One channel of the blend: old + ((colour - old) * weight >> 8), the shift
// arithmetic (rounding towards minus infinity).
inline int32_t BlendChannel(int32_t oldValue, int32_t colourValue, int32_t weight) {
  return oldValue + (((colourValue - oldValue) * weight) >> 8);
}

// Blends two RGB565 pixels channel by channel (weight 0..255, no shortcut at 255).
inline uint16_t BlendChannels(uint16_t old, uint16_t colour, int32_t weight) {
  int32_t r = BlendChannel(old >> RED_SHIFT, colour >> RED_SHIFT, weight) & FIVE_BITS;
  int32_t g = BlendChannel((old >> GREEN_SHIFT) & SIX_BITS, (colour >> GREEN_SHIFT) & SIX_BITS, weight) & SIX_BITS;
  int32_t b = BlendChannel(old & FIVE_BITS, colour & FIVE_BITS, weight) & FIVE_BITS;
  return static_cast<uint16_t>((r << RED_SHIFT) | (g << GREEN_SHIFT) | b);
}

// The pixel blend: weight 255 writes the colour, any other weight blends.
inline void BlendInto(uint16_t* pixel, uint16_t colour, int32_t weight) {
  *pixel = weight == WEIGHT_OPAQUE ? colour : BlendChannels(*pixel, colour, weight);
}

// Loops over whole rows of pixels also get an AVX2 version, chosen when the
// program loads on processors that have it: 16-bit blends run twice as fast
// in 256-bit registers. Other processors and compilers, and sanitizer
// builds, use the plain one.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
#define WITH_AVX2_CLONE __attribute__((target_clones("avx2", "default")))
#else
#define WITH_AVX2_CLONE
#endif

// Blends colour over count pixels from p with weight 0..255, as BlendChannels.
// old + ((c - old) * w >> 8) equals (old * (256 - w) + c * w) >> 8 with both
// terms non-negative; each channel's sum stays below 2^14, so the loop runs
// on 16-bit lanes, and the shifts that bring a channel back into its field
// are merged into one.
WITH_AVX2_CLONE void BlendRow(uint16_t* p, int32_t count, uint16_t colour, int32_t weight) {
  uint16_t keep = static_cast<uint16_t>(256 - weight);
  uint16_t red = static_cast<uint16_t>((colour >> RED_SHIFT) * weight);
  uint16_t green = static_cast<uint16_t>(((colour >> GREEN_SHIFT) & SIX_BITS) * weight);
  uint16_t blue = static_cast<uint16_t>((colour & FIVE_BITS) * weight);
  // Every sum is narrowed to 16 bits before it is shifted, which is what
  // lets the compiler keep the loop on 16-bit lanes.
  for (int32_t i = 0; i < count; ++i) {
    uint16_t old = p[i];
    uint16_t r = static_cast<uint16_t>(static_cast<uint16_t>(old >> RED_SHIFT) * keep + red);
    uint16_t g = static_cast<uint16_t>(static_cast<uint16_t>((old >> GREEN_SHIFT) & SIX_BITS) * keep + green);
    uint16_t b = static_cast<uint16_t>(static_cast<uint16_t>(old & FIVE_BITS) * keep + blue);
    // (sum >> 8) << field shift, in one shift each.
    r = static_cast<uint16_t>(r << (RED_SHIFT - 8)) & RGB565_RED_MASK;
    g = static_cast<uint16_t>(g >> (8 - GREEN_SHIFT)) & RGB565_GREEN_MASK;
    b = static_cast<uint16_t>(b >> 8);
    p[i] = static_cast<uint16_t>(r | g | b);
  }
}

// ---------------------------------------------------------------------------
// Line stepping

// True when the line steps along x: its x extent is the longer one.
inline bool IsXMajor(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  int64_t dx = int64_t{x1} - x0;
  int64_t dy = int64_t{y1} - y0;
  return (dy < 0 ? -dy : dy) < (dx < 0 ? -dx : dx);
}

// Bresenham stepping of one line along its longer (main) axis, cut to the
// steps whose main coordinate lies inside the box. The error term starts at
// -2 * main length and gains 2 * minor length per step; when it becomes
// non-negative the minor coordinate steps towards the end and the error
// loses 2 * main length. So after k steps the minor coordinate has moved
// floor(minor * k / main) times, which lets a walk start at any step.
struct LineWalk {
  int32_t x, y;               // pixel of the first visited step
  int64_t error;              // error term at that step, in [-2 * main, 0)
  int64_t twoMain;            // 2 * main length
  int64_t twoMinor;           // 2 * minor length
  int64_t mainLength;
  int64_t firstStep;          // index along the whole line of the first visited step
  int64_t steps;              // number of visited steps, at least 1
  int32_t mainDx, mainDy;
  int32_t minorDx, minorDy;
  int32_t acrossDx, acrossDy;  // +1 across the line: +y for x-major lines, +x for y-major
  bool xMajor;
  bool unclipped;             // every pixel within the margin across the line lies in the box
};

// Sets up the walk of (x0, y0)..(x1, y1) for pixels at most `margin` across
// the line. False when nothing of it can reach the box (or it has no length).
// Differences and step products are 64-bit, so any 32-bit end points work,
// and only the steps inside the box are visited.
// The walk's steps along and across the line, from the main axis and the
// signs of the steps along both axes.
void SetWalkAxes(bool xMajor, int32_t mainStep, int32_t minorStep, LineWalk* walk) {
  walk->mainDx = xMajor ? mainStep : 0;
  walk->mainDy = xMajor ? 0 : mainStep;
  walk->minorDx = xMajor ? 0 : minorStep;
  walk->minorDy = xMajor ? minorStep : 0;
  walk->acrossDx = xMajor ? 0 : 1;
  walk->acrossDy = xMajor ? 1 : 0;
  walk->xMajor = xMajor;
}

// The walk of a line whose pixels, and `margin` beside them, all lie
// inside the box: from its first point over its whole length, unclipped
// (what PrepareLine gives such a line, without its clipping arithmetic).
// Most segments of a map frame are such short lines.
void PrepareInsideLine(int32_t x0, int32_t y0, int64_t dx, int64_t dy, int64_t adx, int64_t ady, LineWalk* walk) {
  const bool xMajor = ady < adx;
  const int64_t mainLength = xMajor ? adx : ady;
  const int32_t stepX = dx < 0 ? -1 : 1, stepY = dy < 0 ? -1 : 1;
  walk->x = x0;
  walk->y = y0;
  walk->error = -2 * mainLength;
  walk->twoMain = 2 * mainLength;
  walk->twoMinor = 2 * (xMajor ? ady : adx);
  walk->mainLength = mainLength;
  walk->firstStep = 0;
  walk->steps = mainLength + 1;
  SetWalkAxes(xMajor, xMajor ? stepX : stepY, xMajor ? stepY : stepX, walk);
  walk->unclipped = true;
}

bool PrepareLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Rect& box, int32_t margin,
                 LineWalk* walk) {
  int64_t dx = int64_t{x1} - x0;
  int64_t dy = int64_t{y1} - y0;
  int64_t adx = dx < 0 ? -dx : dx;
  int64_t ady = dy < 0 ? -dy : dy;
  if (adx == 0 && ady == 0) return false;
  if (int64_t{std::min(x0, x1)} - margin >= box.left && int64_t{std::max(x0, x1)} + margin < box.right &&
      int64_t{std::min(y0, y1)} - margin >= box.top && int64_t{std::max(y0, y1)} + margin < box.bottom) {
    PrepareInsideLine(x0, y0, dx, dy, adx, ady, walk);
    return true;
  }

  bool xMajor = IsXMajor(x0, y0, x1, y1);
  int64_t mainLength = xMajor ? adx : ady;
  int64_t minorLength = xMajor ? ady : adx;
  int32_t mainStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
  int32_t minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
  int64_t main0 = xMajor ? x0 : y0;
  int64_t minor0 = xMajor ? y0 : x0;
  int64_t minor1 = xMajor ? y1 : x1;
  int64_t mainLow = xMajor ? box.left : box.top;
  int64_t mainHigh = (xMajor ? box.right : box.bottom) - 1;
  int64_t minorLow = xMajor ? box.top : box.left;
  int64_t minorHigh = (xMajor ? box.bottom : box.right) - 1;

  int64_t minorMin = std::min(minor0, minor1) - margin;
  int64_t minorMax = std::max(minor0, minor1) + margin;
  if (minorMax < minorLow || minorMin > minorHigh) return false;

  int64_t first = mainStep > 0 ? mainLow - main0 : main0 - mainHigh;
  int64_t last = mainStep > 0 ? mainHigh - main0 : main0 - mainLow;
  first = std::max<int64_t>(first, 0);
  last = std::min(last, mainLength);
  if (first > last) return false;

  int64_t minorSteps = 0;
  int64_t remainder = 0;
  if (first > 0) {
    // Both factors are below 2^32, so the product fits in 64 unsigned bits.
    uint64_t product = static_cast<uint64_t>(minorLength) * static_cast<uint64_t>(first);
    minorSteps = static_cast<int64_t>(product / static_cast<uint64_t>(mainLength));
    remainder = static_cast<int64_t>(product % static_cast<uint64_t>(mainLength));
  }
  int64_t mainAt = main0 + mainStep * first;
  int64_t minorAt = minor0 + minorStep * minorSteps;

  walk->x = static_cast<int32_t>(xMajor ? mainAt : minorAt);
  walk->y = static_cast<int32_t>(xMajor ? minorAt : mainAt);
  walk->error = -2 * mainLength + 2 * remainder;
  walk->twoMain = 2 * mainLength;
  walk->twoMinor = 2 * minorLength;
  walk->mainLength = mainLength;
  walk->firstStep = first;
  walk->steps = last - first + 1;
  SetWalkAxes(xMajor, mainStep, minorStep, walk);
  walk->unclipped = first == 0 && last == mainLength && minorMin >= minorLow && minorMax <= minorHigh;
  return true;
}

// Visits the walk's steps in order, calling plot(x, y, error, step) with the
// step's pixel, its error term and its index along the whole line.
template <typename Plot>
inline void WalkLine(const LineWalk& walk, Plot&& plot) {
  int32_t x = walk.x;
  int32_t y = walk.y;
  int64_t error = walk.error;
  int64_t last = walk.firstStep + walk.steps - 1;
  for (int64_t step = walk.firstStep;; ++step) {
    plot(x, y, error, step);
    // No step past the last pixel: beyond an end point at the edge of the
    // 32-bit range there is nothing to step to.
    if (step == last) break;
    x += walk.mainDx;
    y += walk.mainDy;
    error += walk.twoMinor;
    if (error >= 0) {
      x += walk.minorDx;
      y += walk.minorDy;
      error -= walk.twoMain;
    }
  }
}

// The pixels a solid line sets across itself at each step: offsets along
// the across direction and their colours.
struct LinePattern {
  int32_t count = 0;
  int32_t offset[LINE_WIDTH_WIDE];
  uint16_t colour[LINE_WIDTH_WIDE];
  int32_t margin = 0;  // largest offset
};

bool MakeLinePattern(int32_t width, uint16_t edge, uint16_t centre, int32_t neighbour, LinePattern* pattern) {
  auto add = [pattern](int32_t offset, uint16_t colour) {
    pattern->offset[pattern->count] = offset;
    pattern->colour[pattern->count] = colour;
    pattern->count++;
    pattern->margin = std::max(pattern->margin, offset < 0 ? -offset : offset);
  };
  switch (width) {
    case LINE_WIDTH_THIN:
      add(0, edge);
      return true;
    case LINE_WIDTH_DOUBLE:
      add(0, edge);
      add(neighbour, edge);
      return true;
    case LINE_WIDTH_CASED:
      add(-1, edge);
      add(0, centre);
      add(1, edge);
      return true;
    case LINE_WIDTH_WIDE:
      add(-2, edge);
      add(-1, centre);
      add(0, centre);
      add(1, centre);
      add(2, edge);
      return true;
    default:
      return false;
  }
}

// Width-2 lines put their second pixel below an x-major line running down
// (above otherwise), and left of a y-major line running right (right otherwise).
int32_t DoubleLineNeighbour(bool xMajor, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  if (xMajor) return y1 > y0 ? 1 : -1;
  return x1 > x0 ? -1 : 1;
}

// The core neighbour of a railway lies on the side the line runs towards.
int32_t RailwayNeighbour(bool xMajor, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  if (xMajor) return y1 < y0 ? -1 : 1;
  return x1 < x0 ? -1 : 1;
}

// Sets pixel (x, y) plus `offset` across the line, when it lies in the box.
inline void SetAcross(Canvas* canvas, const Rect& box, const LineWalk& walk, int32_t x, int32_t y,
                      int32_t offset, uint16_t colour) {
  int64_t px = int64_t{x} + offset * walk.acrossDx;
  int64_t py = int64_t{y} + offset * walk.acrossDy;
  if (InBox(box, px, py)) Row(canvas, static_cast<int32_t>(py))[px] = colour;
}

inline void BlendAcross(Canvas* canvas, const Rect& box, const LineWalk& walk, int32_t x, int32_t y,
                        int32_t offset, uint16_t colour, int32_t weight) {
  int64_t px = int64_t{x} + offset * walk.acrossDx;
  int64_t py = int64_t{y} + offset * walk.acrossDy;
  if (InBox(box, px, py)) BlendInto(&Row(canvas, static_cast<int32_t>(py))[px], colour, weight);
}

// Draws a line that lies wholly inside the box: no per-pixel tests. COUNT
// is the pattern's pixel count, so the pattern loop unrolls. The minor step
// is taken without a branch: on slanted lines it would be mispredicted at
// every other step.
template <int32_t COUNT>
void DrawUnclippedLine(Canvas* canvas, const LineWalk& walk, const LinePattern& pattern) {
  ptrdiff_t stride = canvas->stride;
  ptrdiff_t across[COUNT];
  uint16_t colour[COUNT];
  for (int32_t i = 0; i < COUNT; ++i) {
    across[i] = pattern.offset[i] * (walk.xMajor ? stride : 1);
    colour[i] = pattern.colour[i];
  }
  ptrdiff_t mainStep = walk.mainDx + walk.mainDy * stride;
  ptrdiff_t minorStep = walk.minorDx + walk.minorDy * stride;
  uint16_t* p = canvas->pixels + walk.y * stride + walk.x;
  int64_t error = walk.error;
  for (int64_t k = walk.steps;;) {
    for (int32_t i = 0; i < COUNT; ++i) p[across[i]] = colour[i];
    if (--k == 0) break;
    error += walk.twoMinor;
    bool minor = error >= 0;
    p += mainStep + (minor ? minorStep : 0);
    error -= minor ? walk.twoMain : 0;
  }
}

void DrawUnclippedPattern(Canvas* canvas, const LineWalk& walk, const LinePattern& pattern) {
  switch (pattern.count) {
    case 1: DrawUnclippedLine<1>(canvas, walk, pattern); break;
    case 2: DrawUnclippedLine<2>(canvas, walk, pattern); break;
    case 3: DrawUnclippedLine<3>(canvas, walk, pattern); break;
    default: DrawUnclippedLine<LINE_WIDTH_WIDE>(canvas, walk, pattern); break;
  }
}

}  // namespace

void BlendPixel(Canvas* canvas, int32_t x, int32_t y, uint16_t colour, int32_t weight) {
  if (canvas->pixels == nullptr || !InBox(CanvasBox(canvas), x, y)) return;
  BlendInto(&Row(canvas, y)[x], colour, ClampWeight(weight));
}

void BlendFill(Canvas* canvas, int32_t x, int32_t y, int32_t width, int32_t height, uint16_t colour,
               int32_t weight) {
  if (canvas->pixels == nullptr || width <= 0 || height <= 0) return;
  int64_t left = std::max<int64_t>(x, 0);
  int64_t top = std::max<int64_t>(y, 0);
  int64_t right = std::min<int64_t>(int64_t{x} + width, canvas->width);
  int64_t bottom = std::min<int64_t>(int64_t{y} + height, canvas->height);
  if (left >= right || top >= bottom) return;

  int32_t w = ClampWeight(weight);
  int32_t count = static_cast<int32_t>(right - left);
  for (int64_t row = top; row < bottom; ++row) {
    BlendRow(Row(canvas, static_cast<int32_t>(row)) + left, count, colour, w);
  }
}

void DrawLine(Canvas* canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t edgeColour,
              uint16_t centreColour, int32_t width, const Rect& clip) {
  Rect box;
  if (!DrawableBox(canvas, clip, &box)) return;
  // Thin lines inside the box, most lines of a map frame, go straight to
  // their one-pixel walk.
  if (width == LINE_WIDTH_THIN && std::min(x0, x1) >= box.left && std::max(x0, x1) < box.right &&
      std::min(y0, y1) >= box.top && std::max(y0, y1) < box.bottom) {
    const int64_t dx = int64_t{x1} - x0, dy = int64_t{y1} - y0;
    if (dx == 0 && dy == 0) return;
    LineWalk walk;
    PrepareInsideLine(x0, y0, dx, dy, dx < 0 ? -dx : dx, dy < 0 ? -dy : dy, &walk);
    LinePattern pattern;
    pattern.count = 1;
    pattern.offset[0] = 0;
    pattern.colour[0] = edgeColour;
    DrawUnclippedLine<1>(canvas, walk, pattern);
    return;
  }
  bool xMajor = IsXMajor(x0, y0, x1, y1);
  LinePattern pattern;
  int32_t neighbour = DoubleLineNeighbour(xMajor, x0, y0, x1, y1);
  if (!MakeLinePattern(width, edgeColour, centreColour, neighbour, &pattern)) return;
  LineWalk walk;
  if (!PrepareLine(x0, y0, x1, y1, box, pattern.margin, &walk)) return;
  if (walk.unclipped) {
    DrawUnclippedPattern(canvas, walk, pattern);
    return;
  }
  WalkLine(walk, [&](int32_t x, int32_t y, int64_t, int64_t) {
    for (int32_t i = 0; i < pattern.count; ++i) SetAcross(canvas, box, walk, x, y, pattern.offset[i], pattern.colour[i]);
  });
}

void DrawRailwayLine(Canvas* canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Rect& clip) {
  constexpr int32_t MARGIN = 2;  // the blended pixel beyond the core neighbour
  Rect box;
  LineWalk walk;
  if (!DrawableBox(canvas, clip, &box) || !PrepareLine(x0, y0, x1, y1, box, MARGIN, &walk)) return;
  int32_t side = RailwayNeighbour(walk.xMajor, x0, y0, x1, y1);
  WalkLine(walk, [&](int32_t x, int32_t y, int64_t error, int64_t step) {
    uint16_t core = step % (2 * RAILWAY_DASH_LENGTH) < RAILWAY_DASH_LENGTH ? RAILWAY_BLACK : RAILWAY_WHITE;
    // |error / 2| / main length is how close the true line runs to this
    // pixel (1 on it, towards 0 as it nears the next row): the edge pixel
    // beside the pixel gets that much black, the edge pixel beyond the core
    // neighbour the rest.
    int64_t half = error / 2;
    int32_t weight = static_cast<int32_t>((half < 0 ? -half : half) * WEIGHT_OPAQUE / walk.mainLength);
    SetAcross(canvas, box, walk, x, y, 0, core);
    SetAcross(canvas, box, walk, x, y, side, core);
    BlendAcross(canvas, box, walk, x, y, -side, RAILWAY_BLACK, weight);
    BlendAcross(canvas, box, walk, x, y, 2 * side, RAILWAY_BLACK, WEIGHT_OPAQUE - weight);
  });
}

void DrawDottedLine(Canvas* canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t colour,
                    const Rect& clip) {
  Rect box;
  LineWalk walk;
  if (!DrawableBox(canvas, clip, &box) || !PrepareLine(x0, y0, x1, y1, box, 0, &walk)) return;
  WalkLine(walk, [&](int32_t x, int32_t y, int64_t, int64_t step) {
    if (step % 2 == 0) SetAcross(canvas, box, walk, x, y, 0, colour);
  });
}

// ---------------------------------------------------------------------------
// Polygon filling

namespace {

constexpr int32_t FIXED_SHIFT = 16;
constexpr int64_t FIXED_ONE = int64_t{1} << FIXED_SHIFT;

// One non-horizontal edge of the clipped polygon. x and slope are 16.16
// fixed point held in 64 bits: x of points far outside the canvas and
// steep slopes do not overflow, and ordinary values are the same as in 32.
struct PolygonEdge {
  int64_t x;      // x at the current row; starts at the upper end
  int64_t slope;  // change of x per row going down
  int32_t yTop;   // upper end: the first row the edge takes part in
  int32_t yBottom;  // lower end: the first row it no longer takes part in
};

// Working memory of one fill: the clipped points, the edges and the active
// list. Small polygons use the arrays here; larger ones one heap block.
class PolygonMemory {
 public:
  // Room for the polygon's points after clipping: each edge adds at most two.
  bool Reserve(int32_t count) {
    int64_t capacity = 2 * int64_t{count};
    if (capacity <= STACK_CAPACITY) {
      points = stackPoints;
      edges = stackEdges;
      active = stackActive;
      return true;
    }
    size_t bytes = static_cast<size_t>(capacity) * (sizeof(Point) + sizeof(PolygonEdge) + sizeof(PolygonEdge*));
    heap = std::malloc(bytes);
    if (heap == nullptr) return false;
    edges = static_cast<PolygonEdge*>(heap);
    active = reinterpret_cast<PolygonEdge**>(edges + capacity);
    points = reinterpret_cast<Point*>(active + capacity);
    return true;
  }
  ~PolygonMemory() { std::free(heap); }

  Point* points = nullptr;
  PolygonEdge* edges = nullptr;
  PolygonEdge** active = nullptr;

 private:
  static constexpr int64_t STACK_CAPACITY = 2 * POLYGON_STACK_POINTS;
  void* heap = nullptr;
  Point stackPoints[STACK_CAPACITY];
  PolygonEdge stackEdges[STACK_CAPACITY];
  PolygonEdge* stackActive[STACK_CAPACITY];
};

// (a * b) / c truncated towards zero, for |a|, |b| < 2^33 and c != 0, whose
// quotient fits in 32 bits.
int64_t MulDiv(int64_t a, int64_t b, int64_t c) {
  constexpr int64_t SMALL = int64_t{1} << 31;
  if (a > -SMALL && a < SMALL && b > -SMALL && b < SMALL) return a * b / c;
  return static_cast<int64_t>(static_cast<__int128>(a) * b / c);
}

// Where the edge a-b crosses row yLine. It is computed from the edge's upper
// end whichever way the polygon runs, so two polygons that share an edge get
// the same crossing and meet without a gap.
Point Crossing(Point a, Point b, int32_t yLine) {
  if (a.y > b.y) std::swap(a, b);
  int64_t x = a.x + MulDiv(int64_t{b.x} - a.x, int64_t{yLine} - a.y, int64_t{b.y} - a.y);
  return Point{static_cast<int32_t>(x), yLine};
}

// Clips the closed polygon to yTop <= y <= yBottom in one pass over its
// edges (Sutherland-Hodgman against both lines at once). Writes at most
// 2 * count points to out and returns how many; *yMin and *yMax get the
// smallest and largest y written.
int32_t ClipToRows(const Point* points, int32_t count, int32_t yTop, int32_t yBottom, Point* out, int32_t* yMin,
                   int32_t* yMax) {
  auto side = [&](const Point& p) { return p.y < yTop ? -1 : (p.y > yBottom ? 1 : 0); };
  auto line = [&](int s) { return s < 0 ? yTop : yBottom; };
  int32_t n = 0;
  auto emit = [&](Point p) {
    out[n++] = p;
    *yMin = std::min(*yMin, p.y);
    *yMax = std::max(*yMax, p.y);
  };
  *yMin = yBottom;
  *yMax = yTop;
  Point a = points[count - 1];
  int sideA = side(a);
  for (int32_t i = 0; i < count; ++i) {
    Point b = points[i];
    int sideB = side(b);
    if (sideA != 0 && sideA != sideB) emit(Crossing(a, b, line(sideA)));
    if (sideB != 0 && sideB != sideA) emit(Crossing(a, b, line(sideB)));
    if (sideB == 0) emit(b);
    a = b;
    sideA = sideB;
  }
  return n;
}

// One edge record per pair of consecutive points, horizontal pairs left
// out, sorted by their upper row. Returns the number of edges.
int32_t BuildEdges(const Point* points, int32_t count, PolygonEdge* edges) {
  int32_t n = 0;
  for (int32_t i = 0; i < count; ++i) {
    Point a = points[i];
    Point b = points[i + 1 < count ? i + 1 : 0];
    if (a.y == b.y) continue;
    if (a.y > b.y) std::swap(a, b);
    int64_t slope = (int64_t{b.x} - a.x) * FIXED_ONE / (int64_t{b.y} - a.y);
    edges[n++] = PolygonEdge{int64_t{a.x} * FIXED_ONE, slope, a.y, b.y};
  }
  std::sort(edges, edges + n, [](const PolygonEdge& l, const PolygonEdge& r) { return l.yTop < r.yTop; });
  return n;
}

// Insertion sort by x: the active list is nearly sorted from the row above.
void SortByX(PolygonEdge** active, int32_t count) {
  for (int32_t i = 1; i < count; ++i) {
    PolygonEdge* edge = active[i];
    int32_t j = i;
    for (; j > 0 && active[j - 1]->x > edge->x; --j) active[j] = active[j - 1];
    active[j] = edge;
  }
}

// Sets n >= 1 pixels from p on in colour. Spans of polygon rows are short
// and of every length, so instead of a loop with a scalar head and tail it
// writes whole 8-pixel blocks and one last block that overlaps the one
// before it, and short spans with two overlapping stores.
inline void FillRun(uint16_t* p, int64_t n, uint16_t colour) {
  using Block = uint16_t __attribute__((vector_size(16)));
  if (n >= 8) {
    Block block = {colour, colour, colour, colour, colour, colour, colour, colour};
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) std::memcpy(p + i, &block, sizeof block);
    if (i < n) std::memcpy(p + n - 8, &block, sizeof block);
  } else if (n >= 4) {
    uint64_t quad = colour * 0x0001000100010001ull;
    std::memcpy(p, &quad, sizeof quad);
    std::memcpy(p + n - 4, &quad, sizeof quad);
  } else {
    p[0] = colour;
    p[n - 1] = colour;
    p[n / 2] = colour;
  }
}

// Fills the spans between the active edges taken in pairs, from the integer
// part of the left x to that of the right x, both included, cut to the box.
void FillSpans(uint16_t* row, PolygonEdge* const* active, int32_t count, const Rect& box, uint16_t colour) {
  for (int32_t i = 0; i + 1 < count; i += 2) {
    int64_t left = active[i]->x >> FIXED_SHIFT;
    int64_t right = active[i + 1]->x >> FIXED_SHIFT;
    if (right < box.left || left >= box.right) continue;
    left = std::max<int64_t>(left, box.left);
    right = std::min<int64_t>(right, box.right - 1);
    FillRun(row + left, right - left + 1, colour);
  }
}

// Scans rows yMin .. yMax - 1. At each row the edges that start there join
// the active list and those that end there leave it; the active edges are
// sorted by x, filled between in pairs, and advanced by their slopes. The
// list changes only at rows where an edge starts or ends, so it is updated
// at those rows alone.
void ScanRows(Canvas* canvas, PolygonEdge* edges, int32_t edgeCount, PolygonEdge** active, int32_t yMin,
              int32_t yMax, const Rect& box, uint16_t colour) {
  int32_t activeCount = 0;
  int32_t nextEdge = 0;
  int32_t y = yMin;
  while (y < yMax) {
    while (nextEdge < edgeCount && edges[nextEdge].yTop == y) active[activeCount++] = &edges[nextEdge++];
    int32_t kept = 0;
    int32_t nextChange = nextEdge < edgeCount ? std::min(edges[nextEdge].yTop, yMax) : yMax;
    for (int32_t i = 0; i < activeCount; ++i) {
      if (active[i]->yBottom == y) continue;
      nextChange = std::min(nextChange, active[i]->yBottom);
      active[kept++] = active[i];
    }
    activeCount = kept;
    for (; y < nextChange; ++y) {
      SortByX(active, activeCount);
      FillSpans(Row(canvas, y), active, activeCount, box, colour);
      for (int32_t i = 0; i < activeCount; ++i) active[i]->x += active[i]->slope;
    }
  }
}

}  // namespace

int FillPolygon(Canvas* canvas, const Point* points, int32_t count, uint16_t colour, const Rect& clip) {
  Rect box;
  if (points == nullptr || count <= 0 || !DrawableBox(canvas, clip, &box)) return 0;
  PolygonMemory memory;
  if (!memory.Reserve(count)) return -1;

  int32_t yMin = 0, yMax = 0;
  int32_t clipped = ClipToRows(points, count, box.top, box.bottom, memory.points, &yMin, &yMax);
  int32_t edgeCount = BuildEdges(memory.points, clipped, memory.edges);

  ScanRows(canvas, memory.edges, edgeCount, memory.active, yMin, yMax, box, colour);
  return 0;
}

// ---------------------------------------------------------------------------
// Stencil and dot

void StencilCopy(Canvas* target, const Canvas* stencil, int32_t x, int32_t y, int32_t width, int32_t height,
                 int32_t stencilX, int32_t stencilY, uint16_t colour) {
  if (stencil->pixels == nullptr) return;
  int64_t tx = x, ty = y, w = width, h = height, sx = stencilX, sy = stencilY;
  // A halo stamped left of or above the canvas keeps its alignment: the
  // stencil start moves with the cut.
  if (tx < 0) {
    w += tx;
    sx -= tx;
    tx = 0;
  }
  if (ty < 0) {
    h += ty;
    sy -= ty;
    ty = 0;
  }
  // The rectangle stops one short of the stencil's stride and height.
  if (tx + w >= stencil->stride) w = stencil->stride - tx - 1;
  if (ty + h >= stencil->height) h = stencil->height - ty - 1;
  if (w <= 0 || h <= 0) return;
  // Then the clip every copy into a canvas takes.
  BlitRect r{static_cast<int32_t>(tx), static_cast<int32_t>(ty), static_cast<int32_t>(w),
             static_cast<int32_t>(h), static_cast<int32_t>(std::clamp<int64_t>(sx, INT32_MIN, INT32_MAX)),
             static_cast<int32_t>(std::clamp<int64_t>(sy, INT32_MIN, INT32_MAX))};
  if (!ClipBlitRect(target, stencil, &r)) return;
  for (int32_t row = 0; row < r.h; ++row) {
    const uint16_t* in = stencil->pixels + static_cast<size_t>(r.sy + row) * stencil->stride + r.sx;
    uint16_t* out = Row(target, r.dy + row) + r.dx;
    // Every pixel is written, a keyed one with its own value: a store
    // without a branch lets the compiler stamp whole vector blocks.
    for (int32_t i = 0; i < r.w; ++i) out[i] = in[i] != KEY_COLOUR ? colour : out[i];
  }
}

void DrawDot(Canvas* canvas, int32_t x, int32_t y) {
  // A 4 x 4 square from (x - 1, y - 1) without its corners.
  static constexpr struct {
    int8_t dx, dy;
  } DOT_PIXELS[] = {{0, -1},  {1, -1}, {-1, 0}, {0, 0}, {1, 0}, {2, 0},
                    {-1, 1},  {0, 1},  {1, 1},  {2, 1}, {0, 2}, {1, 2}};
  if (canvas->pixels == nullptr) return;
  Rect box = CanvasBox(canvas);
  for (const auto& d : DOT_PIXELS) {
    int64_t px = int64_t{x} + d.dx;
    int64_t py = int64_t{y} + d.dy;
    if (InBox(box, px, py)) Row(canvas, static_cast<int32_t>(py))[px] = DOT_COLOUR;
  }
}
