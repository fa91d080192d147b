// The SDL2 backend: a real window showing the 480 x 272 screen (enlarged by
// an integer factor with sharp pixels), the mouse as the pen, the real clock.
#pragma once

#include <string>

#include "platform/backend.h"

class Sdl2Backend : public Backend {
 public:
  Sdl2Backend();
  ~Sdl2Backend() override;
  // Opens the window, `scale` times the screen size (1..8). Returns 0, or
  // -1 with a message (no display, ...).
  int Open(int scale, const char* windowTitle, std::string* error);

  uint32_t Tick() override;
  void Now(LocalTime* time) override;
  bool WaitInput(uint32_t deadline, bool hasDeadline, InputEvent* event) override;
  void Wake() override;
  void Present(const Canvas& screen) override;

 private:
  struct Impl;
  Impl* impl;
};
