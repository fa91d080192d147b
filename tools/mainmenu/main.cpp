// tevo-mainmenu: a stand-in for the device's main-menu program. It owns a
// window titled "MainMenu", answers the viewer's query (message 1025) with
// the target of its tap notifications, and prints one line for every tap
// notification (message 1026) it receives.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/headless/service.h"
#include "platform/window.h"

namespace {

constexpr uint32_t MSG_QUERY_TAP_TARGET = WM_USER + 1;
constexpr uint32_t MSG_TAP = WM_USER + 2;

ServiceBackend backend;

class MainMenuWindow : public Window {
 public:
  long limit = 0;  // stop after this many notifications (0: never)
  long taps = 0;

 protected:
  intptr_t OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    if (message == MSG_QUERY_TAP_TARGET) return static_cast<intptr_t>(Handle());
    if (message == MSG_TAP) {
      ++taps;
      std::printf("tap %ld wParam=%lu lParam=%ld\n", taps, static_cast<unsigned long>(wParam),
                  static_cast<long>(lParam));
      std::fflush(stdout);
      if (limit > 0 && taps >= limit) EndModal(0);
    }
    return 0;
  }
};

void Stop(int) { backend.Stop(); }

}  // namespace

int main(int argc, char** argv) {
  MainMenuWindow window;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::printf(
          "usage: tevo-mainmenu [--count N]\n"
          "\n"
          "Stands in for the device's main-menu program: owns a window titled \"MainMenu\",\n"
          "answers the viewer's query for the target of its tap notifications, and prints\n"
          "one line per tap notification it receives, until interrupted.\n"
          "\n"
          "options:\n"
          "  --count N    end after N notifications\n"
          "  -h, --help   show this help\n"
          "  --version    show the version\n");
      return 0;
    } else if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tevo-mainmenu %s\n", TEVO_VERSION);
      return 0;
    } else if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc) {
      window.limit = std::strtol(argv[++i], nullptr, 10);
    } else {
      std::fprintf(stderr, "tevo-mainmenu: unknown option '%s' (see --help)\n", argv[i]);
      return 2;
    }
  }
  if (FindWindowByTitle("MainMenu") != 0) {
    std::fprintf(stderr, "tevo-mainmenu: a window titled MainMenu exists already\n");
    return 1;
  }
  std::signal(SIGINT, Stop);
  std::signal(SIGTERM, Stop);
  SetBackend(&backend);
  window.Create(nullptr, false);
  window.SetWindowText("MainMenu");
  std::printf("MainMenu ready\n");
  std::fflush(stdout);
  window.RunModal();
  window.DestroyWindow();
  SetBackend(nullptr);
  return 0;
}
