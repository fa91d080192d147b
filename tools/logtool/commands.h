// The subcommands of tevo-logtool. Each takes the arguments after its name
// and returns the process exit status (0 success, 1 failure, 2 usage error).
#pragma once

struct LogtoolCommand {
  const char* name;
  const char* synopsis;  // one line for --help
  int (*run)(int argc, char** argv);
};

// Prints "tevo-logtool: <message>" on stderr and returns 1.
int LogtoolFail(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Prints a usage message for one command on stderr and returns 2.
int LogtoolUsage(const char* synopsis);

// Checks the log file at `path` (a host path) before it is read: prints
// why it cannot be read and returns 1 when it is missing, unreadable, not a
// plain file or empty; says once on stderr, with its size, when it is larger
// than the reader reads (it is cut there, as on the device). Returns 0 when
// it can be read.
int CheckLogFile(const char* path);

// Why a file could not be opened for reading, from its errno.
const char* OpenFailureText(int error);

// True for "-h" and "--help".
bool IsHelpOption(const char* argument);

// Commands over logs and the log directory.
int RunTrackCommand(int argc, char** argv);
int RunExportCommand(int argc, char** argv);
int RunStatsCommand(int argc, char** argv);
int RunDaysCommand(int argc, char** argv);

// Commands over map databases.
int RunParcels(int argc, char** argv);
int RunMapinfo(int argc, char** argv);
int RunDump(int argc, char** argv);

// Makes a demo device root.
int RunDemoCommand(int argc, char** argv);

// The map renderer: one frame of a day's track over the map, as a PNG picture.
int RunRenderCommand(int argc, char** argv);
