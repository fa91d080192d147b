// Appends sentences to the day files of the log tree on the card,
// "\SDMMC\TEVOLOG\yyyy\mm\yyyymmdd.log", so that a day file only ever holds
// whole lines and a power cut loses at most the last SYNC_INTERVAL_MS.
//
// - Lines are collected in memory and written together when the recorder
//   has nothing more to read, or when the buffer is full; what is written is
//   flushed to the card at least every SYNC_INTERVAL_MS.
// - A day file is opened for appending once per day; a partial last line
//   left by a power cut is dropped before the first append, since the reader
//   stops the whole day at an RMC sentence that lacks fields.
// - A write that fails (a full card, a removed card, a file size limit) is
//   undone to the last whole line; recording stops, says so once, and tries
//   again every RETRY_INTERVAL_MS, counting the lines it could not write.
// - The card ("\SDMMC") is never created: without it nothing is written, so
//   that a card's empty mount point is not filled instead. The log folders
//   below it are made as needed.
// - A day file that disappears (the card removed and put back, the logs
//   deleted on the settings screen) is opened anew.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

// Longest time written lines may stay unflushed to the card.
constexpr int64_t SYNC_INTERVAL_MS = 5000;
// Time between attempts to write again after a failure.
constexpr int64_t RETRY_INTERVAL_MS = 10000;

class DayFileAppender {
 public:
  DayFileAppender() = default;
  ~DayFileAppender() { Close(); }
  DayFileAppender(const DayFileAppender&) = delete;
  DayFileAppender& operator=(const DayFileAppender&) = delete;

  // Queues `line` (without its line end; CR LF is added) for the file of the
  // Japanese day `dayValue` (yyyymmdd, years 2000..2029). A new day writes
  // out and closes the old day's file first.
  void Append(int32_t dayValue, std::string_view line, int64_t monotonicMs);
  // Writes the queued lines.
  void Flush(int64_t monotonicMs);
  // Flushes written lines to the card when SYNC_INTERVAL_MS has passed, and
  // lets go of a day file that is no longer where it was.
  void Tick(int64_t monotonicMs);
  // Writes, flushes and closes the current day file.
  void Close();

  int64_t LinesWritten() const { return linesWritten; }
  // Lines that could not be written (full card, no card, write errors).
  int64_t LinesLost() const { return linesLost; }

 private:
  bool OpenDay(int32_t dayValue);
  void Fail(const char* what, int error, int64_t monotonicMs);
  void Sync();
  bool StillThere() const;

  int fd = -1;
  int32_t openDay = 0;
  std::string hostPath;
  dev_t device = 0;
  ino_t inode = 0;
  int64_t fileLength = 0;  // bytes of whole lines in the file
  std::string pending;     // lines queued, with their line ends
  int64_t pendingLines = 0;
  bool unsynced = false;
  int64_t lastSyncMs = 0;
  bool failing = false;  // writing failed; try again at retryAtMs
  int64_t retryAtMs = 0;
  int64_t linesWritten = 0;
  int64_t linesLost = 0;
  int64_t lostWhenFailed = 0;
  int64_t lastMs = 0;  // the latest time passed in, for Close
};
