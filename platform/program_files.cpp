#include "platform/program_files.h"

#include <unistd.h>

#include <filesystem>

#ifndef TEVO_DATA_DIR_FROM_BINDIR
#error "the build gives the relative path from the program folder to the data folder"
#endif

std::string ExecutableDirectory() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  buffer[n] = '\0';
  std::string path(buffer);
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string ProgramDataDirectory() {
  std::filesystem::path data = std::filesystem::path(ExecutableDirectory()) / TEVO_DATA_DIR_FROM_BINDIR;
  std::string normal = data.lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}
