#include "tools/recorder/stop_signals.h"

#include <signal.h>

namespace {

volatile sig_atomic_t stopSignal = 0;

void OnStop(int signal) { stopSignal = signal; }

}  // namespace

int InstallStopSignals() {
  struct sigaction stop{};
  stop.sa_handler = OnStop;
  sigemptyset(&stop.sa_mask);
  // No SA_RESTART: a wait for gpsd returns at once, and the loop sees the flag.
  stop.sa_flags = 0;
  struct sigaction ignore{};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  if (sigaction(SIGTERM, &stop, nullptr) != 0 || sigaction(SIGINT, &stop, nullptr) != 0 ||
      sigaction(SIGPIPE, &ignore, nullptr) != 0 || sigaction(SIGXFSZ, &ignore, nullptr) != 0) {
    return -1;
  }
  return 0;
}

int StopSignal() { return stopSignal; }
