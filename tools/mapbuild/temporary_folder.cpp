#include "tools/mapbuild/temporary_folder.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

constexpr char FOLDER_PATTERN[] = "tevo-mapbuild.XXXXXX";

}  // namespace

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
}

int TemporaryFolder::Create(const std::string& parent, std::string* error) {
  std::string base = parent;
  if (base.empty()) {
    const char* tmpdir = std::getenv("TMPDIR");
    base = tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp";
  }
  std::string pattern = (std::filesystem::path(base) / FOLDER_PATTERN).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    *error = "cannot create a temporary folder in " + base;
    return -1;
  }
  path = pattern;
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
