#include "logs/log_directory.h"

#include <algorithm>
#include <charconv>

#include "logs/selected_day.h"
#include "platform/files.h"

namespace {

constexpr char LOG_ROOT[] = "\\SDMMC\\TEVOLOG\\";
constexpr char16_t LOG_ROOT_PATH[] = u"\\SDMMC\\TEVOLOG";
constexpr int LOG_ROOT_LENGTH = sizeof LOG_ROOT - 1;
constexpr char ALL_ENTRIES[] = "*.*";
constexpr char DAY_FILE_PATTERN[] = "*.log";
constexpr char DAY_FILE_SUFFIX[] = ".log";
constexpr char DAY_FILE_SUFFIX_UPPER[] = ".LOG";

// A log file name: yyyymm (6 characters), dd (2), ".log" (4).
constexpr int DAY_PREFIX_LENGTH = 6;
constexpr int DAY_SUFFIX_OFFSET = 8;
constexpr int DAY_SUFFIX_LENGTH = 4;
// Digits kept of the numbers in a log path, as its fixed buffers hold them.
constexpr int YEAR_DIGITS = 4;
constexpr int MONTH_DIGITS = 2;
constexpr int DAY_VALUE_DIGITS = 9;
// Months up to this one are written after "\0", so that month 5 reads "05".
constexpr int32_t LAST_ONE_DIGIT_MONTH = 9;

// A path built in a fixed buffer. A path that does not fit is marked, so
// that it is never used cut short.
template <typename Char, int Size>
class PathBuffer {
 public:
  void Append(const char* ascii) {
    while (*ascii != '\0') Put(static_cast<Char>(*ascii++));
  }
  void AppendName(const char16_t* name) {
    while (*name != u'\0') Put(static_cast<Char>(*name++));
  }
  // The leading `maxDigits` characters of the decimal value.
  void AppendNumber(int64_t value, int maxDigits) {
    char digits[24];
    std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value);
    int length = std::min(static_cast<int>(result.ptr - digits), maxDigits);
    for (int i = 0; i < length; ++i) Put(static_cast<Char>(digits[i]));
  }
  const Char* Text() const { return text; }
  bool Fits() const { return !overflow; }

 private:
  void Put(Char c) {
    if (length < Size - 1) {
      text[length++] = c;
      text[length] = 0;
    } else {
      overflow = true;
    }
  }
  Char text[Size] = {};
  int length = 0;
  bool overflow = false;
};

using SearchPath = PathBuffer<char16_t, SEARCH_PATH_SIZE>;

// root + yyyy + "\" + mm, with "\0" before a one-digit month.
template <typename Path>
void AppendMonthDirectory(Path* path, int32_t year, int32_t month) {
  path->Append(LOG_ROOT);
  path->AppendNumber(year, YEAR_DIGITS);
  path->Append(month <= LAST_ONE_DIGIT_MONTH ? "\\0" : "\\");
  path->AppendNumber(month, MONTH_DIGITS);
}

template <typename Path>
void AppendDayFile(Path* path, int32_t year, int32_t month, int32_t day) {
  AppendMonthDirectory(path, year, month);
  path->Append("\\");
  path->AppendNumber(int64_t{year} * 10000 + int64_t{month} * 100 + day, DAY_VALUE_DIGITS);
  path->Append(DAY_FILE_SUFFIX);
}

bool InRange(char16_t c, char lowest, char highest) { return c >= lowest && c <= highest; }

// "2000" .. "2029"
bool IsYearName(const char16_t* name) {
  return name[0] == '2' && name[1] == '0' && InRange(name[2], '0', '2') && InRange(name[3], '0', '9') &&
         name[4] == u'\0';
}

// "01" .. "12"
bool IsMonthName(const char16_t* name) {
  bool twoDigits = (name[0] == '0' && InRange(name[1], '1', '9')) || (name[0] == '1' && InRange(name[1], '0', '2'));
  return twoDigits && name[2] == u'\0';
}

bool HasSuffix(const char16_t* at, const char* suffix) {
  for (int i = 0; i < DAY_SUFFIX_LENGTH; ++i) {
    if (at[i] != static_cast<char16_t>(suffix[i])) return false;
  }
  return true;
}

// yyyymm of its own directory, a day "00".."31", then exactly ".log" or
// ".LOG"; whatever follows is not looked at. Each test stops at the first
// mismatch, so nothing past the name's terminator is read.
bool IsDayFileName(const char16_t* name, const char16_t prefix[DAY_PREFIX_LENGTH]) {
  for (int i = 0; i < DAY_PREFIX_LENGTH; ++i) {
    if (name[i] != prefix[i]) return false;
  }
  const char16_t* day = name + DAY_PREFIX_LENGTH;
  bool dayOk = (InRange(day[0], '0', '2') && InRange(day[1], '0', '9')) || (day[0] == '3' && InRange(day[1], '0', '1'));
  if (!dayOk) return false;
  const char16_t* suffix = name + DAY_SUFFIX_OFFSET;
  return HasSuffix(suffix, DAY_FILE_SUFFIX) || HasSuffix(suffix, DAY_FILE_SUFFIX_UPPER);
}

// The value of the name's leading decimal digits (2009, 5, 20090512).
int32_t LeadingNumber(const char16_t* name) {
  int32_t value = 0;
  for (int i = 0; i < DAY_SUFFIX_OFFSET && InRange(name[i], '0', '9'); ++i) value = value * 10 + (name[i] - '0');
  return value;
}

// The position after the `n`th backslash of `path`, or null.
const char16_t* AfterBackslash(const char16_t* path, int n) {
  for (; *path != u'\0'; ++path) {
    if (*path == u'\\' && --n == 0) return path + 1;
  }
  return nullptr;
}

// The year and month texts of a day search path "\SDMMC\TEVOLOG\yyyy\mm\*.log":
// 4 characters after the third backslash and 2 after the fourth.
bool DayFilePrefix(const char16_t* searchPath, char16_t prefix[DAY_PREFIX_LENGTH]) {
  const char16_t* yearText = AfterBackslash(searchPath, 3);
  const char16_t* monthText = AfterBackslash(searchPath, 4);
  if (yearText == nullptr || monthText == nullptr) return false;
  for (int i = 0; i < YEAR_DIGITS; ++i) {
    if (yearText[i] == u'\0') return false;
    prefix[i] = yearText[i];
  }
  for (int i = 0; i < MONTH_DIGITS; ++i) {
    if (monthText[i] == u'\0') return false;
    prefix[YEAR_DIGITS + i] = monthText[i];
  }
  return true;
}

bool Qualifies(int kind, const FindData& entry, const char16_t* prefix) {
  switch (kind) {
    case YearDirs:
      return entry.attributes == FILE_ATTRIBUTE_DIRECTORY && IsYearName(entry.name);
    case MonthDirs:
      return entry.attributes == FILE_ATTRIBUTE_DIRECTORY && IsMonthName(entry.name);
    case DayFiles:
      return IsDayFileName(entry.name, prefix);
    default:
      return false;
  }
}

// The newest month with logs, walking years and then months from the
// largest down. Outputs (each may be null) are written only on success.
int WalkToNewestMonth(int32_t* yearOut, int32_t* monthOut, int32_t* daysOut) {
  SearchPath yearSearch;
  yearSearch.Append(LOG_ROOT);
  yearSearch.Append(ALL_ENTRIES);
  int32_t years[YEAR_LIST_CAPACITY];
  int yearCount = ListLogEntries(yearSearch.Text(), YearDirs, years, YEAR_LIST_CAPACITY);
  if (yearCount < 1) return -1;
  int result = 0;
  for (int y = yearCount - 1; y >= 0; --y) {
    SearchPath monthSearch;
    monthSearch.Append(LOG_ROOT);
    monthSearch.AppendNumber(years[y], YEAR_DIGITS);
    monthSearch.Append("\\");
    monthSearch.Append(ALL_ENTRIES);
    int32_t months[MONTH_LIST_CAPACITY];
    int monthCount = ListLogEntries(monthSearch.Text(), MonthDirs, months, MONTH_LIST_CAPACITY);
    for (int m = monthCount - 1; m >= 0; --m) {
      int32_t days[DAY_LIST_CAPACITY];
      result = ListLogDays(years[y], months[m], days);
      if (result < 1) continue;
      if (yearOut != nullptr) *yearOut = years[y];
      if (monthOut != nullptr) *monthOut = months[m];
      if (daysOut != nullptr) std::copy(days, days + result, daysOut);
      return result;
    }
  }
  return result;
}

// A real directory: links and special entries carry other attribute bits.
bool IsWalkableDirectory(const FindData& entry) { return entry.attributes == FILE_ATTRIBUTE_DIRECTORY; }

// Deletes every entry of a month folder that is not a folder, then the
// folder itself (which stays when something is left in it). Folders inside
// a month folder, and what they hold, are left alone. Returns whether every
// deletion it tried succeeded.
bool DeleteMonthFolder(const DeviceFolder* year, const char16_t* monthName) {
  DeviceFolder* month = OpenDeviceSubfolder(year, monthName);
  if (month == nullptr) return false;  // gone meanwhile, unreadable, or another mount
  bool complete = true;
  FindData entry;
  if (FindHandle* files = FindFirstFileIn(month, u"*.*", &entry)) {
    do {
      if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
      if (DeleteFileIn(month, entry.name) != 1) complete = false;
    } while (FindNextFile(files, &entry));
    FindClose(files);
  }
  CloseDeviceFolder(month);
  return RemoveFolderIn(year, monthName) >= 0 && complete;
}

// Runs `deleteOne` on every real directory of `folder`. Returns whether
// each of them was deleted completely.
bool DeleteEachDirectory(const DeviceFolder* folder, bool (*deleteOne)(const DeviceFolder*, const char16_t*)) {
  bool complete = true;
  FindData entry;
  if (FindHandle* entries = FindFirstFileIn(folder, u"*.*", &entry)) {
    do {
      if (IsWalkableDirectory(entry) && !deleteOne(folder, entry.name)) complete = false;
    } while (FindNextFile(entries, &entry));
    FindClose(entries);
  }
  return complete;
}

bool DeleteYearFolder(const DeviceFolder* root, const char16_t* yearName) {
  DeviceFolder* year = OpenDeviceSubfolder(root, yearName);
  if (year == nullptr) return false;
  bool complete = DeleteEachDirectory(year, DeleteMonthFolder);
  CloseDeviceFolder(year);
  return RemoveFolderIn(root, yearName) >= 0 && complete;
}

}  // namespace

int ListLogEntries(const char16_t* searchPath, int kind, int32_t* entries, uint16_t capacity) {
  if (entries == nullptr || searchPath == nullptr) return -1;
  char16_t prefix[DAY_PREFIX_LENGTH] = {};
  if (kind == DayFiles && !DayFilePrefix(searchPath, prefix)) return -1;
  FindData entry;
  FindHandle* search = FindFirstFile(searchPath, &entry);
  if (search == nullptr) return -1;
  int count = 0;
  do {
    if (!Qualifies(kind, entry, prefix)) continue;
    if (count >= capacity) {
      FindClose(search);
      return -1;
    }
    entries[count++] = LeadingNumber(entry.name);
  } while (FindNextFile(search, &entry));
  FindClose(search);
  std::sort(entries, entries + count);
  return count;
}

int FindNewestLogMonth(int32_t* year, int32_t* month, int32_t days[DAY_LIST_CAPACITY]) {
  return WalkToNewestMonth(year, month, days);
}

int CountNewestMonthLogs() { return WalkToNewestMonth(nullptr, nullptr, nullptr); }

int ListLogDays(int32_t year, int32_t month, int32_t days[DAY_LIST_CAPACITY]) {
  SearchPath search;
  AppendMonthDirectory(&search, year, month);
  search.Append("\\");
  search.Append(DAY_FILE_PATTERN);
  int32_t found[DAY_LIST_CAPACITY];
  int count = ListLogEntries(search.Text(), DayFiles, found, DAY_LIST_CAPACITY);
  if (count >= 1 && days != nullptr) std::copy(found, found + count, days);
  return count;
}

int SelectLogDay(int32_t year, int32_t month, int32_t day) {
  PathBuffer<char, SELECTED_LOG_PATH_SIZE> path;
  AppendDayFile(&path, year, month, day);
  ReplaceSelectedDay(path.Text());
  return 0;
}

std::string DayLogPath(int32_t year, int32_t month, int32_t day) {
  PathBuffer<char, SELECTED_LOG_PATH_SIZE> path;
  AppendDayFile(&path, year, month, day);
  return path.Text();
}

int DeleteLogDay(int32_t year, int32_t month, int32_t day) {
  // The day's path below the log root, "yyyy\mm\yyyymmdd.log": each folder
  // on the way is entered without following links.
  SearchPath path;
  AppendDayFile(&path, year, month, day);
  return DeleteDeviceFileBelow(LOG_ROOT_PATH, path.Text() + LOG_ROOT_LENGTH);
}

int DeleteAllLogs() {
  DeviceFolder* root = OpenDeviceFolder(LOG_ROOT_PATH);
  if (root == nullptr) return -1;
  bool complete = DeleteEachDirectory(root, DeleteYearFolder);
  CloseDeviceFolder(root);
  return complete ? 1 : -1;
}
