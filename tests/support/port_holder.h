// Another process that holds a serial device open for exclusive use, the way
// a second program would, until the object lets it go.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace testsupport {

class PortHolder {
 public:
  explicit PortHolder(const std::string& device) {
    if (pipe(ready_) != 0 || pipe(release_) != 0) return;
    child_ = fork();
    if (child_ == 0) {
      const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 1 : 0;
      (void)!write(ready_[1], &ok, 1);
      char c;
      (void)!read(release_[0], &c, 1);
      _exit(0);
    }
    char ok = 0;
    holding_ = child_ > 0 && read(ready_[0], &ok, 1) == 1 && ok == 1;
  }
  ~PortHolder() { Release(); }
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;

  // Whether the other process opened and locked the device.
  bool Holding() const { return holding_; }

  // The other process lets go and ends.
  void Release() {
    if (child_ > 0) {
      (void)!write(release_[1], "x", 1);
      waitpid(child_, nullptr, 0);
      child_ = -1;
    }
    for (int* fd : {&ready_[0], &ready_[1], &release_[0], &release_[1]}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
    holding_ = false;
  }

 private:
  int ready_[2] = {-1, -1};
  int release_[2] = {-1, -1};
  pid_t child_ = -1;
  bool holding_ = false;
};

}  // namespace testsupport
