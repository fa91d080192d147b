// tevo-recorder: records the day logs of the device root from gpsd.
#include <time.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "tools/recorder/gpsd_client.h"
#include "tools/recorder/instance_lock.h"
#include "tools/recorder/recorder.h"
#include "tools/recorder/recorder_report.h"
#include "tools/recorder/stop_signals.h"

namespace {

constexpr char DEFAULT_GPSD[] = "localhost:2947";
// Longest wait for gpsd before the loop looks at the clock and the signals.
constexpr int WAIT_SLICE_MS = 200;
// Time between attempts to reach gpsd.
constexpr int64_t RECONNECT_INTERVAL_MS = 2000;
// Messages read in one go before the loop looks at the clock again.
constexpr int MESSAGES_PER_TURN = 4096;
// On a stop, what gpsd has already sent is still recorded: messages are
// read until none comes for STOP_DRAIN_QUIET_MS, for at most
// STOP_DRAIN_LIMIT_MS, so that a receiver that keeps sending never delays
// the stop for long.
constexpr int STOP_DRAIN_QUIET_MS = 100;
constexpr int64_t STOP_DRAIN_LIMIT_MS = 2000;

constexpr char USAGE[] =
    "Usage: tevo-recorder [--device-root DIR] [--gpsd HOST:PORT]\n"
    "\n"
    "Records the NMEA sentences that gpsd receives into the day logs of the\n"
    "device root, SDMMC/TEVOLOG/yyyy/mm/yyyymmdd.log (Japanese days), while the\n"
    "recording time set in NAND/QXAPP/Data/TEVOLOG.ini lasts (LOG_REC 1, 2, 3:\n"
    "8, 12, 24 hours; 0: off). Runs until SIGTERM or SIGINT.\n"
    "\n"
    "  --device-root DIR  the device root (default $TEVO_DEVICE_ROOT, else\n"
    "                     ~/.local/share/tevo-logviewer/device)\n"
    "  --gpsd HOST:PORT   where gpsd listens (default localhost:2947)\n"
    "  --help             show this help\n"
    "  --version          show the version\n";

struct Options {
  const char* deviceRoot = nullptr;
  std::string gpsd = DEFAULT_GPSD;
};

// 0 to run, 1 when the program is done (help, version), 2 for a usage error.
int ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
      std::fputs(USAGE, stdout);
      return 1;
    }
    if (std::strcmp(argument, "--version") == 0) {
      std::printf("tevo-recorder %s\n", TEVO_VERSION);
      return 1;
    }
    if ((std::strcmp(argument, "--device-root") == 0 || std::strcmp(argument, "--gpsd") == 0) && i + 1 < argc) {
      if (argument[2] == 'd') {
        options->deviceRoot = argv[++i];
      } else {
        options->gpsd = argv[++i];
      }
      continue;
    }
    std::fprintf(stderr, "tevo-recorder: unknown or incomplete option '%s'\n%s", argument, USAGE);
    return 2;
  }
  return 0;
}

void Pause(int ms) {
  timespec pause{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&pause, nullptr);  // a stop signal ends it early
}

// Reads the messages that come within `waitMs`, then those that follow
// without a pause (at most MESSAGES_PER_TURN). False when the connection
// is lost.
bool ReadWaiting(GpsdConnection* connection, int waitMs, const std::string& address, Recorder* recorder) {
  GpsdMessage message;
  for (int n = 0; n < MESSAGES_PER_TURN && GpsdMessageWaiting(connection, n == 0 ? waitMs : 0); ++n) {
    if (ReadGpsdMessage(connection, &message) != 0) return false;
    recorder->HandleMessage(message, MonotonicMilliseconds());
    if (message.kind == GPSD_WATCHING) Report("watching gpsd at %s", address.c_str());
  }
  return true;
}

// Reads from gpsd until the connection is lost or a stop is asked for.
// Returns true when the connection was lost.
bool RecordFrom(GpsdConnection* connection, const std::string& address, Recorder* recorder) {
  while (StopSignal() == 0) {
    if (!ReadWaiting(connection, WAIT_SLICE_MS, address, recorder)) return true;
    // Nothing more has come: what was received goes to the file now.
    if (!GpsdMessageWaiting(connection, 0)) recorder->Flush(MonotonicMilliseconds());
    recorder->Tick(MonotonicMilliseconds());
  }
  const int64_t drainEnd = MonotonicMilliseconds() + STOP_DRAIN_LIMIT_MS;
  while (MonotonicMilliseconds() < drainEnd && GpsdMessageWaiting(connection, STOP_DRAIN_QUIET_MS)) {
    if (!ReadWaiting(connection, 0, address, recorder)) break;
  }
  return false;
}

void Run(const std::string& host, const std::string& port, const std::string& address, Recorder* recorder) {
  bool unreachableReported = false;
  while (StopSignal() == 0) {
    std::string error;
    GpsdConnection* connection = ConnectGpsd(host, port, &error);
    if (connection == nullptr) {
      if (!unreachableReported) {
        Report("cannot reach gpsd at %s (%s): trying again every %lld s", address.c_str(), error.c_str(),
               static_cast<long long>(RECONNECT_INTERVAL_MS / 1000));
        unreachableReported = true;
      }
      for (int64_t waited = 0; waited < RECONNECT_INTERVAL_MS && StopSignal() == 0; waited += WAIT_SLICE_MS) {
        recorder->Tick(MonotonicMilliseconds());
        Pause(WAIT_SLICE_MS);
      }
      continue;
    }
    unreachableReported = false;
    const bool lost = RecordFrom(connection, address, recorder);
    CloseGpsd(connection);
    if (lost) {
      Report("lost the connection to gpsd at %s: reconnecting", address.c_str());
      recorder->ConnectionLost(MonotonicMilliseconds());
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (int parsed = ParseOptions(argc, argv, &options); parsed != 0) return parsed == 1 ? 0 : 2;
  std::string host, port;
  if (ParseGpsdAddress(options.gpsd, &host, &port) != 0) {
    std::fprintf(stderr, "tevo-recorder: --gpsd takes HOST:PORT, not '%s'\n", options.gpsd.c_str());
    return 2;
  }
  SetDeviceRoot(options.deviceRoot);
  std::string error;
  const int lock = AcquireInstanceLock(DeviceRoot(), &error);
  if (lock < 0) {
    Report("%s", error.c_str());
    return 1;
  }
  if (InstallStopSignals() != 0) {
    Report("cannot install the signal handlers");
    ReleaseInstanceLock(lock);
    return 1;
  }
  Report("recording into %s", DeviceRoot().c_str());
  Recorder recorder;
  Run(host, port, host + ":" + port, &recorder);
  recorder.Close();
  const RecorderCounts& counts = recorder.Counts();
  Report("stopped (signal %d): %lld sentences received, %lld made from fixes, %lld recorded, %lld written, "
         "%lld could not be written",
         StopSignal(), static_cast<long long>(counts.received), static_cast<long long>(counts.made),
         static_cast<long long>(counts.recorded), static_cast<long long>(recorder.Appender().LinesWritten()),
         static_cast<long long>(recorder.Appender().LinesLost()));
  ReleaseInstanceLock(lock);
  return 0;
}
