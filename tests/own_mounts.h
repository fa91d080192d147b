// Test code that needs mounts of its own (a read-only card, another file
// system or a bind mount below the device root) runs in a forked child with
// its own user and mount namespace, so it needs no privileges on the
// machine and leaves no mount behind.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

// RunWithOwnMounts' result when the machine does not allow the namespaces.
constexpr int OWN_MOUNTS_UNAVAILABLE = 77;

namespace own_mounts {

inline bool WriteProcFile(const char* path, const std::string& text) {
  int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return written;
}

// Enters a user namespace mapped to the caller and a private mount namespace.
inline bool EnterOwnNamespaces() {
  uid_t uid = getuid();
  gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
  WriteProcFile("/proc/self/setgroups", "deny");
  if (!WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
      !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
    return false;
  }
  return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

}  // namespace own_mounts

// Runs `body` in a forked child with its own mounts and returns its result
// (0 when all of its checks held), OWN_MOUNTS_UNAVAILABLE when the
// namespaces cannot be made, or -1 when the child did not exit normally.
// The child ends with _exit: nothing of the test program runs after it.
inline int RunWithOwnMounts(const std::function<int()>& body) {
  std::fflush(nullptr);
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    int result = own_mounts::EnterOwnNamespaces() ? body() : OWN_MOUNTS_UNAVAILABLE;
    std::fflush(nullptr);
    _exit(result);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Inside RunWithOwnMounts: mounts the folder `source` over `target`, read-only
// when asked. Returns whether it worked.
inline bool BindMount(const std::string& source, const std::string& target, bool readOnly) {
  if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
  return !readOnly || mount(nullptr, target.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

// Inside RunWithOwnMounts: a fresh, empty file system over `target`.
inline bool MountScratchFileSystem(const std::string& target) {
  return mount("tevo-test", target.c_str(), "tmpfs", 0, "size=1m") == 0;
}

// In a body: reports the failed condition and its line on stderr and makes
// the body's result non-zero.
#define CHILD_CHECK(failures, condition)                                             \
  do {                                                                               \
    if (!(condition)) {                                                              \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      ++(failures);                                                                  \
    }                                                                                \
  } while (0)
