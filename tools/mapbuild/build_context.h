// What the stages of a map build share: the recipe and options, the
// progress meter, the temporary folder and the summary the stages add to.
// The stages keep everything else to themselves and hand their products on
// explicitly, so that each can be read (and tested) without the others.
#pragma once

#include <string>

#include "tools/mapbuild/map_build.h"
#include "tools/mapbuild/progress_meter.h"
#include "tools/mapbuild/recipe.h"
#include "tools/mapbuild/temporary_folder.h"

struct BuildContext {
  const Recipe& recipe;
  const BuildOptions& options;
  TemporaryFolder& temporary;
  // Added to by the conductor's thread only; stages running on other
  // threads report through their own results.
  BuildSummary* summary;

  // A progress line (none without a meter).
  void Line(const std::string& text) const {
    if (options.meter != nullptr) options.meter->Line(text);
  }
  // A line shown even when progress is not.
  void Warning(const std::string& text) const {
    if (options.meter != nullptr) options.meter->Warning(text);
  }
  ProgressMeter* Meter() const { return options.meter; }
  // The stop flag was set (by a signal or the caller): stop, clean up, fail.
  bool Stopped() const { return options.stop != nullptr && options.stop->load(); }
};

// The error of a build that was stopped.
constexpr char INTERRUPTED[] = "interrupted";
