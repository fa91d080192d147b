#include "tools/recorder/day_file_appender.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "logs/log_directory.h"
#include "platform/files.h"
#include "tools/recorder/recorder_report.h"

namespace {

constexpr char CARD_PATH[] = "\\SDMMC";
constexpr char LINE_END[] = "\r\n";
// Queued bytes that are written at once, without waiting for a pause.
constexpr size_t PENDING_LIMIT = 64 * 1024;
// Bytes read at a time when looking back for the last line end.
constexpr size_t TAIL_CHUNK = 4096;
constexpr mode_t FOLDER_MODE = 0755;
constexpr mode_t FILE_MODE = 0644;

bool IsDirectory(const std::string& hostPath) {
  struct stat info;
  return stat(hostPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Makes the folders of `devicePath` below the card (TEVOLOG, yyyy, mm) that
// are missing. False, with errno, when one cannot be made.
bool MakeLogFolders(const std::string& devicePath) {
  for (size_t at = devicePath.find('\\', 1); at != std::string::npos; at = devicePath.find('\\', at + 1)) {
    const std::string folder = devicePath.substr(0, at);
    if (folder == CARD_PATH) continue;
    std::string hostFolder;
    if (ResolveDevicePath(folder.c_str(), &hostFolder) != 0) return false;
    if (mkdir(hostFolder.c_str(), FOLDER_MODE) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// The length of `fd`'s content up to and with its last line feed: what is
// kept of a file whose last line was cut short.
off_t WholeLinesLength(int fd, off_t size) {
  char chunk[TAIL_CHUNK];
  off_t end = size;
  while (end > 0) {
    const off_t start = end > static_cast<off_t>(TAIL_CHUNK) ? end - static_cast<off_t>(TAIL_CHUNK) : 0;
    const ssize_t got = pread(fd, chunk, static_cast<size_t>(end - start), start);
    if (got != end - start) return -1;
    for (ssize_t i = got; i-- > 0;) {
      if (chunk[i] == '\n') return start + i + 1;
    }
    end = start;
  }
  return 0;
}

// Writes `size` bytes; the number written, short of `size` (with errno)
// when a write fails.
size_t WriteAll(int fd, const char* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t written = write(fd, bytes + done, size - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      break;
    }
    done += static_cast<size_t>(written);
  }
  return done;
}

bool IsFullCard(int error) { return error == ENOSPC || error == EDQUOT || error == EFBIG; }

}  // namespace

bool DayFileAppender::OpenDay(int32_t dayValue) {
  const std::string devicePath = DayLogPath(dayValue / 10000, dayValue / 100 % 100, dayValue % 100);
  std::string card;
  if (ResolveDevicePath(CARD_PATH, &card) != 0 || !IsDirectory(card)) {
    errno = ENODEV;
    return false;
  }
  if (!MakeLogFolders(devicePath) || ResolveDevicePath(devicePath.c_str(), &hostPath) != 0) return false;
  fd = open(hostPath.c_str(), O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, FILE_MODE);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const int error = errno != 0 ? errno : EINVAL;
    close(fd);
    fd = -1;
    errno = error;
    return false;
  }
  device = info.st_dev;
  inode = info.st_ino;
  fileLength = info.st_size;
  if (fileLength > 0) {
    const off_t whole = WholeLinesLength(fd, info.st_size);
    if (whole >= 0 && whole < info.st_size && ftruncate(fd, whole) == 0) {
      Report("dropped the unfinished last line (%lld bytes) of %s", static_cast<long long>(info.st_size - whole),
             hostPath.c_str());
      fileLength = whole;
    }
  }
  openDay = dayValue;
  return true;
}

void DayFileAppender::Append(int32_t dayValue, std::string_view line, int64_t monotonicMs) {
  lastMs = monotonicMs;
  if (dayValue != openDay && fd >= 0) Close();
  if (failing) {
    if (monotonicMs < retryAtMs) {
      ++linesLost;
      return;
    }
    failing = false;
  }
  if (fd < 0) {
    if (!OpenDay(dayValue)) {
      const int error = errno;
      ++linesLost;
      Fail(error == ENODEV ? "no card" : "cannot open the day file", error, monotonicMs);
      return;
    }
    if (lostWhenFailed != linesLost) {
      Report("recording again into %s (%lld lines could not be written)", hostPath.c_str(),
             static_cast<long long>(linesLost));
      lostWhenFailed = linesLost;
    }
  }
  pending.append(line).append(LINE_END);
  ++pendingLines;
  if (pending.size() >= PENDING_LIMIT) Flush(monotonicMs);
}

void DayFileAppender::Flush(int64_t monotonicMs) {
  if (pending.empty() || fd < 0) return;
  const size_t done = WriteAll(fd, pending.data(), pending.size());
  if (done < pending.size()) {
    const int error = errno;
    // The lines that reached the file whole stay; a part of one goes again,
    // so that the file ends with a whole line.
    const size_t lastEnd = pending.rfind('\n', done == 0 ? 0 : done - 1);
    const size_t kept = done == 0 || lastEnd == std::string::npos ? 0 : lastEnd + 1;
    const int64_t keptLines = std::count(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(kept), '\n');
    if (ftruncate(fd, fileLength + static_cast<off_t>(kept)) != 0) {
      Report("could not cut %s back to its last whole line", hostPath.c_str());
    }
    fileLength += static_cast<int64_t>(kept);
    linesWritten += keptLines;
    linesLost += pendingLines - keptLines;
    pending.clear();
    pendingLines = 0;
    Fail(IsFullCard(error) ? "the card is full" : "cannot write the day file", error, monotonicMs);
    return;
  }
  fileLength += static_cast<int64_t>(pending.size());
  linesWritten += pendingLines;
  pending.clear();
  pendingLines = 0;
  if (!unsynced) lastSyncMs = monotonicMs;
  unsynced = true;
}

void DayFileAppender::Fail(const char* what, int error, int64_t monotonicMs) {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
  openDay = 0;
  // Said once for each time that recording stops.
  if (!failing) {
    Report("%s (%s): nothing is recorded for now; the logs already written stay intact; trying again every %lld s",
           what, std::strerror(error), static_cast<long long>(RETRY_INTERVAL_MS / 1000));
  }
  failing = true;
  retryAtMs = monotonicMs + RETRY_INTERVAL_MS;
}

void DayFileAppender::Sync() {
  if (fd >= 0 && unsynced) fdatasync(fd);
  unsynced = false;
}

bool DayFileAppender::StillThere() const {
  struct stat info;
  return stat(hostPath.c_str(), &info) == 0 && info.st_dev == device && info.st_ino == inode;
}

void DayFileAppender::Tick(int64_t monotonicMs) {
  lastMs = monotonicMs;
  if (fd < 0) return;
  if (unsynced && monotonicMs - lastSyncMs >= SYNC_INTERVAL_MS) {
    Flush(monotonicMs);
    Sync();
    lastSyncMs = monotonicMs;
  }
  if (fd >= 0 && !StillThere()) {
    // The next line opens the day's file again, wherever the card is now.
    Flush(monotonicMs);
    close(fd);
    fd = -1;
    openDay = 0;
  }
}

void DayFileAppender::Close() {
  if (fd < 0) return;
  Flush(lastMs);
  Sync();
  if (fd >= 0) close(fd);
  fd = -1;
  openDay = 0;
}
