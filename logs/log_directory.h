// The log directory on the card: one NMEA log per day in a tree of year and
// month directories, "\SDMMC\TEVOLOG\yyyy\mm\yyyymmdd.log". Lists the days
// that have logs, finds the newest month with logs, selects a day's file for
// the track reader and deletes logs.
//
// Lists hold `DayValue`s: the integer yyyymmdd of a log file's name (the day
// of the month is the value modulo 100), or a year directory's year, or a
// month directory's month.
#pragma once

#include <cstdint>
#include <string>

// What ListLogEntries looks for.
enum LogEntryKind {
  YearDirs = 1,   // year directories "2000".."2029"
  MonthDirs = 2,  // month directories "01".."12"
  DayFiles = 3,   // day files "yyyymmdd.log" of the directory's own month
};

// Years the log tree holds: year directories are named 2000 to 2029.
constexpr int32_t FIRST_LOG_YEAR = 2000;
constexpr int32_t LAST_LOG_YEAR = 2029;

// Capacities of the lists.
constexpr uint16_t YEAR_LIST_CAPACITY = 30;
constexpr uint16_t MONTH_LIST_CAPACITY = 12;
constexpr uint16_t DAY_LIST_CAPACITY = 31;
// Search paths are built in a buffer of this many wide characters.
constexpr int SEARCH_PATH_SIZE = 256;

// Searches `searchPath` (a wide device path with a wildcard) for entries of
// `kind` and writes their numbers, sorted ascending, to `entries`. Returns
// their number (0 or more), or -1 when `entries` is null, the search finds
// nothing at all, or more than `capacity` entries qualify.
int ListLogEntries(const char16_t* searchPath, int kind, int32_t* entries, uint16_t capacity);

// Finds the newest month (largest year, then largest month) that has logs,
// and writes its year, month (1..12) and the DayValues of its logs. Returns
// the number of days (1..31), or a value below 1 (outputs untouched) when
// there are no logs.
int FindNewestLogMonth(int32_t* year, int32_t* month, int32_t days[DAY_LIST_CAPACITY]);

// The result of FindNewestLogMonth without its outputs: below 1 means that
// there are no logs at all.
int CountNewestMonthLogs();

// Writes the DayValues of the logs of `month` (1..12) of `year` to `days`.
// Returns their number (1..31; `days` is written only then), 0 when the
// month has no log, or -1 when its directory cannot be searched or holds
// more than 31 logs.
int ListLogDays(int32_t year, int32_t month, int32_t days[DAY_LIST_CAPACITY]);

// Selects the log of `day` (day of the month) of `month` of `year` for the
// track reader ("\SDMMC\TEVOLOG\2009\05\20090512.log") and drops the cached
// track. Returns 0.
int SelectLogDay(int32_t year, int32_t month, int32_t day);

// The device path of the log of `day` (day of the month) of `month` of
// `year`, as SelectLogDay names it ("\SDMMC\TEVOLOG\2009\05\20090512.log");
// the recorder writes its days under the same names.
std::string DayLogPath(int32_t year, int32_t month, int32_t day);

// Deletes the log of `day` of `month` of `year`: 1 when it was deleted, 0
// when not (also when a folder on its way is a link or another mount, which
// is never passed through). Leaves the selected day alone.
int DeleteLogDay(int32_t year, int32_t month, int32_t day);

// Deletes every file in every month directory of every year directory, then
// the emptied month and year directories. Only real directories of the log
// root's own mount are walked into; a link is deleted as a file, never
// followed. Returns 1 when everything it set out to delete is gone, -1 when
// "\SDMMC\TEVOLOG\" cannot be opened or something could not be deleted (a
// read-only card, a month or year directory it may not or must not enter).
// Files directly in the root or a year directory, and directories inside a
// month directory, are left alone by design and do not count as failures.
int DeleteAllLogs();
