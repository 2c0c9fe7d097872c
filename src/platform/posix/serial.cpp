// Serial ports on Linux, with the behaviour of the Win32 communications calls
// the core was written against (CreateFileA, BuildCommDCBA, SetCommState,
// SetCommTimeouts, PurgeComm, TransmitCommChar, ReadFile, CloseHandle).
//
// Port names map onto devices through the configuration folder: the link
// ports/<name> names the device; a "COMn" name without a link is /dev/ttyS<n-1>.
// Open ports live in a small fixed table; a handle carries the slot number in
// its low byte and a generation count above it, so a handle that was closed
// is refused rather than reaching a port opened later in the same slot.
// Nothing on the read, transmit or purge paths allocates memory.

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <velastra/config_dir.h>
#include <velastra/port_name.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ratio>

#include "platform/platform.h"
#include "platform/posix/ascii.h"

namespace plat {
namespace {

constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;
constexpr std::size_t kPortSlots = 8;
constexpr std::size_t kPathBytes = PATH_MAX;

// The kernel's "no such ioctl" code; user space normally sees ENOTTY instead.
constexpr int kNoIoctlCommand = 515;

struct Port {
  bool in_use = false;
  int fd = -1;
  std::uint32_t generation = 0;  // 1..0xFFFF, advanced on every open of the slot
  Timeouts timeouts{};
  LineSettings line{};
};

Port g_ports[kPortSlots];

Handle MakeHandle(std::size_t slot, std::uint32_t generation) {
  return (static_cast<Handle>(generation) << 8) | static_cast<Handle>(slot + 1);
}

Port* FindPort(Handle handle) {
  if (handle == kInvalidHandle) return nullptr;
  const Handle low = handle & 0xFF;
  if (low == 0 || low > kPortSlots) return nullptr;
  Port& port = g_ports[low - 1];
  if (!port.in_use || MakeHandle(low - 1, port.generation) != handle) return nullptr;
  return &port;
}

// ---- Monotonic time -------------------------------------------------------

// CLOCK_MONOTONIC, in nanoseconds.
std::int64_t NowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

constexpr std::int64_t kNoDeadline = INT64_MAX;
constexpr std::uint64_t kNanosecondsPerMillisecond = std::nano::den / std::milli::den;

// Up to 2^32 * 2^32 ms can be asked for: a deadline past what the clock
// holds (centuries away) is none at all.
std::int64_t DeadlineAfter(std::int64_t start, std::uint64_t milliseconds) {
  const std::uint64_t room = static_cast<std::uint64_t>(kNoDeadline - start);
  if (milliseconds > room / kNanosecondsPerMillisecond) return kNoDeadline;
  return start + static_cast<std::int64_t>(milliseconds * kNanosecondsPerMillisecond);
}

// The poll() time-out that waits until `deadline` without waking early.
int PollTimeout(std::int64_t now, std::int64_t deadline) {
  if (deadline == kNoDeadline) return -1;
  if (deadline <= now) return 0;
  const auto ms =
      std::chrono::ceil<std::chrono::milliseconds>(std::chrono::nanoseconds(deadline - now));
  return static_cast<int>(std::min<std::int64_t>(ms.count(), INT_MAX));
}

// ---- Port names --------------------------------------------------------------

bool LinkExists(const char* path) {
  struct stat st = {};
  return lstat(path, &st) == 0;
}

// The device a port name stands for; false when the name names none.
bool DevicePath(const char* name, char* out, std::size_t size) {
  char folder[kPathBytes];
  const char* in = vl_ConfigDirectory(folder, sizeof folder) ? folder : nullptr;
  for (int which : {VL_PORT_LINK, VL_PORT_COM_LINK}) {
    if (vl_PortPlace(in, name, NAME_MAX, which, out, size) && LinkExists(out)) return true;
  }
  return vl_PortPlace(in, name, NAME_MAX, VL_PORT_DEVICE, out, size) != 0;
}

bool IsNoModemLines(int error) {
  return error == ENOTTY || error == EINVAL || error == kNoIoctlCommand;
}

// ---- Line settings -------------------------------------------------------------

bool BaudConstant(std::uint32_t baud, speed_t* out) {
  struct Rate {
    std::uint32_t baud;
    speed_t code;
  };
  static constexpr Rate kRates[] = {
      {50, B50},           {75, B75},         {110, B110},       {134, B134},     {150, B150},
      {200, B200},         {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
      {2400, B2400},       {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
      {57600, B57600},     {115200, B115200}, {230400, B230400},
#ifdef B460800
      {460800, B460800},
#endif
#ifdef B500000
      {500000, B500000},
#endif
#ifdef B576000
      {576000, B576000},
#endif
#ifdef B921600
      {921600, B921600},
#endif
#ifdef B1000000
      {1000000, B1000000},
#endif
#ifdef B1152000
      {1152000, B1152000},
#endif
#ifdef B1500000
      {1500000, B1500000},
#endif
#ifdef B2000000
      {2000000, B2000000},
#endif
#ifdef B2500000
      {2500000, B2500000},
#endif
#ifdef B3000000
      {3000000, B3000000},
#endif
#ifdef B3500000
      {3500000, B3500000},
#endif
#ifdef B4000000
      {4000000, B4000000},
#endif
  };
  for (const Rate& rate : kRates) {
    if (rate.baud == baud) {
      *out = rate.code;
      return true;
    }
  }
  return false;
}

// Compares a token of the definition with a lower-case word, ignoring case.
bool TokenIs(const char* begin, const char* end, const char* word) {
  const std::size_t length = static_cast<std::size_t>(end - begin);
  return std::strlen(word) == length && SameIgnoringCase(begin, word, length);
}

// Digits only, no sign or blanks, up to 2^32 - 1; anything else reads 0,
// which no number of a definition may be.
std::uint32_t Decimal(const char* begin, const char* end) {
  std::uint32_t value = 0;
  const auto [stop, error] = std::from_chars(begin, end, value);
  return error == std::errc() && stop == end ? value : 0;
}

bool ParseOnOff(const char* begin, const char* end, bool* out) {
  if (TokenIs(begin, end, "on")) {
    *out = true;
    return true;
  }
  if (TokenIs(begin, end, "off")) {
    *out = false;
    return true;
  }
  return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

// ---- The seam -----------------------------------------------------------------

Handle SerialOpen(const char* port_name) {
  std::size_t slot = kPortSlots;
  for (std::size_t i = 0; i < kPortSlots; ++i) {
    if (!g_ports[i].in_use) {
      slot = i;
      break;
    }
  }
  if (slot == kPortSlots) return kInvalidHandle;

  char path[kPathBytes];
  if (!DevicePath(port_name, path, sizeof path)) return kInvalidHandle;
  struct stat before = {};
  if (stat(path, &before) != 0 || !S_ISCHR(before.st_mode)) return kInvalidHandle;

  // The descriptor stays non-blocking for good: a line without carrier cannot
  // hold up the open, and a read or write can never wait past its time-out,
  // not even when another reader of the device takes the bytes that poll()
  // reported (a forgotten terminal program, a modem manager probing it).
  int fd;
  do {
    fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kInvalidHandle;

  struct stat opened = {};
  bool ok = fstat(fd, &opened) == 0 && S_ISCHR(opened.st_mode) && opened.st_rdev == before.st_rdev;
  // The lock comes first: it refuses a second opener in this process too, and
  // a refused opener then leaves the device's exclusive flag alone.
  ok = ok && flock(fd, LOCK_EX | LOCK_NB) == 0;
  ok = ok && ioctl(fd, TIOCEXCL) == 0;
  if (!ok) {
    close(fd);
    return kInvalidHandle;
  }

  Port& port = g_ports[slot];
  port.generation = port.generation >= 0xFFFF ? 1 : port.generation + 1;
  port.in_use = true;
  port.fd = fd;
  port.timeouts = Timeouts{};
  port.line = LineSettings{};
  return MakeHandle(slot, port.generation);
}

bool SerialBuildLineSettings(const char* definition, LineSettings& settings) {
  if (definition == nullptr) return false;
  LineSettings result = settings;
  // Flow control is off unless the definition turns it on.
  result.out_x = false;
  result.in_x = false;
  result.outx_cts_flow = false;
  result.outx_dsr_flow = false;
  result.dtr_enable = false;
  result.rts_enable = false;

  bool any = false;
  const char* p = definition;
  for (;;) {
    while (IsBlank(*p)) ++p;
    if (*p == '\0') break;
    const char* key = p;
    while (*p != '\0' && *p != '=' && !IsBlank(*p)) ++p;
    if (*p != '=') return false;
    const char* key_end = p++;
    const char* value = p;
    while (*p != '\0' && !IsBlank(*p)) ++p;
    const char* value_end = p;
    if (value == value_end) return false;
    any = true;

    if (TokenIs(key, key_end, "baud")) {
      std::uint32_t baud = Decimal(value, value_end);
      if (baud == 0) return false;
      // The two-digit abbreviations of the MODE command.
      static constexpr std::uint32_t kShort[][2] = {{11, 110},  {15, 150},  {30, 300},
                                                    {60, 600},  {12, 1200}, {24, 2400},
                                                    {48, 4800}, {96, 9600}, {19, 19200}};
      for (const auto& pair : kShort) {
        if (baud == pair[0]) {
          baud = pair[1];
          break;
        }
      }
      result.baud = baud;
    } else if (TokenIs(key, key_end, "parity")) {
      if (value_end - value != 1) return false;
      const char letter = AsciiUpper(*value);
      if (std::strchr("NEOMS", letter) == nullptr) return false;
      result.parity = letter;
    } else if (TokenIs(key, key_end, "data")) {
      const std::uint32_t bits = Decimal(value, value_end);
      if (bits < 5 || bits > 8) return false;
      result.data_bits = static_cast<std::uint8_t>(bits);
    } else if (TokenIs(key, key_end, "stop")) {
      const std::uint32_t bits = Decimal(value, value_end);
      if (bits != 1 && bits != 2) return false;
      result.stop_bits = static_cast<std::uint8_t>(bits);
    } else if (TokenIs(key, key_end, "xon")) {
      bool on = false;
      if (!ParseOnOff(value, value_end, &on)) return false;
      result.out_x = on;
      result.in_x = on;
    } else if (TokenIs(key, key_end, "octs")) {
      if (!ParseOnOff(value, value_end, &result.outx_cts_flow)) return false;
    } else if (TokenIs(key, key_end, "odsr")) {
      if (!ParseOnOff(value, value_end, &result.outx_dsr_flow)) return false;
    } else if (TokenIs(key, key_end, "dtr")) {
      if (!ParseOnOff(value, value_end, &result.dtr_enable)) return false;
    } else if (TokenIs(key, key_end, "rts")) {
      if (!ParseOnOff(value, value_end, &result.rts_enable)) return false;
    } else {
      return false;
    }
  }
  if (!any) return false;
  settings = result;
  return true;
}

bool SerialSetLineSettings(Handle handle, const LineSettings& settings) {
  Port* port = FindPort(handle);
  if (port == nullptr) return false;

  speed_t speed = B0;
  if (!BaudConstant(settings.baud, &speed)) return false;
  tcflag_t size;
  switch (settings.data_bits) {
    case 5:
      size = CS5;
      break;
    case 6:
      size = CS6;
      break;
    case 7:
      size = CS7;
      break;
    case 8:
      size = CS8;
      break;
    default:
      return false;
  }
  if (settings.stop_bits != 1 && settings.stop_bits != 2) return false;
  tcflag_t parity;
  switch (settings.parity) {
    case 'N':
      parity = 0;
      break;
    case 'E':
      parity = PARENB;
      break;
    case 'O':
      parity = PARENB | PARODD;
      break;
#ifdef CMSPAR
    case 'M':
      parity = PARENB | PARODD | CMSPAR;
      break;
    case 'S':
      parity = PARENB | CMSPAR;
      break;
#endif
    default:
      return false;
  }
  // DSR handshaking has no termios counterpart.
  if (settings.outx_dsr_flow) return false;

  termios tio{};
  if (tcgetattr(port->fd, &tio) != 0) return false;
  cfmakeraw(&tio);
  if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0) return false;
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
  tio.c_cflag &= ~CMSPAR;
#endif
  tio.c_cflag |= size | parity | CLOCAL | CREAD;
  if (settings.stop_bits == 2) tio.c_cflag |= CSTOPB;
  if (settings.outx_cts_flow) tio.c_cflag |= CRTSCTS;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  if (settings.out_x) tio.c_iflag |= IXON;
  if (settings.in_x) tio.c_iflag |= IXOFF;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  int result;
  do {
    result = tcsetattr(port->fd, TCSANOW, &tio);
  } while (result != 0 && errno == EINTR);
  if (result != 0) return false;

  const int raise = (settings.dtr_enable ? TIOCM_DTR : 0) | (settings.rts_enable ? TIOCM_RTS : 0);
  const int lower = (settings.dtr_enable ? 0 : TIOCM_DTR) | (settings.rts_enable ? 0 : TIOCM_RTS);
  if (raise != 0 && ioctl(port->fd, TIOCMBIS, &raise) != 0 && !IsNoModemLines(errno)) return false;
  if (lower != 0 && ioctl(port->fd, TIOCMBIC, &lower) != 0 && !IsNoModemLines(errno)) return false;
  port->line = settings;
  return true;
}

bool SerialSetTimeouts(Handle handle, const Timeouts& timeouts) {
  Port* port = FindPort(handle);
  if (port == nullptr) return false;
  port->timeouts = timeouts;
  return true;
}

bool SerialPurge(Handle handle, std::uint32_t flags) {
  Port* port = FindPort(handle);
  if (port == nullptr) return false;
  constexpr std::uint32_t kAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;
  if ((flags & ~kAll) != 0) return false;
  // Blocking use leaves no request to abort; the abort flags discard the
  // queues as well so that nothing stays pending after any purge.
  const bool input = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
  const bool output = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
  if (!input && !output) return true;
  const int queue = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
  return tcflush(port->fd, queue) == 0;
}

bool SerialTransmitChar(Handle handle, char c) {
  Port* port = FindPort(handle);
  if (port == nullptr) return false;
  const Timeouts& t = port->timeouts;
  const std::uint64_t limit =
      static_cast<std::uint64_t>(t.write_total_multiplier) + t.write_total_constant;
  const std::int64_t start = NowNanoseconds();
  const std::int64_t deadline = limit == 0 ? kNoDeadline : DeadlineAfter(start, limit);

  for (;;) {
    pollfd pfd{port->fd, POLLOUT, 0};
    const int ready = poll(&pfd, 1, PollTimeout(NowNanoseconds(), deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (ready == 0) {
      if (NowNanoseconds() >= deadline) return false;
      continue;
    }
    if ((pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return false;
    if ((pfd.revents & POLLOUT) == 0) continue;
    // One byte is written whole or not at all (-1 and errno).
    errno = 0;
    if (write(port->fd, &c, 1) == 1) return true;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // Output held (XOFF received, queue full): no later than the deadline.
      if (NowNanoseconds() >= deadline) return false;
      continue;
    }
    if (errno == EINTR) continue;
    return false;
  }
}

bool SerialRead(Handle handle, void* buffer, std::uint32_t size, std::uint32_t* bytes_read) {
  if (bytes_read != nullptr) *bytes_read = 0;
  Port* port = FindPort(handle);
  if (port == nullptr) return false;
  if (size == 0) return true;
  if (buffer == nullptr) return false;
  auto* bytes = static_cast<unsigned char*>(buffer);
  const Timeouts& t = port->timeouts;

  // ReadIntervalTimeout = MAXDWORD with both totals 0: return at once with
  // what has arrived.  With the multiplier MAXDWORD too and a constant, wait
  // up to the constant for the first byte, then return with what is there.
  const bool interval_max = t.read_interval == kMaxDword;
  const bool at_once = interval_max && t.read_total_multiplier == 0 && t.read_total_constant == 0;
  const bool first_byte_only = interval_max && t.read_total_multiplier == kMaxDword &&
                               t.read_total_constant != 0 && t.read_total_constant != kMaxDword;

  const std::int64_t start = NowNanoseconds();
  std::int64_t total_deadline = kNoDeadline;
  if (at_once) {
    total_deadline = start;
  } else if (first_byte_only) {
    total_deadline = DeadlineAfter(start, t.read_total_constant);
  } else if (t.read_total_multiplier != 0 || t.read_total_constant != 0) {
    total_deadline = DeadlineAfter(
        start, static_cast<std::uint64_t>(t.read_total_multiplier) * size + t.read_total_constant);
  }
  const bool use_interval = t.read_interval != 0 && !interval_max;
  std::int64_t interval_deadline = kNoDeadline;  // set when a byte arrives

  std::uint32_t got = 0;
  while (got < size) {
    const std::int64_t now = NowNanoseconds();
    const std::int64_t deadline = std::min(interval_deadline, total_deadline);
    if (got > 0 && first_byte_only) break;
    // Always look once, so that bytes already waiting are taken even when the
    // time is up (a zero time-out read).
    const bool expired = deadline != kNoDeadline && now >= deadline;
    pollfd pfd{port->fd, POLLIN, 0};
    const int ready = poll(&pfd, 1, expired ? 0 : PollTimeout(now, deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (ready == 0) {
      if (expired || NowNanoseconds() >= deadline) break;
      continue;
    }
    if ((pfd.revents & POLLIN) != 0) {
      const ssize_t n = read(port->fd, bytes + got, size - got);
      if (n > 0) {
        got += static_cast<std::uint32_t>(n);
        if (use_interval) interval_deadline = DeadlineAfter(NowNanoseconds(), t.read_interval);
        if (expired) break;
        continue;
      }
      // Nothing there after all: another reader took it.  Wait again, within
      // the same deadlines.
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (expired) break;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      return false;  // EIO, or end of file: the device went away
    }
    if ((pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return false;
    if (expired) break;
  }
  if (bytes_read != nullptr) *bytes_read = got;
  return true;
}

// A terminal latches no error that would stop later reads or writes.
bool SerialClearErrors(Handle handle) { return FindPort(handle) != nullptr; }

bool SerialClose(Handle handle) {
  Port* port = FindPort(handle);
  if (port == nullptr) return false;
  // An earlier close failed after the system had let the descriptor go:
  // nothing is left open, and the handle is closed now.
  if (port->fd < 0) {
    port->in_use = false;
    return true;
  }
  const int fd = port->fd;
  struct stat device = {};
  const bool known = fstat(fd, &device) == 0;
  // The device keeps its exclusive flag while any other descriptor is open
  // (a pseudo-terminal's other end, say): give it up before closing.
  ioctl(fd, TIOCNXCL);
  flock(fd, LOCK_UN);
  // Linux releases the descriptor even when close reports EINTR.
  if (close(fd) == 0 || errno == EINTR) {
    port->in_use = false;
    port->fd = -1;
    return true;
  }
  // The close failed.  The port stays in the table, so the handle can be
  // closed again instead of naming nothing from now on.  Whether the
  // descriptor survived a failed close is up to the system (Linux always
  // lets it go); if it still names the device, it is held exclusively again.
  const int error = errno;
  struct stat now = {};
  if (known && fstat(fd, &now) == 0 && now.st_rdev == device.st_rdev &&
      now.st_ino == device.st_ino && now.st_dev == device.st_dev) {
    flock(fd, LOCK_EX | LOCK_NB);
    ioctl(fd, TIOCEXCL);
  } else {
    port->fd = -1;
  }
  errno = error;
  return false;
}

}  // namespace plat
