#include "tools/mapbuild/build_inputs.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/files.h"

namespace {

namespace fs = std::filesystem;

// An input with what it is, for messages.
struct Input {
  std::string path;
  std::string role;
};

std::string WhyNotReadable(int error) {
  if (error == EINVAL) return "not a plain file (a named pipe, device or socket)";
  if (error == EISDIR) return "a folder, not a file";
  return std::strerror(error);
}

bool IsPlainOrFolder(const struct stat& info) { return S_ISREG(info.st_mode) || S_ISDIR(info.st_mode); }

// Files that a reader opens beside a source of the same name: the parts of
// a shapefile, its encoding, projection and indexes.
const char* const COMPANION_EXTENSIONS[] = {".shp", ".shx", ".dbf", ".prj", ".cpg", ".qpj", ".qix", ".sbn", ".sbx"};

std::string Lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// True when the entry `name` is a companion of the source file `source`
// (the same name with a companion extension, in any case).
bool IsCompanion(const std::string& name, const fs::path& source) {
  const std::string stem = Lowercase(source.stem().string());
  for (const char* extension : COMPANION_EXTENSIONS) {
    if (Lowercase(name) == stem + extension) return true;
  }
  return false;
}

// The files a reader may open for the source at `path`: a folder's entries,
// else the file and its companions beside it. False with the reason when
// one of them is neither a plain file nor a folder.
bool CollectSourceFiles(const std::string& id, const std::string& path, std::vector<Input>* inputs, std::string* error) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    *error = "source " + id + ": cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!IsPlainOrFolder(info)) {
    *error = "source " + id + ": " + path + " is " + WhyNotReadable(EINVAL);
    return false;
  }
  const fs::path source(path);
  const bool folder = S_ISDIR(info.st_mode);
  if (!folder) inputs->push_back({path, "source " + id});
  const fs::path parent = folder ? source : (source.has_parent_path() ? source.parent_path() : fs::path("."));
  std::error_code failure;
  for (const fs::directory_entry& entry : fs::directory_iterator(parent, failure)) {
    const std::string name = entry.path().filename().string();
    if (!folder && (name == source.filename() || !IsCompanion(name, source))) continue;
    struct stat beside;
    if (stat(entry.path().c_str(), &beside) != 0) continue;  // a dangling link is no input
    if (!IsPlainOrFolder(beside)) {
      *error = "source " + id + ": " + entry.path().string() + " is " + WhyNotReadable(EINVAL);
      return false;
    }
    if (S_ISREG(beside.st_mode)) inputs->push_back({entry.path().string(), "source " + id});
  }
  if (failure) {
    *error = "source " + id + ": cannot list " + parent.string() + ": " + failure.message();
    return false;
  }
  return true;
}

// True when `path` lies below the folder `root`, links resolved.
bool LiesBelow(const std::string& path, const std::string& root) {
  std::error_code failure;
  const fs::path folder = fs::canonical(root.empty() ? "." : root, failure);
  if (failure) return false;
  const fs::path file = fs::weakly_canonical(fs::absolute(path, failure), failure);
  if (failure) return false;
  const auto [end, unused] = std::mismatch(folder.begin(), folder.end(), file.begin(), file.end());
  return end == folder.end() && file != folder;
}

// False with the reason when the licence at `path` is outside the data
// folder, not a plain file, empty or larger than MAX_LICENCE_BYTES.
bool CheckLicence(const std::string& path, const std::string& dataDirectory, std::string* error) {
  if (!LiesBelow(path, dataDirectory)) {
    *error = "licence " + path + " lies outside the data folder " + (dataDirectory.empty() ? "." : dataDirectory) +
             " (licences are files of the data, copied into the attribution file)";
    return false;
  }
  FILE* file = OpenReadableFile(path.c_str());
  if (file == nullptr) {
    *error = "cannot read the licence " + path + ": " + WhyNotReadable(errno);
    return false;
  }
  struct stat info;
  const bool sized = fstat(fileno(file), &info) == 0;
  std::fclose(file);
  if (!sized || info.st_size == 0 || static_cast<uint64_t>(info.st_size) > MAX_LICENCE_BYTES) {
    *error = "the licence " + path + " is " + (sized ? std::to_string(info.st_size) : std::string("an unknown number of")) +
             " bytes; a licence text is 1 to " + std::to_string(MAX_LICENCE_BYTES) + " bytes";
    return false;
  }
  return true;
}

// False with the reason when `output` exists as something else than a
// plain file, its folder is missing, or it is one of `inputs`.
bool CheckOutput(const std::string& output, const std::vector<Input>& inputs, std::string* error) {
  struct stat info;
  if (stat(output.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    *error = "-o: " + output + " exists and is " + (S_ISDIR(info.st_mode) ? "a folder" : "not a plain file");
    return false;
  }
  const fs::path folder = fs::path(output).has_parent_path() ? fs::path(output).parent_path() : fs::path(".");
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    *error = "-o: there is no folder " + folder.string() + " for " + output;
    return false;
  }
  for (const Input& input : inputs) {
    if (IsSameFile(output.c_str(), input.path.c_str())) {
      *error = "-o: " + output + " is the " + input.role + " " + input.path + ": refused, writing would destroy it";
      return false;
    }
  }
  return true;
}

}  // namespace

int CheckBuildFiles(const std::string& recipePath, const Recipe& recipe, const std::vector<std::string>& outputs,
                    std::string* error) {
  std::vector<Input> inputs{{recipePath, "recipe"}};
  for (const RecipeSource& source : recipe.sources) {
    if (!CollectSourceFiles(source.id, source.resolvedPath, &inputs, error)) return -1;
    for (const std::string& licence : source.licences) {
      if (!CheckLicence(licence, recipe.dataDirectory, error)) return -1;
      inputs.push_back({licence, "licence of source " + source.id});
    }
  }
  for (const std::string& output : outputs) {
    if (!CheckOutput(output, inputs, error)) return -1;
  }
  return 0;
}
