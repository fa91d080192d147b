// Counts the instructions of the dense city frame (c) drawn by the
// renderer's passes (the land colour, DrawBaseAreas, DrawFeatures,
// DrawRoads) under callgrind: the map is written and loaded and one frame
// drawn (which decodes and pools the parcel) before the instrumented frame,
// so that `valgrind --tool=callgrind --instr-atstart=no` counts one frame of
// a view whose parcels are pooled, as the renderer's frames of one view are.
//   passes_frame_count [--labels] [--picture FILE.ppm]
// --labels draws the 300 labels too (DrawNames, glyph caches warm);
// --picture writes the frame as a binary PPM to look at.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "bench/label_workload.h"
#include "bench/pass_workloads.h"
#include "bench/raster_workloads.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* USAGE =
    "usage: passes_frame_count [--labels] [--picture FILE.ppm]\n"
    "Draws the dense city frame through the map passes once under callgrind's instrumentation.\n";

int WritePicture(const Canvas& canvas, const char* path) {
  FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return -1;
  std::fprintf(out, "P6\n%d %d\n255\n", canvas.width, canvas.height);
  for (int32_t y = 0; y < canvas.height; ++y) {
    for (int32_t x = 0; x < canvas.width; ++x) {
      const uint16_t p = canvas.pixels[x + y * canvas.stride];
      const unsigned char rgb[3] = {static_cast<unsigned char>((p >> 11) << 3),
                                    static_cast<unsigned char>(((p >> 5) & 0x3F) << 2),
                                    static_cast<unsigned char>((p & 0x1F) << 3)};
      std::fwrite(rgb, 1, sizeof rgb, out);
    }
  }
  return std::fclose(out) == 0 ? 0 : -1;
}

}  // namespace

int main(int argc, char** argv) {
  bool labels = false;
  const char* picture = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--labels") == 0) {
      labels = true;
    } else if (std::strcmp(argv[i], "--picture") == 0 && i + 1 < argc) {
      picture = argv[++i];
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(USAGE, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "passes_frame_count: unknown argument %s\n%s", argv[i], USAGE);
      return 2;
    }
  }
  std::random_device seed;
  const fs::path dir = fs::temp_directory_path() / ("tevo-passes-count-" + std::to_string(seed()));
  std::error_code error;
  fs::create_directories(dir, error);
  int status = 0;
  {
    PassRig rig;
    if (error || rig.Open(CityFrame(), LabelWorkload(), (dir / "city.kwi").string()) != 0) {
      std::fprintf(stderr, "passes_frame_count: cannot set up the workload map in %s\n", dir.c_str());
      status = 1;
    } else {
      rig.DrawDenseFrame();
      if (labels) rig.DrawLabels();
      CALLGRIND_START_INSTRUMENTATION;
      rig.DrawDenseFrame();
      if (labels) rig.DrawLabels();
      CALLGRIND_STOP_INSTRUMENTATION;
      if (picture != nullptr && WritePicture(rig.GetFrame().kit->canvas, picture) != 0) {
        std::fprintf(stderr, "passes_frame_count: cannot write %s\n", picture);
        status = 1;
      }
    }
  }
  fs::remove_all(dir, error);
  return status;
}
