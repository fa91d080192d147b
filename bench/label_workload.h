// The label workload: 300 Japanese labels of 4 to 8 characters of place and
// facility names, the same in every run, in the 11-point label font.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t LABEL_WORKLOAD_COUNT = 300;
// The label font of the map: 11 points (110 tenths), light weight.
constexpr int32_t LABEL_WORKLOAD_TENTHS_OF_POINT = 110;
constexpr int32_t LABEL_WORKLOAD_WEIGHT = 300;

// The 300 labels (splitmix64, seed 5), as UTF-16.
std::vector<std::u16string> LabelWorkload();
