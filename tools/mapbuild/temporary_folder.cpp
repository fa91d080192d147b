#include "tools/mapbuild/temporary_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

// tevo-mapbuild.PID.XXXXXX: the process that made it, and mkdtemp's part.
constexpr char FOLDER_PREFIX[] = "tevo-mapbuild.";
constexpr char UNIQUE_PART[] = "XXXXXX";

// The process id in a temporary folder's name, or -1 for another name.
long FolderProcess(const std::string& name) {
  const size_t prefix = std::strlen(FOLDER_PREFIX), unique = std::strlen(UNIQUE_PART);
  if (name.compare(0, prefix, FOLDER_PREFIX) != 0 || name.size() < prefix + unique + 2) return -1;
  const std::string pid = name.substr(prefix, name.size() - prefix - unique - 1);
  const bool named = name[name.size() - unique - 1] == '.' && !pid.empty() && pid.size() <= 10 &&
                     pid.find_first_not_of("0123456789") == std::string::npos;
  return named ? std::stol(pid) : -1;
}

uint64_t BytesBelow(const std::filesystem::path& folder) {
  uint64_t bytes = 0;
  std::error_code code;
  for (std::filesystem::recursive_directory_iterator entry(folder, code), end; !code && entry != end;
       entry.increment(code)) {
    std::error_code sizeCode;
    if (entry->is_regular_file(sizeCode)) bytes += entry->file_size(sizeCode);
  }
  return bytes;
}

}  // namespace

std::string TemporaryParent(const std::string& parent) {
  if (!parent.empty()) return parent;
  const char* tmpdir = std::getenv("TMPDIR");
  return tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp";
}

std::vector<LeftoverFile> RemoveLeftoverTemporaryFolders(const std::string& parent) {
  std::vector<LeftoverFile> found;
  const std::filesystem::path base = TemporaryParent(parent);
  std::error_code code;
  for (std::filesystem::directory_iterator entry(base, code), end; !code && entry != end; entry.increment(code)) {
    // A folder is its build's until that process is gone and no process
    // holds its lock (a build locks its folder just after making it).
    if (!IsProcessGone(FolderProcess(entry->path().filename().string()))) continue;
    // Never through a link; another user's folder cannot be opened.
    const int fd = open(entry->path().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      LeftoverFile leftover;
      leftover.path = entry->path().string();
      leftover.bytes = BytesBelow(entry->path());
      std::error_code removeCode;
      std::filesystem::remove_all(entry->path(), removeCode);
      leftover.removed = !removeCode;
      found.push_back(leftover);
    }
    close(fd);
  }
  return found;
}

TemporaryFolder::~TemporaryFolder() {
  if (sampler.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    wake.notify_all();
    sampler.join();
  }
  if (path.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
  if (lockFd >= 0) close(lockFd);
}

int TemporaryFolder::Create(const std::string& parent, std::string* error) {
  const std::string base = TemporaryParent(parent);
  const std::string name = FOLDER_PREFIX + std::to_string(getpid()) + "." + UNIQUE_PART;
  std::string pattern = (std::filesystem::path(base) / name).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    *error = "cannot create a temporary folder in " + base + ": " + std::strerror(errno) +
             " (--tmp DIR or $TMPDIR chooses another)";
    return -1;
  }
  path = pattern;
  lockFd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (lockFd >= 0) flock(lockFd, LOCK_EX | LOCK_NB);
  sampler = std::thread([this]() { Sample(); });
  return 0;
}

void TemporaryFolder::Sample() {
  std::unique_lock<std::mutex> lock(mutex);
  while (!stopping) {
    lock.unlock();
    Measure();
    lock.lock();
    wake.wait_for(lock, std::chrono::milliseconds(SAMPLE_MILLISECONDS), [this]() { return stopping; });
  }
}

uint64_t TemporaryFolder::Measure() {
  uint64_t bytes = 0;
  // Files come and go while the builder runs: whatever cannot be read is
  // not counted, and nothing throws.
  std::error_code code;
  for (std::filesystem::directory_iterator entry(path, code), end; !code && entry != end; entry.increment(code)) {
    std::error_code sizeCode;
    const uintmax_t size = entry->file_size(sizeCode);
    if (!sizeCode) bytes += size;
  }
  std::lock_guard<std::mutex> lock(mutex);
  peak = std::max(peak, bytes);
  return bytes;
}

uint64_t TemporaryFolder::Peak() const {
  std::lock_guard<std::mutex> lock(mutex);
  return peak;
}
