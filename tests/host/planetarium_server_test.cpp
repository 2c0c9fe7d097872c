// The real host program with the simulated box, serving the telescope over
// TCP: INDI's LX200 driver follows and syncs it, a client of Stellarium's
// protocol (written from its published message layout) follows it and sends
// gotos, and clients that misbehave block nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "dsc_sim.h"
#include "host_test_support.h"
#include "stellarium_protocol.h"
#include "tcp_server.h"
#include "temp_config.h"

namespace {

using Clock = std::chrono::steady_clock;
using hosttest::ShellQuote;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A program started in its own process group, its output in a file.
pid_t Spawn(const std::string& command, const std::string& out, int stdin_fd) {
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    if (stdin_fd >= 0) dup2(stdin_fd, STDIN_FILENO);
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// The exit status of a child within `seconds`, or -1 (and the child killed).
int Reap(pid_t pid, double seconds) {
  const auto end = Clock::now() + std::chrono::milliseconds(long(seconds * 1000));
  int status = 0;
  while (Clock::now() < end) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(-pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void Put(int fd, const std::string& bytes) {
  ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

// Reads until `done` says the text is whole, the peer closes (*closed) or
// `seconds` pass.
std::string Read(int fd, const std::function<bool(const std::string&)>& done, double seconds,
                 bool* closed = nullptr) {
  std::string text;
  const auto end = Clock::now() + std::chrono::milliseconds(long(seconds * 1000));
  while (!done(text) && Clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buffer[512];
    const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) {
      if (closed != nullptr) *closed = true;
      break;
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

std::string Ask(int fd, const std::string& command, double seconds = 2.0) {
  Put(fd, command);
  return Read(
      fd, [](const std::string& t) { return !t.empty() && t.back() == '#'; }, seconds);
}

bool ClosedWithin(int fd, double seconds) {
  bool closed = false;
  Read(
      fd, [](const std::string&) { return false; }, seconds, &closed);
  return closed;
}

// velastra-host with standard input from a pipe of the test's.
class HostProcess {
 public:
  bool Start(const std::string& arguments) {
    out_ = (std::filesystem::temp_directory_path() /
            ("planetarium-host-" + std::to_string(getpid()) + ".out"))
               .string();
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid_ = Spawn(ShellQuote(VELASTRA_HOST_PATH) + " --scripted --plugin " +
                     ShellQuote(CONTROLLER_PLUG_PATH) + " " + arguments,
                 out_, fds[0]);
    close(fds[0]);
    input_ = fds[1];
    return pid_ > 0;
  }
  void Send(const std::string& line) {
    const std::string text = line + "\n";
    ASSERT_EQ(write(input_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  std::string Output() const { return Slurp(out_); }
  // Waits until the output matches `pattern` (from `from` on); its first group, or "".
  std::string WaitFor(const std::string& pattern, double seconds = 10.0, std::size_t from = 0) {
    const std::regex re(pattern);
    const auto end = Clock::now() + std::chrono::milliseconds(long(seconds * 1000));
    while (Clock::now() < end) {
      const std::string text = Output();
      std::smatch m;
      const std::string tail = text.size() > from ? text.substr(from) : "";
      if (std::regex_search(tail, m, re)) return m.size() > 1 ? m[1].str() : m[0].str();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "no '" << pattern << "' in:\n" << Output();
    return "";
  }
  // "quit", then the exit status.
  int Quit() {
    if (pid_ <= 0) return -1;
    Send("quit");
    close(input_);
    const int status = Reap(pid_, 10.0);
    pid_ = -1;
    return status;
  }
  ~HostProcess() {
    if (pid_ > 0) Quit();
    std::remove(out_.c_str());
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  std::string out_;
};

class PlanetariumServers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(hosttest::StartEquatorialBox(box_, config_));
    const astro::Star* vega = astro::FindStar("Vega");
    const double now = astro::JulianDateNow();
    box_.SetConnectTime(now);
    const astro::Equatorial apparent = dscsim::ApparentPlace(*vega, now);
    box_.PointAt(apparent.ra, apparent.dec, now);
    ASSERT_TRUE(host_.Start("--config " + ShellQuote(config_.Path().string()) +
                            " --lx200 0 --stellarium 0"));
    lx200_port_ =
        std::atoi(host_.WaitFor("LX200 server listening on 127\\.0\\.0\\.1:(\\d+)").c_str());
    stellarium_port_ =
        std::atoi(host_.WaitFor("Stellarium server listening on 127\\.0\\.0\\.1:(\\d+)").c_str());
    host_.Send("connect");
    host_.WaitFor("Connected\\.");
  }

  dscsim::Box box_;
  testsupport::TempConfigDir config_;
  HostProcess host_;
  int lx200_port_ = 0, stellarium_port_ = 0;
};

// "HH:MM:SS" or "HH:MM.T" hours, "sDD*MM'SS" or "sDD*MM" degrees.
double Sexagesimal(const std::string& text) {
  double a = 0, b = 0, c = 0;
  const bool negative = text.find('-') != std::string::npos;
  std::sscanf(text.c_str() + (text[0] == '+' || text[0] == '-'), "%lf%*[:*]%lf%*[:']%lf", &a, &b,
              &c);
  return (negative ? -1 : 1) * (a + b / 60 + c / 3600);
}

// An INDI client program ("indi_getprop -1", "indi_setprop") on the server at `port`.
std::string Indi(const std::string& program, const std::string& what, int port) {
  std::string out;
  const std::string command =
      program + " -p " + std::to_string(port) + " " + ShellQuote(what) + " 2>/dev/null";
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    pclose(pipe);
  }
  return out;
}

double IndiNumber(const std::string& property, int port) {
  const std::string out = Indi("indi_getprop -1", "LX200 Basic." + property, port);
  return out.empty() ? NAN : std::atof(out.c_str());
}

TEST_F(PlanetariumServers, IndiLx200DriverFollowsTheTelescopeAndSyncsIt) {
  if (std::system("command -v indiserver indi_lx200basic indi_setprop indi_getprop >/dev/null") !=
      0) {
    if (const char* ci = std::getenv("CI"); ci != nullptr && std::string(ci) == "true") {
      FAIL() << "INDI (Debian's indi-bin) is not installed: scripts/setup test installs it";
    }
    GTEST_SKIP() << "INDI (Debian's indi-bin) is not installed (scripts/setup test)";
  }
  // A free port for indiserver.
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  socklen_t length = sizeof a;
  bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(probe, reinterpret_cast<sockaddr*>(&a), &length);
  const int indi_port = ntohs(a.sin_port);
  close(probe);
  const std::string log = config_.Path().string() + "/indiserver.log";
  const pid_t server =
      Spawn("indiserver -p " + std::to_string(indi_port) + " indi_lx200basic", log, -1);
  struct Stop {
    pid_t pid;
    ~Stop() {
      kill(-pid, SIGTERM);
      Reap(pid, 5.0);
    }
  } stop{server};
  const auto end = Clock::now() + std::chrono::seconds(10);
  while (Indi("indi_getprop -1", "LX200 Basic.CONNECTION.CONNECT", indi_port).empty() &&
         Clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Indi("indi_setprop", "LX200 Basic.CONNECTION_MODE.CONNECTION_SERIAL=Off;CONNECTION_TCP=On",
       indi_port);
  // The driver offers the network address once it has switched to TCP.
  while (Indi("indi_getprop -1", "LX200 Basic.DEVICE_ADDRESS.PORT", indi_port).empty() &&
         Clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Indi("indi_setprop",
       "LX200 Basic.DEVICE_ADDRESS.ADDRESS;PORT=127.0.0.1;" + std::to_string(lx200_port_),
       indi_port);
  Indi("indi_setprop", "LX200 Basic.CONNECTION.CONNECT=On", indi_port);
  host_.WaitFor("LX200: 127\\.0\\.0\\.1:\\d+ connected");
  double ra = NAN, dec = NAN;
  // The driver fills in its coordinates one by one: wait for both.
  while (Clock::now() < end + std::chrono::seconds(10) && !(std::fabs(dec) > 1.0 && ra > 0)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ra = IndiNumber("EQUATORIAL_EOD_COORD.RA", indi_port);
    dec = IndiNumber("EQUATORIAL_EOD_COORD.DEC", indi_port);
  }
  const std::size_t mark = host_.Output().size();
  host_.Send("serve");
  const std::string report =
      host_.WaitFor("Telescope for the planetarium: RA (\\S+ Dec \\S+) \\(of date\\)", 10, mark);
  const double host_ra = Sexagesimal(report.substr(0, report.find(' ')));
  const double host_dec = Sexagesimal(report.substr(report.rfind(' ') + 1));
  // Within the low precision the driver reads: a tenth of a minute of time
  // and an arcminute (and half of each for the rounding of both).
  EXPECT_NEAR(ra, host_ra, 0.15 / 60) << report;
  EXPECT_NEAR(dec, host_dec, 1.5 / 60) << report;

  // A sync through INDI: the object goes on the plug-in's list, sighted.
  const astro::Sky sky(astro::JulianDateNow(), astro::Site{51.4769 * astro::kDegree, 0.0});
  const astro::Equatorial vega = sky.Apparent(*astro::FindStar("Vega"));
  Indi("indi_setprop", "LX200 Basic.ON_COORD_SET.TRACK=Off;SLEW=Off;SYNC=On", indi_port);
  char coordinates[96];
  std::snprintf(coordinates, sizeof coordinates, "%.6f;%.6f", vega.ra / astro::kHour,
                vega.dec / astro::kDegree);
  Indi("indi_setprop", "LX200 Basic.EQUATORIAL_EOD_COORD.RA;DEC=" + std::string(coordinates),
       indi_port);
  host_.WaitFor("> Sight Object: Vega");
  host_.WaitFor("Vega is on the calibration list and sighted \\(1 on the list\\)");
  EXPECT_EQ(host_.Quit(), 0);
}

std::string GotoMessage(double ra, double dec) {
  std::string m(20, '\0');
  m[0] = 20;
  const std::uint32_t r = host::stellarium::EncodeRa(ra);
  const std::uint32_t d = static_cast<std::uint32_t>(host::stellarium::EncodeDec(dec));
  for (int i = 0; i < 4; ++i) {
    m[12 + i] = static_cast<char>(r >> (8 * i));
    m[16 + i] = static_cast<char>(d >> (8 * i));
  }
  return m;
}

TEST_F(PlanetariumServers, StellariumClientFollowsAndSendsGotos) {
  const int fd = Connect(stellarium_port_);
  ASSERT_GE(fd, 0);
  // Two seconds of position messages: a few a second at most.
  const std::string bytes = Read(
      fd, [](const std::string&) { return false; }, 2.0);
  ASSERT_GE(bytes.size(), 2 * host::stellarium::kPositionLength);
  EXPECT_LE(bytes.size(), 2 * 5 * host::stellarium::kPositionLength);
  EXPECT_EQ(bytes.size() % host::stellarium::kPositionLength, 0u);
  const std::string last = bytes.substr(bytes.size() - host::stellarium::kPositionLength);
  auto u32 = [&](int at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(last[at + i]);
    return v;
  };
  EXPECT_EQ(last[0], 24);
  EXPECT_EQ(last[2], 0);
  const astro::Star* vega = astro::FindStar("Vega");
  const astro::Equatorial shown{host::stellarium::DecodeRa(u32(12)),
                                host::stellarium::DecodeDec(static_cast<std::int32_t>(u32(16)))};
  // J2000, within the encoders' 8192 counts a turn.
  EXPECT_LT(astro::AngularSeparation(shown, vega->position()), 5 * astro::kArcminute);

  const astro::Star* arcturus = astro::FindStar("Arcturus");
  Put(fd, GotoMessage(arcturus->ra, arcturus->dec));
  host_.WaitFor("Push-to target from Stellarium client 127\\.0\\.0\\.1:\\d+: Arcturus\\.");
  host_.WaitFor("To Arcturus: HA \\d+° \\d\\d' (east|west), Dec \\d+° \\d\\d' (north|south)");
  host_.Send("goto Vega");
  host_.WaitFor("On target: Vega is 0° \\d\\d' away, within 0° 15'\\.");
  host_.Send("tolerance 20");
  host_.WaitFor("On target within 0° 20'\\.");
  host_.Send("stellarium-goto sync");
  Put(fd, GotoMessage(arcturus->ra, arcturus->dec));
  host_.WaitFor("Arcturus is on the calibration list and sighted \\(1 on the list\\)");
  close(fd);
  EXPECT_EQ(host_.Quit(), 0);
}

// An LX200 client's sync where the telescope points: both coordinates taken,
// then the name of the object synced on, never the refusal "#".
TEST_F(PlanetariumServers, Lx200SyncAnswersTheObjectsName) {
  const int fd = Connect(lx200_port_);
  ASSERT_GE(fd, 0);
  std::string ra = Ask(fd, ":GR#"), dec = Ask(fd, ":GD#");
  ASSERT_FALSE(ra.empty() || dec.empty());
  ra.pop_back(), dec.pop_back();
  EXPECT_EQ(Ask(fd, ":Sr" + ra + "#:Sd" + dec + "#:CM#"), "11Vega#");
  host_.WaitFor("Vega is on the calibration list and sighted \\(1 on the list\\)");
  close(fd);
  EXPECT_EQ(host_.Quit(), 0);
}

TEST_F(PlanetariumServers, ClientsThatMisbehaveBlockNothing) {
  const int silent = Connect(lx200_port_);
  const int half = Connect(lx200_port_);
  const int garbage = Connect(lx200_port_);
  ASSERT_GE(silent, 0);
  Put(half, ":GR");
  Put(garbage, std::string("\xff\x00zz## \r\n", 9));
  // Clients that ask and hang up at once: the answers meet closed sockets.
  for (int i = 0; i < 20; ++i) {
    const int gone = Connect(lx200_port_);
    Put(gone, ":GR#:GD#:GR#:GD#:GR#:GD#");
    close(gone);
  }
  // A command that never ends, and a length no Stellarium message has.
  const int flood = Connect(lx200_port_);
  Put(flood, ":" + std::string(1000, 'x'));
  EXPECT_TRUE(ClosedWithin(flood, 3.0)) << "a client that overflows its buffer is dropped";
  const int bad = Connect(stellarium_port_);
  Put(bad, std::string("\x02\x00\x00\x00", 4));
  EXPECT_TRUE(ClosedWithin(bad, 3.0));

  // Another client is answered at once, and so are the others once whole.
  const int good = Connect(lx200_port_);
  EXPECT_TRUE(std::regex_match(Ask(good, ":GR#"), std::regex("\\d\\d:\\d\\d\\.\\d#")));
  EXPECT_TRUE(std::regex_match(Ask(garbage, ":GD#"), std::regex("[+-]\\d\\d\\*\\d\\d#")));
  EXPECT_TRUE(std::regex_match(Ask(half, "#"), std::regex("\\d\\d:\\d\\d\\.\\d#")));
  // Sixteen clients at most: the seventeenth is turned away.
  std::vector<int> more;
  for (int i = 0; i < 12; ++i) more.push_back(Connect(lx200_port_));
  EXPECT_TRUE(std::regex_match(Ask(more.back(), ":GD#"), std::regex("[+-]\\d\\d\\*\\d\\d#")));
  const int extra = Connect(lx200_port_);
  EXPECT_TRUE(ClosedWithin(extra, 3.0));
  // The prompt went on all along.
  const std::size_t mark = host_.Output().size();
  host_.Send("serve");
  host_.WaitFor("LX200: listening on 127\\.0\\.0\\.1:\\d+, 16 client\\(s\\)", 3.0, mark);
  for (int fd : more) close(fd);
  for (int fd : {silent, half, garbage, flood, bad, good, extra}) close(fd);
  EXPECT_EQ(host_.Quit(), 0) << host_.Output();
}

// The servers' own socket handling: a client that reads nothing of what it
// is sent is dropped once 64 KiB wait for it, and is found no more.
class SilentProtocol : public host::TcpServer {
 public:
  SilentProtocol() : TcpServer("Test", {}) {}

 protected:
  void Received(Client&) override {}
};

TEST(TcpServer, AClientThatReadsNothingIsDroppedOnce64KiBWaitForIt) {
  SilentProtocol server;
  std::string error;
  ASSERT_TRUE(server.Listen({"127.0.0.1", 0}, &error)) << error;
  const int fd = Connect(server.endpoint().port);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < 200 && server.client_count() == 0; ++i) {
    server.Serve();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(server.client_count(), 1u);
  host::TcpServer::Client& client = *server.clients().front();
  EXPECT_EQ(server.Find(client.id), &client);
  // What the system's buffers take first, then a byte at a time.
  while (client.out.empty()) server.Send(client, std::string(4096, 'x'));
  while (!client.dropped) server.Send(client, "x");
  EXPECT_EQ(client.out.size(), 64u * 1024 + 1);
  EXPECT_EQ(server.Find(client.id), nullptr);
  const std::string dropped = "Test: " + client.peer + " reads nothing of what it is sent; dropped";
  EXPECT_EQ(server.TakeNotices().back(), dropped);
  server.Serve();
  EXPECT_EQ(server.client_count(), 0u);
  close(fd);
}

}  // namespace
