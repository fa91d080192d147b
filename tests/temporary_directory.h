// Fresh temporary directories for tests: each is made new under $TMPDIR
// (the system's temporary directory), so two runs on one machine, or two
// tests of one run, never share one.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

// Makes a new, empty directory "$TMPDIR/<prefix>.XXXXXX" that no one else
// uses. Returns an empty path when it cannot be made.
inline std::filesystem::path MakeTemporaryDirectory(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + ".XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}
