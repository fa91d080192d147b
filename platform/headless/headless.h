// The headless backend: no display, a virtual clock that only moves when a
// script (or a test) says so, pen input injected from the script, and the
// composed screen kept for screenshots and pixel checks.
//
// Script language, one command a line, '#' starts a comment:
//   down X Y | move X Y | up        pen input at screen pixel (X, Y)
//   wait MS                          advance the clock, firing the timers that
//                                    fall due and letting worker threads finish
//   shot FILE.png                    save the 480 x 272 screen
//   expect-title TEXT                the topmost visible window's title is TEXT
//   quit                             end the program
// The end of the script also ends the program.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "platform/backend.h"

struct ScriptStep {
  enum Kind { DOWN, MOVE, UP, WAIT, SHOT, EXPECT_TITLE, QUIT, CALL };
  Kind kind = QUIT;
  int32_t x = 0;
  int32_t y = 0;
  uint32_t ms = 0;
  std::string text;            // file name or title
  std::function<void()> call;  // CALL: runs on the user-interface thread when it is idle
  int line = 0;                // script line, for messages
};

class HeadlessBackend : public Backend {
 public:
  // The tick count starts at START_TICK; the local time starts at
  // $TEVO_LOCAL_TIME ("YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SS") when set, else
  // at the real local time, and moves with the virtual clock.
  static constexpr uint32_t START_TICK = 10000;
  HeadlessBackend();

  // Reads a script file. Returns 0, or -1 with a message naming the line.
  int LoadScript(const char* path, std::string* error);
  // Builds a script in code (tests).
  HeadlessBackend& Down(int32_t x, int32_t y);
  HeadlessBackend& Move(int32_t x, int32_t y);
  HeadlessBackend& Up();
  HeadlessBackend& Wait(uint32_t ms);
  HeadlessBackend& Shot(const std::string& path);
  HeadlessBackend& Call(std::function<void()> call);
  HeadlessBackend& Quit();
  // Sets the local time the clock starts from (before the program runs).
  void SetLocalTime(const LocalTime& time);

  // Failed expectations and screenshots so far (messages on stderr).
  int Failures() const { return failures; }

  uint32_t Tick() override;
  void Now(LocalTime* time) override;
  bool WaitInput(uint32_t deadline, bool hasDeadline, InputEvent* event) override;
  void Wake() override;
  void Present(const Canvas& screen) override;

 private:
  bool TakeStep(uint32_t deadline, bool hasDeadline, InputEvent* event);
  void Append(ScriptStep step);

  std::deque<ScriptStep> steps;
  std::atomic<uint32_t> clock{START_TICK};
  bool waiting = false;
  uint32_t waitUntil = 0;
  long long startSeconds = 0;  // local time at START_TICK, seconds since 1970 as if UTC
  int failures = 0;
  int32_t lastX = 0;  // where the pen was last put down or moved: an "up" lifts it there
  int32_t lastY = 0;
  std::mutex wakeMutex;
  std::condition_variable woken;
  bool wakePending = false;
};
