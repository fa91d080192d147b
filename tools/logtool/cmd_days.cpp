// tevo-logtool days: the days that have logs in a month of a device.
#include <cstdio>
#include <cstring>

#include "logs/log_directory.h"
#include "platform/files.h"
#include "tools/logtool/commands.h"

namespace {

constexpr char DAYS_SYNOPSIS[] = "days [--device-root DIR] [YYYY-MM]";

void PrintDaysHelp() {
  std::printf(
      "usage: tevo-logtool %s\n"
      "\n"
      "Prints the days (YYYY-MM-DD, one per line) that have a log in the month\n"
      "YYYY-MM, or in the newest month that has logs, as the viewer's calendar\n"
      "finds them under \\SDMMC\\TEVOLOG\\ on the device.\n"
      "\n"
      "  --device-root DIR   the device's root directory (default: $TEVO_DEVICE_ROOT,\n"
      "                      then ~/.local/share/tevo-logviewer/device)\n",
      DAYS_SYNOPSIS);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "YYYY-MM" with a month 1..12.
bool ParseMonth(const char* text, int32_t* year, int32_t* month) {
  if (std::strlen(text) != 7 || text[4] != '-') return false;
  for (int i : {0, 1, 2, 3, 5, 6}) {
    if (!IsDigit(text[i])) return false;
  }
  int32_t y = (text[0] - '0') * 1000 + (text[1] - '0') * 100 + (text[2] - '0') * 10 + (text[3] - '0');
  int32_t m = (text[5] - '0') * 10 + (text[6] - '0');
  if (m < 1 || m > 12) return false;
  *year = y;
  *month = m;
  return true;
}

}  // namespace

int RunDaysCommand(int argc, char** argv) {
  const char* monthText = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (IsHelpOption(argv[i])) {
      PrintDaysHelp();
      return 0;
    }
    if (std::strcmp(argv[i], "--device-root") == 0 && i + 1 < argc) {
      SetDeviceRoot(argv[++i]);
    } else if (argv[i][0] == '-' || monthText != nullptr) {
      return LogtoolUsage(DAYS_SYNOPSIS);
    } else {
      monthText = argv[i];
    }
  }

  int32_t year = 0;
  int32_t month = 0;
  int32_t days[DAY_LIST_CAPACITY];
  int count = 0;
  if (monthText != nullptr) {
    if (!ParseMonth(monthText, &year, &month)) return LogtoolUsage(DAYS_SYNOPSIS);
    count = ListLogDays(year, month, days);
    if (count < 1) return LogtoolFail("no logs in %04d-%02d under %s", year, month, DeviceRoot().c_str());
  } else {
    count = FindNewestLogMonth(&year, &month, days);
    if (count < 1) return LogtoolFail("no logs under %s", DeviceRoot().c_str());
  }
  for (int i = 0; i < count; ++i) {
    std::printf("%04d-%02d-%02d\n", days[i] / 10000, days[i] / 100 % 100, days[i] % 100);
  }
  return 0;
}
