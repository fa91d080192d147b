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

#include "platform/file_replacement.h"
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

// The entry of the folder `folderFd` named `name`, ignoring case; the exact
// name wins, and `name` itself when nothing matches.
std::string MatchEntryIn(int folderFd, const std::string& name) {
  struct stat info;
  if (fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return name;
  int listFd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return name;
  DIR* dir = fdopendir(listFd);
  if (dir == nullptr) {
    close(listFd);
    return name;
  }
  std::string match = name;
  while (dirent* entry = readdir(dir)) {
    if (EqualsIgnoringCase(entry->d_name, name)) {
      match = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return match;
}

// The entry of `directory` whose name equals `component` ignoring case, as
// MatchEntryIn finds it.
std::string MatchComponent(const std::string& directory, const std::string& component) {
  int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return component;
  std::string match = MatchEntryIn(fd, component);
  close(fd);
  return match;
}

// The attribute word of the entry `name` of the folder open as `folderFd`.
uint32_t AttributesOf(int folderFd, const char* name) {
  struct stat info;
  if (fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return FILE_ATTRIBUTE_REPARSE_POINT;
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

void CopyName(const std::string& name, FindData* data) {
  std::u16string wide = Utf8ToUtf16(name);
  size_t n = std::min(wide.size(), sizeof data->name / sizeof data->name[0] - 1);
  std::memcpy(data->name, wide.data(), n * sizeof(char16_t));
  data->name[n] = u'\0';
}

}  // namespace

struct FindHandle {
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
    data->attributes = AttributesOf(dirfd(handle->dir), name);
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

int IsSameFile(const char* a, const char* b) {
  struct stat first, second;
  if (a == nullptr || b == nullptr || stat(a, &first) != 0 || stat(b, &second) != 0) return 0;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino ? 1 : 0;
}

int ReplaceDeviceFile(const char* devicePath, const char* bytes, size_t size) {
  std::string hostPath;
  if (ResolveDevicePath(devicePath, &hostPath) != 0) return -1;
  std::string temporary = hostPath + TEMPORARY_SUFFIX;
  // A temporary file left by an interrupted write is removed, also under
  // another case of its name (one name on the FAT card), so that the
  // replacement can create it new.
  std::string stale;
  if (ResolveDevicePath((std::string(devicePath) + TEMPORARY_SUFFIX).c_str(), &stale) == 0 && stale != temporary) {
    unlink(stale.c_str());
  }
  unlink(temporary.c_str());
  FileReplacement file;
  std::string error;
  if (file.BeginAt(hostPath, temporary, &error) != 0 || file.Write(bytes, size) != 0 || file.Complete(&error) != 0) {
    return -1;
  }
  if (void (*hook)(const char*) = replaceHook.load()) hook(temporary.c_str());
  return file.Rename(&error);
}

int IsDeviceEntryMissing(const char* devicePath) {
  std::string hostPath;
  if (ResolveDevicePath(devicePath, &hostPath) != 0) return 0;
  struct stat info;
  return lstat(hostPath.c_str(), &info) != 0 && errno == ENOENT ? 1 : 0;
}

void SetReplaceDeviceFileHook(void (*hook)(const char* temporaryHostPath)) { replaceHook.store(hook); }

FindHandle* FindFirstFile(const char16_t* pattern, FindData* data) {
  if (pattern == nullptr || data == nullptr) return nullptr;
  std::string full = Utf16ToUtf8(pattern);
  size_t split = full.find_last_of("\\/");
  std::string directoryPart = split == std::string::npos ? std::string() : full.substr(0, split);
  std::string namePattern = split == std::string::npos ? full : full.substr(split + 1);
  if (namePattern.empty()) return nullptr;
  std::string directory;
  auto* handle = new FindHandle;
  handle->pattern = namePattern;
  if (ResolveDevicePath(directoryPart.c_str(), &directory) != 0 || (handle->dir = opendir(directory.c_str())) == nullptr ||
      !NextMatch(handle, data)) {
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

// ---------------------------------------------------------------------------
// Folders for walks that delete

struct DeviceFolder {
  int fd = -1;
  // Identity of the mount the walk started on: the device number, and the
  // mount id where the kernel tells it (a bind mount keeps the device).
  dev_t device = 0;
  uint64_t mountId = 0;
  bool hasMountId = false;
};

namespace {

// A name that stays inside its folder when passed to the *at calls.
bool IsPlainEntryName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Fills in the mount identity of the open folder `fd`; false when it
// cannot be asked.
bool ReadMountIdentity(int fd, DeviceFolder* folder) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  folder->device = info.st_dev;
  folder->hasMountId = false;
#ifdef STATX_MNT_ID
  struct statx extended;
  if (statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &extended) == 0 && (extended.stx_mask & STATX_MNT_ID) != 0) {
    folder->mountId = extended.stx_mnt_id;
    folder->hasMountId = true;
  }
#endif
  return true;
}

DeviceFolder* AdoptFolder(int fd) {
  auto* folder = new DeviceFolder;
  folder->fd = fd;
  if (!ReadMountIdentity(fd, folder)) {
    CloseDeviceFolder(folder);
    return nullptr;
  }
  return folder;
}

bool OnSameMount(const DeviceFolder& a, const DeviceFolder& b) {
  if (a.device != b.device) return false;
  return !(a.hasMountId && b.hasMountId) || a.mountId == b.mountId;
}

}  // namespace

DeviceFolder* OpenDeviceFolder(const char16_t* path) {
  std::string hostPath;
  if (ResolveDevicePath(path, &hostPath) != 0) return nullptr;
  int fd = open(hostPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return fd < 0 ? nullptr : AdoptFolder(fd);
}

DeviceFolder* OpenDeviceSubfolder(const DeviceFolder* parent, const char16_t* name) {
  if (parent == nullptr || name == nullptr) return nullptr;
  std::string entry = Utf16ToUtf8(name);
  if (!IsPlainEntryName(entry)) return nullptr;
  entry = MatchEntryIn(parent->fd, entry);
  // O_NOFOLLOW with O_DIRECTORY: a link fails here, whatever it points to.
  int fd = openat(parent->fd, entry.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return nullptr;
  DeviceFolder* folder = AdoptFolder(fd);
  if (folder != nullptr && !OnSameMount(*parent, *folder)) {
    CloseDeviceFolder(folder);
    return nullptr;
  }
  return folder;
}

void CloseDeviceFolder(DeviceFolder* folder) {
  if (folder == nullptr) return;
  if (folder->fd >= 0) close(folder->fd);
  delete folder;
}

FindHandle* FindFirstFileIn(const DeviceFolder* folder, const char16_t* pattern, FindData* data) {
  if (folder == nullptr || pattern == nullptr || data == nullptr || pattern[0] == u'\0') return nullptr;
  // A descriptor of its own, so that the search's position is its own too.
  int listFd = openat(folder->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return nullptr;
  auto* handle = new FindHandle;
  handle->pattern = Utf16ToUtf8(pattern);
  handle->dir = fdopendir(listFd);
  if (handle->dir == nullptr) close(listFd);
  if (handle->dir == nullptr || !NextMatch(handle, data)) {
    FindClose(handle);
    return nullptr;
  }
  return handle;
}

int DeleteFileIn(const DeviceFolder* folder, const char16_t* name) {
  if (folder == nullptr || name == nullptr) return 0;
  std::string entry = Utf16ToUtf8(name);
  if (!IsPlainEntryName(entry)) return 0;
  entry = MatchEntryIn(folder->fd, entry);
  struct stat info;
  if (fstatat(folder->fd, entry.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(info.st_mode)) return 0;
  // Without AT_REMOVEDIR a folder swapped in meanwhile is refused, and a
  // link is removed itself.
  return unlinkat(folder->fd, entry.c_str(), 0) == 0 ? 1 : 0;
}

int RemoveFolderIn(const DeviceFolder* folder, const char16_t* name) {
  if (folder == nullptr || name == nullptr) return -1;
  std::string entry = Utf16ToUtf8(name);
  if (!IsPlainEntryName(entry)) return -1;
  entry = MatchEntryIn(folder->fd, entry);
  if (unlinkat(folder->fd, entry.c_str(), AT_REMOVEDIR) == 0) return 1;
  return errno == ENOTEMPTY || errno == EEXIST ? 0 : -1;
}

int DeleteDeviceFileBelow(const char16_t* startPath, const char16_t* relativePath) {
  if (relativePath == nullptr) return 0;
  std::vector<std::string> parts = SplitDevicePath(Utf16ToUtf8(relativePath));
  if (parts.empty()) return 0;
  DeviceFolder* folder = OpenDeviceFolder(startPath);
  for (size_t i = 0; folder != nullptr && i + 1 < parts.size(); ++i) {
    DeviceFolder* next = OpenDeviceSubfolder(folder, Utf8ToUtf16(parts[i]).c_str());
    CloseDeviceFolder(folder);
    folder = next;
  }
  int result = DeleteFileIn(folder, Utf8ToUtf16(parts.back()).c_str());
  CloseDeviceFolder(folder);
  return result;
}
