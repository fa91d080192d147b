// tevo-logviewer: the GPS log viewer, in a real window (SDL2) or headless
// from a script of pen input and screenshots.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/log_viewer_app.h"
#include "logs/log_directory.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/headless/headless.h"
#include "platform/quit_signals.h"
#include "platform/sdl2/sdl2.h"
#include "platform/window.h"

namespace {

constexpr int DEFAULT_SCALE = 2;

void PrintHelp(FILE* out) {
  std::fprintf(out,
               "usage: tevo-logviewer [--device-root DIR] [--scale N] [--script FILE]\n"
               "\n"
               "The GPS log viewer of the in-car device: a month calendar of the days that have\n"
               "logs, the day's track over the road map, deleting logs, the recording time and the\n"
               "card's free space. The mouse is the pen.\n"
               "\n"
               "options:\n"
               "  --device-root DIR  the device's files (\\SDMMC\\TEVOLOG\\..., NAND\\...) live under DIR\n"
               "                     (default: $TEVO_DEVICE_ROOT, else ~/.local/share/tevo-logviewer/device)\n"
               "  --scale N          enlarge the 480 x 272 screen N times (1..8, default %d)\n"
               "  --script FILE      run without a window, from a script of commands (- reads the\n"
               "                     standard input), one a line:\n"
               "                       down X Y | move X Y | up    pen input at screen pixel X, Y\n"
               "                       wait MS                     advance the clock\n"
               "                       shot FILE.png               save the screen\n"
               "                       expect-title TEXT           check the title of the top window\n"
               "                       quit                        end\n"
               "  -h, --help         show this help\n"
               "  --version          show the version\n",
               DEFAULT_SCALE);
}

struct Options {
  const char* deviceRoot = nullptr;
  const char* script = nullptr;
  int scale = DEFAULT_SCALE;
};

// Returns -1 to go on, else the exit status.
int ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      PrintHelp(stdout);
      return 0;
    } else if (std::strcmp(arg, "--version") == 0) {
      std::printf("tevo-logviewer %s\n", TEVO_VERSION);
      return 0;
    } else if (std::strcmp(arg, "--device-root") == 0 && hasValue) {
      options->deviceRoot = argv[++i];
    } else if (std::strcmp(arg, "--script") == 0 && hasValue) {
      options->script = argv[++i];
    } else if (std::strcmp(arg, "--scale") == 0 && hasValue) {
      char* end = nullptr;
      long scale = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || scale < 1 || scale > 8) {
        std::fprintf(stderr, "tevo-logviewer: --scale takes a whole number from 1 to 8\n");
        return 2;
      }
      options->scale = static_cast<int>(scale);
    } else {
      std::fprintf(stderr, "tevo-logviewer: unknown or incomplete option '%s' (see --help)\n", arg);
      return 2;
    }
  }
  return -1;
}

// Without logs the calendar shows the device's own notice, which cannot say
// where the viewer looked: a user starting it for the first time learns
// here which device root was read and how to give it logs.
void PrintNoLogsHint() {
  if (CountNewestMonthLogs() >= 1) return;
  std::fprintf(stderr,
               "tevo-logviewer: no logs under the device root %s; make a demo device with "
               "'tevo-logtool demo --out DIR' or point at a card with '--device-root DIR'\n",
               DeviceRoot().c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int status = ParseOptions(argc, argv, &options);
  if (status >= 0) return status;
  if (options.deviceRoot != nullptr) SetDeviceRoot(options.deviceRoot);
  PrintNoLogsHint();
  if (!HasJapaneseFont()) {
    std::fprintf(stderr,
                 "tevo-logviewer: no Japanese font found; texts will not show. "
                 "Install one with: sudo apt-get install fonts-ipafont-gothic\n");
  }

  HeadlessBackend headless;
  Sdl2Backend sdl2;
  std::string error;
  if (options.script != nullptr) {
    if (headless.LoadScript(options.script, &error) != 0) {
      std::fprintf(stderr, "tevo-logviewer: %s\n", error.c_str());
      return 2;
    }
    SetBackend(&headless);
  } else {
    if (sdl2.Open(options.scale, "Tevo LogViewer", &error) != 0) {
      std::fprintf(stderr, "tevo-logviewer: %s (use --script FILE to run without a display)\n", error.c_str());
      return 1;
    }
    SetBackend(&sdl2);
  }

  // SIGTERM and SIGINT end the loop like the window's close button.
  InstallQuitSignals();
  LogViewerApp app;
  app.InitInstance();
  SetBackend(nullptr);
  // Ended by a signal: the shell's convention for a run cut short.
  if (QuitSignal() != 0) return 128 + QuitSignal();
  if (app.FoundAnotherCopy()) {
    // Nothing ran (no window, no script): that is not a success.
    std::fprintf(stderr, "tevo-logviewer: another copy is running already for the device root %s\n",
                 DeviceRoot().c_str());
    return 1;
  }
  return headless.Failures() == 0 ? 0 : 1;
}
