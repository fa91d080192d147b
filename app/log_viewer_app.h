// The application object: the single-instance rule and the life of the
// calendar, the program's main screen.
#pragma once

class LogViewerApp {
 public:
  // Name of the program's settings key, as the device's framework keeps it.
  static constexpr const char* REGISTRY_KEY_NAME = "アプリケーション ウィザードで生成されたローカル アプリケーション";

  // Start-up: ends at once when another copy's calendar exists for the same
  // device root; otherwise
  // runs the calendar modally until it ends. Always returns false: there is
  // no message loop of the application's own after it.
  bool InitInstance();

  // True when the last InitInstance found another copy and ended.
  bool FoundAnotherCopy() const { return foundAnotherCopy; }

 private:
  const char* registryKey = nullptr;
  bool foundAnotherCopy = false;
};
