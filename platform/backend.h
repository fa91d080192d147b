// The contract between the message loop and a window backend: where input
// and time come from and where the composed screen goes.
#pragma once

#include <cstdint>

#include "canvas/canvas.h"
#include "platform/kernel.h"

struct InputEvent {
  enum Kind { NONE, PEN_DOWN, PEN_MOVE, PEN_UP, QUIT };
  Kind kind = NONE;
  int32_t x = 0;  // screen pixels
  int32_t y = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;
  // The millisecond tick count of the backend's clock.
  virtual uint32_t Tick() = 0;
  // The local date and time of the backend's clock.
  virtual void Now(LocalTime* time) = 0;
  // Called by the loop when it has nothing else to do. Waits until input
  // arrives, until tick `deadline` is reached (when `hasDeadline`; the next
  // timer), or until Wake. Returns true with an event, or false when the
  // loop should look at its queue and timers again.
  virtual bool WaitInput(uint32_t deadline, bool hasDeadline, InputEvent* event) = 0;
  // Interrupts WaitInput; callable from any thread.
  virtual void Wake() = 0;
  // Shows the composed screen.
  virtual void Present(const Canvas& screen) = 0;
};

// Chooses the backend of the process (before any window is created). The
// backend is not owned.
void SetBackend(Backend* backend);
Backend* CurrentBackend();
