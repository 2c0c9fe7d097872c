// Running the script hosts from Linux: velastra.exe under Wine (in a fresh
// Wine prefix of this run's own, on a virtual X display) and script_host
// natively, each as a child process that takes commands on a pipe.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace winetest {

// What one command answered: its lines without the closing "ok", and the
// milliseconds the plug-in took.
struct Answer {
  std::vector<std::string> lines;
  double ms = -1;  // -1: no answer (the host died or fell silent)
  bool ok() const { return ms >= 0; }
};

// A host process: started, fed one command at a time, ended by "quit".
class HostProcess {
 public:
  HostProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env);
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  // True once the host said "loaded"; otherwise Error() tells why.
  bool Loaded() const { return loaded_; }
  const std::string& Error() const { return error_; }
  Answer Do(const std::string& command, int timeout_ms = 60000);
  void Quit();

 private:
  bool ReadLine(std::string* line, int timeout_ms);

  pid_t pid_ = -1;
  int to_host_ = -1;
  int from_host_ = -1;
  std::string pending_;
  bool loaded_ = false;
  std::string error_;
};

// Wine, its prefix and its display for this run.
class WineEnvironment {
 public:
  // Starts Xvfb and makes the prefix; Ready() tells whether it worked.
  explicit WineEnvironment(const std::filesystem::path& windows_build);
  ~WineEnvironment();
  WineEnvironment(const WineEnvironment&) = delete;
  WineEnvironment& operator=(const WineEnvironment&) = delete;

  bool Ready() const { return ready_; }
  const std::string& Why() const { return why_; }  // why not ready
  double PrefixSeconds() const { return prefix_seconds_; }

  const std::filesystem::path& Prefix() const { return prefix_; }
  std::filesystem::path WinIni() const { return prefix_ / "drive_c" / "windows" / "win.ini"; }
  // dosdevices/<name> -> target (a pseudo-terminal, or a path that is nothing).
  void LinkPort(const std::string& lower_case_name, const std::string& target) const;
  // velastra.exe loading the built Controller.plug.
  std::unique_ptr<HostProcess> StartHost() const;
  // What a program of the Windows build printed, run to its end with ARGS,
  // with LF line ends.
  std::string Output(const std::string& program, const std::vector<std::string>& args) const;

 private:
  std::map<std::string, std::string> Environment() const;

  std::filesystem::path build_;
  std::filesystem::path prefix_;
  std::string display_;
  pid_t xvfb_ = -1;
  bool ready_ = false;
  std::string why_;
  double prefix_seconds_ = 0;
};

// script_host loading the Linux Controller.plug, with its own configuration folder.
class LinuxEnvironment {
 public:
  LinuxEnvironment(const std::filesystem::path& script_host, const std::filesystem::path& plugin);
  ~LinuxEnvironment();
  std::filesystem::path WinIni() const { return config_ / "win.ini"; }
  void LinkPort(const std::string& name, const std::string& target) const;
  std::unique_ptr<HostProcess> StartHost() const;

 private:
  std::filesystem::path script_host_;
  std::filesystem::path plugin_;
  std::filesystem::path config_;
};

// An INI text as "[section]", "key=value" and ";comment" lines, with blank
// lines, line ends and blanks around names and values left out: what two
// profile writers that format differently have in common.
std::vector<std::string> ProfileEntries(const std::string& text);
std::string ReadFile(const std::filesystem::path& path);

}  // namespace winetest
