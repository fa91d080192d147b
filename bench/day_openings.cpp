#include "bench/day_openings.h"

#include <time.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/calendar_dlg.h"
#include "app/map_dialog.h"
#include "app/month_grid.h"
#include "mapdata/map_owner.h"
#include "platform/headless/headless.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t FRAME_TIMEOUT_MS = 30000;
// The calendar is shown this long before its first tap.
constexpr auto USER_PAUSE = std::chrono::milliseconds(300);
// The map screen's back button, in screen pixels.
constexpr int32_t BACK_BUTTON_X = 20, BACK_BUTTON_Y = 20;
constexpr int32_t YEAR = BENCH_DAY_YEAR, MONTH = BENCH_DAY_MONTH, DAY = BENCH_DAY_DAY;

// The centre of the day's cell in the calendar, in screen pixels.
void DayCell(int32_t* x, int32_t* y) {
  ForEachDayCell(YEAR, MONTH, [&](int32_t day, const Rect& cell) {
    if (day == DAY) {
      *x = (cell.left + cell.right) / 2;
      *y = (cell.top + cell.bottom) / 2;
    }
  });
}

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Waits, on a thread of its own, for the map screen to become ready for
// the opening that follows, and takes the real time from the pen-up.
class ReadyWatch {
 public:
  // Before the pen-up, on the user-interface thread. `slot` is where the
  // calendar keeps its map screen: null before the first opening creates it
  // (that screen is not ready until its first frame); an existing screen
  // still holds the previous opening's frame, so the watch waits for its
  // ready flag to drop and rise again, or to rise after PenUpHandled.
  void Start(MapDialog** slot) {
    // A watch that does not see the screen become ready gives no time,
    // never the previous opening's.
    seconds = -1.0;
    cpuSeconds = 0.0;
    penUpHandled = false;
    penUp = Clock::now();
    cpuAtPenUp = ProcessCpuSeconds();
    const bool fresh = *slot == nullptr;
    watcher = std::thread([this, slot, fresh] {
      const Clock::time_point limit = penUp + std::chrono::milliseconds(FRAME_TIMEOUT_MS);
      bool dropped = fresh;
      while (Clock::now() < limit) {
        // Read before the flag: a screen ready after the pen-up was handled
        // shows the new day's frame, even when this thread, held up by a
        // busy machine, never saw the flag drop.
        const bool handled = penUpHandled.load();
        const MapDialog* screen = std::atomic_ref<MapDialog*>(*slot).load();
        int ready = screen != nullptr ? screen->IsMapReady() : 0;
        if (ready == 0 || handled) dropped = true;
        if (dropped && ready != 0) {
          seconds = std::chrono::duration<double>(Clock::now() - penUp).count();
          cpuSeconds = ProcessCpuSeconds() - cpuAtPenUp;
          return;
        }
        std::this_thread::sleep_for(POLL);
      }
    });
  }
  // Right after the pen-up, on the user-interface thread: the calendar has
  // asked the map screen for the new day's frame and cleared its ready flag.
  void PenUpHandled() { penUpHandled = true; }
  // Once the workers are idle: the time, or a negative value.
  double Finish() {
    watcher.join();
    return seconds;
  }
  // The processor time all threads of the process spent meanwhile.
  double CpuSeconds() const { return cpuSeconds; }

 private:
  static constexpr auto POLL = std::chrono::microseconds(20);
  Clock::time_point penUp;
  std::thread watcher;
  std::atomic<bool> penUpHandled{false};
  double seconds = -1.0;
  double cpuAtPenUp = 0.0;
  double cpuSeconds = 0.0;
};

}  // namespace

// Each opening: pen down on the day and a repaint, the pen-up, the busy
// timer that shows the map screen, and its back button that hides it again.
std::vector<double> MeasureOpenings(int openings, std::vector<double>* cpuSeconds) {
  HeadlessBackend backend;
  SetBackend(&backend);
  std::vector<double> seconds;
  bool failed = false;
  {
    MapDataOwner mapData;
    CalendarDlg calendar(&mapData);
    ReadyWatch watch;
    int32_t x = 0, y = 0;
    DayCell(&x, &y);
    backend.Wait(10);
    // The calendar is on the screen for a moment before anyone can tap a
    // day: a person needs well over this long to see it and reach a cell.
    backend.Call([] { std::this_thread::sleep_for(USER_PAUSE); });
    for (int i = 0; i <= openings; ++i) {
      backend.Down(x, y).Wait(10);
      backend.Call([&] { watch.Start(&calendar.mapScreen); });
      backend.Up();
      backend.Call([&] { watch.PenUpHandled(); });
      backend.Call([&] {
        double time = watch.Finish();
        if (time < 0) failed = true;
        seconds.push_back(time);
        if (cpuSeconds != nullptr) cpuSeconds->push_back(watch.CpuSeconds());
      });
      backend.Wait(MAP_BUSY_MS).Down(BACK_BUTTON_X, BACK_BUTTON_Y).Wait(10).Up().Wait(10);
    }
    backend.Quit();
    calendar.RunModal();
  }
  SetBackend(nullptr);
  if (failed) seconds.clear();
  return seconds;
}

