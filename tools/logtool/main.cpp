// tevo-logtool: headless companion of the viewer. It runs the system's own
// readers and renderer from the command line.
#include <cstdarg>
#include <cstdio>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>

#include "logs/nmea_reader.h"
#include "platform/files.h"
#include "tools/logtool/commands.h"

namespace {

const LogtoolCommand COMMANDS[] = {
    {"track", "track FILE [--summary]      print a log's track as the viewer reads it", RunTrackCommand},
    {"export", "export FILE -o OUT.gpx      write a log's accepted fixes as GPX 1.1", RunExportCommand},
    {"stats", "stats FILE                  times, driving time, distance and speeds of a log", RunStatsCommand},
    {"days", "days [--device-root DIR] [YYYY-MM]  days with logs in a month", RunDaysCommand},
    {"parcels", "parcels FILE X Y HALFWIDTH HALFHEIGHT LEVELCODE  list the parcels FindParcels gives", RunParcels},
    {"mapinfo", "mapinfo FILE                describe a map database", RunMapinfo},
    {"dump", "dump MAP.KWI                print the decoded content of every parcel", RunDump},
    {"render", "render --date YYYY-MM-DD -o OUT.png [...]  draw a day's track over the map as PNG", RunRenderCommand},
    {"demo", "demo --out DIR [--data DIR]  make a demo device root (logs, settings, map)", RunDemoCommand},
};

void PrintHelp(FILE* out) {
  std::fprintf(out,
               "usage: tevo-logtool COMMAND [ARGS...]\n"
               "\n"
               "Headless companion of the Tevo LogViewer: runs the viewer's own log reader,\n"
               "map reader and renderer from the command line.\n"
               "\n"
               "commands:\n");
  for (const LogtoolCommand& command : COMMANDS) std::fprintf(out, "  %s\n", command.synopsis);
  std::fprintf(out,
               "\n"
               "options:\n"
               "  -h, --help     show this help\n"
               "  --version      show the version\n"
               "\n"
               "Errors go to stderr; the exit status is 0 on success, 1 on failure, 2 on bad usage.\n");
}

}  // namespace

int LogtoolFail(const char* format, ...) {
  std::fputs("tevo-logtool: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  return 1;
}

const char* OpenFailureText(int error) {
  if (error == EINVAL) return "not a plain file";
  if (error == EISDIR) return "a folder, not a file";
  return std::strerror(error);
}

int CheckLogFile(const char* path) {
  FILE* file = OpenReadableFile(path);
  if (file == nullptr) return LogtoolFail("cannot read the log %s: %s", path, OpenFailureText(errno));
  struct stat info;
  const bool sized = fstat(fileno(file), &info) == 0;
  std::fclose(file);
  if (sized && info.st_size == 0) return LogtoolFail("the log %s is empty", path);
  if (sized && static_cast<unsigned long long>(info.st_size) > LOG_READ_LIMIT) {
    std::fprintf(stderr, "tevo-logtool: the log %s is %lld bytes: only its first %zu bytes are read, as on the device\n",
                 path, static_cast<long long>(info.st_size), LOG_READ_LIMIT);
  }
  return 0;
}

bool IsHelpOption(const char* argument) {
  return std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "--help") == 0;
}

int LogtoolUsage(const char* synopsis) {
  std::fprintf(stderr, "usage: tevo-logtool %s\n", synopsis);
  return 2;
}

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
    PrintHelp(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("tevo-logtool %s\n", TEVO_VERSION);
    return 0;
  }
  for (const LogtoolCommand& command : COMMANDS) {
    if (std::strcmp(argv[1], command.name) == 0) return command.run(argc - 2, argv + 2);
  }
  return LogtoolFail("unknown command '%s' (see tevo-logtool --help)", argv[1]);
}
