// Opening the benchmark's day in the calendar on the headless backend and
// timing each opening from the pen-up until the map screen is ready: shared
// by the render benchmark (later openings) and render_first_opening (the
// first opening of a fresh process).
#pragma once

#include <cstdint>
#include <vector>

// The day the benchmark device has a log for.
constexpr int32_t BENCH_DAY_YEAR = 2009, BENCH_DAY_MONTH = 5, BENCH_DAY_DAY = 12;

// Opens the day `openings` + 1 times in a new calendar on the headless
// backend of the device root set before, and returns the real time of each
// opening in seconds, the first one (which creates the map screen and loads
// its pictures) first; empty when an opening did not finish. With
// `cpuSeconds`, also the processor time all threads spent in each opening.
std::vector<double> MeasureOpenings(int openings, std::vector<double>* cpuSeconds = nullptr);
