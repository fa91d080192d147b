// The selected day's track read by a renderer thread while the interface
// thread selects other days: no track is freed under a frame that pins it.
#include <atomic>
#include <string>
#include <thread>

#include "logs/log_directory.h"
#include "logs/selected_day.h"
#include "logs_test_support.h"

namespace {

class SelectedTrackThreadsTest : public DeviceRootTest {};

// Two days of different lengths, each of identical points, so a reader can
// check a whole track against its count.
constexpr int32_t SHORT_DAY = 12;
constexpr int32_t LONG_DAY = 13;
constexpr int32_t SHORT_POINTS = 200;
constexpr int32_t LONG_POINTS = 2000;

std::string DayLog(int32_t points) {
  std::string log;
  for (int32_t i = 0; i < points; ++i) log += Rmc("123519", "3540.1234", "13945.6789") + "\r\n";
  return log;
}

TEST_F(SelectedTrackThreadsTest, FramesNeverSeeAFreedTrack) {
  WriteFile(root / "SDMMC/TEVOLOG/2009/05/20090512.log", DayLog(SHORT_POINTS));
  WriteFile(root / "SDMMC/TEVOLOG/2009/05/20090513.log", DayLog(LONG_POINTS));
  SelectLogDay(2009, 5, SHORT_DAY);

  std::atomic<bool> done{false};
  std::atomic<int> frames{0};
  std::atomic<int> faults{0};
  // The renderer: each frame pins the track and reads all of it.
  std::thread renderer([&] {
    while (!done.load()) {
      SelectedTrackPin pin;
      const Track* track = GetSelectedTrack();
      if (track == nullptr) {
        faults.fetch_add(1);
        continue;
      }
      int64_t sum = 0;
      for (int32_t i = 0; i < track->count; ++i) sum += track->points[i].lon - track->minLon;
      if ((track->count != SHORT_POINTS && track->count != LONG_POINTS) || sum != 0) faults.fetch_add(1);
      frames.fetch_add(1);
    }
  });
  // The interface thread selects days while frames run.
  for (int i = 0; i < 400; ++i) {
    SelectLogDay(2009, 5, i % 2 == 0 ? LONG_DAY : SHORT_DAY);
    std::this_thread::yield();
  }
  while (frames.load() < 50) std::this_thread::yield();
  done.store(true);
  renderer.join();
  EXPECT_EQ(faults.load(), 0);
  EXPECT_GE(frames.load(), 50);
}

}  // namespace
