#include "app/free_space.h"

#include <algorithm>
#include <cstdio>

#include "platform/files.h"

namespace {

constexpr uint64_t KB = 1000;
constexpr uint64_t MB = 1000 * KB;
constexpr uint64_t GB = 1000 * MB;
constexpr char16_t CARD_VOLUME[] = u"\\SDMMC";

std::string Format(const char* format, long long a, long long b = 0, long long c = 0) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, a, b, c);
  return buffer;
}

std::string FreeSpaceText(uint64_t bytes, bool estimate, uint64_t minutes) {
  auto n = [](uint64_t v) { return static_cast<long long>(v); };
  uint64_t hours = minutes / 60;
  if (bytes >= GB) return Format("%lld.%lldGB", n(bytes / GB), n(bytes % GB / (GB / 10)));
  if (bytes >= 10 * MB) {
    return estimate ? Format("%lldMB 残り約%lld時間", n(bytes / MB), n(hours)) : Format("%lldMB", n(bytes / MB));
  }
  if (bytes >= MB) {
    return estimate ? Format("%lld.%lldMB 残り約%lld時間", n(bytes / MB), n(bytes % MB / (MB / 10)), n(hours))
                    : Format("%lld.%lldMB", n(bytes / MB), n(bytes % MB / (MB / 10)));
  }
  if (bytes >= KB) {
    return estimate ? Format("%lldKB 残り約%lld分", n(bytes / KB), n(minutes)) : Format("%lldKB", n(bytes / KB));
  }
  return estimate ? Format("%lldB 残り約%lld分", n(bytes), n(minutes)) : Format("%lldB", n(bytes));
}

}  // namespace

CardSpace QueryCardSpace() {
  CardSpace card;
  DiskSpace space;
  // A volume that reports no size cannot give a percentage: it counts as
  // unreadable rather than dividing by zero.
  if (GetDiskFreeSpace(CARD_VOLUME, &space) == 0 || space.total == 0) return card;
  card.freeBytes = space.free;
  // A file system may report more available than its size; the gauge never
  // goes beyond full.
  card.freePercent = static_cast<uint8_t>(std::min<uint64_t>(space.available * 100 / space.total, 100));
  return card;
}

FreeSpaceView DescribeFreeSpace(uint64_t freeBytes, uint8_t freePercent) {
  FreeSpaceView view;
  view.estimate = freeBytes < ESTIMATE_BELOW_BYTES;
  uint64_t minutes = view.estimate ? freeBytes / BYTES_PER_SECOND / 60 : 0;
  view.text = FreeSpaceText(freeBytes, view.estimate, minutes);
  bool gauge = !(view.estimate && minutes < 1);
  view.segments = gauge ? std::min<int32_t>(freePercent / 5 + 1, GAUGE_MAX_SEGMENTS) : 0;
  return view;
}
