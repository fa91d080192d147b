#include "render/styles.h"

#include <cstddef>
#include <cstdint>

namespace {

// Classes 3344 and 3537 are drawn as water below this scale value (m), as
// land from it on.
constexpr int32_t WATER_AREA_SCALE_LIMIT = 200;

// A run of class codes sharing a style, first..last inclusive.
struct ClassRun {
  uint16_t first, last;
  int8_t style;
};

constexpr ClassRun FEATURE_CLASSES[] = {
    {3472, 3473, 0},  {3528, 3528, 0},
    {808, 809, 1},    {819, 819, 1},    {3349, 3350, 1},  {3352, 3352, 1},  {3444, 3445, 1},
    {3447, 3447, 1},  {3504, 3504, 1},  {3509, 3512, 1},
    {3351, 3351, 2},  {3474, 3474, 2},  {3480, 3480, 2},
    {3328, 3328, 3},  {3330, 3331, 3},
    {3332, 3334, 4},
    {3452, 3452, 5},  {3455, 3455, 5},  {3507, 3507, 5},  {3529, 3529, 5},
    {3496, 3496, 6},  {3498, 3498, 6},  {3500, 3503, 6},  {3513, 3517, 6},  {3519, 3519, 6},
    {3497, 3497, 7},
    {3477, 3477, 8},
    {3478, 3479, 9},
    {3481, 3481, 10},
    {3483, 3483, 11},
    {3489, 3489, 12}, {3495, 3495, 12},
    {3490, 3490, 13},
    {3491, 3491, 14},
    {3492, 3492, 15},
    {3493, 3494, 16},
    {3482, 3482, 17},
    {2848, 2850, 18}, {2864, 2865, 18}, {2880, 2881, 18}, {2884, 2885, 18}, {2896, 2899, 18},
    {2912, 2915, 18}, {2928, 2929, 18}, {2944, 2945, 18}, {2960, 2961, 18}, {2976, 2977, 18},
    {3072, 3095, 26}, {3104, 3127, 26}, {3248, 3255, 26}, {3264, 3271, 26},
    {3136, 3147, 28},
    {3152, 3163, 29},
    {3168, 3179, 30}, {3184, 3195, 30},
    {3200, 3203, 31}, {3208, 3211, 31}, {3216, 3219, 31},
    {3232, 3243, 32},
    {2816, 2819, 37}, {2822, 2823, 37}, {2832, 2834, 37},
    {2820, 2821, 38}, {2835, 2839, 38}, {2851, 2855, 38}, {2866, 2868, 38}, {2882, 2883, 38},
    {2978, 2981, 38},
    {3296, 3296, 40}, {3372, 3372, 40}, {3375, 3375, 40},
    {3297, 3297, 41}, {3486, 3486, 41},
};

constexpr ClassRun BASE_AREA_CLASSES[] = {
    {3351, 3351, 19}, {3536, 3536, 19}, {3542, 3542, 19},
    {3345, 3345, 22}, {3538, 3538, 22},
    {3346, 3346, 23}, {3539, 3539, 23},
    {3347, 3347, 24}, {3540, 3540, 24},
    {3348, 3348, 25}, {3541, 3541, 25},
};

template <size_t N>
constexpr int32_t LookUp(const ClassRun (&runs)[N], uint16_t code) {
  for (const ClassRun& run : runs) {
    if (run.first <= code && code <= run.last) return run.style;
  }
  return NO_STYLE;
}

// The lowest and highest code of the feature classes' runs.
constexpr uint16_t FIRST_FEATURE_CODE = 808;
constexpr uint16_t LAST_FEATURE_CODE = 3529;
static_assert(LookUp(FEATURE_CLASSES, FIRST_FEATURE_CODE) != NO_STYLE &&
                  LookUp(FEATURE_CLASSES, LAST_FEATURE_CODE) != NO_STYLE,
              "the table's ends are codes of the runs");

// The feature classes' styles by code, made from the runs when the program
// is built: every item of a frame asks for its style, and a walk over the
// runs costs more than drawing most items.
struct FeatureStyleTable {
  int8_t styles[LAST_FEATURE_CODE - FIRST_FEATURE_CODE + 1];

  constexpr FeatureStyleTable() : styles{} {
    for (const ClassRun& run : FEATURE_CLASSES) {
      if (run.first < FIRST_FEATURE_CODE || run.last > LAST_FEATURE_CODE) throw "a run outside the table";
    }
    for (int32_t code = FIRST_FEATURE_CODE; code <= LAST_FEATURE_CODE; ++code) {
      styles[code - FIRST_FEATURE_CODE] = static_cast<int8_t>(LookUp(FEATURE_CLASSES, static_cast<uint16_t>(code)));
    }
  }
};

constexpr FeatureStyleTable FEATURE_STYLE_TABLE;

}  // namespace

const Style BACKGROUND_STYLES[BACKGROUND_STYLE_COUNT] = {
    {153, 194, 56, 1, 0},   {108, 152, 199, 1, 0}, {224, 202, 114, 1, 0}, {254, 0, 0, 2, 2},
    {72, 10, 14, 1, 2},     {191, 172, 116, 1, 2}, {191, 61, 52, 1, 0},   {239, 126, 100, 1, 0},
    {141, 191, 61, 1, 0},   {72, 163, 100, 1, 0},  {168, 204, 75, 1, 0},  {195, 183, 123, 1, 0},
    {167, 142, 95, 1, 0},   {209, 81, 134, 1, 0},  {93, 171, 166, 1, 0},  {116, 122, 165, 1, 0},
    {191, 172, 116, 1, 0},  {201, 192, 187, 1, 0}, {0, 0, 0, 1, 0},       {248, 248, 192, 1, 0},
    {244, 244, 244, 1, 0},  {202, 232, 238, 1, 0}, {245, 195, 218, 1, 0}, {248, 218, 192, 1, 0},
    {248, 248, 192, 1, 0},  {217, 210, 231, 1, 0}, {63, 90, 130, 1, 0},   {63, 90, 130, 1, 0},
    {238, 94, 2, 1, 0},     {81, 182, 81, 1, 0},   {253, 235, 49, 1, 0},  {199, 182, 145, 1, 0},
    {225, 195, 99, 1, 0},   {152, 128, 119, 1, 0}, {0, 198, 255, 1, 0},   {1, 35, 63, 1, 0},
    {0, 0, 0, 1, 0},        {0, 0, 0, 3, 1},       {128, 128, 128, 3, 2}, {0, 0, 0, 1, 0},
    {128, 128, 128, 1, 0},  {255, 255, 255, 1, 0}, {8, 8, 16, 1, 0},
};

// Entries 10..15 are not used; entries 16..25 give only their colour.
const Style ROAD_STYLES[ROAD_STYLE_COUNT] = {
    {7, 64, 129, 5, 0},     {7, 64, 129, 5, 0},     {200, 0, 30, 5, 0},     {0, 109, 44, 5, 0},
    {204, 163, 0, 5, 0},    {102, 62, 9, 3, 0},     {102, 81, 75, 3, 0},    {102, 81, 75, 1, 0},
    {123, 102, 93, 1, 0},   {123, 102, 93, 1, 0},   {0, 0, 0, 1, 0},        {0, 0, 0, 1, 0},
    {0, 0, 0, 1, 0},        {0, 0, 0, 1, 0},        {0, 0, 0, 1, 0},        {0, 0, 0, 1, 0},
    {133, 154, 199, 1, 0},  {133, 154, 199, 1, 0},  {247, 119, 100, 1, 0},  {137, 207, 124, 1, 0},
    {234, 227, 111, 1, 0},  {196, 171, 118, 1, 0},  {186, 167, 151, 1, 0},  {186, 167, 151, 1, 0},
    {142, 142, 142, 1, 0},  {142, 142, 142, 1, 0},
};

int32_t BaseAreaStyle(uint16_t code, int32_t metres) {
  constexpr int32_t WATER = 21;
  if (code == 3344 || code == 3537) return metres < WATER_AREA_SCALE_LIMIT ? WATER : STYLE_LAND;
  return LookUp(BASE_AREA_CLASSES, code);
}

int32_t FeatureStyle(uint16_t code) {
  if (code < FIRST_FEATURE_CODE || code > LAST_FEATURE_CODE) return NO_STYLE;
  return FEATURE_STYLE_TABLE.styles[code - FIRST_FEATURE_CODE];
}

bool IsFillOnlyStyle(int32_t style) {
  return style == 0 || style == 1 || style == 2 || style == 11 || style == 17 || style == 41;
}
