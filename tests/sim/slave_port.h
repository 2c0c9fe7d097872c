// The other end of the simulated box's cable: the slave side of its
// pseudo-terminal, opened and read the way a serial port is.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>

namespace simtest {

using Clock = std::chrono::steady_clock;

inline double MillisecondsSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

class SlavePort {
 public:
  explicit SlavePort(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(fd_, TCSANOW, &t);
  }
  ~SlavePort() {
    if (fd_ >= 0) ::close(fd_);
  }
  SlavePort(const SlavePort&) = delete;
  SlavePort& operator=(const SlavePort&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  bool Send(std::string_view bytes) {
    return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // Reads until `size` bytes have come, `total_ms` have passed since the call,
  // or (interval_ms >= 0) interval_ms pass after a byte without another.
  std::string Read(std::size_t size, int total_ms, int interval_ms = -1) {
    std::string out;
    const auto start = Clock::now();
    auto last = start;
    while (out.size() < size) {
      double left = total_ms - MillisecondsSince(start);
      if (interval_ms >= 0 && !out.empty()) {
        const double interval_left = interval_ms - MillisecondsSince(last);
        if (interval_left < left) left = interval_left;
      }
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(left) + 1);
      if (ready <= 0 || (p.revents & POLLIN) == 0) {
        if (ready > 0) break;  // hung up
        continue;
      }
      char buffer[256];
      const std::size_t want =
          size - out.size() < sizeof buffer ? size - out.size() : sizeof buffer;
      const ssize_t n = ::read(fd_, buffer, want);
      if (n <= 0) break;
      out.append(buffer, static_cast<std::size_t>(n));
      last = Clock::now();
    }
    return out;
  }

  // Sends `query` and reads `size` bytes; *elapsed_ms gets the time from the
  // send to the last byte.
  std::string Ask(std::string_view query, std::size_t size, int total_ms = 500,
                  double* elapsed_ms = nullptr) {
    const auto start = Clock::now();
    if (!Send(query)) return {};
    std::string answer = Read(size, total_ms);
    if (elapsed_ms != nullptr) *elapsed_ms = MillisecondsSince(start);
    return answer;
  }

  // True when the line hangs up within `timeout_ms`: poll reports POLLHUP, or
  // a read gives end of file or EIO.
  bool WaitHangUp(int timeout_ms) {
    const auto start = Clock::now();
    while (MillisecondsSince(start) < timeout_ms) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      if ((p.revents & (POLLHUP | POLLERR)) != 0) return true;
      char c;
      const ssize_t n = ::read(fd_, &c, 1);
      if (n == 0 || (n < 0 && errno == EIO)) return true;
    }
    return false;
  }

 private:
  int fd_ = -1;
};

}  // namespace simtest
