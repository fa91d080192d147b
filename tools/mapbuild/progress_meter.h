// Progress of long work on stderr: on a terminal one bar line redrawn in
// place with percent, rate and time left; otherwise (a log, a pipe) a
// plain line at every tenth of the work. Lines of text in between are
// printed whole. Safe to use from several threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

class ProgressMeter {
 public:
  // `terminal`: draw the bar; `quiet`: print nothing but failures.
  ProgressMeter(FILE* out, bool terminal, bool quiet);
  // Plain lines (without the program's name) handed to `sink` instead.
  explicit ProgressMeter(std::function<void(const std::string&)> sink);

  // A line of text (the bar, if shown, is cleared first).
  void Line(const std::string& text);
  // A line that is shown even when the meter is quiet.
  void Warning(const std::string& text);
  // Starts measuring `phase`: `total` units of `unit` (e.g. "MB", "features").
  void Start(const std::string& phase, uint64_t total, const std::string& unit);
  // Sets how much of the phase is done, or adds to it.
  void Set(uint64_t done);
  void Add(uint64_t units);
  // Ends the phase with a closing line.
  void Finish();

 private:
  void Draw(bool final);
  void Print(const std::string& text);
  void Show(const std::string& text);
  std::string Status(double seconds) const;

  FILE* out;
  std::function<void(const std::string&)> sink;
  bool terminal;
  bool quiet;
  std::mutex mutex;
  std::string phase, unit;
  uint64_t total = 0, done = 0;
  int lastTenth = -1;
  bool barShown = false;
  std::chrono::steady_clock::time_point started, lastDrawn;
};
