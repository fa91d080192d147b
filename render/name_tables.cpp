#include "render/name_tables.h"

#include "canvas/canvas.h"

namespace {

enum PictureKind : uint8_t { KIND_MARK, KIND_SYMBOL, KIND_NUMBERED, KIND_EXTRA };

// One line of the table: the classes first..last, the atlas rectangle, and
// the number flag of a symbol or the first cell of a numbered run.
struct PictureEntry {
  PictureKind kind;
  uint16_t first, last;
  AtlasRect rect;
  int32_t value;
};

#define MARK(code, x, y, w, h) PictureEntry{KIND_MARK, code, code, AtlasRect{x, y, w, h}, 0},
#define SYMBOL(first, last, x, y, w, h, number) PictureEntry{KIND_SYMBOL, first, last, AtlasRect{x, y, w, h}, number},
#define NUMBERED(first, last, cell) PictureEntry{KIND_NUMBERED, first, last, AtlasRect{}, cell},
#define EXTRA_SYMBOL(x, y, w, h) PictureEntry{KIND_EXTRA, 0, 0, AtlasRect{x, y, w, h}, 0},
constexpr PictureEntry NAME_PICTURES[] = {
#include "render/name_pictures.def"
};
#undef MARK
#undef SYMBOL
#undef NUMBERED
#undef EXTRA_SYMBOL

// The first line of `kind` whose classes hold `code`, or null.
const PictureEntry* FindPicture(PictureKind kind, uint16_t code) {
  for (const PictureEntry& entry : NAME_PICTURES) {
    if (entry.kind == kind && entry.first <= code && code <= entry.last) return &entry;
  }
  return nullptr;
}

// The numbered grid: 20 x 20 cells, 12 a row from y = 64.
constexpr int32_t CELL_SIZE = 20;
constexpr int32_t CELLS_PER_ROW = 12;
constexpr int32_t CELLS_TOP = 64;

struct ColourRun {
  uint16_t first, last;
  uint32_t rgb;
};

// In order: the first run holding a code gives its colour.
constexpr ColourRun LABEL_COLOURS[] = {
    {0, 374, 0x000000},       {512, 651, 0x000000},     {654, 720, 0x000000},     {733, 767, 0x000000},
    {375, 511, 0x940000},     {652, 653, 0xFFFFFF},     {721, 732, 0x0000FF},     {808, 820, 0x0000FF},
    {775, 778, 0x00009A},     {941, 945, 0x6F78EF},     {0, 1023, 0x5A0000},      {1024, 1279, 0x00FF00},
    {1280, 1535, 0xED5A20},   {1536, 1791, 0xFF9000},   {1792, 2047, 0xA0A0A0},   {3584, 3839, 0x940000},
    {3840, 4095, 0x6F78EF},
};
constexpr uint32_t OTHER_LABEL_COLOUR = 0x000000;

bool InRange(uint16_t code, uint16_t first, uint16_t last) { return first <= code && code <= last; }

}  // namespace

bool MarkOf(uint16_t code, AtlasRect* rect) {
  const PictureEntry* mark = FindPicture(KIND_MARK, code);
  if (mark != nullptr) *rect = mark->rect;
  return mark != nullptr;
}

bool SymbolOf(uint16_t code, AtlasRect* rect, bool* withNumber) {
  const PictureEntry* symbol = FindPicture(KIND_SYMBOL, code);
  if (symbol == nullptr) return false;
  *rect = symbol->rect;
  *withNumber = symbol->value != 0;
  return true;
}

bool NumberedCellOf(uint16_t code, AtlasRect* rect) {
  const PictureEntry* run = FindPicture(KIND_NUMBERED, code);
  if (run == nullptr) return false;
  int32_t cell = run->value + (code - run->first);
  *rect = AtlasRect{cell % CELLS_PER_ROW * CELL_SIZE, CELLS_TOP + cell / CELLS_PER_ROW * CELL_SIZE, CELL_SIZE, CELL_SIZE};
  return true;
}

AtlasRect ExtraSymbol() {
  for (const PictureEntry& entry : NAME_PICTURES) {
    if (entry.kind == KIND_EXTRA) return entry.rect;
  }
  return AtlasRect{};
}

bool ExtraSymbolClass(uint16_t code) { return InRange(code, 320, 326) || InRange(code, 363, 374); }

bool BoxedLabelClass(uint16_t code) { return code == 652 || code == 653; }

uint32_t LabelColour(uint16_t code) {
  for (const ColourRun& run : LABEL_COLOURS) {
    if (InRange(code, run.first, run.last)) return run.rgb;
  }
  return OTHER_LABEL_COLOUR;
}
