// The builder's temporary folder: a fresh folder under $TMPDIR (or a given
// folder, else /tmp) that holds the spilled features, the parcel buckets
// and the node-location index, removed with everything in it when the
// build ends, whether it succeeded or failed.
#pragma once

#include <cstdint>
#include <string>

class TemporaryFolder {
 public:
  TemporaryFolder() = default;
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  // Creates the folder under `parent` ("" for $TMPDIR or /tmp). Returns 0,
  // or -1 with *error.
  int Create(const std::string& parent, std::string* error);
  const std::string& Path() const { return path; }
  // The bytes its files take now; the largest seen is kept in Peak().
  uint64_t Measure();
  uint64_t Peak() const { return peak; }

 private:
  std::string path;
  uint64_t peak = 0;
};
