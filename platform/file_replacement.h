// Replacing a file whole: the new bytes go to a temporary file beside it,
// created new (never through a link planted under its name, never over a
// file that exists), are flushed to the medium, and the temporary file is
// renamed over the old one, after which the folder is flushed too. Whatever
// stops the program or the machine, the path then holds either its old or
// its new bytes, and a reader that has the old file open keeps reading the
// whole of it.
//
// While it is written, the temporary file is locked (flock) by the process
// writing it, so that a later run can tell a file left by a process that is
// gone (killed, or stopped by a file-size limit) from one still being
// written, and remove only the former.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class FileReplacement {
 public:
  FileReplacement() = default;
  // Removes the temporary file unless it was renamed over the final path.
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Creates the temporary file beside `finalPath` under a name of its own
  // (TemporaryNameFor). Returns 0, or -1 with the reason in *error.
  int Begin(const std::string& finalPath, std::string* error);
  // The same under the given temporary name, which must lie in the folder
  // of `finalPath`, for callers whose temporary name is fixed.
  int BeginAt(const std::string& finalPath, const std::string& temporaryPath, std::string* error);

  // A buffered stream over the temporary file (made on first use), for
  // writers that write piece by piece. Null before Begin.
  FILE* Stream();
  // Writes all of `bytes` at the current end. Returns 0, or -1 with errno.
  int Write(const void* bytes, size_t size);

  // Flushes everything written to the medium and closes the temporary
  // file: its content is then complete, but not yet in place. Returns 0,
  // or -1 with the reason in *error (the old file stays as it was).
  int Complete(std::string* error);
  // Renames the completed temporary file over the final path and flushes
  // the folder. Returns 0, or -1 with the reason in *error.
  int Rename(std::string* error);
  // Complete, then Rename.
  int Commit(std::string* error);

  const std::string& FinalPath() const { return finalPath; }
  const std::string& TemporaryPath() const { return temporaryPath; }

 private:
  int Open(std::string* error);
  void Discard();

  std::string finalPath;
  std::string temporaryPath;
  int fd = -1;
  FILE* stream = nullptr;
  bool renamed = false;
};

// Replaces the file `path` with `bytes` as a FileReplacement does. Returns
// 0, or -1 with the reason in *error; the old file is then as it was.
int ReplaceFileWhole(const std::string& path, const void* bytes, size_t size, std::string* error);

// The temporary name that Begin gives the replacement of `finalPath`:
// finalPath + ".tmp" + the process id + "-" + a number that makes it new.
std::string TemporaryNameFor(const std::string& finalPath, int number);

// A temporary file that a replacement of some final path left behind.
struct LeftoverFile {
  std::string path;
  uint64_t bytes = 0;
  bool removed = false;  // false: it could not be removed (say where it is)
};

// Whether no process has the id `pid` (a process of another user counts
// as alive).
bool IsProcessGone(long pid);

// Finds the temporary files of replacements of `finalPath` (named as
// TemporaryNameFor names them) whose writer is gone, and removes them: no
// process holds their lock and the process named in them no longer runs
// (the second also covers the instant between making a file and locking
// it). Files that a live process may still write are left alone. Returns
// what it found.
std::vector<LeftoverFile> RemoveLeftoverReplacements(const std::string& finalPath);

// The folder part of `path`: "." for a bare name, "/" for a file at the root.
std::string FolderOfPath(const std::string& path);

// Flushes a folder's entries (a rename or a removal in it) to the medium.
void SyncFolder(const std::string& folder);

// An exclusive hold on one output path for a whole run, so that two runs
// writing the same output refuse to overlap: a lock file (the path +
// ".lock") locked with flock while held and removed on release. A lock
// file left by a process that is gone is taken over.
class OutputLock {
 public:
  OutputLock() = default;
  ~OutputLock();
  OutputLock(const OutputLock&) = delete;
  OutputLock& operator=(const OutputLock&) = delete;

  // Returns 0 when held, or -1 with the reason in *error (another process
  // holds it, or the lock file cannot be made: a folder that cannot be
  // written, or one that does not exist).
  int Take(const std::string& outputPath, std::string* error);

 private:
  std::string path;
  int fd = -1;
};
