// Output files written beside their final names and renamed over them only
// when everything is complete, so that a failed build, a full disk or a
// kill leaves the old map and its attribution file as they were, and a
// viewer that has the old map open keeps reading a whole file.
#pragma once

#include <string>
#include <vector>

class StagedOutputs {
 public:
  StagedOutputs() = default;
  // Removes the temporary files of a stage that was not committed.
  ~StagedOutputs();
  StagedOutputs(const StagedOutputs&) = delete;
  StagedOutputs& operator=(const StagedOutputs&) = delete;

  // Makes empty temporary files for finalPath + each of `suffixes`, in the
  // folder of finalPath, named temporaryBase + the same suffix (so that a
  // writer deriving one name from another finds them). Never replaces an
  // existing file. Returns 0 with *temporaryBase set, or -1 with the reason.
  int Stage(const std::string& finalPath, const std::vector<std::string>& suffixes, std::string* temporaryBase,
            std::string* error);

  // Flushes every staged file to the medium, then renames each over its
  // final name, in the order staged, and flushes the folder. Returns 0, or
  // -1 with the reason; when a flush fails nothing is renamed.
  int Commit(std::string* error);

 private:
  struct Staged {
    std::string finalPath;
    std::string temporaryPath;
  };
  std::vector<Staged> files;
  bool committed = false;
};
