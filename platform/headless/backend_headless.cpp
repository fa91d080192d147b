#include "platform/headless/headless.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/picture.h"
#include "platform/window.h"

namespace {

// How long the idle loop waits for busy worker threads before it looks at
// the message queue again (real time; the virtual clock stands still).
constexpr auto WORKER_POLL = std::chrono::milliseconds(1);

long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

long long SecondsOf(const LocalTime& t) {
  return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 +
         t.hour * 3600 + t.minute * 60 + t.second;
}

LocalTime TimeOf(long long seconds) {
  long long days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  long long rest = seconds - days * 86400;
  std::time_t asUtc = static_cast<std::time_t>(days * 86400 + rest);
  std::tm parts{};
  gmtime_r(&asUtc, &parts);
  LocalTime time;
  time.year = parts.tm_year + 1900;
  time.month = parts.tm_mon + 1;
  time.day = parts.tm_mday;
  time.hour = parts.tm_hour;
  time.minute = parts.tm_min;
  time.second = parts.tm_sec;
  return time;
}

bool ParseLocalTime(const char* text, LocalTime* time) {
  LocalTime t;
  int n = std::sscanf(text, "%d-%d-%dT%d:%d:%d", &t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second);
  if (n != 3 && n != 6) return false;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return false;
  *time = t;
  return true;
}

}  // namespace

HeadlessBackend::HeadlessBackend() {
  LocalTime start;
  const char* fixed = std::getenv("TEVO_LOCAL_TIME");
  if (fixed == nullptr || !ParseLocalTime(fixed, &start)) start = SystemLocalTime();
  SetLocalTime(start);
}

void HeadlessBackend::SetLocalTime(const LocalTime& time) { startSeconds = SecondsOf(time) - (clock - START_TICK) / 1000; }

int HeadlessBackend::LoadScript(const char* path, std::string* error) {
  // "-" reads the script from the standard input.
  std::ifstream file;
  bool fromStdin = std::string(path) == "-";
  if (!fromStdin) {
    file.open(path);
    if (!file) {
      *error = std::string("cannot read script ") + path;
      return -1;
    }
  }
  std::istream& in = fromStdin ? std::cin : file;
  std::string text;
  for (int line = 1; std::getline(in, text); ++line) {
    size_t hash = text.find('#');
    if (hash != std::string::npos) text.resize(hash);
    std::istringstream words(text);
    std::string command;
    if (!(words >> command)) continue;
    ScriptStep step;
    step.line = line;
    bool ok = true;
    if (command == "down" || command == "move") {
      step.kind = command == "down" ? ScriptStep::DOWN : ScriptStep::MOVE;
      ok = static_cast<bool>(words >> step.x >> step.y);
    } else if (command == "up") {
      step.kind = ScriptStep::UP;
    } else if (command == "wait") {
      long long ms = -1;
      ok = (words >> ms) && ms >= 0 && ms <= 0x7FFFFFFF;
      step.kind = ScriptStep::WAIT;
      step.ms = static_cast<uint32_t>(ms);
    } else if (command == "shot" || command == "expect-title") {
      step.kind = command == "shot" ? ScriptStep::SHOT : ScriptStep::EXPECT_TITLE;
      std::getline(words >> std::ws, step.text);
      while (!step.text.empty() && (step.text.back() == ' ' || step.text.back() == '\r')) step.text.pop_back();
      ok = !step.text.empty();
    } else if (command == "quit") {
      step.kind = ScriptStep::QUIT;
    } else {
      *error = std::string(path) + ":" + std::to_string(line) + ": unknown command '" + command + "'";
      return -1;
    }
    std::string extra;
    if (!ok || (step.kind != ScriptStep::SHOT && step.kind != ScriptStep::EXPECT_TITLE && (words >> extra))) {
      *error = std::string(path) + ":" + std::to_string(line) + ": bad arguments to '" + command + "'";
      return -1;
    }
    Append(step);
  }
  return 0;
}

void HeadlessBackend::Append(ScriptStep step) { steps.push_back(std::move(step)); }

HeadlessBackend& HeadlessBackend::Down(int32_t x, int32_t y) {
  Append(ScriptStep{ScriptStep::DOWN, x, y, 0, {}, {}, 0});
  return *this;
}
HeadlessBackend& HeadlessBackend::Move(int32_t x, int32_t y) {
  Append(ScriptStep{ScriptStep::MOVE, x, y, 0, {}, {}, 0});
  return *this;
}
HeadlessBackend& HeadlessBackend::Up() {
  Append(ScriptStep{ScriptStep::UP, 0, 0, 0, {}, {}, 0});
  return *this;
}
HeadlessBackend& HeadlessBackend::Wait(uint32_t ms) {
  Append(ScriptStep{ScriptStep::WAIT, 0, 0, ms, {}, {}, 0});
  return *this;
}
HeadlessBackend& HeadlessBackend::Shot(const std::string& path) {
  Append(ScriptStep{ScriptStep::SHOT, 0, 0, 0, path, {}, 0});
  return *this;
}
HeadlessBackend& HeadlessBackend::Call(std::function<void()> call) {
  Append(ScriptStep{ScriptStep::CALL, 0, 0, 0, {}, std::move(call), 0});
  return *this;
}
HeadlessBackend& HeadlessBackend::Quit() {
  Append(ScriptStep{ScriptStep::QUIT, 0, 0, 0, {}, {}, 0});
  return *this;
}

uint32_t HeadlessBackend::Tick() { return clock.load(); }

void HeadlessBackend::Now(LocalTime* time) { *time = TimeOf(startSeconds + (clock.load() - START_TICK) / 1000); }

void HeadlessBackend::Wake() {
  {
    std::lock_guard<std::mutex> lock(wakeMutex);
    wakePending = true;
  }
  woken.notify_one();
}

void HeadlessBackend::Present(const Canvas&) {}

bool HeadlessBackend::WaitInput(uint32_t deadline, bool hasDeadline, InputEvent* event) {
  // Worker threads finish before the clock moves on, so that a frame being
  // drawn is complete at the next timer, as if drawing took no time.
  if (!WorkersIdle()) {
    std::unique_lock<std::mutex> lock(wakeMutex);
    woken.wait_for(lock, WORKER_POLL, [this] { return wakePending; });
    wakePending = false;
    return false;
  }
  {
    // A worker posts its repaint before it waits again: once the workers are
    // idle, anything they posted has woken us, and the loop must see it
    // before the script goes on.
    std::lock_guard<std::mutex> lock(wakeMutex);
    if (wakePending) {
      wakePending = false;
      return false;
    }
  }
  return TakeStep(deadline, hasDeadline, event);
}

bool HeadlessBackend::TakeStep(uint32_t deadline, bool hasDeadline, InputEvent* event) {
  for (;;) {
    if (waiting) {
      // A timer that falls due before the wait ends fires at its own time.
      if (hasDeadline && static_cast<int32_t>(waitUntil - deadline) >= 0) {
        if (static_cast<int32_t>(deadline - clock.load()) > 0) clock = deadline;
        return false;
      }
      clock = waitUntil;
      waiting = false;
      continue;
    }
    if (steps.empty()) {
      event->kind = InputEvent::QUIT;
      return true;
    }
    ScriptStep step = std::move(steps.front());
    steps.pop_front();
    switch (step.kind) {
      case ScriptStep::DOWN:
      case ScriptStep::MOVE:
      case ScriptStep::UP:
        event->kind = step.kind == ScriptStep::DOWN   ? InputEvent::PEN_DOWN
                      : step.kind == ScriptStep::MOVE ? InputEvent::PEN_MOVE
                                                      : InputEvent::PEN_UP;
        if (step.kind != ScriptStep::UP) {
          lastX = step.x;
          lastY = step.y;
        }
        event->x = lastX;
        event->y = lastY;
        return true;
      case ScriptStep::WAIT:
        waiting = true;
        waitUntil = clock.load() + step.ms;
        continue;
      case ScriptStep::SHOT: {
        const Canvas& screen = ScreenCanvas();
        if (WriteRgb565Png(step.text.c_str(), screen.pixels, screen.width, screen.height, screen.stride) != 0) {
          std::fprintf(stderr, "script line %d: cannot write %s\n", step.line, step.text.c_str());
          ++failures;
        }
        continue;
      }
      case ScriptStep::EXPECT_TITLE: {
        const Window* top = TopVisibleWindow();
        std::string title = top != nullptr ? top->WindowTitle() : std::string();
        if (title != step.text) {
          std::fprintf(stderr, "script line %d: expected title '%s', the screen shows '%s'\n", step.line,
                       step.text.c_str(), title.c_str());
          ++failures;
        }
        continue;
      }
      case ScriptStep::QUIT:
        event->kind = InputEvent::QUIT;
        return true;
      case ScriptStep::CALL:
        step.call();
        return false;
    }
  }
}
