// The builder's temporary folder: a fresh folder under $TMPDIR (or a given
// folder, else /tmp) that holds the spilled features, the parcel buckets
// and the node-location store, removed with everything in it when the
// build ends, whether it succeeded or failed. While it exists, a thread
// of its own measures it every SAMPLE_MILLISECONDS, so that the peak it
// reports is the largest size the folder reached between the builder's
// own measurements, not only at them.
//
// The folder is named tevo-mapbuild.PID.XXXXXX and locked (flock) while it
// exists, so that a later build can tell the folder of a build that was
// killed (SIGKILL, a file-size limit) from that of one still running.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_replacement.h"

class TemporaryFolder {
 public:
  TemporaryFolder() = default;
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  // Creates the folder under `parent` ("" for $TMPDIR or /tmp) and starts
  // measuring it. Returns 0, or -1 with *error (which says why).
  int Create(const std::string& parent, std::string* error);
  const std::string& Path() const { return path; }
  // The bytes its files take now; the largest seen is kept in Peak().
  // Safe to call from any thread.
  uint64_t Measure();
  uint64_t Peak() const;

  static constexpr int SAMPLE_MILLISECONDS = 50;

 private:
  void Sample();

  std::string path;
  int lockFd = -1;  // the folder itself, locked while it exists
  mutable std::mutex mutex;
  std::condition_variable wake;
  bool stopping = false;
  uint64_t peak = 0;
  std::thread sampler;
};

// The folder temporary folders are made in: `parent`, else $TMPDIR, else /tmp.
std::string TemporaryParent(const std::string& parent);

// Removes the temporary folders under TemporaryParent(parent) that builds
// which are gone left behind (no process holds their lock, and the process
// named in them no longer runs); folders of running builds are left alone.
// Returns what it found, each with the bytes it held.
std::vector<LeftoverFile> RemoveLeftoverTemporaryFolders(const std::string& parent);
