#include "tools/mapbuild/temporary_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

constexpr char FOLDER_PATTERN[] = "tevo-mapbuild.XXXXXX";

}  // namespace

TemporaryFolder::~TemporaryFolder() {
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
  return 0;
}

uint64_t TemporaryFolder::Measure() {
  uint64_t bytes = 0;
  std::error_code code;
  for (const auto& entry : std::filesystem::directory_iterator(path, code)) {
    std::error_code sizeCode;
    const uintmax_t size = entry.file_size(sizeCode);
    if (!sizeCode) bytes += size;
  }
  peak = std::max(peak, bytes);
  return bytes;
}
