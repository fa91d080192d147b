#include "tools/recorder/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int AcquireInstanceLock(const std::string& hostRoot, std::string* error) {
  const std::string path = hostRoot + "/" + INSTANCE_LOCK_NAME;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return -1;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *error = errno == EWOULDBLOCK ? "another tevo-recorder is recording into " + hostRoot
                                  : "cannot lock " + path + ": " + std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

void ReleaseInstanceLock(int lock) {
  if (lock >= 0) close(lock);
}
