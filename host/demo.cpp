// The demonstration.  With the simulated box: a box on a pseudo-terminal in
// this process, with a telescope whose encoders were set up with a
// deliberate error (zero offsets and scale errors on both axes), is linked as
// COM1 in a configuration folder of the demo's own.  (With --port the demo
// runs with a real box instead: guide.cpp.)
#include "demo.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app.h"
#include "astro_vl.h"
#include "chart.h"
#include "dsc_sim.h"
#include "format.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kCmdCalibrate = 20001;
constexpr std::uint32_t kCmdAdd = 20002;
constexpr std::uint32_t kCmdSight = 20004;
constexpr int kCalibrationStars = 4;
constexpr int kResolution = 8192;
constexpr double kSlewSeconds = 2.5;
constexpr int kStepMilliseconds = 100;

// The reference point of the demo's profile (the plug-in's default).
constexpr double kReferenceRa = 0.66577765979;
constexpr double kReferenceDec = 1.55817662667;

// The mount error the simulated telescope is built with.
dscsim::SkyModel ErroneousTelescope(const astro::Site& site) {
  dscsim::SkyModel model;
  model.site = site;
  model.mount = dscsim::Mount::kEquatorial;
  model.ref_ra = kReferenceRa;
  model.ref_dec = kReferenceDec;
  model.axis1.resolution = kResolution;
  model.axis1.zero_offset = 1.2 * astro::kDegree;
  model.axis1.scale_error = 0.015;
  model.axis2.resolution = kResolution;
  model.axis2.zero_offset = -0.8 * astro::kDegree;
  model.axis2.scale_error = -0.01;
  return model;
}

// Bright stars well above the horizon and well apart, with right ascensions
// within 85 degrees of the reference point's: half a turn from it the
// right-ascension encoder's count wraps, and the telescope's error jumps by
// its scale error there.  The window holds 0h (the reference point is near
// 2.5h), and the calibration takes one star from each side of it when it
// can: its catalogue angles then lie either side of 0/2π.
std::vector<const astro::Star*> ChooseStars(const astro::Sky& sky, double ref_ra,
                                            std::size_t count) {
  const double window = 85 * astro::kDegree;
  auto usable = [&](const astro::Star& star, double min_alt) {
    const astro::Equatorial p = sky.Apparent(star);
    return sky.Observed(p).altitude >= min_alt * astro::kDegree &&
           std::fabs(p.dec) <= 75 * astro::kDegree &&
           std::fabs(astro::WrapPi(p.ra - ref_ra)) <= window;
  };
  std::vector<const astro::Star*> best;
  for (double min_alt : {25.0, 18.0, 10.0}) {
    for (double min_gap : {30.0, 20.0, 12.0}) {
      std::vector<const astro::Star*> chosen;
      auto apart = [&](const astro::Star& star) {
        for (const astro::Star* other : chosen) {
          if (astro::AngularSeparation(star.position(), other->position()) <=
              min_gap * astro::kDegree) {
            return false;
          }
        }
        return true;
      };
      // One star just before 0h and one just after, then the rest.
      for (const auto& [low, high] : {std::pair{18.0, 24.0}, std::pair{0.0, 6.0}}) {
        for (const astro::Star& star : astro::BrightStars()) {
          const double hours = sky.Apparent(star).ra / astro::kHour;
          if (hours >= low && hours < high && usable(star, min_alt) && apart(star)) {
            chosen.push_back(&star);
            break;
          }
        }
      }
      for (const astro::Star& star : astro::BrightStars()) {
        if (chosen.size() == count) return chosen;
        if (std::find(chosen.begin(), chosen.end(), &star) != chosen.end()) continue;
        if (usable(star, min_alt) && apart(star)) chosen.push_back(&star);
      }
      if (chosen.size() == count) return chosen;
      if (chosen.size() > best.size()) best = chosen;
    }
  }
  return best;
}

// The host's clock while the demo runs through a night in simulated time.
double g_simulated_now = 0.0;
double SimulatedNow() { return g_simulated_now; }

class Demo {
 public:
  explicit Demo(App& app) : app_(app), console_(app.console()) {}
  int Run();
  void Tidy();

 private:
  bool Prepare();
  void Say(const std::string& text) { console_.Line(text); }
  void Step(const std::string& title) { console_.Line("\n== " + title); }
  // Keeps the periodic update going for a while, printing each report.
  void Pump(double seconds, const std::string& what);
  // Moves the simulated telescope to a star in a slew.
  void MoveTo(const astro::Star& star);
  // Aims the simulated telescope at an apparent place (the host's sky frame).
  void PointSimulatedAt(const astro::Equatorial& p) {
    if (box_) box_->PointAt(p.ra, p.dec, astro::JulianDateNow());
  }
  static astro::Equatorial ApparentNow(const astro::Star& star) {
    return dscsim::ApparentPlace(star, astro::JulianDateNow());
  }
  // Operation 21 with the telescope (still) on the star.
  std::optional<astro::Equatorial> Measure(const astro::Star& star);
  // Six hours in simulated time after the calibration: the error of each
  // star every ten minutes.
  std::vector<NightSeries> SimulateNight(const std::vector<const astro::Star*>& stars);
  void ShowProgress(double fraction, const std::string& what);

  App& app_;
  Console& console_;
  std::unique_ptr<dscsim::Box> box_;
  astro::Equatorial pointing_{kReferenceRa, kReferenceDec};
  fs::path out_;
  fs::path config_;
};

// A folder the demo made for itself goes at the end, unless --keep.
void Demo::Tidy() {
  const Options& o = app_.options();
  if (!o.out_dir.empty() || o.keep || out_.empty()) return;
  std::error_code ec;
  fs::remove_all(out_, ec);
  Say("Removed the demo's folder " + out_.string() +
      " (--keep keeps it; --out DIR writes the pictures to a folder of your own).");
}

bool Demo::Prepare() {
  const Options& o = app_.options();
  std::error_code ec;
  if (!o.out_dir.empty()) {
    out_ = o.out_dir;
    fs::create_directories(out_, ec);
  } else {
    std::string pattern = (fs::temp_directory_path() / "velastra-demo-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) out_ = pattern;
  }
  if (out_.empty() || !fs::is_directory(out_, ec) || access(out_.c_str(), W_OK) != 0) {
    console_.Error("cannot write the demo's folder " + (out_.empty() ? o.out_dir : out_.string()));
    return false;
  }
  std::string error;
  if (!console_.OpenLog((out_ / "host.log").string(), &error)) console_.Error(error);

  // A configuration folder and profile of the demo's own.
  config_ = out_ / "config";
  fs::create_directories(config_ / "ports", ec);
  setenv("VELASTRA_CONFIG_DIR", config_.c_str(), 1);
  std::ofstream profile(config_ / "win.ini");
  profile << "[ZazuvUzarDLL]\nResRA=" << kResolution << "\nResDec=" << kResolution
          << "\nCommPort=COM1\nRefRA=0.66577765979\nRefDec=1.55817662667\nMountType=EQ\nPCode=ON\n";
  profile.close();
  if (!profile) {
    console_.Error("cannot write the demo's profile " + (config_ / "win.ini").string());
    return false;
  }

  box_ = std::make_unique<dscsim::Box>();
  if (!box_->Start(&error)) {
    console_.Error("cannot start the simulated box: " + error);
    return false;
  }
  box_->SetSkyModel(ErroneousTelescope(app_.site()));
  const std::string device = box_->SlavePath();
  Say("Simulated setting-circle box on " + device +
      " (9600 baud); its telescope has a mount error: zero offsets +1.2 and -0.8 degrees,"
      " scale errors +1.5% and -1.0%.");
  fs::remove(config_ / "ports" / "COM1", ec);
  fs::create_symlink(device, config_ / "ports" / "COM1", ec);
  if (ec) {
    console_.Error("cannot link COM1 to " + device + ": " + ec.message());
    return false;
  }
  Say("Configuration folder " + config_.string() + " (COM1 -> " + device + ")");
  return true;
}

void Demo::ShowProgress(double fraction, const std::string& what) {
  if (!console_.interactive() && isatty(STDOUT_FILENO) != 1) return;
  const int filled = static_cast<int>(fraction * 20);
  console_.Print("\r  " + what + " [" + std::string(filled, '#') + std::string(20 - filled, '.') +
                 "] " + std::to_string(static_cast<int>(fraction * 100)) + "%   ");
  if (fraction >= 1.0) console_.Print("\r" + std::string(what.size() + 34, ' ') + "\r");
}

void Demo::Pump(double seconds, const std::string& what) {
  const auto start = Clock::now();
  const auto end = start + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  while (Clock::now() < end) {
    PointSimulatedAt(pointing_);  // the mount tracks
    if (const auto report = app_.Tick()) {
      ShowProgress(1.0, what);
      Say("  position report: " + app_.DescribeReport(*report));
    }
    const double done = std::chrono::duration<double>(Clock::now() - start).count() / seconds;
    ShowProgress(std::min(done, 0.99), what);
    std::this_thread::sleep_for(std::chrono::milliseconds(kStepMilliseconds));
  }
  ShowProgress(1.0, what);
}

void Demo::MoveTo(const astro::Star& star) {
  const astro::Equatorial from = pointing_;
  const astro::Equatorial to = ApparentNow(star);
  const auto start = Clock::now();
  const std::string what = "slewing to " + std::string(star.name);
  for (;;) {
    const double t =
        std::min(std::chrono::duration<double>(Clock::now() - start).count() / kSlewSeconds, 1.0);
    const double s = t * t * (3 - 2 * t);  // accelerate, then brake
    pointing_ = {astro::WrapTwoPi(from.ra + astro::WrapPi(to.ra - from.ra) * s),
                 from.dec + (to.dec - from.dec) * s};
    PointSimulatedAt(pointing_);
    if (const auto report = app_.Tick()) {
      ShowProgress(1.0, what);
      Say("  position report: " + app_.DescribeReport(*report));
    }
    ShowProgress(t, what);
    if (t >= 1.0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStepMilliseconds));
  }
  Say("  the telescope is on " + std::string(star.name));
}

std::optional<astro::Equatorial> Demo::Measure(const astro::Star& star) {
  if (box_) PointSimulatedAt(ApparentNow(star));
  return app_.session().TelescopeObject(kHostContext);
}

std::vector<NightSeries> Demo::SimulateNight(const std::vector<const astro::Star*>& stars) {
  std::vector<NightSeries> series;
  for (const astro::Star* star : stars) series.push_back({star->name, {}, {}});
  const astro::Site site = app_.site();
  const double start = astro::JulianDateNow();
  astro::vl::SetContextClock(kHostContext, site, &SimulatedNow, app_.options().atmosphere);
  for (int minutes = 0; minutes <= 360; minutes += 10) {
    g_simulated_now = start + minutes / 1440.0;
    app_.session().SetTime(astro::SiderealDayNumber(g_simulated_now));
    const astro::Sky sky(g_simulated_now, site, app_.options().atmosphere);
    for (std::size_t i = 0; i < stars.size(); ++i) {
      const astro::Equatorial truth = sky.Apparent(*stars[i]);
      if (sky.Observed(truth).altitude < 5 * astro::kDegree) continue;  // set: out of reach
      box_->PointAt(truth.ra, truth.dec, g_simulated_now);
      if (const auto reported = app_.session().TelescopeObject(kHostContext)) {
        series[i].hours.push_back(minutes / 60.0);
        series[i].error_arcmin.push_back(astro::AngularSeparation(*reported, truth) /
                                         astro::kArcminute);
      }
    }
  }
  // Back to the real clock.
  astro::vl::SetContextClock(kHostContext, site, astro::JulianDateNow, app_.options().atmosphere);
  app_.SendTime();
  return series;
}

int Demo::Run() {
  Say("velastra-host demo: the telescope controller plug-in, a setting-circle box and a"
      " telescope with a mount error, from connecting to a calibrated telescope.");
  if (!Prepare()) return 1;
  if (!app_.Start()) return 1;
  Session& session = app_.session();

  Step("Connect (operation 26) and switch position reports on (operation 28)");
  if (box_) {
    box_->SetConnectTime(astro::JulianDateNow());
    PointSimulatedAt(pointing_);
  }
  app_.SendTime();
  session.Connect();
  if (!session.connected()) {
    console_.Error("the plug-in could not connect to the box; see the message box above");
    return 1;
  }
  Say("Connected on COM1.");
  session.ToggleReporting();
  Say(std::string("Position reports are ") + (session.reporting() ? "on." : "off."));
  Pump(2.2, "waiting for reports");

  const std::vector<const astro::Star*> stars =
      ChooseStars(app_.SkyNow(), kReferenceRa, kCalibrationStars + 1);
  if (stars.size() < 4) {
    console_.Error("too few bright stars are above the horizon at this site just now");
    return 1;
  }
  const std::size_t calibration_count = stars.size() - 1;
  std::vector<ChartStar> chart;

  Step("Add and sight " + std::to_string(calibration_count) +
       " calibration stars (object menu: Add to Calibrate List, Sight Object)");
  for (std::size_t i = 0; i < calibration_count; ++i) {
    const astro::Star& star = *stars[i];
    MoveTo(star);
    Pump(1.1, "settling on " + std::string(star.name));
    ChartStar entry{star.name, ApparentNow(star), {}, {}, false};
    if (const auto before = Measure(star)) entry.before = *before;
    app_.ObjectCommand(kCmdAdd, star.name);
    if (box_) PointSimulatedAt(ApparentNow(star));
    app_.ObjectCommand(kCmdSight, star.name);
    Say("  reported " + app_.DescribeSky(entry.before) + "; off by " +
        FormatArcmin(astro::AngularSeparation(entry.catalogue, entry.before)));
    chart.push_back(entry);
  }

  const astro::Star& check = *stars.back();
  Step("A further star before calibration: " + std::string(check.name));
  MoveTo(check);
  ChartStar check_entry{check.name, ApparentNow(check), {}, {}, true};
  if (const auto before = Measure(check)) check_entry.before = *before;
  Say("  reported " + app_.DescribeSky(check_entry.before) + "; off by " +
      FormatArcmin(astro::AngularSeparation(check_entry.catalogue, check_entry.before)));

  Step("Calibrate (object menu: Calibrate Telescope)");
  const std::size_t boxes_before = Ws().boxes().size();
  app_.ObjectCommand(kCmdCalibrate, "");
  if (Ws().boxes().size() == boxes_before) Say("  (the plug-in showed no result box)");

  Step("The same stars after calibration");
  if (const auto after = Measure(check)) check_entry.after = *after;
  for (std::size_t i = 0; i < calibration_count; ++i) {
    if (const auto after = Measure(*stars[i])) chart[i].after = *after;
  }
  chart.push_back(check_entry);
  Pump(1.1, "reporting");
  Say("");
  // The right ascensions show which stars lie either side of 0h: their
  // angles straddle 0/2π, and the calibration fits them on one branch.
  Say("  star            RA     error before   error after");
  const ChartStar* early = nullptr;
  const ChartStar* late = nullptr;
  for (const ChartStar& s : chart) {
    if (s.check) continue;
    if (s.catalogue.ra < astro::kPi && early == nullptr) early = &s;
    if (s.catalogue.ra >= astro::kPi && late == nullptr) late = &s;
  }
  for (const ChartStar& s : chart) {
    char line[160];
    std::snprintf(line, sizeof line, "  %-12s  %5.2fh  %12s  %12s%s", s.name.c_str(),
                  s.catalogue.ra / astro::kHour,
                  FormatArcmin(astro::AngularSeparation(s.catalogue, s.before)).c_str(),
                  FormatArcmin(astro::AngularSeparation(s.catalogue, s.after)).c_str(),
                  s.check ? "   (not a calibration star)" : "");
    Say(line);
  }
  if (early != nullptr && late != nullptr) {
    Say("  " + late->name + " and " + early->name +
        " lie either side of 0h: one calibration across the wrap of right ascension.");
  }

  std::vector<NightSeries> night;
  if (box_) {
    Step("Six hours of the night in simulated time, the calibration unchanged");
    night = SimulateNight(stars);
    for (const NightSeries& s : night) {
      double worst = 0.0;
      for (double e : s.error_arcmin) worst = std::max(worst, e);
      char line[128];
      std::snprintf(line, sizeof line, "  %-12s  worst error %5.1f' over %zu checks",
                    s.name.c_str(), worst, s.error_arcmin.size());
      Say(line);
    }
  }

  Step("Pictures");
  const std::string page = (out_ / "diagnostics-page.png").string();
  const std::string chart_path = (out_ / "calibration-chart.png").string();
  app_.SavePage(page);
  std::string error;
  if (WriteCalibrationChart(chart, app_.text(), chart_path, &error)) {
    Say("Saved the calibration chart to " + chart_path);
  } else {
    console_.Error("cannot write " + chart_path + ": " + error);
  }
  const std::string night_path = (out_ / "night-errors.png").string();
  if (!night.empty()) {
    const double two_counts = 2.0 * astro::kTwoPi / kResolution / astro::kArcminute;
    if (WriteNightChart(night, two_counts, app_.text(), night_path, &error)) {
      Say("Saved the night's errors to " + night_path);
    } else {
      console_.Error("cannot write " + night_path + ": " + error);
    }
  }
  session.Disconnect();
  Say("\nDone.  The diagnostics page as the plug-in drew it: " + page);
  Say("The calibration chart: " + chart_path);
  if (!night.empty()) Say("The night's errors: " + night_path);
  Say("The host's log: " + (out_ / "host.log").string());
  return 0;
}

}  // namespace

int RunDemo(App& app) {
  Demo demo(app);
  const int code = demo.Run();
  demo.Tidy();
  return code;
}

}  // namespace host
