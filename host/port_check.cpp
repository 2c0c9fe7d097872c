#include "port_check.h"

#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "app.h"

namespace host {
namespace {

namespace fs = std::filesystem;

// "COMn" in any case, n from 1 to 256: n, else 0 (the plug-in's rule).
unsigned ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) return 0;
  for (int i = 0; i < 3; ++i) {
    if ((name[i] | 0x20) != "com"[i]) return 0;
  }
  if (name[3] < '1' || name[3] > '9') return 0;
  unsigned n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    n = n * 10 + static_cast<unsigned>(name[i] - '0');
  }
  return n <= 256 ? n : 0;
}

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

std::string ProfilePort() { return ProfileValue("CommPort", "COM1").substr(0, 4); }

PortCheck CheckPort(const std::string& name, bool probe) {
  PortCheck c;
  c.port = name.substr(0, 4);
  const fs::path ports = fs::path(ConfigDir()) / "ports";
  const unsigned com = ComNumber(c.port);
  if (!c.port.empty() && c.port.find('/') == std::string::npos && Exists(ports / c.port)) {
    c.link = (ports / c.port).string();
  } else if (com != 0 && Exists(ports / ("COM" + std::to_string(com)))) {
    c.link = (ports / ("COM" + std::to_string(com))).string();
  }
  auto say = [&](const std::string& line) { c.lines.push_back(line); };

  if (!c.link.empty()) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(c.link, ec);
    c.device =
        ec ? c.link
           : (target.is_absolute() ? target : fs::path(c.link).parent_path() / target).string();
  } else if (com != 0) {
    c.device = "/dev/ttyS" + std::to_string(com - 1);
  } else {
    c.verdict = PortCheck::Verdict::kNoDevice;
    say("Port " + c.port + " names no device: there is no link " + (ports / c.port).string() +
        ", and only COM1 to COM256 have a device without one.");
    say("Link it to the box's device: ln -sf /dev/ttyUSB0 " + (ports / c.port).string() +
        " (at the velastra-host prompt: port " + c.port + " /dev/ttyUSB0).");
    return c;
  }
  const std::string via = c.link.empty() ? "" : " (the link " + c.link + ")";
  const std::string what = "Port " + c.port + " is " + c.device + via;

  struct stat st {};
  if (stat(c.device.c_str(), &st) != 0) {
    c.verdict = PortCheck::Verdict::kNoDevice;
    say(what + ", which does not exist.");
    const std::string link = c.link.empty() ? (ports / c.port).string() : c.link;
    say(c.link.empty() ? "Without a link in " + ports.string() + " COM" + std::to_string(com) +
                             " is the built-in serial port " + c.device + "."
                       : "Is the box plugged in?  A USB serial adapter appears as /dev/ttyUSB0 "
                         "or /dev/ttyACM0 only while it is plugged in (see dmesg).");
    say("Link the port to the box's device: ln -sf DEVICE " + link +
        " (at the velastra-host prompt: port " + c.port + " DEVICE).");
    return c;
  }
  if (!S_ISCHR(st.st_mode)) {
    c.verdict = PortCheck::Verdict::kNotSerial;
    say(what + ", which is not a serial device.");
    return c;
  }

  bool hidden = false;
  const std::vector<Holder> all = Holders(c.device, &hidden);
  for (const Holder& h : all) {
    if (!h.other_end) c.holders.push_back(h.text);
  }
  if (!probe) {
    c.verdict = PortCheck::Verdict::kReady;
    return c;
  }
  const int fd = open(c.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const int open_error = fd < 0 ? errno : 0;
  bool locked = false;
  if (fd >= 0) {
    locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
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
    c.verdict = PortCheck::Verdict::kReady;
    say(what + ": ready.");
    if (!c.holders.empty()) {
      say("Also open in " + holders +
          "; a program that reads it (a terminal program, ModemManager) can take the box's "
          "answers.");
    }
  }
  return c;
}

}  // namespace host
