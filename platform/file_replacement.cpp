#include "platform/file_replacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// What a temporary name adds to the final name, before the process id.
constexpr char TEMPORARY_MARK[] = ".tmp";
// Attempts at a free temporary name before giving up.
constexpr int NAME_ATTEMPTS = 100;
constexpr char LOCK_SUFFIX[] = ".lock";
// Attempts at holding a lock file that other processes remove meanwhile.
constexpr int LOCK_ATTEMPTS = 10;

std::string Reason(int error) { return std::strerror(error); }

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The process id in `name` when it is TemporaryNameFor(final, n) for some
// process and number, given the final path's base name; else -1.
long TemporaryNameProcess(const std::string& name, const std::string& finalBase) {
  const std::string start = finalBase + TEMPORARY_MARK;
  if (name.compare(0, start.size(), start) != 0) return -1;
  const std::string rest = name.substr(start.size());
  const size_t dash = rest.find('-');
  const bool named = dash != std::string::npos && dash <= 10 && AllDigits(rest.substr(0, dash)) &&
                     AllDigits(rest.substr(dash + 1));
  return named ? std::stol(rest.substr(0, dash)) : -1;
}

// Whether the open file `fd` is still the entry at `path` (not removed or
// replaced by another process since it was opened).
bool StillNamed(int fd, const std::string& path) {
  struct stat open, named;
  return fstat(fd, &open) == 0 && lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

// Removes the file at `path` when no process holds its lock; fills in what
// it found. False when it is not a plain file or a live process holds it.
bool RemoveWhenAbandoned(const std::string& path, LeftoverFile* leftover) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  const bool plain = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  const bool abandoned = plain && flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (abandoned) {
    leftover->path = path;
    leftover->bytes = static_cast<uint64_t>(info.st_size);
    leftover->removed = StillNamed(fd, path) && unlink(path.c_str()) == 0;
  }
  close(fd);
  return abandoned;
}

}  // namespace

bool IsProcessGone(long pid) { return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

std::string FolderOfPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

std::string TemporaryNameFor(const std::string& finalPath, int number) {
  return finalPath + TEMPORARY_MARK + std::to_string(getpid()) + "-" + std::to_string(number);
}

FileReplacement::~FileReplacement() { Discard(); }

void FileReplacement::Discard() {
  if (stream != nullptr) {
    std::fclose(stream);
  } else if (fd >= 0) {
    close(fd);
  }
  stream = nullptr;
  fd = -1;
  if (!renamed && !temporaryPath.empty()) unlink(temporaryPath.c_str());
  temporaryPath.clear();
}

int FileReplacement::Open(std::string* error) {
  // O_EXCL with O_NOFOLLOW: a link planted under the name is never written
  // through, and no existing file is ever truncated.
  const int made = open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (made < 0) {
    const int why = errno;
    temporaryPath.clear();
    errno = why;
    if (error != nullptr) *error = "cannot create a temporary file beside " + finalPath + ": " + Reason(why);
    return -1;
  }
  fd = made;
  // A new file of our own: nobody else holds its lock.
  flock(fd, LOCK_EX | LOCK_NB);
  return 0;
}

int FileReplacement::Begin(const std::string& path, std::string* error) {
  Discard();
  finalPath = path;
  renamed = false;
  for (int number = 0; number < NAME_ATTEMPTS; ++number) {
    temporaryPath = TemporaryNameFor(finalPath, number);
    if (Open(error) == 0) return 0;
    if (errno != EEXIST) return -1;
  }
  *error = "cannot find a free temporary name beside " + finalPath;
  return -1;
}

int FileReplacement::BeginAt(const std::string& path, const std::string& temporary, std::string* error) {
  Discard();
  finalPath = path;
  renamed = false;
  temporaryPath = temporary;
  return Open(error);
}

FILE* FileReplacement::Stream() {
  if (stream == nullptr && fd >= 0) stream = fdopen(fd, "wb");
  return stream;
}

int FileReplacement::Write(const void* bytes, size_t size) {
  if (fd < 0) {
    errno = EBADF;
    return -1;
  }
  if (stream != nullptr) return std::fwrite(bytes, 1, size, stream) == size ? 0 : -1;
  const char* next = static_cast<const char*>(bytes);
  while (size > 0) {
    const ssize_t written = write(fd, next, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return -1;
    if (written == 0) {
      errno = EIO;
      return -1;
    }
    next += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

int FileReplacement::Complete(std::string* error) {
  bool flushed = fd >= 0;
  if (flushed && stream != nullptr) flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
  if (flushed) flushed = fsync(fd) == 0;
  if (!flushed) {
    const int why = fd >= 0 ? errno : EBADF;
    *error = "cannot write " + finalPath + ": " + Reason(why) + " (the old file is kept)";
    Discard();
    return -1;
  }
  // The descriptor stays open, and locked, until the rename.
  return 0;
}

int FileReplacement::Rename(std::string* error) {
  if (temporaryPath.empty() || rename(temporaryPath.c_str(), finalPath.c_str()) != 0) {
    const int why = temporaryPath.empty() ? EBADF : errno;
    *error = "cannot replace " + finalPath + ": " + Reason(why);
    Discard();
    return -1;
  }
  renamed = true;
  Discard();
  SyncFolder(FolderOfPath(finalPath));
  return 0;
}

int FileReplacement::Commit(std::string* error) { return Complete(error) == 0 ? Rename(error) : -1; }

int ReplaceFileWhole(const std::string& path, const void* bytes, size_t size, std::string* error) {
  FileReplacement file;
  if (file.Begin(path, error) != 0) return -1;
  if (file.Write(bytes, size) != 0) {
    *error = "cannot write " + path + ": " + Reason(errno) + " (the old file is kept)";
    return -1;
  }
  return file.Commit(error);
}

std::vector<LeftoverFile> RemoveLeftoverReplacements(const std::string& finalPath) {
  std::vector<LeftoverFile> found;
  const std::string folder = FolderOfPath(finalPath), base = BaseNameOf(finalPath);
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return found;
  const std::string prefix = finalPath.find('/') == std::string::npos ? std::string() : folder + "/";
  while (const dirent* entry = readdir(dir)) {
    if (!IsProcessGone(TemporaryNameProcess(entry->d_name, base))) continue;
    LeftoverFile leftover;
    if (RemoveWhenAbandoned(prefix + entry->d_name, &leftover)) found.push_back(leftover);
  }
  closedir(dir);
  return found;
}

OutputLock::~OutputLock() {
  if (fd < 0) return;
  // Removed while still held: a process that opened it meanwhile finds,
  // once it holds it, that the name no longer leads to it, and starts over.
  unlink(path.c_str());
  close(fd);
}

int OutputLock::Take(const std::string& outputPath, std::string* error) {
  path = outputPath + LOCK_SUFFIX;
  for (int attempt = 0; attempt < LOCK_ATTEMPTS; ++attempt) {
    const int opened = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (opened < 0) {
      *error = "cannot create the lock file " + path + " beside the output: " + Reason(errno);
      return -1;
    }
    struct stat info;
    if (fstat(opened, &info) != 0 || !S_ISREG(info.st_mode)) {
      close(opened);
      *error = "the lock file " + path + " is not a plain file";
      return -1;
    }
    if (flock(opened, LOCK_EX | LOCK_NB) != 0) {
      char holder[32] = {};
      const ssize_t got = pread(opened, holder, sizeof holder - 1, 0);
      close(opened);
      *error = "another process" + (got > 0 ? " (" + std::string(holder, static_cast<size_t>(got)) + ")" : "") +
               " is writing " + outputPath + " (it holds " + path + "); wait for it to end";
      return -1;
    }
    if (!StillNamed(opened, path)) {
      close(opened);
      continue;
    }
    // Who holds it, for the message of a process that finds it held.
    const std::string pid = std::to_string(getpid());
    if (ftruncate(opened, 0) != 0 || pwrite(opened, pid.data(), pid.size(), 0) < 0) {
      // The lock holds without the note.
    }
    fd = opened;
    return 0;
  }
  *error = "cannot hold the lock file " + path + ": other processes keep replacing it";
  return -1;
}
