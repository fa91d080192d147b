#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/files.h"

namespace {

std::mutex rootMutex;
std::string chosenRoot;

std::mutex spaceMutex;
bool spaceOverridden = false;
bool spaceFails = false;
DiskSpace spaceOverride;

std::atomic<void (*)(const char*)> replaceHook{nullptr};
std::atomic<void (*)(const char*)> readableHook{nullptr};
constexpr char TEMPORARY_SUFFIX[] = ".tmp";

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// Wildcard match, '*' any run, '?' one character, ASCII case folded.
bool MatchesPattern(const char* pattern, const char* name) {
  const char* starPattern = nullptr;
  const char* starName = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      starPattern = ++pattern;
      starName = name;
    } else if (*pattern == '?' || FoldAscii(*pattern) == FoldAscii(*name)) {
      ++pattern;
      ++name;
    } else if (starPattern != nullptr) {
      pattern = starPattern;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

std::vector<std::string> SplitDevicePath(const std::string& devicePath) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : devicePath) {
    if (c == '\\' || c == '/') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

// The entry of `directory` whose name equals `component` ignoring case;
// the exact name wins, and `component` itself when nothing matches.
std::string MatchComponent(const std::string& directory, const std::string& component) {
  struct stat info;
  if (lstat((directory + "/" + component).c_str(), &info) == 0) return component;
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return component;
  std::string match = component;
  while (dirent* entry = readdir(dir)) {
    if (EqualsIgnoringCase(entry->d_name, component)) {
      match = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return match;
}

uint32_t AttributesOf(const std::string& hostPath, const char* name) {
  struct stat info;
  if (lstat(hostPath.c_str(), &info) != 0) return FILE_ATTRIBUTE_REPARSE_POINT;
  uint32_t attributes = 0;
  if (S_ISDIR(info.st_mode)) {
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  } else if (!S_ISREG(info.st_mode)) {
    attributes |= FILE_ATTRIBUTE_REPARSE_POINT;  // links, devices, pipes, sockets
  }
  if (name[0] == '.') attributes |= FILE_ATTRIBUTE_HIDDEN;
  // The FAT read-only attribute is the owner's write permission, as the vfat
  // driver maps it. Whether this process may write does not count: a card
  // mounted read-only, or one whose files belong to another user, still has
  // plain directories.
  if ((info.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

// Writes all of `bytes` to `fd`, going on after short writes and signals.
bool WriteAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    ssize_t written = write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// Flushes a directory's entries (the rename) to the medium.
void SyncDirectory(const std::string& directory) {
  int fd = open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

void CopyName(const std::string& name, FindData* data) {
  std::u16string wide = Utf8ToUtf16(name);
  size_t n = std::min(wide.size(), sizeof data->name / sizeof data->name[0] - 1);
  std::memcpy(data->name, wide.data(), n * sizeof(char16_t));
  data->name[n] = u'\0';
}

}  // namespace

struct FindHandle {
  std::string directory;
  std::string pattern;
  DIR* dir = nullptr;
};

namespace {

bool NextMatch(FindHandle* handle, FindData* data) {
  while (dirent* entry = readdir(handle->dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    bool matches = handle->pattern == "*.*" || MatchesPattern(handle->pattern.c_str(), name);
    if (!matches) continue;
    data->attributes = AttributesOf(handle->directory + "/" + name, name);
    CopyName(name, data);
    return true;
  }
  return false;
}

}  // namespace

void SetDeviceRoot(const char* hostDirectory) {
  std::lock_guard<std::mutex> lock(rootMutex);
  chosenRoot = hostDirectory != nullptr ? hostDirectory : "";
}

std::string DeviceRoot() {
  std::string root;
  {
    std::lock_guard<std::mutex> lock(rootMutex);
    root = chosenRoot;
  }
  if (root.empty()) {
    if (const char* env = std::getenv("TEVO_DEVICE_ROOT"); env != nullptr) root = env;
  }
  if (root.empty()) {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
      root = std::string(xdg) + "/tevo-logviewer/device";
    } else {
      const char* home = std::getenv("HOME");
      root = std::string(home != nullptr ? home : ".") + "/.local/share/tevo-logviewer/device";
    }
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

int ResolveDevicePath(const char* devicePath, std::string* hostPath) {
  if (devicePath == nullptr) return -1;
  std::string path = DeviceRoot();
  for (const std::string& component : SplitDevicePath(devicePath)) {
    if (component == "." || component == "..") return -1;
    std::string matched = MatchComponent(path, component);
    path += '/';
    path += matched;
  }
  *hostPath = path;
  return 0;
}

int ResolveDevicePath(const char16_t* devicePath, std::string* hostPath) {
  if (devicePath == nullptr) return -1;
  return ResolveDevicePath(Utf16ToUtf8(devicePath).c_str(), hostPath);
}

FILE* OpenDeviceFile(const char* devicePath, const char* mode) {
  std::string hostPath;
  if (ResolveDevicePath(devicePath, &hostPath) != 0) return nullptr;
  if (std::strcmp(mode, "r") == 0 || std::strcmp(mode, "rb") == 0) return OpenReadableFile(hostPath.c_str());
  return std::fopen(hostPath.c_str(), mode);
}

FILE* OpenReadableFile(const char* hostPath) {
  if (hostPath == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  if (void (*hook)(const char*) = readableHook.load()) hook(hostPath);
  // O_NONBLOCK keeps the open of a named pipe from waiting for a writer;
  // the descriptor is made blocking again once it is known to be a file.
  int fd = open(hostPath, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info;
  int why = fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  if (why != 0) {
    close(fd);
    errno = why;
    return nullptr;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return nullptr;
  }
  FILE* file = fdopen(fd, "rb");
  if (file == nullptr) close(fd);
  return file;
}

void SetReadableFileHook(void (*hook)(const char* hostPath)) { readableHook.store(hook); }

int ReplaceDeviceFile(const char* devicePath, const char* bytes, size_t size) {
  std::string hostPath;
  if (ResolveDevicePath(devicePath, &hostPath) != 0) return -1;
  std::string temporary = hostPath + TEMPORARY_SUFFIX;
  // A temporary file left by an interrupted write is replaced; O_EXCL never
  // writes through a link planted under its name.
  unlink(temporary.c_str());
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  bool written = WriteAll(fd, bytes, size) && fsync(fd) == 0;
  if (close(fd) != 0) written = false;
  if (written) {
    if (void (*hook)(const char*) = replaceHook.load()) hook(temporary.c_str());
    written = rename(temporary.c_str(), hostPath.c_str()) == 0;
  }
  if (!written) {
    unlink(temporary.c_str());
    return -1;
  }
  SyncDirectory(hostPath.substr(0, hostPath.find_last_of('/')));
  return 0;
}

void SetReplaceDeviceFileHook(void (*hook)(const char* temporaryHostPath)) { replaceHook.store(hook); }

FindHandle* FindFirstFile(const char16_t* pattern, FindData* data) {
  if (pattern == nullptr || data == nullptr) return nullptr;
  std::string full = Utf16ToUtf8(pattern);
  size_t split = full.find_last_of("\\/");
  std::string directoryPart = split == std::string::npos ? std::string() : full.substr(0, split);
  std::string namePattern = split == std::string::npos ? full : full.substr(split + 1);
  if (namePattern.empty()) return nullptr;
  auto* handle = new FindHandle;
  handle->pattern = namePattern;
  if (ResolveDevicePath(directoryPart.c_str(), &handle->directory) != 0 ||
      (handle->dir = opendir(handle->directory.c_str())) == nullptr || !NextMatch(handle, data)) {
    FindClose(handle);
    return nullptr;
  }
  return handle;
}

int FindNextFile(FindHandle* handle, FindData* data) {
  if (handle == nullptr || data == nullptr) return 0;
  return NextMatch(handle, data) ? 1 : 0;
}

void FindClose(FindHandle* handle) {
  if (handle == nullptr) return;
  if (handle->dir != nullptr) closedir(handle->dir);
  delete handle;
}

int DeleteDeviceFile(const char16_t* path) {
  std::string hostPath;
  if (ResolveDevicePath(path, &hostPath) != 0) return 0;
  struct stat info;
  if (lstat(hostPath.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return 0;
  return unlink(hostPath.c_str()) == 0 ? 1 : 0;  // a link is removed itself, never its target
}

int RemoveDeviceDirectory(const char16_t* path) {
  std::string hostPath;
  if (ResolveDevicePath(path, &hostPath) != 0) return 0;
  struct stat info;
  if (lstat(hostPath.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return 0;
  return rmdir(hostPath.c_str()) == 0 ? 1 : 0;
}

int GetDiskFreeSpace(const char16_t* path, DiskSpace* space) {
  {
    std::lock_guard<std::mutex> lock(spaceMutex);
    if (spaceOverridden) {
      if (spaceFails) return 0;
      *space = spaceOverride;
      return 1;
    }
  }
  std::string hostPath;
  if (ResolveDevicePath(path, &hostPath) != 0) return 0;
  struct stat info;
  if (stat(hostPath.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return 0;
  struct statvfs volume;
  if (statvfs(hostPath.c_str(), &volume) != 0) return 0;
  space->available = static_cast<uint64_t>(volume.f_bavail) * volume.f_frsize;
  space->total = static_cast<uint64_t>(volume.f_blocks) * volume.f_frsize;
  space->free = static_cast<uint64_t>(volume.f_bfree) * volume.f_frsize;
  return 1;
}

void OverrideDiskFreeSpace(const DiskSpace* space, bool fail) {
  std::lock_guard<std::mutex> lock(spaceMutex);
  spaceOverridden = space != nullptr || fail;
  spaceFails = fail;
  if (space != nullptr) spaceOverride = *space;
}
