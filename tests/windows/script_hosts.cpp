#include "script_hosts.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace winetest {
namespace {

// fork and exec with the given environment added; the child's stdin and
// stdout are the given descriptors (-1: /dev/null), its stderr /dev/null
// unless WINE_TEST_VERBOSE is set.  extra_fd is kept open as descriptor 3.
pid_t Spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
            int in, int out, int extra_fd = -1) {
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (env.count(entry.substr(0, entry.find('='))) == 0) environment.push_back(entry);
  }
  for (const auto& [key, value] : env) environment.push_back(key + "=" + value);
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  const bool verbose = std::getenv("WINE_TEST_VERBOSE") != nullptr;
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);

  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in >= 0 ? in : null, 0);
    dup2(out >= 0 ? out : null, 1);
    if (!verbose) dup2(null, 2);
    if (extra_fd >= 0) dup2(extra_fd, 3);
    setpgid(0, 0);
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
  }
  close(null);
  return pid;
}

// The child's exit code, once it has ended; -1 when it did not exit.
int WaitFor(pid_t pid) {
  if (pid < 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunAndWait(const std::vector<std::string>& argv,
               const std::map<std::string, std::string>& env) {
  return WaitFor(Spawn(argv, env, -1, -1));
}

std::filesystem::path MakeTempFolder(const char* stem) {
  std::string pattern = (std::filesystem::temp_directory_path() / stem).string() + "-XXXXXX";
  const char* made = mkdtemp(pattern.data());
  return made != nullptr ? std::filesystem::path(made) : std::filesystem::path();
}

// Wine's processes run without CAP_SYS_ADMIN and CAP_DAC_OVERRIDE, so that a
// port another program holds for exclusive use (TIOCEXCL) is refused to them
// even when the tests run as root, as it is to everyone else, and so that a
// file's permissions hold for them (a read-only win.ini is not written).
std::vector<std::string> AsWine(std::vector<std::string> argv) {
  static const std::vector<std::string> kDropAdmin = {"/usr/bin/setpriv", "--bounding-set",
                                                      "-sys_admin,-dac_override", "--inh-caps",
                                                      "-sys_admin,-dac_override"};
  // Only where it is needed (root) and where the system lets it be done.
  static const bool drop = geteuid() == 0 && access(kDropAdmin[0].c_str(), X_OK) == 0 && [] {
    std::vector<std::string> probe = kDropAdmin;
    probe.push_back("true");
    return RunAndWait(probe, {}) == 0;
  }();
  if (drop) argv.insert(argv.begin(), kDropAdmin.begin(), kDropAdmin.end());
  return argv;
}

std::string Trim(const std::string& s) {
  const std::size_t begin = s.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  return s.substr(begin, s.find_last_not_of(" \t\r") - begin + 1);
}

}  // namespace

// ---- HostProcess --------------------------------------------------------------

HostProcess::HostProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env) {
  int to[2], from[2];
  if (pipe2(to, O_CLOEXEC) != 0 || pipe2(from, O_CLOEXEC) != 0) {
    error_ = "no pipes";
    return;
  }
  pid_ = Spawn(argv, env, to[0], from[1]);
  close(to[0]);
  close(from[1]);
  to_host_ = to[1];
  from_host_ = from[0];
  std::string line;
  // A host under Wine may take a while the first time (the prefix warms up).
  while (ReadLine(&line, 120000)) {
    if (line == "loaded") {
      loaded_ = true;
      return;
    }
    error_ += line + "\n";
  }
  if (error_.empty()) error_ = "the host ended or said nothing";
}

HostProcess::~HostProcess() {
  Quit();
  if (to_host_ >= 0) close(to_host_);
  if (from_host_ >= 0) close(from_host_);
}

void HostProcess::Quit() {
  if (pid_ < 0) return;
  if (to_host_ >= 0) {
    (void)!write(to_host_, "quit\n", 5);
    close(to_host_);
    to_host_ = -1;
  }
  int status = 0;
  for (int i = 0; i < 200; ++i) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  kill(-pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

bool HostProcess::ReadLine(std::string* line, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const std::size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      *line = pending_.substr(0, newline);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      pending_.erase(0, newline + 1);
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0 || from_host_ < 0) return false;
    pollfd pfd{from_host_, POLLIN, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(from_host_, buffer, sizeof buffer);
    if (n <= 0) return false;
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

Answer HostProcess::Do(const std::string& command, int timeout_ms) {
  Answer answer;
  if (!loaded_ || to_host_ < 0) return answer;
  const std::string line = command + "\n";
  if (write(to_host_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return answer;
  std::string got;
  while (ReadLine(&got, timeout_ms)) {
    if (got.rfind("ok ", 0) == 0) {
      answer.ms = std::strtod(got.c_str() + 3, nullptr);
      return answer;
    }
    answer.lines.push_back(got);
  }
  return answer;
}

// ---- WineEnvironment ----------------------------------------------------------------

WineEnvironment::WineEnvironment(const std::filesystem::path& windows_build)
    : build_(windows_build) {
  if (!std::filesystem::exists(build_ / "velastra.exe") ||
      !std::filesystem::exists(build_ / "Controller.plug")) {
    why_ = "no Windows build at " + build_.string() +
           " (cmake --preset windows && cmake --build --preset windows)";
    return;
  }
  if (RunAndWait({"sh", "-c", "command -v wine && command -v Xvfb"}, {}) != 0) {
    why_ = "Wine or Xvfb is not installed (scripts/setup test installs them)";
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  // Xvfb picks a free display and writes its number on descriptor 3.
  int fds[2];
  if (pipe(fds) != 0) {
    why_ = "no pipe";
    return;
  }
  xvfb_ = Spawn({"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, {},
                -1, -1, fds[1]);
  close(fds[1]);
  std::string number;
  pollfd pfd{fds[0], POLLIN, 0};
  while (poll(&pfd, 1, 20000) > 0) {
    char c = 0;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) {
    why_ = "Xvfb did not start";
    return;
  }
  display_ = ":" + number;

  prefix_ = MakeTempFolder("velastra-wine");
  if (prefix_.empty()) {
    why_ = "no temporary folder for the Wine prefix";
    return;
  }
  // wineserver stays up for the whole run, so each host starts quickly.
  const auto env = Environment();
  Spawn(AsWine({"wineserver", "-p"}), env, -1, -1);
  if (RunAndWait(AsWine({"wine", "wineboot", "--init"}), env) != 0) {
    why_ = "wineboot failed in " + prefix_.string();
    return;
  }
  prefix_seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ready_ = true;
}

WineEnvironment::~WineEnvironment() {
  if (!prefix_.empty()) {
    RunAndWait({"wineserver", "-k"}, Environment());
    std::error_code ignored;
    std::filesystem::remove_all(prefix_, ignored);
  }
  if (xvfb_ > 0) {
    kill(xvfb_, SIGTERM);
    int status = 0;
    waitpid(xvfb_, &status, 0);
  }
}

std::map<std::string, std::string> WineEnvironment::Environment() const {
  return {{"WINEPREFIX", prefix_.string()},
          {"WINEARCH", "win32"},
          {"WINEDEBUG", "-all"},
          // No Mono or Gecko installer dialogs in a fresh prefix.
          {"WINEDLLOVERRIDES", "mscoree,mshtml="},
          {"DISPLAY", display_}};
}

void WineEnvironment::LinkPort(const std::string& lower_case_name,
                               const std::string& target) const {
  const auto link = prefix_ / "dosdevices" / lower_case_name;
  std::error_code ignored;
  std::filesystem::remove(link, ignored);
  std::filesystem::create_symlink(target, link);
}

std::unique_ptr<HostProcess> WineEnvironment::StartHost() const {
  return std::make_unique<HostProcess>(AsWine({"wine", (build_ / "velastra.exe").string()}),
                                       Environment());
}

std::string WineEnvironment::Output(const std::string& program,
                                    const std::vector<std::string>& args) const {
  std::vector<std::string> argv = AsWine({"wine", (build_ / program).string()});
  argv.insert(argv.end(), args.begin(), args.end());
  int fds[2];
  if (pipe(fds) != 0) return "";
  const pid_t pid = Spawn(argv, Environment(), -1, fds[1]);
  close(fds[1]);
  std::string output;
  char buffer[4096];
  for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) != 0;) {
    if (got > 0) output.append(buffer, static_cast<std::size_t>(got));
    if (got < 0 && errno != EINTR) break;
  }
  close(fds[0]);
  WaitFor(pid);
  std::erase(output, '\r');  // text-mode line ends
  return output;
}

// ---- LinuxEnvironment ----------------------------------------------------------------

LinuxEnvironment::LinuxEnvironment(const std::filesystem::path& script_host,
                                   const std::filesystem::path& plugin)
    : script_host_(script_host), plugin_(plugin), config_(MakeTempFolder("velastra-linux")) {}

LinuxEnvironment::~LinuxEnvironment() {
  std::error_code ignored;
  std::filesystem::remove_all(config_, ignored);
}

void LinuxEnvironment::LinkPort(const std::string& name, const std::string& target) const {
  std::filesystem::create_directories(config_ / "ports");
  std::error_code ignored;
  std::filesystem::remove(config_ / "ports" / name, ignored);
  std::filesystem::create_symlink(target, config_ / "ports" / name);
}

std::unique_ptr<HostProcess> LinuxEnvironment::StartHost() const {
  return std::make_unique<HostProcess>(
      std::vector<std::string>{script_host_.string(), plugin_.string()},
      std::map<std::string, std::string>{{"VELASTRA_CONFIG_DIR", config_.string()}});
}

// ---- Profiles ----------------------------------------------------------------------

std::vector<std::string> ProfileEntries(const std::string& text) {
  std::vector<std::string> entries;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    line = Trim(line);
    if (line.empty()) continue;
    if (line[0] == '[' || line[0] == ';' || line[0] == '#') {
      entries.push_back(line);
      continue;
    }
    const std::size_t eq = line.find('=');
    entries.push_back(eq == std::string::npos
                          ? line
                          : Trim(line.substr(0, eq)) + "=" + Trim(line.substr(eq + 1)));
  }
  return entries;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace winetest
