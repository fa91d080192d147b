// The recording settings screen's view of the card: the free-space text, the
// remaining recording time and the gauge.
#pragma once

#include <cstdint>
#include <string>

// Recording rate the estimate assumes.
constexpr uint64_t BYTES_PER_SECOND = 200;
// Below this many free bytes (24 hours at that rate) the estimate is shown.
constexpr uint64_t ESTIMATE_BELOW_BYTES = 17280000;
// cardFreePercent of a failed card query (its top bit marks the failure).
constexpr uint8_t CARD_QUERY_FAILED = 255;
constexpr int32_t GAUGE_MAX_SEGMENTS = 21;

struct FreeSpaceView {
  std::string text;       // UTF-8, e.g. "12MB 残り約17時間"
  bool estimate = false;  // remaining time shown, gauge red
  int32_t segments = 0;   // gauge segments to draw (0: no gauge)
};

// Free bytes and percent of the card (available x 100 / size) as the screen
// keeps them; CARD_QUERY_FAILED when the query fails.
struct CardSpace {
  uint64_t freeBytes = 0;
  uint8_t freePercent = CARD_QUERY_FAILED;
};

// Asks the platform for the space of "\SDMMC".
CardSpace QueryCardSpace();

// The text and gauge for a successful query: minutes = bytes / 200 / 60 when
// bytes are below ESTIMATE_BELOW_BYTES; the gauge has percent / 5 + 1
// segments unless the estimate is below one minute.
FreeSpaceView DescribeFreeSpace(uint64_t freeBytes, uint8_t freePercent);
