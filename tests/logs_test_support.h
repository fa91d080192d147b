// Helpers of the log store and reader tests: scratch directories, files and
// NMEA sentences with their checksums.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/files.h"
#include "temporary_directory.h"

namespace fs = std::filesystem;

// A fresh directory of one test's own under $TMPDIR, removed afterwards.
inline fs::path MakeScratchDirectory() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  fs::path directory = MakeTemporaryDirectory("tevo-" + std::string(test->test_suite_name()) + "." + test->name());
  EXPECT_FALSE(directory.empty()) << "no temporary directory";
  return directory;
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "$" + body + "*" + the two upper-case hex digits of its checksum.
inline std::string Sentence(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[4];
  std::snprintf(tail, sizeof tail, "*%02X", sum);
  return "$" + body + tail;
}

// A "$GPRMC" sentence with the given time, latitude and longitude fields.
inline std::string Rmc(const std::string& time, const std::string& lat, const std::string& lon,
                       const std::string& status = "A") {
  return Sentence("GPRMC," + time + "," + status + "," + lat + ",N," + lon + ",E,0.0,0.0,270705,,");
}

// A test with a scratch directory for the files it writes.
class ScratchDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override { directory = MakeScratchDirectory(); }
  void TearDown() override { fs::remove_all(directory); }
  // Writes a file into the directory and returns its path.
  std::string Write(const char* name, const std::string& bytes) {
    WriteFile(directory / name, bytes);
    return (directory / name).string();
  }
  fs::path directory;
};

// A test whose device root is a scratch directory.
class DeviceRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = MakeScratchDirectory();
    SetDeviceRoot(root.c_str());
  }
  void TearDown() override {
    SetDeviceRoot(nullptr);
    // Directories a test made read-only must be writable again to be emptied.
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      }
    }
    fs::remove_all(root, ignored);
  }
  fs::path root;
};
