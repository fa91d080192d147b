// A backend for programs without a screen that serve other programs' messages
// (the main-menu stand-in): the real clock, no input, and a wait that ends on
// a message, a timer or a stop request.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/backend.h"

class ServiceBackend : public Backend {
 public:
  // Makes the message loop end soon (RunModal returns -1). Safe to call from
  // a signal handler: it only sets a flag that the wait looks at.
  void Stop() { stopping = true; }

  uint32_t Tick() override;
  void Now(LocalTime* time) override;
  bool WaitInput(uint32_t deadline, bool hasDeadline, InputEvent* event) override;
  void Wake() override;
  void Present(const Canvas&) override {}

 private:
  std::atomic<bool> stopping{false};
  std::mutex mutex;
  std::condition_variable woken;
  bool wakePending = false;
};
