#include "bench/raster_draw.h"

#include <agg_basics.h>
#include <agg_pixfmt_rgb_packed.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_renderer_base.h>
#include <agg_renderer_scanline.h>
#include <agg_rendering_buffer.h>
#include <agg_scanline_bin.h>
#include <cairo.h>

#include "geometry/raster.h"

namespace {

const Rect BENCH_CLIP{0, 0, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT};

void DrawPolyline(Canvas* canvas, const Shape& road, int32_t width, uint16_t colour) {
  for (size_t i = 0; i + 1 < road.size(); ++i) {
    DrawLine(canvas, road[i].x, road[i].y, road[i + 1].x, road[i + 1].y, colour, colour, width, BENCH_CLIP);
  }
}

void SetSource(cairo_t* cr, BenchColour c) { cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0); }

void CairoShapePath(cairo_t* cr, const Shape& shape) {
  cairo_move_to(cr, shape[0].x, shape[0].y);
  for (size_t i = 1; i < shape.size(); ++i) cairo_line_to(cr, shape[i].x, shape[i].y);
  cairo_close_path(cr);
}

// Strokes through pixel centres, so that a 1-pixel line covers one pixel.
void CairoStroke(cairo_t* cr, const Shape& road, int32_t width, BenchColour colour) {
  cairo_move_to(cr, road[0].x + 0.5, road[0].y + 0.5);
  for (size_t i = 1; i < road.size(); ++i) cairo_line_to(cr, road[i].x + 0.5, road[i].y + 0.5);
  cairo_set_line_width(cr, width);
  SetSource(cr, colour);
  cairo_stroke(cr);
}

}  // namespace

void FillShapes(Canvas* canvas, const std::vector<Shape>& shapes) {
  for (size_t i = 0; i < shapes.size(); ++i) {
    uint16_t colour = AREA_PALETTE[i % AREA_COLOURS].Rgb565();
    FillPolygon(canvas, shapes[i].data(), static_cast<int32_t>(shapes[i].size()), colour, BENCH_CLIP);
  }
}

void DrawRoads(Canvas* canvas, const std::vector<Shape>& roads, int32_t width) {
  uint16_t colour = CasingColour(width).Rgb565();
  for (const Shape& road : roads) DrawPolyline(canvas, road, width, colour);
}

void DrawFrame(Canvas* canvas, const WorkloadFrame& frame) {
  FillCanvas(canvas, BACKGROUND.Rgb565());
  FillShapes(canvas, frame.areas);
  for (const StyledRoad& road : frame.roads) DrawPolyline(canvas, road.points, road.width, CasingColour(road.width).Rgb565());
  for (const StyledRoad& road : frame.roads) {
    if (road.centreWidth > 0) DrawPolyline(canvas, road.points, road.centreWidth, CentreColour(road.width).Rgb565());
  }
}

// ---------------------------------------------------------------------------

struct CairoTarget::Impl {
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
};

CairoTarget::CairoTarget() : impl(new Impl) {
  impl->surface = cairo_image_surface_create(CAIRO_FORMAT_RGB16_565, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
  impl->cr = cairo_create(impl->surface);
  cairo_set_antialias(impl->cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_fill_rule(impl->cr, CAIRO_FILL_RULE_EVEN_ODD);
}

CairoTarget::~CairoTarget() {
  cairo_destroy(impl->cr);
  cairo_surface_destroy(impl->surface);
}

void CairoTarget::FillShapes(const std::vector<Shape>& shapes) {
  for (size_t i = 0; i < shapes.size(); ++i) {
    CairoShapePath(impl->cr, shapes[i]);
    SetSource(impl->cr, AREA_PALETTE[i % AREA_COLOURS]);
    cairo_fill(impl->cr);
  }
}

void CairoTarget::StrokeRoads(const std::vector<Shape>& roads, int32_t width) {
  for (const Shape& road : roads) CairoStroke(impl->cr, road, width, CasingColour(width));
}

void CairoTarget::DrawFrame(const WorkloadFrame& frame) {
  SetSource(impl->cr, BACKGROUND);
  cairo_paint(impl->cr);
  FillShapes(frame.areas);
  for (const StyledRoad& road : frame.roads) CairoStroke(impl->cr, road.points, road.width, CasingColour(road.width));
  for (const StyledRoad& road : frame.roads) {
    if (road.centreWidth > 0) CairoStroke(impl->cr, road.points, road.centreWidth, CentreColour(road.width));
  }
}

void CairoTarget::Flush() { cairo_surface_flush(impl->surface); }

// ---------------------------------------------------------------------------

struct AggTarget::Impl {
  using PixelFormat = agg::pixfmt_rgb565;
  using BaseRenderer = agg::renderer_base<PixelFormat>;

  std::vector<uint16_t> pixels = std::vector<uint16_t>(size_t{MAP_CANVAS_WIDTH} * MAP_CANVAS_HEIGHT);
  agg::rendering_buffer buffer{reinterpret_cast<agg::int8u*>(pixels.data()), MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT,
                               MAP_CANVAS_WIDTH * 2};
  PixelFormat format{buffer};
  BaseRenderer base{format};
  agg::renderer_scanline_bin_solid<BaseRenderer> renderer{base};
  agg::rasterizer_scanline_aa<> rasterizer;
  agg::scanline_bin scanline;
};

AggTarget::AggTarget() : impl(new Impl) { impl->rasterizer.filling_rule(agg::fill_even_odd); }

AggTarget::~AggTarget() = default;

void AggTarget::FillShapes(const std::vector<Shape>& shapes) {
  for (size_t i = 0; i < shapes.size(); ++i) {
    const Shape& shape = shapes[i];
    impl->rasterizer.reset();
    impl->rasterizer.move_to_d(shape[0].x, shape[0].y);
    for (size_t k = 1; k < shape.size(); ++k) impl->rasterizer.line_to_d(shape[k].x, shape[k].y);
    impl->rasterizer.close_polygon();
    BenchColour c = AREA_PALETTE[i % AREA_COLOURS];
    impl->renderer.color(agg::rgba8(c.r, c.g, c.b));
    agg::render_scanlines(impl->rasterizer, impl->scanline, impl->renderer);
  }
}
