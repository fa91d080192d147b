#include "render/draw_kit.h"

#include "canvas/picture_ids.h"
#include "geometry/raster.h"
#include "platform/picture_cache.h"

namespace {

// The blue of the boxed labels.
constexpr uint16_t BOX_BLUE = 0x001F;

LogicalFont NameFont(int32_t tenthsOfPoint) {
  LogicalFont font;
  font.tenthsOfPoint = tenthsOfPoint;
  font.weight = DrawKit::NAME_FONT_WEIGHT;
  font.quality = FONT_QUALITY_ANTIALIASED;
  return font;
}

}  // namespace

DrawKit::~DrawKit() {
  DeleteDrawingContext(context);
  DeleteDrawingContext(textContext);
  DeleteFont(labelFont);
  DeleteFont(smallFont);
}

int DrawKit::Create(int32_t width, int32_t height) {
  labelFont = CreateFont(NameFont(NAME_FONT_SIZE * LABEL_FONT_FACTOR));
  smallFont = CreateFont(NameFont(NAME_FONT_SIZE * SMALL_FONT_FACTOR));
  CreateCanvas(&canvas, width, height);
  context = CreateDrawingContext();
  SelectCanvas(context, &canvas);
  CreateCanvas(&textCanvas, width, height);
  textContext = CreateDrawingContext();
  SelectCanvas(textContext, &textCanvas);
  const int pictures = (LoadPicture(&symbolAtlas, PICTURE_MAP_SYMBOLS) != 0) +
                       (LoadPicture(&markAtlas, PICTURE_FACILITY_MARKS) != 0) +
                       (LoadPicture(&flagAtlas, PICTURE_ROUND_BUTTONS) != 0);
  CreateCanvas(&boxCanvas, width, height);
  BlendFill(&boxCanvas, 0, 0, width, height, BOX_BLUE, 255);
  SelectFont(context, labelFont);
  SelectFont(textContext, labelFont);
  const bool made = labelFont != nullptr && smallFont != nullptr && context != nullptr && textContext != nullptr &&
                    canvas.pixels != nullptr && textCanvas.pixels != nullptr && boxCanvas.pixels != nullptr;
  return made && pictures == 3 ? 0 : -1;
}
