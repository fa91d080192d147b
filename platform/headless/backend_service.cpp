#include <chrono>

#include "platform/headless/service.h"

namespace {
// Longest single wait, so that a stop request is seen soon.
constexpr uint32_t STOP_POLL_MS = 100;
}

uint32_t ServiceBackend::Tick() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()) | 1u;
}

void ServiceBackend::Now(LocalTime* time) {
  *time = SystemLocalTime();
}

void ServiceBackend::Wake() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    wakePending = true;
  }
  woken.notify_one();
}

bool ServiceBackend::WaitInput(uint32_t deadline, bool hasDeadline, InputEvent* event) {
  if (stopping) {
    event->kind = InputEvent::QUIT;
    return true;
  }
  uint32_t wait = STOP_POLL_MS;
  if (hasDeadline) {
    int32_t left = static_cast<int32_t>(deadline - Tick());
    wait = left <= 0 ? 0 : (static_cast<uint32_t>(left) < wait ? static_cast<uint32_t>(left) : wait);
  }
  std::unique_lock<std::mutex> lock(mutex);
  woken.wait_for(lock, std::chrono::milliseconds(wait), [this] { return wakePending; });
  wakePending = false;
  return false;
}
