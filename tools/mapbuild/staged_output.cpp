#include "tools/mapbuild/staged_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Attempts at a free temporary name before giving up.
constexpr int NAME_ATTEMPTS = 100;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Creates `path` new and empty (never through a link or over a file that
// exists); the mode is that of any new file, the umask applied.
bool CreateNew(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// Flushes the written file at `path` to the medium.
bool FlushFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const bool flushed = fsync(fd) == 0;
  return close(fd) == 0 && flushed;
}

void FlushFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

StagedOutputs::~StagedOutputs() {
  if (committed) return;
  for (const Staged& file : files) unlink(file.temporaryPath.c_str());
}

int StagedOutputs::Stage(const std::string& finalPath, const std::vector<std::string>& suffixes,
                         std::string* temporaryBase, std::string* error) {
  for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
    const std::string base = finalPath + ".tmp" + std::to_string(getpid()) + (attempt == 0 ? "" : "-" + std::to_string(attempt));
    size_t made = 0;
    while (made < suffixes.size() && CreateNew(base + suffixes[made])) ++made;
    if (made == suffixes.size()) {
      for (const std::string& suffix : suffixes) files.push_back({finalPath + suffix, base + suffix});
      *temporaryBase = base;
      return 0;
    }
    const int why = errno;
    for (size_t i = 0; i < made; ++i) unlink((base + suffixes[i]).c_str());
    if (why != EEXIST) {
      *error = "cannot create a temporary file beside " + finalPath + ": " + std::strerror(why);
      return -1;
    }
  }
  *error = "cannot find a free temporary name beside " + finalPath;
  return -1;
}

int StagedOutputs::Commit(std::string* error) {
  for (const Staged& file : files) {
    if (!FlushFile(file.temporaryPath)) {
      *error = "cannot write " + file.finalPath + ": " + std::strerror(errno) + " (the old file is kept)";
      return -1;
    }
  }
  for (const Staged& file : files) {
    if (rename(file.temporaryPath.c_str(), file.finalPath.c_str()) != 0) {
      *error = "cannot replace " + file.finalPath + ": " + std::strerror(errno);
      return -1;
    }
  }
  committed = true;
  if (!files.empty()) FlushFolder(FolderOf(files.front().finalPath));
  return 0;
}
