#include "platform/quit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>

#include "platform/window.h"

namespace {

int wakePipe[2] = {-1, -1};
std::atomic<int> receivedSignal{0};
constexpr int QUIT_SIGNALS[] = {SIGTERM, SIGINT};

// Async-signal-safe: records the signal and writes one byte.
void OnQuitSignal(int signal) {
  int saved = errno;
  receivedSignal.store(signal);
  const char byte = 1;
  ssize_t ignored = write(wakePipe[1], &byte, 1);
  (void)ignored;
  errno = saved;
}

// Waits for the handler's byte and asks the loop to end.
void WatchQuitSignals() {
  char byte = 0;
  for (;;) {
    ssize_t got = read(wakePipe[0], &byte, 1);
    if (got == 1) break;
    if (got < 0 && errno == EINTR) continue;
    return;
  }
  RequestQuit();
}

}  // namespace

int InstallQuitSignals() {
  if (wakePipe[0] >= 0) return 0;
  if (pipe2(wakePipe, O_CLOEXEC) != 0) return -1;
  // The watcher lives as long as the process; it needs no join.
  std::thread(WatchQuitSignals).detach();
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (int signal : QUIT_SIGNALS) sigaction(signal, &action, nullptr);
  return 0;
}

int QuitSignal() { return receivedSignal.load(); }
