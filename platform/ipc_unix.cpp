#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/ipc.h"

intptr_t DeliverFromOtherProgram(WindowHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam,
                                 bool waitForReply);

namespace {

constexpr uint32_t REQUEST_MAGIC = 0x5445564F;  // "TEVO"
constexpr int HANDLE_SERIAL_BITS = 10;
constexpr uint32_t HANDLE_SERIAL_MASK = (1u << HANDLE_SERIAL_BITS) - 1;
constexpr int IO_TIMEOUT_MS = 6000;  // longer than a send's wait for its handler

struct Request {
  uint32_t magic;
  uint32_t target;
  uint32_t message;
  uint32_t waitForReply;
  uint64_t wParam;
  int64_t lParam;
};

struct Reply {
  int64_t value;
};

std::string TitleSocket(const std::string& lowerCaseTitle) { return "tevo/title/" + lowerCaseTitle; }

// The device root's identity: its device and inode numbers, so that two
// spellings of one folder meet; a hash of the path while it does not exist.
std::string DeviceIdentity() {
  std::string root = DeviceRoot();
  struct stat info;
  char text[48];
  if (stat(root.c_str(), &info) == 0) {
    std::snprintf(text, sizeof text, "%llx.%llx", static_cast<unsigned long long>(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
  } else {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : root) hash = (hash ^ c) * 1099511628211ull;
    std::snprintf(text, sizeof text, "path.%016llx", static_cast<unsigned long long>(hash));
  }
  return text;
}

std::string DeviceTitleSocket(const std::string& lowerCaseTitle) {
  return "tevo/device/" + DeviceIdentity() + "/title/" + lowerCaseTitle;
}
std::string ProcessSocket(uint32_t pid) { return "tevo/proc/" + std::to_string(pid); }

sockaddr_un AbstractAddress(const std::string& name, socklen_t* length) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  size_t n = std::min(name.size(), sizeof address.sun_path - 2);
  std::memcpy(address.sun_path + 1, name.data(), n);  // leading zero byte: abstract namespace
  *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
  return address;
}

int ListenOn(const std::string& name) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  socklen_t length = 0;
  sockaddr_un address = AbstractAddress(name, &length);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 16) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int ConnectTo(const std::string& name) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  timeval timeout{IO_TIMEOUT_MS / 1000, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  socklen_t length = 0;
  sockaddr_un address = AbstractAddress(name, &length);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool WriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = recv(fd, p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Only programs of the same user may talk to our windows.
bool SameUser(int fd) {
  ucred peer{};
  socklen_t length = sizeof peer;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == getuid();
}

// One thread per program accepts the connections of its published titles
// and of its process socket. It and its data live until the program ends.
class Listener {
 public:
  static Listener& Instance() {
    static Listener* listener = new Listener;
    return *listener;
  }

  void Publish(WindowHandle handle, const std::string& title) {
    std::lock_guard<std::mutex> lock(mutex);
    EnsureRunning();
    for (const std::string& name : {TitleSocket(title), DeviceTitleSocket(title)}) {
      int fd = ListenOn(name);
      if (fd >= 0) titles.push_back(Title{fd, handle});
    }
    Wake();
  }

  void Withdraw(WindowHandle handle) {
    std::lock_guard<std::mutex> lock(mutex);
    for (Title& title : titles) {
      if (title.handle == handle) {
        close(title.fd);
        title.fd = -1;
      }
    }
    titles.erase(std::remove_if(titles.begin(), titles.end(), [](const Title& t) { return t.fd < 0; }), titles.end());
    Wake();
  }

 private:
  struct Title {
    int fd;
    WindowHandle handle;
  };

  void EnsureRunning() {
    if (running) return;
    running = true;
    processFd = ListenOn(ProcessSocket(static_cast<uint32_t>(getpid())));
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe[0] = wakePipe[1] = -1;
    std::thread([this] { Loop(); }).detach();
  }

  void Wake() {
    if (wakePipe[1] >= 0) {
      char byte = 1;
      [[maybe_unused]] ssize_t ignored = write(wakePipe[1], &byte, 1);
    }
  }

  void Loop() {
    for (;;) {
      std::vector<pollfd> fds;
      std::vector<WindowHandle> owners;  // 0 for the process socket and the wake pipe
      {
        std::lock_guard<std::mutex> lock(mutex);
        fds.push_back(pollfd{wakePipe[0], POLLIN, 0});
        owners.push_back(0);
        if (processFd >= 0) {
          fds.push_back(pollfd{processFd, POLLIN, 0});
          owners.push_back(0);
        }
        for (const Title& title : titles) {
          fds.push_back(pollfd{title.fd, POLLIN, 0});
          owners.push_back(title.handle);
        }
      }
      if (poll(fds.data(), fds.size(), -1) < 0) continue;
      if (fds[0].revents & POLLIN) {
        char buffer[64];
        while (read(wakePipe[0], buffer, sizeof buffer) > 0) {
        }
      }
      for (size_t i = 1; i < fds.size(); ++i) {
        if (!(fds[i].revents & POLLIN)) continue;
        int client = accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        timeval timeout{IO_TIMEOUT_MS / 1000, 0};
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        if (SameUser(client)) {
          if (owners[i] != 0) {
            uint32_t handle = owners[i];
            WriteAll(client, &handle, sizeof handle);
          } else {
            Serve(client);
          }
        }
        close(client);
      }
    }
  }

  static void Serve(int client) {
    Request request{};
    if (!ReadAll(client, &request, sizeof request) || request.magic != REQUEST_MAGIC) return;
    intptr_t result = DeliverFromOtherProgram(request.target, request.message, request.wParam,
                                              static_cast<intptr_t>(request.lParam), request.waitForReply != 0);
    if (request.waitForReply != 0) {
      Reply reply{result};
      WriteAll(client, &reply, sizeof reply);
    }
  }

  std::mutex mutex;
  bool running = false;
  int processFd = -1;
  int wakePipe[2] = {-1, -1};
  std::vector<Title> titles;
};

}  // namespace

WindowHandle MakeWindowHandle() {
  static std::mutex serialMutex;
  static uint32_t serial = 0;
  std::lock_guard<std::mutex> lock(serialMutex);
  serial = (serial + 1) & HANDLE_SERIAL_MASK;
  if (serial == 0) serial = 1;
  return (static_cast<uint32_t>(getpid()) << HANDLE_SERIAL_BITS) | serial;
}

bool IsLocalHandle(WindowHandle handle) {
  return (handle >> HANDLE_SERIAL_BITS) == (static_cast<uint32_t>(getpid()) & (0xFFFFFFFFu >> HANDLE_SERIAL_BITS));
}

void PublishTitle(WindowHandle handle, const std::string& lowerCaseTitle) {
  Listener::Instance().Withdraw(handle);
  if (!lowerCaseTitle.empty()) Listener::Instance().Publish(handle, lowerCaseTitle);
}

void WithdrawTitles(WindowHandle handle) { Listener::Instance().Withdraw(handle); }

namespace {

WindowHandle AskTitleSocket(const std::string& name) {
  int fd = ConnectTo(name);
  if (fd < 0) return 0;
  uint32_t handle = 0;
  if (!ReadAll(fd, &handle, sizeof handle)) handle = 0;
  close(fd);
  return handle;
}

}  // namespace

WindowHandle FindRemoteTitle(const std::string& lowerCaseTitle, bool sameDeviceOnly) {
  WindowHandle handle = AskTitleSocket(DeviceTitleSocket(lowerCaseTitle));
  if (handle == 0 && !sameDeviceOnly) handle = AskTitleSocket(TitleSocket(lowerCaseTitle));
  return handle;
}

int DeliverRemote(WindowHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam, bool waitForReply,
                  intptr_t* reply) {
  int fd = ConnectTo(ProcessSocket(target >> HANDLE_SERIAL_BITS));
  if (fd < 0) return 0;
  Request request{REQUEST_MAGIC, target, message, waitForReply ? 1u : 0u, wParam, static_cast<int64_t>(lParam)};
  bool delivered = WriteAll(fd, &request, sizeof request);
  if (delivered && waitForReply) {
    Reply answer{};
    delivered = ReadAll(fd, &answer, sizeof answer);
    if (reply != nullptr) *reply = delivered ? static_cast<intptr_t>(answer.value) : 0;
  }
  close(fd);
  return delivered ? 1 : 0;
}

std::string FoldTitle(const std::string& title) {
  std::string folded = title;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}
