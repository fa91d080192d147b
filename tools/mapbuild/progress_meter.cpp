#include "tools/mapbuild/progress_meter.h"

#include <algorithm>

namespace {

constexpr int BAR_WIDTH = 30;
constexpr double REDRAW_SECONDS = 0.2;
constexpr char PREFIX[] = "tevo-mapbuild: ";
constexpr char WARNING_PREFIX[] = "warning: ";

std::string Duration(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  if (s >= 3600) std::snprintf(text, sizeof text, "%ldh%02ldm", s / 3600, s / 60 % 60);
  else std::snprintf(text, sizeof text, "%ldm%02lds", s / 60, s % 60);
  return text;
}

}  // namespace

ProgressMeter::ProgressMeter(FILE* out, bool terminal, bool quiet) : out(out), terminal(terminal), quiet(quiet) {}

ProgressMeter::ProgressMeter(std::function<void(const std::string&)> sink)
    : out(nullptr), sink(std::move(sink)), terminal(false), quiet(false) {}

void ProgressMeter::Print(const std::string& text) {
  if (sink) {
    sink(text);
    return;
  }
  std::fprintf(out, "%s%s\n", PREFIX, text.c_str());
  std::fflush(out);
}

void ProgressMeter::Line(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex);
  if (!quiet) Show(text);
}

void ProgressMeter::Warning(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex);
  Show(WARNING_PREFIX + text);
}

void ProgressMeter::Show(const std::string& text) {
  if (barShown) std::fputs("\r\033[K", out);
  Print(text);
  if (barShown) Draw(false);
}

void ProgressMeter::Start(const std::string& name, uint64_t units, const std::string& unitName) {
  std::lock_guard<std::mutex> lock(mutex);
  phase = name;
  unit = unitName;
  total = units;
  done = 0;
  lastTenth = -1;
  started = lastDrawn = std::chrono::steady_clock::now();
  barShown = false;
}

void ProgressMeter::Set(uint64_t units) {
  std::lock_guard<std::mutex> lock(mutex);
  done = units;
  Draw(false);
}

void ProgressMeter::Add(uint64_t units) {
  std::lock_guard<std::mutex> lock(mutex);
  done += units;
  Draw(false);
}

void ProgressMeter::Finish() {
  std::lock_guard<std::mutex> lock(mutex);
  done = std::max(done, total);
  Draw(true);
  barShown = false;
}

std::string ProgressMeter::Status(double seconds) const {
  const double share = total == 0 ? 1.0 : std::min(1.0, double(done) / double(total));
  const double rate = seconds > 0 ? double(done) / seconds : 0;
  char text[160];
  std::snprintf(text, sizeof text, "%s %3.0f%%, %.0f %s/s", phase.c_str(), share * 100, rate, unit.c_str());
  std::string status = text;
  if (share < 1.0 && rate > 0) status += ", " + Duration(double(total - std::min(done, total)) / rate) + " left";
  else status += ", " + Duration(seconds);
  return status;
}

void ProgressMeter::Draw(bool final) {
  if (quiet) return;
  const auto now = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(now - started).count();
  const double share = total == 0 ? 1.0 : std::min(1.0, double(done) / double(total));
  if (terminal) {
    if (!final && std::chrono::duration<double>(now - lastDrawn).count() < REDRAW_SECONDS && barShown) return;
    lastDrawn = now;
    const int filled = static_cast<int>(share * BAR_WIDTH);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(BAR_WIDTH, '.');
    std::fprintf(out, "\r\033[K%s[%s] %s", PREFIX, bar.c_str(), Status(seconds).c_str());
    if (final) std::fputc('\n', out);
    barShown = !final;
    std::fflush(out);
    return;
  }
  const int tenth = static_cast<int>(share * 10);
  if (tenth == lastTenth && !final) return;
  if (final && lastTenth == 10) return;
  lastTenth = final ? 10 : tenth;
  Print(Status(seconds));
}
