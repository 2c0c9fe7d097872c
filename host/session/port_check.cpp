#include "port_check.h"

#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <velastra/port_name.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "config.h"

namespace host {
namespace {

namespace fs = std::filesystem;

// How long the check waits for a box's first byte, and for the next one.
constexpr double kFirstByteMs = 1000.0;
constexpr double kQuietMs = 300.0;
// The plug-in's longest gap between two bytes of an answer.
constexpr double kGapMs = 20.0;

bool Exists(const fs::path& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::string Owner(const std::string& device) {
  struct stat st {};
  if (stat(device.c_str(), &st) != 0) return "";
  const group* g = getgrgid(st.st_gid);
  return g != nullptr ? g->gr_name : std::to_string(st.st_gid);
}

struct Holder {
  std::string text;        // "PID (name)"
  bool other_end = false;  // it also holds the pseudo-terminal's master side
};

// Other processes that have `device` open, from /proc.
std::vector<Holder> Holders(const std::string& device, bool* hidden) {
  std::vector<Holder> holders;
  *hidden = false;
  std::error_code ec;
  const fs::path target = fs::canonical(device, ec);
  if (ec) return holders;
  const std::string self = std::to_string(getpid());
  // A pseudo-terminal's other end (a simulated box) holds the device too; it
  // is the device rather than a program in the way.
  const std::string pts = "/dev/pts/";
  const std::string index =
      target.string().rfind(pts, 0) == 0 ? target.string().substr(pts.size()) : "";
  for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string pid = it->path().filename();
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self) {
      continue;
    }
    std::error_code fd_ec;
    fs::directory_iterator fds(it->path() / "fd", fd_ec);
    if (fd_ec) {
      *hidden = *hidden || fd_ec == std::errc::permission_denied;
      continue;
    }
    bool holds = false, other_end = false;
    for (fs::directory_iterator fd_end; fds != fd_end; fds.increment(fd_ec)) {
      if (fd_ec) break;
      std::error_code link_ec;
      const fs::path link = fs::read_symlink(fds->path(), link_ec);
      holds = holds || link == target;
      if (!index.empty() && link.filename() == "ptmx") {
        std::ifstream info(it->path() / "fdinfo" / fds->path().filename());
        std::string line;
        while (std::getline(info, line)) {
          other_end = other_end || line == "tty-index:\t" + index;
        }
      }
    }
    if (holds) {
      std::string name;
      std::ifstream(it->path() / "comm") >> name;
      holders.push_back({pid + " (" + (name.empty() ? "?" : name) + ")", other_end});
    }
  }
  return holders;
}

std::string Join(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : ", ") + p;
  return out;
}

}  // namespace

std::string PortCheck::Text() const {
  constexpr std::size_t kWidth = 78;
  std::string out;
  for (std::string line : lines) {
    std::string indent;
    while (line.size() > kWidth - indent.size()) {
      std::size_t cut = line.rfind(' ', kWidth - indent.size());
      if (cut == std::string::npos || cut == 0) cut = kWidth - indent.size();
      out += indent + line.substr(0, cut) + "\n";
      line.erase(0, line[cut] == ' ' ? cut + 1 : cut);
      indent = "  ";
    }
    out += indent + line + "\n";
  }
  return out;
}

std::string ProfileValue(const std::string& key, const std::string& fallback) {
  std::ifstream in(fs::path(ConfigDir()) / "win.ini");
  std::string line;
  bool in_section = false;
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  auto trim = [](const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t\r");
    const std::size_t b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
  };
  while (std::getline(in, line)) {
    line = trim(line);
    const std::size_t equals = line.find('=');
    if (!line.empty() && line[0] == '[') {
      in_section = lower(line) == "[zazuvuzardll]";
    } else if (in_section && equals != std::string::npos &&
               lower(trim(line.substr(0, equals))) == lower(key)) {
      return trim(line.substr(equals + 1));
    }
  }
  return fallback;
}

std::string ProfilePort() {
  return ProfileValue("CommPort", "COM1").substr(0, VL_STORED_PORT_NAME);
}

namespace {

// Milliseconds since `start`.
double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// The line the plug-in opens: raw 9600 8N1 with XON/XOFF.
void ConfigureLine(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return;
  cfmakeraw(&t);
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_iflag |= IXON | IXOFF;
  tcsetattr(fd, TCSANOW, &t);
  tcflush(fd, TCIOFLUSH);
}

// What came back for one command: the bytes, when each arrived (ms after
// the command left).
struct Answer {
  std::string bytes;
  std::vector<double> at;
  double last() const { return at.empty() ? 0.0 : at.back(); }
  double widest_gap() const {
    double gap = 0.0;
    for (std::size_t i = 1; i < at.size(); ++i) gap = std::max(gap, at[i] - at[i - 1]);
    return gap;
  }
};

// Sends `command` and gathers what comes back: a second for the first byte,
// then until 300 ms pass without one.
Answer Ask(int fd, char command) {
  Answer a;
  tcflush(fd, TCIFLUSH);
  const auto start = std::chrono::steady_clock::now();
  if (write(fd, &command, 1) != 1) return a;
  for (;;) {
    const double waited = a.at.empty() ? Since(start) : Since(start) - a.last();
    const int left = static_cast<int>((a.at.empty() ? kFirstByteMs : kQuietMs) - waited);
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, left) <= 0 || (p.revents & POLLIN) == 0) break;
    char buffer[64];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    // Bytes read together arrived within one read; they share its time.
    for (ssize_t i = 0; i < got; ++i) a.bytes += buffer[i], a.at.push_back(Since(start));
    if (a.bytes.size() > 4096) break;
  }
  return a;
}

// The bytes as a person can read them: "+01234\t-00567\r".
std::string Shown(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes.substr(0, 32)) {
    if (c == '\r' || c == '\n' || c == '\t') {
      out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : "\\t";
    } else if (c < 0x20 || c >= 0x7F) {
      out += std::string("\\x") + "0123456789ABCDEF"[c >> 4] + "0123456789ABCDEF"[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + (bytes.size() > 32 ? "...\"" : "\"");
}

// The line rate the answer's pace or length fits, when it is not 9600: the
// bytes' spacing on a line that paces them, else what so many bytes for so
// many sent would mean at another rate.
int RateThatFits(const Answer& a, std::size_t expected) {
  static constexpr int kRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
  double rate = 0.0;
  if (a.at.size() >= 3) {
    std::vector<double> gaps;
    for (std::size_t i = 1; i < a.at.size(); ++i) gaps.push_back(a.at[i] - a.at[i - 1]);
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    const double gap = gaps[gaps.size() / 2];
    if (gap > 2.0) rate = 10.0 * 1000.0 / gap;  // 10 bits a byte
  }
  if (rate == 0.0 && !a.bytes.empty() && a.bytes.size() != expected) {
    rate = 9600.0 * static_cast<double>(expected) / static_cast<double>(a.bytes.size());
  }
  if (rate == 0.0) return 0;
  int best = kRates[0];
  for (int r : kRates) {
    if (std::fabs(std::log(r / rate)) < std::fabs(std::log(best / rate))) best = r;
  }
  return best == 9600 ? 0 : best;
}

// Judges one answer the way the plug-in reads it: `expected` bytes within
// 10 n + 100 ms of the command, no gap above 20 ms.  Adds the sentence to
// `say`; true when the plug-in would take the answer.
bool Judge(const Answer& a, char command, std::size_t expected, std::string* said) {
  const std::string what = std::string("The box was sent \"") + command + "\" and ";
  char time[64];
  std::snprintf(time, sizeof time, "%.0f ms", a.last());
  if (a.bytes.empty()) {
    *said = what +
            "nothing came back within a second: is it switched on, its cable in, and "
            "is this its port?";
    return false;
  }
  const int rate = RateThatFits(a, expected);
  const std::string other_rate = rate != 0
                                     ? " The bytes fit a line at about " + std::to_string(rate) +
                                           " baud; the plug-in reads at 9600: set the box to 9600."
                                     : "";
  if (a.bytes.size() != expected) {
    *said = what + "answered " + std::to_string(a.bytes.size()) +
            (a.bytes.size() == 1 ? " byte, not " : " bytes, not ") + std::to_string(expected) +
            ": " + Shown(a.bytes) + "." + other_rate;
    return false;
  }
  const double limit = 10.0 * static_cast<double>(expected) + 100.0;
  char slow[256];
  std::snprintf(slow, sizeof slow,
                "answered in %s (the first byte after %.0f ms, gaps up to %.0f ms); the plug-in "
                "waits %.0f ms in all and 20 ms between bytes, so it would get a short answer.",
                time, a.at.front(), a.widest_gap(), limit);
  if (a.last() > limit || a.widest_gap() > kGapMs) {
    *said = what + slow + other_rate;
    return false;
  }
  if (command == 'Q') {
    const std::size_t first = a.bytes.find_first_of("+-");
    const std::size_t second = first == std::string::npos || first + 6 >= expected
                                   ? std::string::npos
                                   : a.bytes.find_first_of("+-", first + 6);
    if (first == std::string::npos) {
      *said = what + "answered without signs: " + Shown(a.bytes) +
              ". The plug-in finds each count by its + or - sign; set the box to send signed "
              "counts.";
      return false;
    }
    auto digits = [&](std::size_t at) {
      return at + 6 <= a.bytes.size() && a.bytes.find_first_not_of("0123456789", at + 1) >= at + 6;
    };
    if (second == std::string::npos || second + 6 > expected || !digits(first) || !digits(second)) {
      *said = what + "answered " + Shown(a.bytes) +
              ", which is not two signed counts of five digits." + other_rate;
      return false;
    }
    *said = what + "answered the counts " + a.bytes.substr(first, 6) + " and " +
            a.bytes.substr(second, 6) + " in " + time + ".";
    return true;
  }
  *said = what + "answered the status " + Shown(a.bytes) + " in " + time + ".";
  return true;
}

}  // namespace

PortCheck CheckPort(const std::string& name, bool probe) {
  PortCheck c;
  const fs::path ports = fs::path(ConfigDir()) / "ports";
  auto say = [&](const std::string& line) { c.lines.push_back(line); };
  // The last sentence of a check of a device that no port links to.
  std::string trailer;
  auto finish = [&]() -> PortCheck& {
    if (!trailer.empty()) say(trailer);
    return c;
  };

  if (name.find('/') != std::string::npos) {
    // A device path: the port that links to it, if one does.
    std::error_code ec;
    c.device = fs::absolute(name, ec).lexically_normal().string();
    const fs::path wanted = fs::weakly_canonical(c.device, ec);
    for (fs::directory_iterator it(ports, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code link_ec;
      if (!it->is_symlink(link_ec)) continue;
      const fs::path target = fs::read_symlink(it->path(), link_ec);
      const fs::path resolved = fs::weakly_canonical(ports / target, link_ec);
      if (!link_ec && resolved == wanted && (c.port.empty() || it->path().filename() < c.port)) {
        c.port = it->path().filename().string();
        c.link = it->path().string();
      }
    }
    if (c.port.empty()) {
      trailer = "No port links to " + c.device +
                "; to use it, make one at the velastra-host prompt with: port COM1 " + c.device +
                " (or: ln -s " + c.device + " " + (ports / "COM1").string() + ").";
    }
  } else {
    c.port = name;
    const unsigned com = vl_ComNumber(name.c_str());
    // The plug-in's places for the name, in its order; of the devices
    // without a link only the dialog's ports count as there.
    const std::string folder = ConfigDir();
    char place[PATH_MAX];
    const auto at = [&](const char* where, int which) {
      return vl_PortPlace(where, name.c_str(), NAME_MAX, which, place, sizeof place) != 0;
    };
    if ((at(folder.c_str(), VL_PORT_LINK) && Exists(place)) ||
        (at(folder.c_str(), VL_PORT_COM_LINK) && Exists(place))) {
      c.link = place;
    } else if (com <= VL_DIALOG_PORTS && at(nullptr, VL_PORT_DEVICE)) {
      c.device = place;
    } else {
      c.verdict = PortCheck::Verdict::kNoDevice;
      const std::string shown = name.empty() ? "''" : name;
      say(name.size() > VL_STORED_PORT_NAME && com != 0
              ? "Port " + name +
                    " names no device: the plug-in keeps at most four "
                    "characters of a port name; the dialog offers COM1 to COM4, and a link in " +
                    ports.string() + " (COM5 to COM9) more."
              : "Port " + shown +
                    " names no device: a port is COM1 to COM4 (the dialog's), or "
                    "a name with a link in " +
                    ports.string() +
                    "; a device is a path such as "
                    "/dev/ttyUSB0.");
      if (name.size() <= VL_STORED_PORT_NAME && com != 0) {
        say("To use " + name + ", link it to the box's device at the velastra-host prompt: port " +
            name + " DEVICE.");
      }
      return c;
    }
  }
  if (!c.link.empty()) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(c.link, ec);
    if (!ec || c.device.empty()) {
      c.device =
          ec ? c.link
             : (target.is_absolute() ? target : fs::path(c.link).parent_path() / target).string();
    }
  }
  const std::string via = c.link.empty() ? "" : " (the link " + c.link + ")";
  const std::string what = c.port.empty() ? c.device : "Port " + c.port + " is " + c.device + via;

  struct stat st {};
  if (stat(c.device.c_str(), &st) != 0) {
    c.verdict = PortCheck::Verdict::kNoDevice;
    say(what + ", which does not exist.");
    if (c.port.empty()) return finish();
    say(c.link.empty() ? "Without a link in " + ports.string() + " " + c.port +
                             " is the built-in serial port " + c.device + "."
                       : "Is the box plugged in?  A USB serial adapter appears as /dev/ttyUSB0 "
                         "or /dev/ttyACM0 only while it is plugged in (see dmesg).");
    say("Link the port to the box's device at the velastra-host prompt: port " + c.port +
        " DEVICE.");
    return c;
  }
  if (!S_ISCHR(st.st_mode)) {
    c.verdict = PortCheck::Verdict::kNotSerial;
    say(what + ", which is not a serial device.");
    return finish();
  }

  bool hidden = false;
  const std::vector<Holder> all = Holders(c.device, &hidden);
  for (const Holder& h : all) {
    if (!h.other_end) c.holders.push_back(h.text);
  }
  if (!probe) {
    c.verdict = PortCheck::Verdict::kReady;
    return finish();
  }
  const int fd = open(c.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const int open_error = fd < 0 ? errno : 0;
  bool locked = false;
  bool answered = false;
  std::vector<std::string> answers;
  if (fd >= 0) {
    locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (!locked) {
      // The box is asked what the plug-in asks it: "Q", then "P" when the
      // profile has the status on.
      ConfigureLine(fd);
      std::string said;
      answered = Judge(Ask(fd, 'Q'), 'Q', 14, &said);
      answers.push_back(said);
      if (answered && ProfileValue("PCode", "ON") == "ON") {
        answered = Judge(Ask(fd, 'P'), 'P', 4, &said);
        answers.push_back(said + (answered ? ""
                                           : " If the box has no status, switch DSC Status off "
                                             "in the dialog (configure)."));
      }
    }
    close(fd);
  }
  const std::string holders = c.holders.empty()
                                  ? (hidden ? "another program (which one, /proc does not show "
                                              "this user)"
                                            : "another program")
                                  : "process " + Join(c.holders);
  if (open_error == EACCES || open_error == EPERM) {
    c.verdict = PortCheck::Verdict::kNoPermission;
    const std::string group = Owner(c.device);
    say(what + ": permission denied.");
    say("The usual cure: join the group that owns it, " + (group.empty() ? "dialout" : group) +
        " (sudo usermod -aG " + (group.empty() ? "dialout" : group) +
        " $USER), then log out and in again.");
  } else if (open_error == EBUSY || locked) {
    c.verdict = PortCheck::Verdict::kInUse;
    if (c.holders.empty()) {
      for (const Holder& h : all) c.holders.push_back(h.text);
    }
    const std::string users = c.holders.empty() ? holders : "process " + Join(c.holders);
    say(what + ", which is in use by " + users + ".");
    say("Close that program (a terminal program such as screen or minicom, another velastra) "
        "and try again.");
  } else if (open_error != 0) {
    c.verdict = PortCheck::Verdict::kOther;
    say(what + ", which cannot be opened: " + std::strerror(open_error) + ".");
  } else {
    c.verdict = answered ? PortCheck::Verdict::kReady : PortCheck::Verdict::kBadAnswer;
    say(what + (answered ? ": ready."
                         : " opens, but the box does not answer as the plug-in "
                           "needs."));
    for (const std::string& a : answers) say(a);
    if (!c.holders.empty()) {
      say("Also open in " + holders +
          "; a program that reads it (a terminal program, ModemManager) can take the box's "
          "answers.");
    }
  }
  return finish();
}

}  // namespace host
