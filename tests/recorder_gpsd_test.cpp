// tevo-recorder run as a program against a real gpsd, which gpsfake starts
// and feeds through a pseudo-terminal from the project's receiver logs and
// from drives of the demo's recorder simulator. gpsfake steps through its
// log one sentence per line on its stdin, so a test feeds exactly when the
// recorder is watching, and as much as it wants. Every wait is for a state
// (a line in a file, a value in the settings file) with a generous bound.
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "logs/recording_settings.h"
#include "logs_test_support.h"
#include "tools/demo/recorder_simulator.h"
#include "tools/recorder/nmea_sentence.h"
#include "tools/recorder/recorder_time.h"

namespace {

// Bounds of the waits: far beyond what a loaded machine under the
// sanitizers needs, so that only a fault reaches them.
constexpr auto START_TIMEOUT = std::chrono::seconds(120);
constexpr auto STATE_TIMEOUT = std::chrono::seconds(120);
constexpr auto POLL_PERIOD = std::chrono::milliseconds(50);

// Waits until `reached` holds; false after `timeout`.
bool WaitFor(const std::function<bool()>& reached, std::chrono::seconds timeout = STATE_TIMEOUT) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!reached()) {
    if (std::chrono::steady_clock::now() > end) return reached();
    std::this_thread::sleep_for(POLL_PERIOD);
  }
  return true;
}

// A TCP port on the loopback that nothing listens on at the moment.
int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

// Starts `arguments` with stdin from `input` (-1: /dev/null), stdout and
// stderr into files, in a process group of its own, with its temporary
// files (gpsd's control socket) in the folder of `out`, and optionally with
// a file size limit in bytes.
pid_t Spawn(const std::vector<std::string>& arguments, int input, const fs::path& out, const fs::path& err,
            rlim_t fileSizeLimit = RLIM_INFINITY) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  setpgid(0, 0);
  setenv("TMPDIR", out.parent_path().c_str(), 1);
  int in = input >= 0 ? input : open("/dev/null", O_RDONLY);
  dup2(in, 0);
  dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
  dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
  if (fileSizeLimit != RLIM_INFINITY) {
    rlimit limit{fileSizeLimit, fileSizeLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

// AIS sentences: gpsd passes them on like the receiver's sentences, and the
// recorder, which records only "$" sentences, leaves them out. gpsfake
// needs an NMEA sentence first: PRIMER_LEAD, which a recording may hold
// (RecordedPart drops it).
const std::string PRIMER_LEAD = Sentence("GPTXT,01,01,02,primer") + "\r\n";
const std::string PRIMER = [] {
  const std::string body = "AIVDM,1,1,,B,177KQJ5000G?tO`K>RA1wUbN0TKH,0";
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "!" + body + tail;
}();
constexpr int PRIMERS = 40;
constexpr auto PRIMER_TIMEOUT = std::chrono::seconds(3);

// gpsd started by gpsfake on `port`, fed from `log` one sentence for each
// Feed; the whole process group is killed when it goes. The log is led by
// PRIMERS primer sentences, since gpsd discards what comes while it sets up
// a newly opened device.
class FakeGpsd {
 public:
  FakeGpsd(const fs::path& log, int port, const fs::path& directory) : port(port), directory(directory) {
    std::string primed = PRIMER_LEAD;
    for (int i = 0; i < PRIMERS; ++i) primed += PRIMER;
    WriteFile(log.string() + ".primed", primed + ReadFile(log));
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    feed = ends[1];
    pid = Spawn({"gpsfake", "-1", "-i", "-W", "0", "-P", std::to_string(port), log.string() + ".primed"}, ends[0],
                directory / "gpsfake.out", directory / "gpsfake.err");
    close(ends[0]);
  }
  ~FakeGpsd() { Kill(); }
  void Feed(size_t sentences) {
    const std::string steps(sentences, '\n');
    EXPECT_EQ(write(feed, steps.data(), steps.size()), static_cast<ssize_t>(steps.size()));
  }
  // Once a client watches: feeds primers one at a time until a client of
  // its own sees one come through, then the rest of them. False when none
  // comes through.
  bool Prime() {
    const fs::path seen = directory / "primer.out";
    const pid_t client = Spawn({"gpspipe", "-r", "127.0.0.1:" + std::to_string(port)}, -1, seen,
                               directory / "primer.err");
    bool through = false;
    int fed = 0;
    Feed(1);  // PRIMER_LEAD
    while (!through && fed < PRIMERS) {
      Feed(1);
      ++fed;
      through = WaitFor([&] { return ReadFile(seen).find("!AIVDM") != std::string::npos; },
                        std::chrono::duration_cast<std::chrono::seconds>(PRIMER_TIMEOUT));
    }
    kill(client, SIGKILL);
    waitpid(client, nullptr, 0);
    Feed(PRIMERS - fed);
    return through;
  }
  // Ends gpsd and gpsfake at once, as a crash or a kill would.
  void Kill() {
    if (pid <= 0) return;
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(feed);
    pid = -1;
  }

 private:
  int port;
  fs::path directory;
  pid_t pid = -1;
  int feed = -1;
};

// A device root with a card and a settings file.
fs::path MakeDevice(const fs::path& directory, const RecordingSettings& settings) {
  const fs::path root = directory / "device";
  fs::create_directories(root / "SDMMC");
  fs::create_directories(root / "NAND/QXAPP/Data");
  SetDeviceRoot(root.c_str());
  EXPECT_EQ(WriteRecordingSettings(settings), 0);
  return root;
}

RecordingSettings NewWindow(uint8_t logRec) {
  RecordingSettings settings;
  settings.logRec = logRec;
  return settings;
}

// tevo-recorder on a device root, its messages kept in a file.
class RecorderProcess {
 public:
  RecorderProcess(const fs::path& root, int port, const fs::path& directory, rlim_t fileSizeLimit = RLIM_INFINITY)
      : messages(directory / "recorder.err") {
    pid = Spawn({TEVO_RECORDER, "--device-root", root.string(), "--gpsd", "127.0.0.1:" + std::to_string(port)}, -1,
                directory / "recorder.out", messages, fileSizeLimit);
  }
  ~RecorderProcess() { Stop(); }
  // Occurrences of `text` among its messages.
  size_t Count(const std::string& text) const {
    const std::string all = ReadFile(messages);
    size_t count = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
    return count;
  }
  // Waits until it watches gpsd for the `times`-th time.
  bool WaitWatching(size_t times = 1) {
    return WaitFor([&] { return Count("watching gpsd") >= times; }, START_TIMEOUT);
  }
  bool Running() {
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) Ended(status);
    return pid > 0;
  }
  // Sends SIGTERM unless it has ended; its exit status (128 + the signal
  // that ended it).
  int Stop() {
    if (Running()) {
      kill(pid, SIGTERM);
      if (!WaitFor([&] { return !Running(); })) {
        ADD_FAILURE() << "the recorder did not stop on SIGTERM";
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        Ended(status);
      }
    }
    return exitStatus;
  }
  std::string Messages() const { return ReadFile(messages); }

 private:
  void Ended(int status) {
    exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid = -1;
  }
  fs::path messages;
  pid_t pid = -1;
  int exitStatus = -1;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// The sentences of a log as gpsd passes them on (comments and blank lines
// are not sentences), and as the recorder writes them.
std::vector<std::string> RecordedForm(const std::string& log) {
  std::vector<std::string> sentences;
  for (const std::string& line : Lines(log)) {
    if (line[0] == '$') sentences.push_back(RewriteSentence(line));
  }
  return sentences;
}

// A day file's text without the primer's lead sentence, which gpsd may or
// may not have passed on.
std::string RecordedPart(const std::string& text) {
  return text.compare(0, PRIMER_LEAD.size(), PRIMER_LEAD) == 0 ? text.substr(PRIMER_LEAD.size()) : text;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

fs::path DayFile(const fs::path& root, int32_t year, int32_t month, int32_t day) {
  char name[64];
  std::snprintf(name, sizeof name, "SDMMC/TEVOLOG/%04d/%02d/%04d%02d%02d.log", year, month, year, month, day);
  return root / name;
}

// A simulated drive of `date`, from `startMinute` Japan time, cut after
// `epochs` seconds.
std::string Drive(int32_t year, int32_t month, int32_t day, int32_t startMinute, int epochs, uint64_t seed) {
  DriveDay drive{year, month, day, startMinute, &DEMO_ROUTES[0], false, seed};
  std::string log;
  EXPECT_EQ(SimulateDrive(drive, &log, nullptr), 0);
  size_t end = 0;
  for (int rmc = 0; rmc <= epochs && end != std::string::npos; ++rmc) end = log.find("$GPRMC", end + 1);
  return end == std::string::npos ? log : log.substr(0, end);
}

// The standard output of a tevo-logtool command line.
std::string Logtool(const std::string& arguments) {
  FILE* pipe = popen((std::string(TEVO_LOGTOOL) + " " + arguments).c_str(), "r");
  if (pipe == nullptr) return "";
  std::string out;
  char chunk[4096];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, got);
  pclose(pipe);
  return out;
}

// The points the viewer's reader takes from a day file (tevo-logtool track).
int TrackPoints(const fs::path& file) {
  int points = -1;
  if (std::sscanf(Logtool("track '" + file.string() + "' --summary").c_str(), "points %d", &points) != 1) return -1;
  return points;
}

std::string DataFile(const char* relative) {
  const char* data = std::getenv("TEVO_TEST_DATA_DIR");
  return std::string(data != nullptr ? data : ".") + "/nmea/" + relative;
}

int CountOf(const std::string& text, const std::string& what) {
  int count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

class RecorderGpsd : public ::testing::Test {
 protected:
  void SetUp() override {
    directory = MakeScratchDirectory();
    port = FreePort();
    ASSERT_GT(port, 0);
  }
  void TearDown() override { fs::remove_all(directory); }

  fs::path Log(const std::string& name, const std::string& text) {
    const fs::path path = directory / name;
    WriteFile(path, text);
    return path;
  }
  fs::path directory;
  int port = -1;
};

// The sentences of real receivers and of a simulated drive, fed in turn,
// land in their days' files as whole lines in the order fed; RMC sentences
// of other talkers become $GPRMC; the days open in tevo-logtool.
TEST_F(RecorderGpsd, RecordsFedSentencesInOrderAsWholeLines) {
  const std::string drive = Drive(2026, 2, 11, 10 * 60, 400, 7);
  struct Case {
    const char* name;
    std::string log;
    int32_t year, month, day;  // Japan day of its sentences
    int points;                // track points the viewer's reader takes from the day
  } cases[] = {
      {"drive", drive, 2026, 2, 11, CountOf(drive, ",A,") - CountOf(drive, "GPGSA,A,")},
      {"japan", ReadFile(DataFile("japan/gpsd_iTrek.log")), 2005, 7, 27, 35},
      // $GNRMC at 5 Hz, in Seattle: outside the area the reader accepts.
      {"gnrmc", ReadFile(DataFile("elsewhere/gpsd_quectel-l76k-nmea.log")), 2026, 8, 5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path here = directory / c.name;
    fs::create_directories(here);
    const fs::path root = MakeDevice(here, NewWindow(3));
    FakeGpsd gpsd(Log(std::string(c.name) + ".nmea", c.log), port, here);
    RecorderProcess recorder(root, port, here);
    ASSERT_TRUE(recorder.WaitWatching()) << recorder.Messages();
    ASSERT_TRUE(gpsd.Prime());
    const std::vector<std::string> expected = RecordedForm(c.log);
    gpsd.Feed(expected.size() + 1);
    const fs::path day = DayFile(root, c.year, c.month, c.day);
    ASSERT_TRUE(WaitFor([&] { return Lines(RecordedPart(ReadFile(day))).size() >= expected.size(); }))
        << recorder.Messages();
    EXPECT_EQ(recorder.Stop(), 0);
    EXPECT_EQ(RecordedPart(ReadFile(day)), Joined(expected));
    EXPECT_EQ(TrackPoints(day), c.points);
    // The viewer's calendar finds the day.
    char month[16], date[32];
    std::snprintf(month, sizeof month, "%04d-%02d", c.year, c.month);
    std::snprintf(date, sizeof date, "%s-%02d", month, c.day);
    EXPECT_EQ(Logtool("days --device-root '" + root.string() + "' " + month), std::string(date) + "\n");
    port = FreePort();
  }
}

// A drive across midnight in Japan goes into two day files.
TEST_F(RecorderGpsd, DriveAcrossMidnightMakesTwoDays) {
  const std::string before = Drive(2026, 3, 31, 23 * 60 + 57, 180, 11);
  const std::string after = Drive(2026, 4, 1, 0, 120, 12);
  const fs::path root = MakeDevice(directory, NewWindow(1));
  FakeGpsd gpsd(Log("midnight.nmea", before + after), port, directory);
  RecorderProcess recorder(root, port, directory);
  ASSERT_TRUE(recorder.WaitWatching()) << recorder.Messages();
  ASSERT_TRUE(gpsd.Prime());
  const std::vector<std::string> first = RecordedForm(before), second = RecordedForm(after);
  gpsd.Feed(first.size() + second.size() + 1);
  const fs::path day1 = DayFile(root, 2026, 3, 31), day2 = DayFile(root, 2026, 4, 1);
  ASSERT_TRUE(WaitFor([&] { return Lines(ReadFile(day2)).size() >= second.size(); })) << recorder.Messages();
  EXPECT_EQ(recorder.Stop(), 0);
  EXPECT_EQ(RecordedPart(ReadFile(day1)), Joined(first));
  EXPECT_EQ(ReadFile(day2), Joined(second));
}

// One RMC and one GGA sentence a minute for nine hours of the receiver's
// time: an 8-hour window records the first eight hours and then sets the
// recording time off, keeping the window in the settings file.
TEST_F(RecorderGpsd, EightHourWindowEndsOnTheReceiversTime) {
  const int64_t start = UtcOfJapanTime({2026, 5, 20, 7, 30, 0});
  std::string log;
  for (int minute = 0; minute <= 9 * 60; ++minute) {
    GpsdFix fix;
    fix.utcMillis = (start + minute * 60) * 1000;
    fix.hasPosition = true;
    fix.lat = 35.6 + minute * 1e-4;
    fix.lon = 139.7;
    log += MakeRmcFromFix(fix) + "\r\n";
    log += Sentence("GPGGA," + MakeRmcFromFix(fix).substr(7, 9) + ",3536.0000,N,13942.0000,E,1,08,1.0,10.0,M,37.1,M,,") +
           "\r\n";
  }
  const fs::path root = MakeDevice(directory, NewWindow(1));
  FakeGpsd gpsd(Log("hours.nmea", log), port, directory);
  RecorderProcess recorder(root, port, directory);
  ASSERT_TRUE(recorder.WaitWatching()) << recorder.Messages();
  ASSERT_TRUE(gpsd.Prime());
  const std::vector<std::string> fed = RecordedForm(log);
  gpsd.Feed(fed.size() + 1);
  RecordingSettings settings;
  ASSERT_TRUE(WaitFor([&] { return ReadRecordingSettings(&settings) == 0 && settings.logRec == 0; }))
      << recorder.Messages();
  EXPECT_EQ(recorder.Stop(), 0);
  EXPECT_EQ(settings.recStartDay, 20260520);
  EXPECT_EQ(settings.recStartTime, 73000);
  EXPECT_EQ(settings.recEndDay, 20260520);
  EXPECT_EQ(settings.recEndTime, 153000);
  const std::vector<std::string> eightHours(fed.begin(), fed.begin() + 2 * 8 * 60);
  EXPECT_EQ(RecordedPart(ReadFile(DayFile(root, 2026, 5, 20))), Joined(eightHours));
}

// LOG_REC 0 records nothing, whatever comes; the recorder still takes every
// sentence (a second client of gpsd shows when all have been sent).
TEST_F(RecorderGpsd, RecordingOffRecordsNothing) {
  const std::string drive = Drive(2026, 2, 12, 9 * 60, 120, 5);
  const fs::path root = MakeDevice(directory, RecordingSettings());
  FakeGpsd gpsd(Log("off.nmea", drive), port, directory);
  RecorderProcess recorder(root, port, directory);
  ASSERT_TRUE(recorder.WaitWatching()) << recorder.Messages();
  ASSERT_TRUE(gpsd.Prime());
  const pid_t pipe = Spawn({"gpspipe", "-r", "127.0.0.1:" + std::to_string(port)}, -1, directory / "gpspipe.out",
                           directory / "gpspipe.err");
  ASSERT_TRUE(WaitFor([&] { return ReadFile(directory / "gpspipe.out").find("WATCH") != std::string::npos; },
                      START_TIMEOUT));
  const std::vector<std::string> fed = RecordedForm(drive);
  gpsd.Feed(fed.size() + 1);
  const bool allSent = WaitFor([&] { return CountOf(ReadFile(directory / "gpspipe.out"), "\n$") >= int(fed.size()); });
  kill(pipe, SIGKILL);
  waitpid(pipe, nullptr, 0);
  ASSERT_TRUE(allSent);
  EXPECT_EQ(recorder.Stop(), 0);
  const std::string messages = recorder.Messages();
  EXPECT_TRUE(messages.find(" " + std::to_string(fed.size()) + " sentences received") != std::string::npos ||
              messages.find(" " + std::to_string(fed.size() + 1) + " sentences received") != std::string::npos)
      << messages;
  EXPECT_FALSE(fs::exists(root / "SDMMC/TEVOLOG"));
}

// A card that fills up (here a file size limit) stops the writing: the day
// file keeps the whole lines that fitted, in the order fed, and no part of
// the next; the recorder goes on running and says why it records nothing.
TEST_F(RecorderGpsd, FullCardStopsWritingWithoutDamage) {
  const std::string drive = Drive(2026, 2, 13, 9 * 60, 300, 9);
  constexpr rlim_t CARD_ROOM = 40000;
  const fs::path root = MakeDevice(directory, NewWindow(2));
  FakeGpsd gpsd(Log("full.nmea", drive), port, directory);
  RecorderProcess recorder(root, port, directory, CARD_ROOM);
  ASSERT_TRUE(recorder.WaitWatching()) << recorder.Messages();
  ASSERT_TRUE(gpsd.Prime());
  const std::vector<std::string> fed = RecordedForm(drive);
  ASSERT_GT(Joined(fed).size(), 2 * CARD_ROOM);
  gpsd.Feed(fed.size() + 1);
  ASSERT_TRUE(WaitFor([&] { return recorder.Count("the card is full") >= 1; })) << recorder.Messages();
  EXPECT_TRUE(recorder.Running());
  EXPECT_EQ(recorder.Stop(), 0);
  const std::string file = ReadFile(DayFile(root, 2026, 2, 13));
  const std::string written = RecordedPart(file);
  ASSERT_FALSE(written.empty());
  EXPECT_LE(file.size(), CARD_ROOM);
  // Every whole line that fitted is there, and nothing of the next one.
  size_t fitting = 0;
  for (size_t bytes = file.size() - written.size(); fitting < fed.size() && bytes + fed[fitting].size() + 2 <= CARD_ROOM; ++fitting) {
    bytes += fed[fitting].size() + 2;
  }
  EXPECT_EQ(written, Joined(std::vector<std::string>(fed.begin(), fed.begin() + fitting)));
}

// A second recorder on the same device root refuses to run; the first goes on.
TEST_F(RecorderGpsd, OneRecorderPerDeviceRoot) {
  const fs::path root = MakeDevice(directory, NewWindow(1));
  RecorderProcess first(root, port, directory);
  ASSERT_TRUE(WaitFor([&] { return first.Count("recording into") >= 1; }, START_TIMEOUT));
  fs::create_directories(directory / "second");
  RecorderProcess second(root, port, directory / "second");
  ASSERT_TRUE(WaitFor([&] { return !second.Running(); }));
  EXPECT_NE(second.Messages().find("another tevo-recorder"), std::string::npos) << second.Messages();
  EXPECT_TRUE(first.Running());
  EXPECT_EQ(first.Stop(), 0);
}

// gpsd killed in the middle of a drive and started again: the recorder
// reconnects and the day holds both halves, in order.
TEST_F(RecorderGpsd, ResumesAfterGpsdRestarts) {
  const std::string drive = Drive(2026, 2, 14, 9 * 60, 300, 13);
  const size_t middle = drive.find("$GPRMC", drive.size() / 2);
  const std::string firstHalf = drive.substr(0, middle), secondHalf = drive.substr(middle);
  const fs::path root = MakeDevice(directory, NewWindow(3));
  const fs::path day = DayFile(root, 2026, 2, 14);
  const std::vector<std::string> first = RecordedForm(firstHalf), second = RecordedForm(secondHalf);
  RecorderProcess recorder(root, port, directory);
  {
    FakeGpsd gpsd(Log("first.nmea", firstHalf), port, directory);
    ASSERT_TRUE(recorder.WaitWatching(1)) << recorder.Messages();
    ASSERT_TRUE(gpsd.Prime());
    gpsd.Feed(first.size() + 1);
    ASSERT_TRUE(WaitFor([&] { return Lines(RecordedPart(ReadFile(day))).size() >= first.size(); }))
        << recorder.Messages();
  }
  FakeGpsd gpsd(Log("second.nmea", secondHalf), port, directory);
  ASSERT_TRUE(recorder.WaitWatching(2)) << recorder.Messages();
  ASSERT_TRUE(gpsd.Prime());
  gpsd.Feed(second.size() + 1);
  ASSERT_TRUE(WaitFor([&] { return Lines(RecordedPart(ReadFile(day))).size() >= first.size() + second.size(); }))
      << recorder.Messages();
  EXPECT_EQ(recorder.Stop(), 0);
  // The second gpsd's primer lead may come between the halves.
  const std::string recorded = RecordedPart(ReadFile(day));
  EXPECT_TRUE(recorded == Joined(first) + Joined(second) || recorded == Joined(first) + PRIMER_LEAD + Joined(second))
      << recorded.substr(0, 2000);
}

}  // namespace
