// tevo-logtool export: a log's accepted fixes as a GPX 1.1 track.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_replacement.h"
#include "tools/logtool/commands.h"
#include "tools/logtool/log_fixes.h"

namespace {

constexpr char EXPORT_SYNOPSIS[] = "export FILE -o OUT.gpx";

void PrintExportHelp() {
  std::printf(
      "usage: tevo-logtool %s\n"
      "\n"
      "Writes the fixes of the NMEA log FILE that the viewer's reader accepts as a\n"
      "GPX 1.1 track: WGS84 degrees as the reader takes them before its datum shift\n"
      "(to 0.01 arc-second; south and west negative), each with the UTC time of its\n"
      "sentence's time and date fields (without a time when the date is unusable).\n"
      "OUT.gpx \"-\" writes to standard output.\n",
      EXPORT_SYNOPSIS);
}

// Text for XML character data and attribute values.
std::string EscapeXml(const char* text) {
  std::string escaped;
  for (; *text != '\0'; ++text) {
    switch (*text) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      default: escaped += *text;
    }
  }
  return escaped;
}

const char* BaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

void WriteGpx(FILE* out, const char* name, const std::vector<LogFix>& fixes) {
  std::fprintf(out,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<gpx version=\"1.1\" creator=\"tevo-logtool\" xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
               "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
               "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
               "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
               "  <trk>\n"
               "    <name>%s</name>\n"
               "    <trkseg>\n",
               EscapeXml(name).c_str());
  for (const LogFix& fix : fixes) {
    std::fprintf(out, "      <trkpt lat=\"%.9f\" lon=\"%.9f\">", fix.latitude, fix.longitude);
    if (fix.hasDate) std::fprintf(out, "<time>%s</time>", FormatTime(fix).c_str());
    std::fprintf(out, "</trkpt>\n");
  }
  std::fprintf(out,
               "    </trkseg>\n"
               "  </trk>\n"
               "</gpx>\n");
}

}  // namespace

int RunExportCommand(int argc, char** argv) {
  const char* file = nullptr;
  const char* output = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (IsHelpOption(argv[i])) {
      PrintExportHelp();
      return 0;
    }
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      output = argv[++i];
    } else if ((argv[i][0] == '-' && argv[i][1] != '\0') || file != nullptr) {
      return LogtoolUsage(EXPORT_SYNOPSIS);
    } else {
      file = argv[i];
    }
  }
  if (file == nullptr || output == nullptr) return LogtoolUsage(EXPORT_SYNOPSIS);

  std::vector<LogFix> fixes;
  if (CheckLogFile(file) != 0) return 1;
  if (ReadLogFixes(file, &fixes) != 0) {
    return LogtoolFail("no track in '%s': the file is missing, unreadable or empty", file);
  }
  if (std::strcmp(output, "-") == 0) {
    WriteGpx(stdout, BaseName(file), fixes);
    if (std::ferror(stdout) != 0 || std::fflush(stdout) != 0) {
      return LogtoolFail("cannot write the track to stdout: %s", std::strerror(errno));
    }
    return 0;
  }
  FileReplacement gpx;
  std::string error;
  if (gpx.Begin(output, &error) != 0 || gpx.Stream() == nullptr) {
    return LogtoolFail("%s", error.empty() ? std::strerror(errno) : error.c_str());
  }
  WriteGpx(gpx.Stream(), BaseName(file), fixes);
  if (gpx.Commit(&error) != 0) return LogtoolFail("%s", error.c_str());
  return 0;
}
