// dsc-sim: a simulated setting-circle box on a pseudo-terminal.
//
// Prints the slave device path on the first line of standard output and
// answers on it until SIGINT or SIGTERM (or "quit" on standard input).
#include <getopt.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "astro.h"
#include "dsc_sim.h"

namespace {

const char kUsage[] =
    "Usage: dsc-sim [OPTION]...\n"
    "A simulated digital setting-circle box on a pseudo-terminal.  Prints the\n"
    "slave device path on standard output, then answers \"Q\" and \"P\" on it until\n"
    "SIGINT or SIGTERM, or \"quit\" on standard input.\n"
    "\n"
    "Answers:\n"
    "  --counts A,B          encoder counts to report (default 0,0)\n"
    "  --status N            status value, sent as \"%03d\\r\" cut to 4 bytes (default 0)\n"
    "  --status-bytes TEXT   the 4 status bytes exactly (C escapes \\r \\t \\n \\\\ \\xNN)\n"
    "  --no-pacing           send as fast as possible, not at the line's pace\n"
    "  --baud N              line pace in baud, 10 bits a byte (default 9600)\n"
    "Faults:\n"
    "  --silent              answer nothing\n"
    "  --short K             send only the first K bytes of each answer\n"
    "  --garbage             random bytes of the right length\n"
    "  --no-signs            counts with spaces instead of their signs\n"
    "  --byte-gap MS         extra milliseconds between the bytes of an answer\n"
    "  --delay MS            extra milliseconds before the first byte of an answer\n"
    "  --unplug-after MS     pull the cable (close the pair) MS milliseconds after start\n"
    "  --seed N              seed of the garbage bytes (default 1)\n"
    "Telescope model:\n"
    "  --res-ra N            counts per turn of axis 1, negative counts the other way\n"
    "                        (default 4096, as the plug-in's profile)\n"
    "  --res-dec N           counts per turn of axis 2 (default 8192, as the plug-in's)\n"
    "  --scale-error E1,E2   encoders read (1+E) times the true angle (default 0,0)\n"
    "  --zero-offset D1,D2   zero offsets of the axes, degrees (default 0,0)\n"
    "  --mount eq|aa         equatorial or alt-azimuth mount (default eq)\n"
    "  --tilt DEG,AZ         alt-azimuth base leant DEG degrees towards azimuth AZ\n"
    "  --polar-error ALT,AZ  equatorial polar axis ALT degrees above the pole, AZ east of it\n"
    "  --non-perp DEG        second axis DEG degrees off square with the first\n"
    "  --collimation DEG     tube DEG degrees off square with the second axis\n"
    "  --counter wrap|on     counters wrap at their resolution (default) or count on\n"
    "                        past a turn\n"
    "  --site LAT,LON        site in degrees: latitude -90 to 90, longitude -180 to 180,\n"
    "                        east positive\n"
    "                        (default 51.4769,0)\n"
    "  --ref RA,DEC|STAR     reference point: hours and degrees, or a star's name\n"
    "                        (default 2.5430833,89.2769444)\n"
    "  --connect-jd JD       Julian date at which the encoders read 0 on the reference\n"
    "                        point (default: the time of start)\n"
    "  --point RA,DEC|STAR   aim the telescope there (at the time of start)\n"
    "  --track               keep the counts on the --point target as the sky turns\n"
    "Other:\n"
    "  --link PATH           make PATH a symbolic link to the slave device (removed at exit);\n"
    "                        PATH must not exist, and its folder must (a missing ports/\n"
    "                        inside an existing folder is made)\n"
    "  --zero-on-open        the counts start from 0 each time a program opens the port\n"
    "                        (a box that zeroes when its port opens; by default the box\n"
    "                        keeps its counts, as one does that counts from power-on)\n"
    "  --no-commands         do not read commands from standard input\n"
    "  -h, --help            show this text\n"
    "  --version             show the version\n"
    "\n"
    "Commands on standard input, one a line:\n"
    "  counts A B | status N | status-bytes TEXT | pacing on|off\n"
    "  fault none|silent|garbage|nosigns | fault short K | fault gap MS | fault delay MS\n"
    "  unplug | replug | connect (the encoders read 0 on the reference point now)\n"
    "  point STAR | point RA_HOURS DEC_DEGREES | track on|off | stats | help | quit\n";

bool ParsePair(const char* text, double& a, double& b) {
  char* end = nullptr;
  a = std::strtod(text, &end);
  if (end == text || *end != ',') return false;
  const char* second = end + 1;
  b = std::strtod(second, &end);
  return end != second && *end == '\0';
}

bool ParseInt(const char* text, long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && errno == 0;
}

// C escapes: \r \n \t \\ \xNN.
std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 'r') {
      out += '\r';
    } else if (c == 'n') {
      out += '\n';
    } else if (c == 't') {
      out += '\t';
    } else if (c == 'x' && i + 2 < text.size() && std::isxdigit(text[i + 1]) &&
               std::isxdigit(text[i + 2])) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

// A position given as "RA_HOURS,DEC_DEGREES" or as a star's name.
std::optional<astro::Equatorial> ParsePosition(const std::string& text) {
  double ra = 0.0, dec = 0.0;
  if (ParsePair(text.c_str(), ra, dec))
    return astro::Equatorial{ra * astro::kHour, dec * astro::kDegree};
  if (const astro::Star* star = astro::FindStar(text))
    return dscsim::ApparentPlace(*star, astro::JulianDateNow());
  return std::nullopt;
}

// The --link path: made when the box is plugged in, removed when it is
// pulled or the program ends.  The program touches nothing it did not make:
// a path that exists already (a person's own link COM1 -> /dev/ttyUSB0, a
// file) is refused, and the link is removed only while it still points
// where it was made to point.
struct Link {
  std::string path;
  std::string target;

  // Whether the path's folder may hold the link; a reason when it may not.
  // The folder must exist.  Only a folder named "ports" is made, and only
  // inside a folder that exists (a fresh configuration folder's ports/); a
  // folder at the root of the file system is refused, as "$DIR/ports/COM1"
  // gives with DIR unset.
  static bool FolderFits(const std::filesystem::path& folder, std::string* reason) {
    std::error_code ec;
    const std::filesystem::path parent = folder.parent_path();
    if (folder.empty() || folder == folder.root_path()) {
      *reason = "names no folder (was a variable before the slash empty?)";
      return false;
    }
    if (std::filesystem::is_directory(folder, ec)) return true;
    if (folder.filename() != "ports" || parent.empty() || parent == parent.root_path() ||
        !std::filesystem::is_directory(parent, ec)) {
      *reason = "lies in " + folder.string() +
                ", which does not exist (only a folder ports/ is made, inside a "
                "configuration folder that exists)";
      return false;
    }
    std::filesystem::create_directory(folder, ec);
    if (ec) {
      *reason = "cannot have its folder " + folder.string() + " made: " + ec.message();
      return false;
    }
    return true;
  }

  bool Make(const std::string& to) {
    if (path.empty()) return true;
    Remove();
    std::string reason;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!FolderFits(folder, &reason)) {
      std::fprintf(stderr, "dsc-sim: the link %s %s; not made\n", path.c_str(), reason.c_str());
      return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
      char buffer[512];
      const ssize_t n =
          S_ISLNK(st.st_mode) ? ::readlink(path.c_str(), buffer, sizeof buffer - 1) : -1;
      buffer[n > 0 ? n : 0] = '\0';
      std::fprintf(stderr,
                   "dsc-sim: %s exists already (%s%s) and is not replaced; remove it yourself "
                   "or give --link another name\n",
                   path.c_str(), S_ISLNK(st.st_mode) ? "a link to " : "not a link", buffer);
      return false;
    }
    if (::symlink(to.c_str(), path.c_str()) != 0) {
      std::fprintf(stderr, "dsc-sim: cannot link %s -> %s: %s\n", path.c_str(), to.c_str(),
                   std::strerror(errno));
      return false;
    }
    target = to;
    return true;
  }

  // Removes the link only while it still points where we made it point.
  void Remove() {
    if (path.empty() || target.empty()) return;
    char buffer[512];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
    if (n >= 0) {
      buffer[n] = '\0';
      if (target == buffer) ::unlink(path.c_str());
    }
    target.clear();
  }
};

struct Program {
  dscsim::Box* box = nullptr;
  Link link;
  std::optional<astro::Equatorial> target;
  bool tracking = false;
  bool quit = false;

  // False when the link cannot be made.
  bool Announce() {
    // The link first, so that whoever reads the path can use the link too.
    const std::string path = box->SlavePath();
    if (!path.empty() && !link.Make(path)) return false;
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    return true;
  }

  void Track() {
    if (tracking && target) box->PointAt(target->ra, target->dec, astro::JulianDateNow());
  }

  // With zero_on_open, each open of the slave device (seen through inotify)
  // zeroes the counts where the telescope points: the model's reference
  // point becomes that place, now.
  int watch_fd = -1;
  bool zero_on_open = false;
  void WatchOpens() {
    if (!zero_on_open) return;
    std::lock_guard lock(opens);
    if (watch_fd < 0) watch_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const std::string path = box->SlavePath();
    if (watch_fd >= 0 && !path.empty()) inotify_add_watch(watch_fd, path.c_str(), IN_OPEN);
  }
  void Zero() {
    const double now = astro::JulianDateNow();
    if (target) {
      dscsim::SkyModel model = box->GetSkyModel();
      model.ref_ra = target->ra;
      model.ref_dec = target->dec;
      model.connect_julian_date = now;
      box->SetSkyModel(model);
      box->PointAt(target->ra, target->dec, now);
    } else {
      box->SetCounts(0, 0);
    }
  }
  // Runs on the box's answering thread (before each answer) and on the main
  // thread; `opens` keeps the two apart.
  std::mutex opens;
  void TakeOpens() {
    std::lock_guard lock(opens);
    if (watch_fd < 0) return;
    alignas(inotify_event) char buffer[4096];
    bool opened = false;
    while (::read(watch_fd, buffer, sizeof buffer) > 0) opened = true;
    if (opened) Zero();
  }

  void Command(const std::string& line) {
    std::istringstream in(line);
    std::string word;
    if (!(in >> word)) return;
    auto fail = [&] { std::fprintf(stderr, "dsc-sim: cannot do \"%s\"\n", line.c_str()); };
    if (word == "quit" || word == "exit") {
      quit = true;
    } else if (word == "help") {
      std::fputs(kUsage, stderr);
    } else if (word == "counts") {
      long a = 0, b = 0;
      if (!(in >> a >> b)) return fail();
      tracking = false;
      box->SetCounts(static_cast<std::int32_t>(a), static_cast<std::int32_t>(b));
    } else if (word == "status") {
      int v = 0;
      if (!(in >> v)) return fail();
      box->SetStatus(v);
    } else if (word == "status-bytes") {
      std::string text;
      if (!(in >> text) || !box->SetStatusBytes(Unescape(text))) return fail();
    } else if (word == "pacing") {
      std::string on;
      in >> on;
      if (on != "on" && on != "off") return fail();
      box->SetPacing(on == "on");
    } else if (word == "fault") {
      std::string kind;
      in >> kind;
      int value = 0;
      if (kind == "none") {
        box->ClearFaults();
      } else if (kind == "silent") {
        box->SetSilent(true);
      } else if (kind == "garbage") {
        box->SetGarbage(true);
      } else if (kind == "nosigns") {
        box->SetNoSigns(true);
      } else if (kind == "short" && (in >> value)) {
        box->SetShortAnswer(value);
      } else if (kind == "gap" && (in >> value)) {
        box->SetByteGap(value);
      } else if (kind == "delay" && (in >> value)) {
        box->SetAnswerDelay(value);
      } else {
        return fail();
      }
    } else if (word == "unplug") {
      link.Remove();
      if (!box->Unplug()) std::fprintf(stderr, "dsc-sim: not plugged in\n");
    } else if (word == "replug") {
      std::string error;
      if (!box->Replug(&error)) return (void)std::fprintf(stderr, "dsc-sim: %s\n", error.c_str());
      Announce();
      WatchOpens();
    } else if (word == "connect") {
      box->SetConnectTime(astro::JulianDateNow());
      Track();
    } else if (word == "point") {
      std::lock_guard lock(opens);  // the answering thread reads the target
      std::string rest;
      std::getline(in, rest);
      rest.erase(0, rest.find_first_not_of(' '));
      double ra = 0.0, dec = 0.0;
      std::istringstream numbers(rest);
      if (numbers >> ra >> dec) {
        target = astro::Equatorial{ra * astro::kHour, dec * astro::kDegree};
      } else if (const astro::Star* star = astro::FindStar(rest)) {
        target = dscsim::ApparentPlace(*star, astro::JulianDateNow());
      } else {
        return fail();
      }
      box->PointAt(target->ra, target->dec, astro::JulianDateNow());
    } else if (word == "track") {
      std::string on;
      in >> on;
      if (on != "on" && on != "off") return fail();
      tracking = on == "on" && target.has_value();
    } else if (word == "stats") {
      const dscsim::Stats s = box->GetStats();
      const auto counts = box->Counts();
      std::fprintf(stderr,
                   "received %llu bytes, %llu Q, %llu P; answered %llu Q, %llu P; sent %llu bytes;"
                   " counts %d %d\n",
                   static_cast<unsigned long long>(s.bytes_received),
                   static_cast<unsigned long long>(s.q_received),
                   static_cast<unsigned long long>(s.p_received),
                   static_cast<unsigned long long>(s.q_answered),
                   static_cast<unsigned long long>(s.p_answered),
                   static_cast<unsigned long long>(s.bytes_sent), counts.first, counts.second);
    } else {
      fail();
    }
  }
};

int Usage(const char* problem) {
  std::fprintf(stderr, "dsc-sim: %s\nTry 'dsc-sim --help'.\n", problem);
  return 2;
}

// The options.
enum {
  kCounts = 1000,
  kStatus,
  kStatusBytes,
  kNoPacing,
  kBaud,
  kSilent,
  kShort,
  kGarbage,
  kNoSigns,
  kByteGap,
  kDelay,
  kUnplugAfter,
  kSeed,
  kResRa,
  kResDec,
  kScaleError,
  kZeroOffset,
  kMount,
  kTilt,
  kPolarError,
  kNonPerp,
  kCollimation,
  kCounter,
  kSite,
  kRef,
  kConnectJd,
  kPoint,
  kTrack,
  kLink,
  kNoCommands,
  kZeroOnOpen,
  kVersion,
};

const option kOptions[] = {
    {"counts", required_argument, nullptr, kCounts},
    {"status", required_argument, nullptr, kStatus},
    {"status-bytes", required_argument, nullptr, kStatusBytes},
    {"no-pacing", no_argument, nullptr, kNoPacing},
    {"baud", required_argument, nullptr, kBaud},
    {"silent", no_argument, nullptr, kSilent},
    {"short", required_argument, nullptr, kShort},
    {"garbage", no_argument, nullptr, kGarbage},
    {"no-signs", no_argument, nullptr, kNoSigns},
    {"byte-gap", required_argument, nullptr, kByteGap},
    {"delay", required_argument, nullptr, kDelay},
    {"unplug-after", required_argument, nullptr, kUnplugAfter},
    {"seed", required_argument, nullptr, kSeed},
    {"res-ra", required_argument, nullptr, kResRa},
    {"res-dec", required_argument, nullptr, kResDec},
    {"scale-error", required_argument, nullptr, kScaleError},
    {"zero-offset", required_argument, nullptr, kZeroOffset},
    {"mount", required_argument, nullptr, kMount},
    {"tilt", required_argument, nullptr, kTilt},
    {"polar-error", required_argument, nullptr, kPolarError},
    {"non-perp", required_argument, nullptr, kNonPerp},
    {"collimation", required_argument, nullptr, kCollimation},
    {"counter", required_argument, nullptr, kCounter},
    {"site", required_argument, nullptr, kSite},
    {"ref", required_argument, nullptr, kRef},
    {"connect-jd", required_argument, nullptr, kConnectJd},
    {"point", required_argument, nullptr, kPoint},
    {"track", no_argument, nullptr, kTrack},
    {"link", required_argument, nullptr, kLink},
    {"no-commands", no_argument, nullptr, kNoCommands},
    {"zero-on-open", no_argument, nullptr, kZeroOnOpen},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

// What the command line asks of the box, its faults, the telescope and the program.
struct Setup {
  dscsim::Box::Options options;
  dscsim::Faults faults;
  dscsim::SkyModel model;
  std::optional<std::pair<long, long>> counts;
  std::optional<int> status;
  std::optional<std::string> status_bytes;
  std::optional<astro::Equatorial> point;
  std::optional<double> connect_jd;
  long unplug_after = -1;
  bool track = false;
  bool commands = true;
  bool zero_on_open = false;
  std::string link_path;
};

// Records a problem with an option's value; true, as the option was one of
// the group's.
bool Fail(std::string* problem, const std::string& text) {
  *problem = text;
  return true;
}

// The box and its line: counts, status, pacing, baud rate, seed; false when `c` is not one of them.
// A value it cannot take leaves the problem in *problem.
bool BoxOption(int c, const char* optarg, Setup& s, std::string* problem) {
  long n = 0;
  double a = 0.0, b = 0.0;
  const std::string arg = optarg != nullptr ? optarg : "";
  switch (c) {
    case kCounts:
      if (!ParsePair(optarg, a, b)) return Fail(problem, "--counts wants A,B");
      s.counts = std::make_pair(static_cast<long>(a), static_cast<long>(b));
      return true;
    case kStatus:
      if (!ParseInt(optarg, n)) return Fail(problem, "--status wants a number");
      s.status = static_cast<int>(n);
      return true;
    case kStatusBytes:
      s.status_bytes = Unescape(arg);
      return true;
    case kNoPacing:
      s.options.pacing = false;
      return true;
    case kBaud:
      if (!ParseInt(optarg, n) || n <= 0) return Fail(problem, "--baud wants a positive number");
      s.options.baud = static_cast<int>(n);
      return true;
    case kSeed:
      if (!ParseInt(optarg, n)) return Fail(problem, "--seed wants a number");
      s.options.seed = static_cast<std::uint32_t>(n);
      return true;
    default:
      return false;
  }
}

// The box's faults; false when `c` is not one of them.  A value it cannot take
// leaves the problem in *problem.
bool FaultOption(int c, const char* optarg, Setup& s, std::string* problem) {
  long n = 0;
  switch (c) {
    case kSilent:
      s.faults.silent = true;
      return true;
    case kShort:
      if (!ParseInt(optarg, n) || n < 0) return Fail(problem, "--short wants a count of bytes");
      s.faults.short_length = static_cast<int>(n);
      return true;
    case kGarbage:
      s.faults.garbage = true;
      return true;
    case kNoSigns:
      s.faults.no_signs = true;
      return true;
    case kByteGap:
      if (!ParseInt(optarg, n) || n < 0) return Fail(problem, "--byte-gap wants milliseconds");
      s.faults.byte_gap_ms = static_cast<int>(n);
      return true;
    case kDelay:
      if (!ParseInt(optarg, n) || n < 0) return Fail(problem, "--delay wants milliseconds");
      s.faults.answer_delay_ms = static_cast<int>(n);
      return true;
    case kUnplugAfter:
      if (!ParseInt(optarg, n) || n < 0) return Fail(problem, "--unplug-after wants milliseconds");
      s.unplug_after = n;
      return true;
    default:
      return false;
  }
}

// The telescope: resolutions, errors, mount, site, reference point, aim; false when `c` is not one
// of them.  A value it cannot take leaves the problem in *problem.
bool ModelOption(int c, const char* optarg, Setup& s, std::string* problem) {
  long n = 0;
  double a = 0.0, b = 0.0;
  const std::string arg = optarg != nullptr ? optarg : "";
  switch (c) {
    case kResRa:
    case kResDec:
      if (!ParseInt(optarg, n) || n == 0)
        return Fail(problem, "a resolution wants a nonzero number");
      (c == kResRa ? s.model.axis1 : s.model.axis2).resolution = static_cast<std::int32_t>(n);
      return true;
    case kScaleError:
      if (!ParsePair(optarg, a, b)) return Fail(problem, "--scale-error wants E1,E2");
      s.model.axis1.scale_error = a;
      s.model.axis2.scale_error = b;
      return true;
    case kZeroOffset:
      if (!ParsePair(optarg, a, b)) return Fail(problem, "--zero-offset wants D1,D2");
      s.model.axis1.zero_offset = a * astro::kDegree;
      s.model.axis2.zero_offset = b * astro::kDegree;
      return true;
    case kMount:
      if (arg == "eq" || arg == "EQ") {
        s.model.mount = dscsim::Mount::kEquatorial;
      } else if (arg == "aa" || arg == "AA") {
        s.model.mount = dscsim::Mount::kAltAzimuth;
      } else {
        return Fail(problem, "--mount wants eq or aa");
      }
      return true;
    case kTilt:
    case kPolarError: {
      if (!ParsePair(optarg, a, b) || std::fabs(a) > 10) {
        return Fail(problem, c == kTilt ? "--tilt wants DEG,AZ with DEG within 10 degrees"
                                        : "--polar-error wants ALT,AZ within 10 degrees");
      }
      if (c == kPolarError && std::fabs(b) > 10) {
        return Fail(problem, "--polar-error wants ALT,AZ within 10 degrees");
      }
      dscsim::MountGeometry& g = s.model.geometry;
      (c == kTilt ? g.tilt : g.polar_altitude) = a * astro::kDegree;
      (c == kTilt ? g.tilt_azimuth : g.polar_azimuth) = b * astro::kDegree;
      return true;
    }
    case kNonPerp:
    case kCollimation: {
      char* end = nullptr;
      const double degrees = std::strtod(optarg, &end);
      if (end == optarg || *end != '\0' || std::fabs(degrees) > 10) {
        return Fail(problem, c == kNonPerp ? "--non-perp wants degrees, within 10"
                                           : "--collimation wants degrees, within 10");
      }
      (c == kNonPerp ? s.model.geometry.non_perpendicularity : s.model.geometry.collimation) =
          degrees * astro::kDegree;
      return true;
    }
    case kCounter:
      if (arg != "wrap" && arg != "on") return Fail(problem, "--counter wants wrap or on");
      s.model.axis1.counts_on = s.model.axis2.counts_on = arg == "on";
      return true;
    case kSite:
      if (!ParsePair(optarg, a, b)) return Fail(problem, "--site wants LAT,LON");
      if (a < -90 || a > 90 || b < -180 || b > 180) {
        return Fail(problem, ("--site " + arg +
                              ": the latitude must lie between -90 and 90 degrees and the longitude"
                              " between -180 and 180")
                                 .c_str());
      }
      s.model.site = astro::Site{a * astro::kDegree, b * astro::kDegree};
      return true;
    case kRef: {
      const auto p = ParsePosition(arg);
      if (!p) return Fail(problem, "--ref wants RA,DEC or a star's name");
      s.model.ref_ra = p->ra;
      s.model.ref_dec = p->dec;
      return true;
    }
    case kConnectJd: {
      char* end = nullptr;
      s.connect_jd = std::strtod(optarg, &end);
      if (end == optarg || *end != '\0') return Fail(problem, "--connect-jd wants a Julian date");
      return true;
    }
    case kPoint:
      s.point = ParsePosition(arg);
      if (!s.point) return Fail(problem, "--point wants RA,DEC or a star's name");
      return true;
    case kTrack:
      s.track = true;
      return true;
    default:
      return false;
  }
}

// The program itself: the link it makes, commands, zeroing on open; false
// when `c` is not one of them.
bool ProgramOption(int c, const char* optarg, Setup& s, std::string* /*problem*/) {
  const std::string arg = optarg != nullptr ? optarg : "";
  switch (c) {
    case kLink:
      s.link_path = arg;
      return true;
    case kNoCommands:
      s.commands = false;
      return true;
    case kZeroOnOpen:
      s.zero_on_open = true;
      return true;
    default:
      return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (std::string why; !astro::ClockSettingValid(&why)) {
    std::fprintf(stderr, "dsc-sim: %s\n", why.c_str());
    return 2;
  }

  Setup s;

  // getopt_long stays quiet: each mistake is told once, below.
  opterr = 0;
  for (;;) {
    const int c = getopt_long(argc, argv, ":h", kOptions, nullptr);
    if (c == -1) break;
    std::string problem;
    if (BoxOption(c, optarg, s, &problem) || FaultOption(c, optarg, s, &problem) ||
        ModelOption(c, optarg, s, &problem) || ProgramOption(c, optarg, s, &problem)) {
      if (!problem.empty()) return Usage(problem.c_str());
      continue;
    }
    switch (c) {
      case 'h':
        std::fputs(kUsage, stdout);
        return 0;
      case kVersion:
        std::printf("dsc-sim %s\n", DSC_SIM_VERSION);
        return 0;
      case ':':
        return Usage((std::string("option ") + argv[optind - 1] + " needs a value").c_str());
      default:
        return Usage((std::string("unknown option '") + argv[optind - 1] + "'").c_str());
    }
  }
  if (optind < argc)
    return Usage((std::string("unexpected argument '") + argv[optind] + "'").c_str());

  // Signals arrive through a descriptor, so the loop below sees them in order.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  const int signal_fd = signalfd(-1, &signals, SFD_CLOEXEC);
  signal(SIGPIPE, SIG_IGN);

  s.model.connect_julian_date = s.connect_jd ? *s.connect_jd : astro::JulianDateNow();
  dscsim::Box box(s.options);
  box.SetSkyModel(s.model);
  box.SetFaults(s.faults);
  if (s.counts)
    box.SetCounts(static_cast<std::int32_t>(s.counts->first),
                  static_cast<std::int32_t>(s.counts->second));
  if (s.status) box.SetStatus(*s.status);
  if (s.status_bytes && !box.SetStatusBytes(*s.status_bytes)) {
    return Usage("--status-bytes wants exactly 4 bytes, neither XON nor XOFF");
  }
  std::string error;
  if (!box.Start(&error)) {
    std::fprintf(stderr, "dsc-sim: %s\n", error.c_str());
    return 1;
  }

  Program program;
  program.box = &box;
  program.link.path = s.link_path;
  program.target = s.point;
  program.tracking = s.track && s.point.has_value();
  program.zero_on_open = s.zero_on_open;
  if (s.zero_on_open) box.SetBeforeAnswer([&program] { program.TakeOpens(); });
  if (s.point) box.PointAt(s.point->ra, s.point->dec, astro::JulianDateNow());
  if (!program.Announce()) {
    // Without its link the box would answer where nobody looks for it.
    box.Stop();
    return 1;
  }
  program.WatchOpens();

  const auto started = std::chrono::steady_clock::now();
  std::string pending;
  bool stdin_open = s.commands;
  while (!program.quit) {
    pollfd fds[3] = {
        {signal_fd, POLLIN, 0}, {stdin_open ? 0 : -1, POLLIN, 0}, {program.watch_fd, POLLIN, 0}};
    ::poll(fds, 3, 200);
    if (fds[2].revents & POLLIN) program.TakeOpens();
    if (fds[0].revents & POLLIN) break;
    if (fds[1].revents & (POLLIN | POLLHUP)) {
      char buffer[512];
      const ssize_t n = ::read(0, buffer, sizeof buffer);
      if (n <= 0) {
        stdin_open = false;  // no more s.commands; keep answering
      } else {
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
          program.Command(pending.substr(0, eol));
          pending.erase(0, eol + 1);
        }
      }
    }
    if (s.unplug_after >= 0 &&
        std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(s.unplug_after)) {
      s.unplug_after = -1;
      program.link.Remove();
      box.Unplug();
    }
    program.Track();
  }
  program.link.Remove();
  box.Stop();
  return 0;
}
