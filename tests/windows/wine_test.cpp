// The Windows plug-in under Wine: the real DLL loaded by the 32-bit test host
// velastra.exe, on Wine's serial port (COM1 linked to the simulated box's
// pseudo-terminal), Wine's win.ini, and real windows on a virtual display.
// One Wine prefix serves the whole run.  The core's behaviour is the Linux
// tests' business: these tests compare the two platforms, and look at what
// only the Windows layer does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dsc_sim.h"
#include "script_hosts.h"

namespace {

using winetest::Answer;
using winetest::HostProcess;

bool InCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

winetest::WineEnvironment& Wine() {
  static winetest::WineEnvironment environment(WINDOWS_BUILD_DIR);
  return environment;
}

// In CI a Windows test that cannot run fails; elsewhere it is skipped, saying why.
#define REQUIRE_WINE()                                                 \
  do {                                                                 \
    if (!Wine().Ready()) {                                             \
      if (InCi()) FAIL() << "cannot run under Wine: " << Wine().Why(); \
      GTEST_SKIP() << "Windows test skipped: " << Wine().Why();        \
    }                                                                  \
  } while (0)

struct Step {
  Step(const char* c, std::function<void(dscsim::Box&)> b = nullptr)
      : command(c), box(std::move(b)) {}
  std::string command;
  std::function<void(dscsim::Box&)> box;  // what the box is set to first
};

// Runs the steps; the transcript holds each command and what it answered,
// without the times.
std::vector<std::string> RunScript(HostProcess& host, dscsim::Box& box,
                                   const std::vector<Step>& steps) {
  std::vector<std::string> transcript;
  for (const Step& step : steps) {
    if (step.box) step.box(box);
    const Answer answer = host.Do(step.command);
    transcript.push_back("> " + step.command + (answer.ok() ? "" : "  (no answer)"));
    for (const std::string& line : answer.lines) transcript.push_back(line);
  }
  return transcript;
}

std::vector<std::string> Section(const std::string& profile, const std::string& name) {
  std::vector<std::string> lines;
  bool inside = false;
  for (const std::string& entry : winetest::ProfileEntries(profile)) {
    if (entry[0] == '[') {
      inside = entry == "[" + name + "]";
      continue;
    }
    if (inside) lines.push_back(entry);
  }
  return lines;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string LineStarting(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) == 0) return line;
  }
  return "";
}

// The prefix's win.ini, replaced: each test starts from a profile of its own.
void WriteWinIni(const std::string& text) {
  std::FILE* f = std::fopen(Wine().WinIni().c_str(), "wb");
  if (f == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}
constexpr const char* kPlainWinIni = "[windows]\r\nload=\r\n";

// A started box whose pseudo-terminal is COM1 of the Wine prefix.
std::unique_ptr<dscsim::Box> BoxOnCom1() {
  auto box = std::make_unique<dscsim::Box>();
  if (!box->Start()) return nullptr;
  Wine().LinkPort("com1", box->SlavePath());
  return box;
}

auto Counts(int first, int second) {
  return [=](dscsim::Box& box) { box.SetCounts(first, second); };
}

// ---- The DLL as built ----------------------------------------------------------------

const std::string kDll = std::string(WINDOWS_BUILD_DIR) + "/Controller.plug";

// What i686-w64-mingw32-objdump OPTIONS prints of the DLL; empty when it cannot.
std::string Objdump(const std::string& options) {
  std::FILE* pipe =
      popen(("i686-w64-mingw32-objdump " + options + " '" + kDll + "' 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return "";
  std::string dump;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) dump += buffer;
  pclose(pipe);
  return dump;
}

#define REQUIRE_DUMP(dump)                                                                      \
  do {                                                                                          \
    if ((dump).empty()) {                                                                       \
      if (InCi()) FAIL() << "no objdump output for " << kDll;                                   \
      GTEST_SKIP() << "Windows test skipped: no " << kDll << " or no i686-w64-mingw32-objdump"; \
    }                                                                                           \
  } while (0)

TEST(WindowsDll, ExportsDoOperationImportsOnlySystemDllsAndHostAndCarriesDialog101) {
  const std::string dump = Objdump("-p");
  REQUIRE_DUMP(dump);
  const std::size_t names = dump.find("[Ordinal/Name Pointer] Table\n");
  ASSERT_NE(names, std::string::npos) << "no exports";
  EXPECT_EQ(dump.substr(names, dump.find("\n\n", names) - names),
            "[Ordinal/Name Pointer] Table\n\t[   0] DoOperation")
      << "DoOperation alone, by its plain name";
  const std::vector<std::string> allowed = {"KERNEL32.dll", "USER32.dll", "GDI32.dll", "msvcrt.dll",
                                            "velastra.exe"};
  std::size_t at = 0;
  int imported = 0;
  while ((at = dump.find("DLL Name: ", at)) != std::string::npos) {
    at += 10;
    const std::string name = dump.substr(at, dump.find('\n', at) - at);
    EXPECT_TRUE(std::find(allowed.begin(), allowed.end(), name) != allowed.end())
        << "imports from " << name;
    ++imported;
  }
  EXPECT_GT(imported, 0);
  // Resource type 5 (dialog) with the id 0x65 (101).
  const std::size_t dialogs = dump.find("Entry: ID: 0x000005");
  ASSERT_NE(dialogs, std::string::npos) << "no dialog resources";
  EXPECT_NE(dump.find("Entry: ID: 0x000065", dialogs), std::string::npos) << "no dialog 101";
}

// The start-up code neither loads nor frees a library: no LoadLibrary or
// FreeLibrary is imported at all, and the runtime's shared unwinder is not
// looked for by name.
TEST(WindowsDll, StartUpLoadsNoLibraryUnderTheLoaderLock) {
  const std::string dump = Objdump("-p");
  REQUIRE_DUMP(dump);
  const std::size_t imports = dump.find("The Import Tables");
  ASSERT_NE(imports, std::string::npos);
  const std::string table = dump.substr(imports, dump.find("\n\n\n", imports) - imports);
  for (const char* name : {" LoadLibraryA\n", " LoadLibraryW\n", " LoadLibraryExA\n",
                           " LoadLibraryExW\n", " FreeLibrary\n"}) {
    EXPECT_EQ(table.find(name), std::string::npos) << "imports" << name;
  }
  const std::string bytes = winetest::ReadFile(kDll);
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(bytes.find("libgcc_s_dw2-1.dll"), std::string::npos);
}

// The DLL's entry point asks the processor for SSE2 before anything built
// for SSE2 can run: it is the function the loader calls, it holds no SSE
// instruction, and it asks IsProcessorFeaturePresent about feature 10
// (PF_XMMI64_INSTRUCTIONS_AVAILABLE).
TEST(WindowsDll, EntryPointChecksTheProcessorWithoutSse2) {
  const std::string headers = Objdump("-p");
  REQUIRE_DUMP(headers);
  auto field = [&](const char* name) {
    const std::size_t at = headers.find(std::string("\n") + name + "\t");
    return at == std::string::npos
               ? 0ul
               : std::strtoul(headers.c_str() + at + std::strlen(name) + 1, nullptr, 16);
  };
  char entry[32];
  std::snprintf(entry, sizeof entry, "%08lx", field("ImageBase") + field("AddressOfEntryPoint"));

  const std::string code = Objdump("-d");
  const std::size_t start = code.find(std::string(entry) + " <_ControllerEntry@12>:\n");
  ASSERT_NE(start, std::string::npos)
      << "the entry point at " << entry << " is not ControllerEntry";
  const std::string function = code.substr(start, code.find("\n\n", start) - start);
  EXPECT_EQ(function.find("xmm"), std::string::npos) << function;
  const std::size_t check = function.find("<_IsProcessorFeaturePresent@4>");
  ASSERT_NE(check, std::string::npos) << function;
  const std::size_t line = function.rfind('\n', check);
  EXPECT_NE(function.substr(line, check - line).find("call"), std::string::npos) << function;
  EXPECT_NE(function.rfind("$0xa,", check), std::string::npos) << function;
  EXPECT_NE(function.find("<_DllMainCRTStartup@12>"), std::string::npos) << function;
}

// Tab reaches each radio group at its first button, in the resource as
// compiled: WS_GROUP | WS_TABSTOP on COM1, Off and EQ, neither on the others.
TEST(WindowsDll, FirstRadioButtonOfEachGroupIsATabStopInTheResourceScript) {
  const std::string rc = winetest::ReadFile(std::string(WINDOWS_BUILD_DIR) + "/controller.rc");
  if (rc.empty()) {
    if (InCi()) FAIL() << "no controller.rc";
    GTEST_SKIP() << "Windows test skipped: no controller.rc in " << WINDOWS_BUILD_DIR;
  }
  std::istringstream lines(rc);
  int radios = 0;
  for (std::string line; std::getline(lines, line);) {
    unsigned id = 0, style = 0;
    char window_class[32] = {};
    const std::size_t comma = line.find("\", ");
    if (line.find("CONTROL ") == std::string::npos || comma == std::string::npos) continue;
    if (std::sscanf(line.c_str() + comma, "\", %u, \"%31[^\"]\", 0x%X", &id, window_class,
                    &style) != 3 ||
        std::string(window_class) != "Button" || (style & 0xF) != 0x9) {
      continue;
    }
    ++radios;
    const bool first = id == 1004 || id == 1014 || id == 1021;
    EXPECT_EQ((style & 0x00030000u) == 0x00030000u, first) << line;
    EXPECT_EQ((style & 0x00030000u) == 0, !first) << line;
  }
  EXPECT_EQ(radios, 8);
}

// ---- The same script on both platforms ------------------------------------------------

TEST(CrossPlatform, SameScriptGivesTheSameRecordsReportsBoxesAndProfile) {
  REQUIRE_WINE();
  const std::vector<Step> script = {
      {"register 2"},
      {"register 7"},
      {"register 3"},
      {"context 3"},
      {"time 2451545.25"},
      {"connect", Counts(1024, -512)},
      {"object 0"},
      {"state 8204"},
      {"menu"},
      {"update"},
      {"command 20002 0.5 0.25 Alpha"},
      {"command 20002 1.5 0.75 Beta"},
      {"command 20002 2.5 -0.25 Gamma"},
      {"command 20002 2.5 -0.25 Gamma"},
      {"command 20004 0 0 Alpha", Counts(100, 200)},
      {"command 20004 0 0 Beta", Counts(900, -300)},
      {"command 20001 0 0 Telescope"},
      {"command 20004 0 0 Gamma", Counts(1800, 300)},
      {"calibrate"},
      {"object 0", Counts(500, 50)},
      {"message 24"},
      {"message 25"},
      {"message 29"},
      // A host that calls again from within a box or the dialog.
      {"reenter message 24"},
      {"reenter configure click:2"},
      // The core's mends hold through the Windows layer too: a connect while
      // connected, answers the box should not give, a singular fit.
      {"connect"},
      {"object 0", [](dscsim::Box& b) { b.SetGarbage(true); }},
      {"object 0", [](dscsim::Box& b) { b.SetGarbage(false), b.SetNoSigns(true); }},
      {"object 0", [](dscsim::Box& b) { b.SetNoSigns(false), b.SetShortAnswer(13); }},
      {"command 20003 0 0 Gamma", [](dscsim::Box& b) { b.SetShortAnswer(-1); }},
      {"command 20004 0 0 Alpha", Counts(10, 10)},
      {"command 20004 0 0 Beta"},
      {"calibrate"},
      {"disconnect"},
      {"configure click:1022 text:1000=2048 click:1003 text:1017=45 click:1006 click:1"},
      {"connect"},
      {"configure click:1004 click:1"},
      {"connect", Counts(-2000, 700)},
      {"toggle"},
      {"update"},
      {"object 5"},
      {"disconnect"},
      {"configure click:2"}};

  // Linux: the Linux plug-in in script_host, COM1 linked to a box of its own.
  dscsim::Box linux_box;
  ASSERT_TRUE(linux_box.Start());
  winetest::LinuxEnvironment linux_env(SCRIPT_HOST_PATH, LINUX_PLUGIN_PATH);
  linux_env.LinkPort("COM1", linux_box.SlavePath());
  linux_env.LinkPort("COM3", "/nonexistent/COM3");
  std::vector<std::string> on_linux;
  {
    auto host = linux_env.StartHost();
    ASSERT_TRUE(host->Loaded()) << host->Error();
    on_linux = RunScript(*host, linux_box, script);
  }

  // Windows: the DLL in velastra.exe under Wine.
  auto box = BoxOnCom1();
  ASSERT_NE(box, nullptr);
  Wine().LinkPort("com3", "/nonexistent/COM3");
  std::vector<std::string> on_windows;
  {
    auto host = Wine().StartHost();
    ASSERT_TRUE(host->Loaded()) << host->Error();
    on_windows = RunScript(*host, *box, script);
  }

  EXPECT_EQ(on_windows, on_linux);
  EXPECT_EQ(Section(winetest::ReadFile(Wine().WinIni()), "ZazuvUzarDLL"),
            Section(winetest::ReadFile(linux_env.WinIni()), "ZazuvUzarDLL"));

  // Calls made from within a box or the dialog touched nothing: no report
  // due, every other block as the host left it.
  EXPECT_EQ(std::count(on_windows.begin(), on_windows.end(), "inside update 5 00000000"), 2);
  EXPECT_EQ(std::count(on_windows.begin(), on_windows.end(), "inside state eeee"), 2);
  EXPECT_EQ(std::count(on_windows.begin(), on_windows.end(), "inside register 04000000eeeeeeee"),
            2);

  // Boxes came from real windows, and reports were delivered.
  EXPECT_NE(LineStarting(on_windows, "box "), "");
  const std::string report_windows = LineStarting(on_windows, "update 2 ");
  const std::string report_linux = LineStarting(on_linux, "update 2 ");
  EXPECT_NE(report_windows, "");
  std::printf("position report, Linux   : %s\nposition report, Windows : %s\n",
              report_linux.c_str(), report_windows.c_str());
  if (on_windows != on_linux || std::getenv("WINE_TEST_TRANSCRIPT") != nullptr) {
    for (std::size_t i = 0; i < std::max(on_windows.size(), on_linux.size()); ++i) {
      std::printf("%3zu L %s\n     W %s\n", i, i < on_linux.size() ? on_linux[i].c_str() : "",
                  i < on_windows.size() ? on_windows[i].c_str() : "");
    }
  }
}

// ---- The Win32 serial port ----------------------------------------------------------

TEST(WineSerial, APortHeldByAnotherProgramCannotBeOpenedUntilItIsLetGo) {
  REQUIRE_WINE();
  auto box = BoxOnCom1();
  ASSERT_NE(box, nullptr);
  WriteWinIni(kPlainWinIni);
  auto host = Wine().StartHost();
  ASSERT_TRUE(host->Loaded());
  host->Do("register 3");

  // Another program holds the port for exclusive use.
  const int held = open(box->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(held, 0);
  ASSERT_EQ(ioctl(held, TIOCEXCL), 0);
  EXPECT_EQ(host->Do("connect").lines,
            std::vector<std::string>{"box Comm Error|Could not open comm port.|error|system"});
  EXPECT_EQ(host->Do("state 8204").lines, std::vector<std::string>{"state 0000"});

  ioctl(held, TIOCNXCL);
  close(held);
  EXPECT_EQ(host->Do("connect").lines, std::vector<std::string>{});
  EXPECT_EQ(host->Do("state 8204").lines, std::vector<std::string>{"state 0100"});
  EXPECT_NE(LineStarting(host->Do("object 0").lines, "object 010301"), "");
  // The line the link built reached the device: 9600 baud, one stop bit,
  // XON/XOFF and no hardware handshaking.
  const int look = open(box->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(look, 0);
  termios tio{};
  ASSERT_EQ(tcgetattr(look, &tio), 0);
  close(look);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
  EXPECT_EQ(tio.c_cflag & (CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
}

TEST(WineSerial, ASilentBoxCostsNoMoreThanTheReadTimeOuts) {
  REQUIRE_WINE();
  auto box = BoxOnCom1();
  ASSERT_NE(box, nullptr);
  WriteWinIni(kPlainWinIni);
  auto host = Wine().StartHost();
  ASSERT_TRUE(host->Loaded());
  host->Do("register 3");
  ASSERT_TRUE(host->Do("connect").lines.empty());
  box->SetSilent(true);
  // "Q" (at most 240 ms) and "P" (at most 140 ms): the time-outs were applied
  // and the reads end by them, without blocking the host.
  const Answer answer = host->Do("object 0");
  ASSERT_TRUE(answer.ok());
  EXPECT_GT(answer.ms, 300.0);
  EXPECT_LT(answer.ms, 2000.0);
}

TEST(WineSerial, LineDefinitionsAreReadAsTheLinuxLayerReadsThem) {
  REQUIRE_WINE();
  // Rate, data bits, parity, stop bits, then the handshakes, as
  // PosixSerialDefinition reads them (the link's own definition reaches the
  // device in the test above).
  EXPECT_EQ(Wine().Output("platform_probe.exe",
                          {"line", "baud=115200 parity=O data=7 stop=2 octs=on odsr=on", "stop=3"}),
            "115200 7O2 xon=0/0 cts=1 dsr=1 dtr=0 rts=0\nrefused\n");
}

TEST(WineClock, TheTimeSinceLoadCountsFromTheLoad) {
  REQUIRE_WINE();
  const std::string ms = Wine().Output("platform_probe.exe", {"since-load", "1200"});
  const auto since_load = std::strtoull(ms.c_str(), nullptr, 10);
  EXPECT_TRUE(since_load >= 1200 && since_load < 20000) << ms;
}

// ---- win.ini ---------------------------------------------------------------------------

TEST(WineProfile, LoadAndSaveKeepOtherSectionsKeysAndComments) {
  REQUIRE_WINE();
  const std::string before =
      "[windows]\r\nload=\r\n"
      "\r\n; observatory settings\r\n[ZazuvUzarDLL]\r\n; the telescope\r\n"
      "ResRA=-2048\r\nCommPort=COM2\r\nMountType=AA\r\nExtra=kept\r\n"
      "[Observatory]\r\n; where\r\nSite=Greenwich\r\n";
  WriteWinIni(before);
  auto host = Wine().StartHost();
  ASSERT_TRUE(host->Loaded());
  host->Do("register 3");
  const Answer dialog = host->Do("configure text:1001=1000 click:1");
  ASSERT_EQ(dialog.lines.size(), 2u);
  // Loaded: 2048 inverted on the first axis, COM2, alt-azimuth.
  EXPECT_NE(dialog.lines[1].find(" 1000=2048 "), std::string::npos) << dialog.lines[1];
  EXPECT_NE(dialog.lines[1].find(" 1002=x "), std::string::npos) << dialog.lines[1];
  EXPECT_NE(dialog.lines[1].find(" 1005=x "), std::string::npos) << dialog.lines[1];
  EXPECT_NE(dialog.lines[1].find(" 1022=x"), std::string::npos) << dialog.lines[1];
  host->Quit();

  const std::vector<std::string> after =
      winetest::ProfileEntries(winetest::ReadFile(Wine().WinIni()));
  // Every entry of before is still there in the same order, apart from the
  // plug-in's own keys; those hold the dialog's values.
  std::vector<std::string> kept;
  for (const std::string& entry : winetest::ProfileEntries(before)) {
    if (entry.rfind("ResRA=", 0) == 0 || entry.rfind("CommPort=", 0) == 0 ||
        entry.rfind("MountType=", 0) == 0) {
      continue;
    }
    kept.push_back(entry);
  }
  std::vector<std::string> after_kept;
  for (const std::string& entry : after) {
    if (Has(kept, entry)) after_kept.push_back(entry);
  }
  EXPECT_EQ(after_kept, kept);
  for (const char* entry : {"ResRA=-2048", "ResDec=1000", "CommPort=COM2", "MountType=AA"}) {
    EXPECT_TRUE(Has(Section(winetest::ReadFile(Wine().WinIni()), "ZazuvUzarDLL"), entry)) << entry;
  }
}

// A win.ini the user may not write (as %windir%\\win.ini is to a standard
// user without UAC virtualisation): one box at the OK that names the file
// and the system's reason, and the values chosen stay in force.
TEST(WineProfile, SettingsThatCannotBeSavedAreToldAndKeptForTheSession) {
  REQUIRE_WINE();
  WriteWinIni(kPlainWinIni);
  ASSERT_EQ(chmod(Wine().WinIni().c_str(), 0444), 0);
  auto host = Wine().StartHost();
  ASSERT_TRUE(host->Loaded());
  host->Do("register 3");
  const Answer ok = host->Do("configure text:1000=1024 click:1");
  const Answer again = host->Do("configure click:2");
  host->Quit();
  chmod(Wine().WinIni().c_str(), 0644);

  const std::string box = LineStarting(ok.lines, "box Settings Not Saved|");
  std::printf("%s\n", box.c_str());
  EXPECT_NE(box.find("|The settings could not be saved in C:\\windows\\win.ini:\\n"),
            std::string::npos)
      << box;
  EXPECT_NE(box.find("They stay in force until the program is closed.|warning|system"),
            std::string::npos)
      << box;
  // The system's own reason, without its line break or trailing blanks.
  EXPECT_NE(box.find(" denied.\\n\\nThey stay in force"), std::string::npos) << box;
  EXPECT_EQ(std::count_if(ok.lines.begin(), ok.lines.end(),
                          [](const std::string& l) { return l.rfind("box ", 0) == 0; }),
            1);
  ASSERT_EQ(again.lines.size(), 2u);
  EXPECT_NE(again.lines[1].find(" 1000=1024 "), std::string::npos) << again.lines[1];
  EXPECT_EQ(winetest::ReadFile(Wine().WinIni()), kPlainWinIni);
}

// ---- GDI: the debug page in a real window ----------------------------------------------

TEST(WineDebugPage, IsDrawnIntoTheWindowInItsColours) {
  REQUIRE_WINE();
  auto box = BoxOnCom1();
  ASSERT_NE(box, nullptr);
  box->SetCounts(1024, -512);
  WriteWinIni(kPlainWinIni);
  auto host = Wine().StartHost();
  ASSERT_TRUE(host->Loaded());
  host->Do("register 3");
  host->Do("configure click:1014 click:1");  // status query off
  ASSERT_EQ(host->Do("window").lines, std::vector<std::string>{"window shown"});
  ASSERT_TRUE(host->Do("connect").lines.empty());
  host->Do("object 0");

  auto colours = [&](const char* rect) {
    const Answer a = host->Do(std::string("colours ") + rect);
    return a.lines.empty() ? std::string() : a.lines[0];
  };
  constexpr const char* kDarkGrey = "404040";
  // The white stock pen's line across the page (to the left of the texts
  // of the line above it, whose backgrounds reach down over it).
  EXPECT_EQ(colours("10 65 50 1"), "colours ffffff:50");
  // The header: white text on dark grey.
  const std::string header = colours("15 15 200 12");
  EXPECT_NE(header.find(kDarkGrey), std::string::npos) << header;
  EXPECT_NE(header.find("ffffff"), std::string::npos) << header;
  // Status query off: "OFF" in yellow.
  const std::string off = colours("240 55 25 12");
  EXPECT_NE(off.find("ffff00"), std::string::npos) << off;
  EXPECT_EQ(off.find("ff0000"), std::string::npos) << off;
  // Nothing is drawn outside the texts: the window's own black stays.
  EXPECT_EQ(colours("0 0 8 8"), "colours 000000:64");

  // A short status answer: "===" in red at the same place.
  host->Do("configure click:1020 click:1");
  box->SetShortAnswer(3);
  host->Do("object 0");
  const std::string short_status = colours("240 55 25 12");
  EXPECT_NE(short_status.find("ff0000"), std::string::npos) << short_status;
}

}  // namespace
