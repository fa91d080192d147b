// Fuzzes the reading of the recording settings file: any content gives 0 or
// -1 without reading outside its buffers, and a file the system wrote reads
// back as the values it wrote.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "logs/recording_settings.h"
#include "platform/files.h"

namespace {

std::string settingsHostPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A device root of its own, so that the settings file is written nowhere else.
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("tevo-fuzz-settings-" + std::to_string(std::random_device()()));
  fs::create_directories(root / "NAND" / "QXAPP" / "Data");
  SetDeviceRoot(root.c_str());
  if (ResolveDevicePath(RECORDING_SETTINGS_PATH, &settingsHostPath) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(settingsHostPath.c_str(), "wb");
  if (file == nullptr) std::abort();
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  RecordingSettings read;
  int result = ReadRecordingSettings(&read);
  if (result != 0 && result != -1) std::abort();
  if (result == 0) {
    // Whatever was read writes and reads back unchanged.
    if (WriteRecordingSettings(read) != 0) std::abort();
    RecordingSettings again;
    if (ReadRecordingSettings(&again) != 0 || again.logRec != read.logRec || again.recStartDay != read.recStartDay ||
        again.recStartTime != read.recStartTime || again.recEndDay != read.recEndDay ||
        again.recEndTime != read.recEndTime) {
      std::abort();
    }
  }
  return 0;
}
