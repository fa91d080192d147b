#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

// The signals that ask a command-line program to end.
constexpr int PASSED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int PASSED_COUNT = sizeof PASSED_SIGNALS / sizeof PASSED_SIGNALS[0];
// How long a child may take to end after a quit signal was passed on to
// it before it is killed: a program that ignores the signal, or hangs,
// never keeps this one from stopping.
constexpr int KILL_AFTER_MILLISECONDS = 500;
// How often the wait for a child looks at it when nothing else wakes it.
constexpr int POLL_MILLISECONDS = 20;

// The running child and the first signal caught while it runs. A signal
// handler reaches nothing but process-wide state, hence these two; only
// one child runs at a time.
volatile sig_atomic_t runningChild = 0;
volatile sig_atomic_t caughtSignal = 0;

// Async-signal-safe: notes the signal and passes it on to the child.
void PassSignal(int signal) {
  const int saved = errno;
  if (caughtSignal == 0) caughtSignal = signal;
  if (runningChild > 0) kill(static_cast<pid_t>(runningChild), signal);
  errno = saved;
}

// While it lives, the quit signals that this process does not ignore are
// passed on to the child; it starts with them blocked so that none comes
// before the child is known, and `Release` unblocks them.
class SignalPassing {
 public:
  SignalPassing() {
    caughtSignal = 0;
    sigset_t quit;
    sigemptyset(&quit);
    for (int signal : PASSED_SIGNALS) sigaddset(&quit, signal);
    pthread_sigmask(SIG_BLOCK, &quit, &savedMask);
    sigemptyset(&passed);
    struct sigaction pass {};
    pass.sa_handler = PassSignal;
    sigemptyset(&pass.sa_mask);
    for (int i = 0; i < PASSED_COUNT; ++i) {
      sigaction(PASSED_SIGNALS[i], nullptr, &savedActions[i]);
      if (savedActions[i].sa_handler == SIG_IGN) continue;
      sigaction(PASSED_SIGNALS[i], &pass, nullptr);
      sigaddset(&passed, PASSED_SIGNALS[i]);
    }
  }

  // Our own actions and mask come back, then the signal caught, if any.
  ~SignalPassing() {
    runningChild = 0;
    for (int i = 0; i < PASSED_COUNT; ++i) {
      if (sigismember(&passed, PASSED_SIGNALS[i])) sigaction(PASSED_SIGNALS[i], &savedActions[i], nullptr);
    }
    pthread_sigmask(SIG_SETMASK, &savedMask, nullptr);
    const int signal = caughtSignal;
    caughtSignal = 0;
    if (signal != 0) raise(signal);
  }

  void Release(pid_t child) {
    runningChild = child;
    pthread_sigmask(SIG_SETMASK, &savedMask, nullptr);
  }

  // The child starts with our mask from before and the default action
  // for every signal we pass on (those we ignore stay ignored).
  int PrepareChild(posix_spawnattr_t* attributes) const {
    if (posix_spawnattr_setsigmask(attributes, &savedMask) != 0 ||
        posix_spawnattr_setsigdefault(attributes, &passed) != 0) {
      return -1;
    }
    return posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }

  SignalPassing(const SignalPassing&) = delete;
  SignalPassing& operator=(const SignalPassing&) = delete;

 private:
  sigset_t savedMask;
  sigset_t passed;
  struct sigaction savedActions[PASSED_COUNT];
};

// A file descriptor closed when it goes out of scope.
struct Descriptor {
  int fd = -1;
  ~Descriptor() { Close(); }
  void Close() {
    if (fd >= 0) close(fd);
    fd = -1;
  }
};

// An anonymous file that holds `bytes`, read from its start.
int InputFile(const std::string& bytes, Descriptor* file) {
  file->fd = memfd_create("child-input", MFD_CLOEXEC);
  if (file->fd < 0) return -1;
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(file->fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<size_t>(n);
  }
  return lseek(file->fd, 0, SEEK_SET) == 0 ? 0 : -1;
}

// What the child writes on its stdout: kept up to a limit, the rest read
// and dropped (so that the child never blocks on a full pipe), all counted.
struct OutputSink {
  std::string* kept;
  size_t limit;
  uint64_t total = 0;
  int readError = 0;
};

// Reads what the pipe `fd` (non-blocking) holds now. False once it is at
// its end or cannot be read (then sink->readError says why).
bool DrainPipe(int fd, OutputSink* sink) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n < 0) sink->readError = errno;
    if (n <= 0) return false;
    sink->total += static_cast<uint64_t>(n);
    const size_t room = sink->limit - std::min(sink->limit, sink->kept->size());
    sink->kept->append(buffer, std::min(room, static_cast<size_t>(n)));
  }
}

int64_t MillisecondsSince(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// Collects the child's output until it has ended and waits for it. The
// wait never depends on the pipe's end alone: once the child has ended,
// what it wrote is read and the pipe left, even when a program it started
// still holds it open. Once a quit signal has been passed on, a child that
// has not ended within KILL_AFTER_MILLISECONDS is killed.
int Supervise(pid_t child, Descriptor* pipe, OutputSink* sink, ChildEnd* end) {
  int status = 0;
  bool killed = false;
  std::chrono::steady_clock::time_point signalled;
  for (bool reaped = false, noticed = false; !reaped;) {
    const pid_t waited = waitpid(child, &status, WNOHANG);
    if (waited < 0 && errno != EINTR) return -1;
    reaped = waited == child;
    if (pipe->fd >= 0 && (!DrainPipe(pipe->fd, sink) || reaped)) pipe->Close();
    if (reaped) break;
    if (caughtSignal != 0 && !noticed) {
      noticed = true;
      signalled = std::chrono::steady_clock::now();
    }
    if (noticed && !killed && MillisecondsSince(signalled) >= KILL_AFTER_MILLISECONDS) {
      kill(child, SIGKILL);
      killed = true;
    }
    struct pollfd watch {pipe->fd, POLLIN, 0};
    poll(&watch, pipe->fd >= 0 ? 1 : 0, POLL_MILLISECONDS);
  }
  end->exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  end->signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  end->outputBytes = sink->total;
  return 0;
}

std::string Failure(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// Spawns the child with `input` on its stdin and `output` on its stdout
// (each -1: ours), and its stderr into the file `errorPath` (null: ours).
int Spawn(const std::vector<std::string>& arguments, const SignalPassing& signals, int input, int output,
          const std::string* errorPath, pid_t* child, std::string* error) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  int result = signals.PrepareChild(&attributes) == 0 ? 0 : EINVAL;
  if (result == 0 && input >= 0) result = posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  if (result == 0 && output >= 0) result = posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
  if (result == 0 && errorPath != nullptr) {
    result = posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath->c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                              0600);
  }
  if (result == 0) result = posix_spawn(child, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (result != 0) *error = Failure("cannot run " + arguments[0], result);
  return result == 0 ? 0 : -1;
}

}  // namespace

int RunChildProcess(const std::vector<std::string>& arguments, const std::string* input, std::string* output,
                    ChildEnd* end, std::string* error, const std::string* errorPath, size_t outputLimit) {
  *end = ChildEnd();
  if (arguments.empty()) {
    *error = "no program to run";
    return -1;
  }
  Descriptor inputFile, readEnd, writeEnd;
  if (input != nullptr && InputFile(*input, &inputFile) != 0) {
    *error = Failure("cannot hold the input of " + arguments[0], errno);
    return -1;
  }
  if (output != nullptr) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
      *error = Failure("cannot make a pipe for " + arguments[0], errno);
      return -1;
    }
    readEnd.fd = ends[0];
    writeEnd.fd = ends[1];
  }
  // What we printed so far comes before what the child prints.
  std::fflush(stdout);
  std::fflush(stderr);
  SignalPassing signals;
  pid_t child = 0;
  if (Spawn(arguments, signals, inputFile.fd, writeEnd.fd, errorPath, &child, error) != 0) return -1;
  signals.Release(child);
  inputFile.Close();
  writeEnd.Close();
  OutputSink sink{output, outputLimit};
  if (output != nullptr) fcntl(readEnd.fd, F_SETFL, fcntl(readEnd.fd, F_GETFL) | O_NONBLOCK);
  if (Supervise(child, &readEnd, &sink, end) != 0) {
    *error = Failure("cannot wait for " + arguments[0], errno);
    return -1;
  }
  if (sink.readError != 0) {
    *error = Failure("cannot read the output of " + arguments[0], sink.readError);
    return -1;
  }
  return 0;
}

std::string DescribeChildEnd(const ChildEnd& end) {
  if (end.signal != 0) return "signal " + std::to_string(end.signal) + " (" + strsignal(end.signal) + ")";
  return "exit status " + std::to_string(end.exitStatus);
}

std::string FindProgramOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr || name.empty() || name.find('/') != std::string::npos) return std::string();
  for (const char* start = path;; ++start) {
    const char* end = std::strchr(start, ':');
    // An empty entry of PATH is the current folder.
    const std::string folder = end == nullptr ? std::string(start) : std::string(start, end);
    const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (end == nullptr) return std::string();
    start = end;
  }
}
