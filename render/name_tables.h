// The tables of the names pass: facility marks and small symbols by class
// code (their atlas rectangles come from name_pictures.def, which the
// picture generator reads too), numbered symbol cells and label colours.
#pragma once

#include <cstdint>

// A rectangle of a picture atlas.
struct AtlasRect {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

// The facility mark of class `code` in picture 132; false when it has none.
bool MarkOf(uint16_t code, AtlasRect* rect);

// The small symbol of class `code` in picture 133 and whether a number is
// drawn over it (and no label beside it); false when it has none.
bool SymbolOf(uint16_t code, AtlasRect* rect, bool* withNumber);

// The numbered cell of class `code` in picture 133; false when it has none.
bool NumberedCellOf(uint16_t code, AtlasRect* rect);

// The extra symbol of picture 133 beside the labels of the classes that have
// no symbol of their own (ExtraSymbolClass).
AtlasRect ExtraSymbol();
bool ExtraSymbolClass(uint16_t code);

// Boxed labels: white text on a blue box instead of a halo.
bool BoxedLabelClass(uint16_t code);

// The label colour of class `code` as 24-bit 0xRRGGBB.
uint32_t LabelColour(uint16_t code);
