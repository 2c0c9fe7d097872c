#include "app.h"

#include <limits.h>
#include <unistd.h>
#include <velastra/config_dir.h>
#include <velastra/port_name.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "astro_vl.h"
#include "format.h"
#include "port_check.h"

namespace host {
namespace fs = std::filesystem;

namespace {

// A sighting further than this from its star is not what was meant.
constexpr double kFarFromStar = 20.0 * astro::kDegree;

// Links made for this session: the link, what it was made to name, and what
// it named before (empty: nothing).  Plain arrays, so that a signal handler
// can put them back with the async-signal-safe readlink, unlink and symlink.
struct SessionLink {
  char path[PATH_MAX];
  char made[PATH_MAX];
  char before[PATH_MAX];
};
SessionLink g_links[8];
volatile std::sig_atomic_t g_link_count = 0;

void RestoreSessionLinks() {
  // Newest first, so that a name linked twice ends as it was at the start.
  for (int i = g_link_count - 1; i >= 0; --i) {
    const SessionLink& l = g_links[i];
    char now[PATH_MAX];
    const ssize_t n = readlink(l.path, now, sizeof now - 1);
    if (n < 0) continue;
    now[n] = '\0';
    if (std::strcmp(now, l.made) != 0) continue;  // someone else's since
    unlink(l.path);
    if (l.before[0] != '\0') (void)!symlink(l.before, l.path);
  }
  g_link_count = 0;
}

extern "C" void RestoreLinksAndDie(int signal_number) {
  RestoreSessionLinks();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void RememberSessionLink(const std::string& path, const std::string& made,
                         const std::string& before) {
  if (g_link_count >= static_cast<int>(std::size(g_links)) || path.size() >= PATH_MAX ||
      made.size() >= PATH_MAX || before.size() >= PATH_MAX) {
    return;
  }
  SessionLink& l = g_links[g_link_count];
  std::snprintf(l.path, sizeof l.path, "%s", path.c_str());
  std::snprintf(l.made, sizeof l.made, "%s", made.c_str());
  std::snprintf(l.before, sizeof l.before, "%s", before.c_str());
  g_link_count = g_link_count + 1;
  // Ended by a signal, the session still puts its links back.
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, RestoreLinksAndDie);
}

}  // namespace

App::App(const Options& options)
    : options_(options),
      console_(options.scripted),
      site_{options.latitude * astro::kDegree, options.longitude * astro::kDegree} {
  Ws().Attach(&console_, &text_);
}

App::~App() { RestoreSessionLinks(); }

std::string App::ResolvePlugin() const {
  if (!options_.plugin.empty()) return options_.plugin;
  if (const char* env = std::getenv("VELASTRA_PLUGIN"); env != nullptr && *env != '\0') return env;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path installed =
        self.parent_path().parent_path() / "lib/velastra/plugins/Controller.plug";
    if (fs::exists(installed, ec)) return installed.string();
    const fs::path beside = self.parent_path() / "Controller.plug";
    if (fs::exists(beside, ec)) return beside.string();
  }
#ifdef VELASTRA_BUILD_PLUGIN
  if (fs::exists(VELASTRA_BUILD_PLUGIN, ec)) return VELASTRA_BUILD_PLUGIN;
#endif
  return "Controller.plug";
}

bool App::Start() {
  if (!options_.log.empty()) {
    std::string error;
    if (!console_.OpenLog(options_.log, &error)) console_.Error(error);
  }
  if (!options_.config_dir.empty()) setenv("VELASTRA_CONFIG_DIR", options_.config_dir.c_str(), 1);
  std::string reason;
  if (!ProfileWritable(ConfigDir(), &reason)) console_.Error(reason);

  const std::string path = ResolvePlugin();
  std::string error;
  if (!session_.Load(path, &error)) {
    console_.Error(error);
    return false;
  }
  console_.Log("loaded " + path);
  const Registration r = session_.Register();
  if (!r.accepted) {
    console_.Error("the plug-in " + path + " refused to register with interface version " +
                   std::to_string(VL_INTERFACE_VERSION));
    return false;
  }
  // The debug window at the size the registration record suggests.
  const int width = r.width() > 0 && r.width() <= 4096 ? r.width() : 300;
  const int height = r.height() > 0 && r.height() <= 4096 ? r.height() : 200;
  Ws().CreateDebugWindow(width, height);
  Ws().SetPageVisible(options_.page_visible);
  session_.SetDebugWindow(WindowSystem::kDebugWindow);
  astro::vl::SetContextClock(kHostContext, site_, astro::JulianDateNow, options_.atmosphere);
  SendTime();
  session_.SetHostContext(kHostContext);
  std::string caption = r.caption;
  caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
  char site[96];
  std::snprintf(site, sizeof site, "%.4f%c %.4f%c", std::fabs(options_.latitude),
                options_.latitude < 0 ? 'S' : 'N', std::fabs(options_.longitude),
                options_.longitude < 0 ? 'W' : 'E');
  console_.Line("Loaded " + path);
  console_.Line("Registered \"" + caption + "\" (interface version " + std::to_string(r.version) +
                "); debug window " + std::to_string(width) + " x " + std::to_string(height) +
                "; site " + site + "; configuration in " + ConfigDir());
  for (const std::string& line : options_.planetarium) {
    const std::size_t gap = line.find(' ');
    bool ok = false;
    if (extension_ != nullptr) extension_->Execute(line.substr(0, gap), line.substr(gap + 1), &ok);
    if (!ok) return false;
  }
  return true;
}

// The plug-in turns an equatorial mount's right ascension one turn per unit
// of the day number and runs the number on at the solar rate between two
// handovers: the sidereal day number, sent every second, keeps that right.
void App::SendTime() {
  session_.SetTime(astro::SiderealDayNumber(astro::JulianDateNow()));
  time_sent_ = std::chrono::steady_clock::now();
}

astro::Sky App::SkyNow() const {
  return astro::Sky(astro::JulianDateNow(), site_, options_.atmosphere);
}

bool App::Connect() {
  SendTime();
  // The box is asked first, the way the plug-in will ask it, so that a box
  // that answers wrongly is told apart from one that answers well.
  const PortCheck before = CheckPort(ProfilePort());
  connect_findings_.clear();
  link_failure_told_ = false;
  if (before.verdict == PortCheck::Verdict::kBadAnswer) connect_findings_ = before.lines;
  const std::size_t boxes = Ws().boxes().size();
  session_.Connect();
  if (session_.connected()) {
    // Another program reading the device can take the box's answers.
    const PortCheck check = CheckPort(ProfilePort(), false);
    connected_device_ = check.device;
    if (!check.holders.empty()) {
      std::string who;
      for (const std::string& h : check.holders) who += (who.empty() ? "" : ", ") + h;
      console_.Line("Note: " + check.device + " is also open in process " + who +
                    "; a program that reads it can take the box's answers.");
    }
    if (!connect_findings_.empty()) {
      PortCheck told;
      told.lines = connect_findings_;
      told.lines.front() = "Connected, but the box's answers will not do: " + told.lines.front();
      console_.Print(told.Text());
    }
    return true;
  }
  // Not connected: when the port itself is what failed, say why, from the
  // host's own look at the device rather than from the box's words.
  if (Ws().boxes().size() > boxes) {
    const PortCheck check = CheckPort(ProfilePort());
    if (!check.ready()) {
      console_.Print(check.Text());
      console_.Log("port check: " + (check.lines.empty() ? std::string() : check.lines.front()));
    }
  }
  return false;
}

bool App::ExplainPort(const std::string& port) {
  if (session_.connected() && !connected_device_.empty()) {
    const PortCheck found = CheckPort(port, false);
    std::error_code ec;
    if (!found.device.empty() &&
        fs::weakly_canonical(found.device, ec) == fs::weakly_canonical(connected_device_, ec)) {
      PortCheck told = found;
      told.lines = {
          (found.port.empty() ? found.device : "Port " + found.port + " is " + found.device) +
          ": connected; this host has it open (type disconnect to free it)."};
      console_.Print(told.Text());
      return true;
    }
  }
  const PortCheck check = CheckPort(port);
  console_.Print(check.Text());
  console_.Log("port check: " + (check.lines.empty() ? std::string() : check.lines.front()));
  return check.ready();
}

void App::NoteLinkFailure(std::size_t boxes_before) {
  if (link_failure_told_ || !session_.connected()) return;
  for (std::size_t i = boxes_before; i < Ws().boxes().size(); ++i) {
    const std::string& caption = Ws().boxes()[i].caption;
    if (caption != "Write Comm Error" && caption != "Read Comm Error" &&
        caption != "Communication Error") {
      continue;
    }
    link_failure_told_ = true;
    PortCheck told;
    told.lines = connect_findings_;
    if (told.lines.empty()) {
      told.lines = {
          "The box answered well when the link opened; is its cable still in?  To "
          "resume after a pulled cable: disconnect, plug it in, point the telescope "
          "at the reference point, connect."};
    } else {
      told.lines.front() = "When the link opened: " + told.lines.front();
    }
    console_.Print(told.Text());
    return;
  }
}

std::optional<Report> App::Tick() {
  if (session_.loaded() &&
      std::chrono::steady_clock::now() - time_sent_ >= std::chrono::seconds(1)) {
    SendTime();
  }
  const std::size_t boxes = Ws().boxes().size();
  std::optional<Report> report = session_.PeriodicUpdate();
  NoteLinkFailure(boxes);
  if (report) {
    last_report_ = report;
    if (watching_) console_.Line("  " + DescribeReport(*report));
  }
  if (extension_ != nullptr) extension_->Tick();
  TakeLinkAction();
  return report;
}

void App::TakeLinkAction() {
  switch (Ws().TakeLinkAction()) {
    case WindowSystem::LinkAction::kStopReports:
      if (session_.connected() && session_.reporting()) session_.ToggleReporting();
      console_.Line(session_.reporting() ? "Position reports are on."
                                         : "Position reports are off.");
      break;
    case WindowSystem::LinkAction::kDisconnect:
      if (session_.connected()) session_.Disconnect();
      console_.Line(session_.connected() ? "Still connected." : "Disconnected.");
      break;
    case WindowSystem::LinkAction::kNone:
      break;
  }
}

std::string App::DescribeSky(const astro::Equatorial& apparent) {
  // Shown and named in the catalogue's frame, as the star list is.
  const astro::Equatorial p = SkyNow().Catalogue(apparent);
  double separation = 0.0;
  const astro::Star* star = astro::NearestStar(p, &separation);
  std::string text = "RA " + FormatRa(p.ra) + "  Dec " + FormatDms(p.dec) + " (J2000)";
  if (star != nullptr) {
    text += "  near " + std::string(star->name) + " (" + FormatDegrees(separation, 1) + " away)";
  }
  return text;
}

std::string App::DescribeReport(const Report& report) {
  if (!report.horizontal()) return DescribeSky({report.first, report.second});
  const astro::Sky now = SkyNow();
  const astro::Equatorial sky = now.Catalogue(now.FromObserved({report.first, report.second}));
  double separation = 0.0;
  const astro::Star* star = astro::NearestStar(sky, &separation);
  std::string text = "Az " + FormatDegrees(report.first) + "  Alt " + FormatDegrees(report.second);
  if (star != nullptr) {
    text += "  near " + std::string(star->name) + " (" + FormatDegrees(separation, 1) + " away)";
  }
  return text;
}

bool App::ObjectCommand(std::uint32_t id, const std::string& star_name) {
  const astro::Star* star = nullptr;
  if (id != VL_CMD_CALIBRATE) {
    star = astro::FindStar(star_name);
    if (star == nullptr) {
      console_.Line(star_name.empty()
                        ? "Name a star (try 'stars')."
                        : "No star named '" + star_name + "' in the catalogue (try 'stars').");
      return false;
    }
  }
  if (id == VL_CMD_SIGHT && star != nullptr &&
      !SightingMeant(star->name, SkyNow().Apparent(*star))) {
    return false;
  }
  // The plug-in's sky frame is the apparent place of the date.
  return ObjectCommandAt(id, star ? star->name : "",
                         star ? SkyNow().Apparent(*star) : astro::Equatorial{}, nullptr);
}

bool App::ObjectCommandAt(std::uint32_t id, const std::string& name,
                          const astro::Equatorial& apparent, std::string* refusal) {
  const bool object = id != VL_CMD_CALIBRATE;
  // The planetarium builds an object's menu afresh each time it is opened.
  const ws_Handle menu = Ws().CreateMenu();
  session_.BuildObjectMenu(menu);
  const MenuEntry* item = nullptr;
  for (const MenuEntry& entry : *Ws().Menu(menu)) {
    if (!entry.separator() && entry.id == id) item = &entry;
  }
  if (item == nullptr) {
    Ws().DestroyMenu(menu);
    console_.Line("The object menu offers no such command (connect first).");
    return false;
  }
  const std::string text = item->text;
  Ws().DestroyMenu(menu);
  console_.Log("object menu: " + text + (object ? " " + name : ""));
  console_.Line("> " + text + (object ? ": " + name : ""));
  const std::size_t boxes = Ws().boxes().size();
  session_.ObjectMenuCommand(static_cast<std::int32_t>(id), object ? name : "",
                             object ? apparent : astro::Equatorial{});
  // The list shows only in the boxes: a refusal.  The calibration's result
  // is the plug-in's box, shown as it is; the host keeps no copy of it.
  bool refused = false;
  for (std::size_t i = boxes; i < Ws().boxes().size(); ++i) {
    const MessageBoxRecord& box = Ws().boxes()[i];
    const bool refusal_box = box.caption == "Duplicate Object" ||
                             box.caption == "No More Objects" || box.caption == "Not Found" ||
                             box.caption == "Empty List";
    if (refusal_box && refusal != nullptr) *refusal = box.caption + ": " + box.text;
    refused = refused || refusal_box;
  }
  if (object && !refused && id == VL_CMD_ADD) listed_.push_back(name);
  if (object && !refused && id == VL_CMD_REMOVE) std::erase(listed_, name);
  return true;
}

bool App::SightingMeant(const std::string& name, const astro::Equatorial& apparent) {
  const auto now = session_.TelescopeObject(kHostContext);
  if (!now) return true;
  const double off = astro::AngularSeparation(apparent, *now);
  if (off <= kFarFromStar) return true;
  console_.Line("Warning: the telescope points " + FormatDegrees(off, 1) + " from " + name + " (" +
                DescribeSky(*now) +
                "); a sighting there would teach the calibration "
                "that error.");
  if (!console_.interactive()) return true;
  console_.Print("Sight " + name + " anyway? (y: yes, Enter: no) ");
  const std::optional<std::string> answer = console_.ReadOwnLine();
  if (answer && (Trim(*answer) == "y" || Trim(*answer) == "yes")) return true;
  console_.Line("Not sighted.");
  return false;
}

bool App::SavePage(const std::string& path) {
  Canvas* page = Ws().page();
  if (page == nullptr) {
    console_.Line("There is no debug window page.");
    return false;
  }
  std::string error;
  if (!page->SavePng(path, &error)) {
    console_.Line("Cannot save the page to " + path + ": " + error);
    return false;
  }
  console_.Line("Saved the diagnostics page (" + std::to_string(Ws().pages_drawn()) +
                " drawings so far) to " + path);
  return true;
}

void App::ShowMenus() {
  struct Item {
    std::int32_t id;
    const char* text;
  };
  const Item items[] = {{VL_ITEM_CONFIGURE, "Configure..."},
                        {VL_ITEM_CONNECT, "Connect"},
                        {VL_ITEM_DISCONNECT, "Disconnect"},
                        {VL_ITEM_REPORTING, "Report Position"}};
  console_.Line("Telescope menu:");
  for (const Item& item : items) {
    const MenuState s = session_.ItemState(item.id);
    console_.Line(std::string("  ") + (s.checked ? "[x] " : "    ") + item.text +
                  (s.enabled ? "" : "  (disabled)"));
  }
  const ws_Handle menu = Ws().CreateMenu();
  session_.BuildObjectMenu(menu);
  console_.Line("Object menu (what the plug-in appended):");
  if (Ws().Menu(menu)->empty()) console_.Line("  (nothing: not connected)");
  for (const MenuEntry& e : *Ws().Menu(menu)) {
    console_.Line(e.separator() ? "  --------"
                                : "  " + e.text + "  [" + std::to_string(e.id) + "]");
  }
  Ws().DestroyMenu(menu);
}

void App::Watch(double seconds) {
  if (!session_.connected()) {
    console_.Line("Not connected.");
    return;
  }
  if (!session_.reporting()) console_.Line("(reports are off: type 'report on')");
  console_.Line(console_.interactive() ? "Watching; press Enter to stop." : "Watching.");
  watching_ = true;
  const auto end =
      std::chrono::steady_clock::now() +
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<double>(seconds));
  while (std::chrono::steady_clock::now() < end && session_.connected()) {
    if (console_.interactive() && console_.ReadLine(kTickMilliseconds)) break;
    if (!console_.interactive()) usleep(kTickMilliseconds * 1000);
    Tick();
  }
  watching_ = false;
}

void App::ListStars(int count) {
  const astro::Sky sky = SkyNow();
  int shown = 0;
  for (const astro::Star& star : astro::BrightStars()) {
    const astro::Horizontal h = sky.Observed(star);
    if (h.altitude <= 0.0) continue;
    char line[160];
    std::snprintf(line, sizeof line, "  %-12s mag %5.2f  RA %s  Dec %s  Az %7s  Alt %6s", star.name,
                  star.magnitude, FormatRa(star.ra).c_str(), FormatDms(star.dec).c_str(),
                  FormatDegrees(h.azimuth, 1).c_str(), FormatDegrees(h.altitude, 1).c_str());
    console_.Line(line);
    if (++shown >= count) break;
  }
  if (shown == 0) console_.Line("  (no catalogue star is above the horizon)");
}

bool App::LinkPort(const std::string& typed, const std::string& device) {
  std::error_code ec;
  const unsigned com = vl_StoredComNumber(typed.c_str());
  if (com == 0) {
    console_.Line("Name a port COM1 to COM9, not '" + typed + "'.");
    return false;
  }
  // Port names are case-insensitive: "com2" is COM2, the link the plug-in looks for.
  const std::string name = "COM" + std::to_string(com);
  if (!fs::exists(device, ec)) {
    console_.Line("No such port: " + device);
    return false;
  }
  const fs::path ports = fs::path(ConfigDir()) / "ports";
  const fs::path link = ports / name;
  const fs::path target = fs::absolute(device, ec);
  fs::create_directories(ports, ec);
  std::string before;
  if (fs::is_symlink(link, ec)) {
    before = fs::read_symlink(link, ec).string();
  } else if (fs::exists(link, ec)) {
    console_.Line("Cannot link " + link.string() + ": it is there already and not a link.");
    return false;
  }
  fs::remove(link, ec);
  fs::create_symlink(target, link, ec);
  if (ec) {
    console_.Line("Cannot link " + link.string() + ": " + ec.message());
    return false;
  }
  // A pseudo-terminal gets a new number each time it is made: a link to one
  // would later name another program's terminal.
  const bool for_session = fs::weakly_canonical(target, ec).string().rfind("/dev/pts/", 0) == 0;
  const std::string was = before.empty() || before == target.string() ? "" : "; it was " + before;
  if (for_session) {
    RememberSessionLink(link.string(), target.string(), before);
    console_.Line(name + " is now " + device +
                  " for this session only (a pseudo-terminal; the link goes at exit" +
                  (before.empty() ? "" : ", and " + before + " comes back") + ").");
  } else {
    console_.Line(name + " is now " + device + " (takes effect at the next connect" + was + ").");
  }
  return true;
}

void App::Wait(double seconds) {
  const auto end =
      std::chrono::steady_clock::now() +
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<double>(seconds));
  while (std::chrono::steady_clock::now() < end) {
    if (console_.interactive()) {
      if (console_.LinePending(kTickMilliseconds / 2)) break;
    } else {
      usleep(kTickMilliseconds * 1000 / 2);
    }
    Tick();
  }
}

bool App::Calibrated() const {
  // What the plug-in has shown: objects on its list, or a calibration's box.
  return !listed_.empty() ||
         std::any_of(Ws().boxes().begin(), Ws().boxes().end(), [](const MessageBoxRecord& box) {
           return box.caption == "Telecope Calibrated";
         });
}

bool App::AskForReferencePoint() {
  double ra = 0.0, dec = 0.0;
  const bool known = ParseNumber(ProfileValue("RefRA", "0.665777659788"), &ra) &&
                     ParseNumber(ProfileValue("RefDec", "1.55817662667"), &dec);
  console_.Line(
      "The encoders count from where the telescope points when the link opens: point "
      "it at the reference point" +
      (known ? " (RA " + FormatRa(ra) + ", Dec " + FormatDms(dec) + ")" : "") + ".");
  if (Calibrated()) {
    console_.Line(
        "The calibration made before is kept; it holds only if the box's counts are "
        "zeroed there now (a box that zeroes them when the port opens does; one that "
        "keeps them must be switched off and on there).");
  }
  if (!console_.interactive()) return true;
  for (;;) {
    console_.Print("Press Enter when it points there (n: do not connect): ");
    const std::optional<std::string> answer = console_.ReadOwnLine();
    const std::string a = answer ? Trim(*answer) : "n";
    if (a.empty() || a == "y" || a == "yes") return true;
    if (a == "n" || a == "no" || a == "q") return false;
  }
}

void App::ReviewSettings(const std::string& resolutions_before) {
  const std::string res_ra = ProfileValue("ResRA", "4096"),
                    res_dec = ProfileValue("ResDec", "8192");
  for (const std::string& r : {res_ra, res_dec}) {
    if (std::atol(r.c_str()) == 0) {
      console_.Line("Warning: the plug-in keeps a resolution of " + r +
                    " counts a turn, which turns no count into an angle; configure it again.");
    }
  }
  double ra = 0.0, dec = 0.0;
  if (ParseNumber(ProfileValue("RefRA", "0"), &ra) &&
      ParseNumber(ProfileValue("RefDec", "0"), &dec) &&
      (ra < 0.0 || ra >= 2 * astro::kPi || std::fabs(dec) > astro::kPi / 2)) {
    char took[128];
    std::snprintf(took, sizeof took, "RA %.4fh, Dec %+.4f\u00b0", ra / astro::kHour,
                  dec / astro::kDegree);
    console_.Line("Warning: the plug-in took the reference point as " + std::string(took) +
                  ", which is not on the sky (RA runs from 0h to 24h, Dec from -90\u00b0 to "
                  "+90\u00b0); configure it again.");
  }
  if (res_ra + "," + res_dec != resolutions_before && Calibrated()) {
    console_.Line(
        "The resolutions changed: the calibration made before no longer fits; "
        "calibrate again.");
  }
}

}  // namespace host
