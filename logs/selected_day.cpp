#include "logs/selected_day.h"

#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace {

struct SelectedDay {
  std::mutex lock;  // guards every member; never held while a file is read
  char path[SELECTED_LOG_PATH_SIZE] = {};
  uint64_t selection = 0;  // counts selections, so that a load can tell it was overtaken
  Track* track = nullptr;  // the cached track of the selected day
  int pins = 0;            // frames that are reading a track
  std::vector<Track*> replaced;  // tracks dropped by a selection while pinned
};

// Lives for the whole process, so a worker still running at exit never
// meets a destroyed lock.
SelectedDay& Day() {
  static SelectedDay* day = new SelectedDay;
  return *day;
}

Track* LoadDeviceTrack(const char* devicePath) {
  std::string hostPath;
  if (ResolveDevicePath(devicePath, &hostPath) != 0) return nullptr;
  return LoadTrack(hostPath.c_str());
}

}  // namespace

const char* SelectedLogPath() { return Day().path; }

void ReplaceSelectedDay(const char* devicePath) {
  SelectedDay& day = Day();
  Track* unused = nullptr;
  {
    std::lock_guard<std::mutex> guard(day.lock);
    size_t length = devicePath != nullptr ? std::strlen(devicePath) : 0;
    if (length > SELECTED_LOG_PATH_SIZE - 1) length = SELECTED_LOG_PATH_SIZE - 1;
    std::memcpy(day.path, devicePath, length);
    day.path[length] = '\0';
    ++day.selection;
    if (day.track != nullptr && day.pins > 0) {
      day.replaced.push_back(day.track);
    } else {
      unused = day.track;
    }
    day.track = nullptr;
  }
  ReleaseTrack(unused);
}

const Track* GetSelectedTrack() {
  SelectedDay& day = Day();
  for (;;) {
    char path[SELECTED_LOG_PATH_SIZE];
    uint64_t selection;
    {
      std::lock_guard<std::mutex> guard(day.lock);
      if (day.track != nullptr) return day.track;
      if (day.path[0] == '\0') return nullptr;
      std::memcpy(path, day.path, sizeof path);
      selection = day.selection;
    }
    // The file is read without the lock, so that selecting a day never
    // waits for a load.
    Track* loaded = LoadDeviceTrack(path);
    if (loaded == nullptr) return nullptr;
    Track* unused = loaded;
    const Track* result = nullptr;
    {
      std::lock_guard<std::mutex> guard(day.lock);
      if (day.selection == selection) {
        if (day.track == nullptr) {
          day.track = loaded;
          unused = nullptr;
        }
        result = day.track;  // another thread may have stored the same day's track first
      }
    }
    // A track of a day that is no longer selected was never handed out.
    ReleaseTrack(unused);
    if (result != nullptr) return result;
  }
}

void PinSelectedTrack() {
  SelectedDay& day = Day();
  std::lock_guard<std::mutex> guard(day.lock);
  ++day.pins;
}

void UnpinSelectedTrack() {
  SelectedDay& day = Day();
  std::vector<Track*> unused;
  {
    std::lock_guard<std::mutex> guard(day.lock);
    if (day.pins > 0) --day.pins;
    if (day.pins == 0) std::swap(unused, day.replaced);
  }
  for (Track* track : unused) ReleaseTrack(track);
}
