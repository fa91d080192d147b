#include "tools/recorder/recorder_report.h"

#include <cstdarg>
#include <cstdio>

void Report(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  // One write per message, so that lines of a message never interleave.
  std::fprintf(stderr, "tevo-recorder: %s\n", text);
  std::fflush(stderr);
}
