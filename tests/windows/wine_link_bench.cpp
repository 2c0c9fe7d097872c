// The link benchmark for both platforms in one run: the DLL in velastra.exe
// under Wine and the Linux plug-in in script_host, each against its own
// wire-paced simulated box on a pseudo-terminal.
//   query/status_on, query/status_off   operation 21, as a ratio to the wire
//                                       time of its bytes (goal: at most 1.10)
//   silent_box/Q, silent_box/Q+P        what a box that never answers costs
//                                       (bounds: 240 ms for "Q", 140 ms more for "P")
// Times are the plug-in's own, measured by the host around DoOperation.
//
// Usage: wine_link_bench [iterations]     (not run by ctest)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "dsc_sim.h"
#include "script_hosts.h"

namespace {

struct Figures {
  double ratio_on = 0, ratio_off = 0, silent_q = 0, silent_qp = 0;
};

double Mean(winetest::HostProcess& host, int n) {
  const winetest::Answer a = host.Do("bench " + std::to_string(n));
  if (a.lines.empty()) return -1;
  return std::strtod(a.lines[0].c_str() + 6, nullptr);
}

template <typename Environment>
Figures Measure(const Environment& environment, const char* port, int n) {
  Figures f;
  dscsim::Box box;
  if (!box.Start()) return f;
  environment.LinkPort(port, box.SlavePath());
  auto host = environment.StartHost();
  if (!host->Loaded()) return f;
  host->Do("register 3");
  const double byte_ms = std::chrono::duration<double, std::milli>(box.ByteTime()).count();
  box.SetCounts(1234, -567);

  host->Do("configure click:1020 click:1");  // status query on
  host->Do("connect");
  f.ratio_on = Mean(*host, n) / (20 * byte_ms);  // "Q", 14, "P", 4
  box.SetSilent(true);
  f.silent_qp = Mean(*host, 4);
  box.SetSilent(false);
  host->Do("disconnect");

  host->Do("configure click:1014 click:1");  // status query off
  host->Do("connect");
  f.ratio_off = Mean(*host, n) / (15 * byte_ms);  // "Q", 14
  box.SetSilent(true);
  f.silent_q = Mean(*host, 4);
  host->Do("disconnect");
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 30;
  winetest::LinuxEnvironment linux_env(SCRIPT_HOST_PATH, LINUX_PLUGIN_PATH);
  const Figures on_linux = Measure(linux_env, "COM1", n);

  winetest::WineEnvironment wine(WINDOWS_BUILD_DIR);
  if (!wine.Ready()) {
    std::printf("Wine: not measured (%s)\n", wine.Why().c_str());
    return 1;
  }
  const Figures on_windows = Measure(wine, "com1", n);

  std::printf("%-28s %12s %12s %s\n", "", "Linux", "Wine", "goal");
  std::printf("%-28s %12.3f %12.3f %s\n", "query/status_on  (ratio)", on_linux.ratio_on,
              on_windows.ratio_on, "<= 1.10");
  std::printf("%-28s %12.3f %12.3f %s\n", "query/status_off (ratio)", on_linux.ratio_off,
              on_windows.ratio_off, "<= 1.10");
  std::printf("%-28s %12.1f %12.1f %s\n", "silent_box/Q   (ms)", on_linux.silent_q,
              on_windows.silent_q, "<= 240");
  std::printf("%-28s %12.1f %12.1f %s\n", "silent_box/Q+P (ms)", on_linux.silent_qp,
              on_windows.silent_qp, "<= 380 (240 + 140)");
  std::printf("Wine prefix and display made in %.1f s\n", wine.PrefixSeconds());
  return 0;
}
