// Draws the city frame (c) once under callgrind's instrumentation only, so
// that `valgrind --tool=callgrind --instr-atstart=no` counts the instructions
// of the drawing alone. Argument: "tevo" (default) or "cairo".
#include <valgrind/callgrind.h>

#include <cstring>

#include "canvas/canvas.h"
#include "bench/raster_draw.h"
#include "bench/raster_workloads.h"

int main(int argc, char** argv) {
  bool cairo = argc > 1 && std::strcmp(argv[1], "cairo") == 0;
  WorkloadFrame frame = CityFrame();
  if (cairo) {
    CairoTarget target;
    CALLGRIND_START_INSTRUMENTATION;
    target.DrawFrame(frame);
    target.Flush();
    CALLGRIND_STOP_INSTRUMENTATION;
  } else {
    Canvas canvas;
    CreateCanvas(&canvas, MAP_CANVAS_WIDTH, MAP_CANVAS_HEIGHT);
    CALLGRIND_START_INSTRUMENTATION;
    DrawFrame(&canvas, frame);
    CALLGRIND_STOP_INSTRUMENTATION;
  }
  return 0;
}
