// The demonstration.  With the simulated box: a box on a pseudo-terminal in
// this process, with an alt-azimuth telescope built as real ones are (its
// base tilted, its axes off square, its tube off its axis, its encoders off
// scale), is linked as COM1 in a configuration folder of the demo's own.  The
// plug-in calibrates it with both of its pointing models, switched through
// its dialog, and the demo measures each across the sky and through a night.
// (With --port the demo runs with a real box instead: guide.cpp.)
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
#include "guide.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kCmdCalibrate = 20001;
constexpr std::uint32_t kCmdAdd = 20002;
constexpr std::uint32_t kCmdSight = 20004;
constexpr int kCalibrationStars = 5;
constexpr int kResolution = 8192;
constexpr double kSlewSeconds = 2.0;
constexpr int kStepMilliseconds = 100;
constexpr int kSkyDirections = 150;

// The reference point of the demo's profile (the plug-in's default).
constexpr double kReferenceRa = 0.66577765979;
constexpr double kReferenceDec = 1.55817662667;

// The simulated telescope: an alt-azimuth mount with a real one's errors.
dscsim::SkyModel ErroneousTelescope(const astro::Site& site) {
  dscsim::SkyModel model;
  model.site = site;
  model.mount = dscsim::Mount::kAltAzimuth;
  model.ref_ra = kReferenceRa;
  model.ref_dec = kReferenceDec;
  model.axis1 = {kResolution, 0.005, 1.2 * astro::kDegree};
  model.axis2 = {kResolution, 0.005, -0.8 * astro::kDegree};
  model.geometry.tilt = 1.0 * astro::kDegree;
  model.geometry.tilt_azimuth = 200 * astro::kDegree;
  model.geometry.non_perpendicularity = 0.3 * astro::kDegree;
  model.geometry.collimation = 0.3 * astro::kDegree;
  return model;
}

// Error of a reported position, arcminutes: on the horizon, as the telescope
// sees the sky.
double ErrorArcmin(const astro::Sky& sky, const astro::Equatorial& reported,
                   const astro::Equatorial& truth) {
  const astro::Horizontal a = sky.Observed(reported), b = sky.Observed(truth);
  return astro::AngularSeparation({a.azimuth, a.altitude}, {b.azimuth, b.altitude}) /
         astro::kArcminute;
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
  std::vector<NightSeries> SimulateNight(const std::vector<const astro::Star*>& stars,
                                         const std::string& model, bool dashed);
  // The error of each of a grid of directions above 15 degrees, arcminutes.
  std::vector<double> MeasureSky();
  // Calibrates with the pointing model named; false when the plug-in did not.
  bool CalibrateWith(bool mount_model);
  // The steps of Run that stand on their own: connecting with reports on,
  // the table of errors, and the pictures (the page's path).
  bool ConnectAndReport();
  void PrintResults(const std::vector<ChartStar>& chart, const std::vector<double>& sky_axes,
                    const std::vector<double>& sky_mount, bool have_mount,
                    const std::vector<NightSeries>& night);
  std::string SavePictures(const std::vector<ChartStar>& chart,
                           const std::vector<NightSeries>& night);
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
          << "\nCommPort=COM1\nRefRA=0.66577765979\nRefDec=1.55817662667\nMountType=AA\nPCode=ON\n"
          << "PointModel=AXES\n";
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
      " (9600 baud); its alt-azimuth telescope is built as real ones are: the base tilted 1"
      " degree, the axes 0.3 degree off square, the tube 0.3 degree off its axis, the encoders"
      " 0.5% off scale, zero offsets +1.2 and -0.8 degrees.");
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

std::vector<NightSeries> Demo::SimulateNight(const std::vector<const astro::Star*>& stars,
                                             const std::string& model, bool dashed) {
  std::vector<NightSeries> series;
  for (const astro::Star* star : stars) {
    series.push_back({std::string(star->name) + " (" + model + ")", {}, {}, dashed});
  }
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
        series[i].error_arcmin.push_back(ErrorArcmin(sky, *reported, truth));
      }
    }
  }
  // Back to the real clock.
  astro::vl::SetContextClock(kHostContext, site, astro::JulianDateNow, app_.options().atmosphere);
  app_.SendTime();
  return series;
}

std::vector<double> Demo::MeasureSky() {
  std::vector<double> errors;
  const astro::Sky sky = app_.SkyNow();
  const double low = std::sin(15 * astro::kDegree);
  for (int i = 0; i < kSkyDirections; ++i) {
    const double z = low + (1.0 - low) * (i + 0.5) / kSkyDirections;
    const astro::Horizontal h{astro::WrapTwoPi(i * astro::kPi * (3.0 - std::sqrt(5.0))),
                              std::asin(z)};
    const astro::Equatorial truth = sky.FromObserved(h);
    box_->PointAt(truth.ra, truth.dec, sky.julian_date());
    if (const auto reported = app_.session().TelescopeObject(kHostContext)) {
      errors.push_back(ErrorArcmin(sky, *reported, truth));
    }
  }
  std::sort(errors.begin(), errors.end());
  return errors;
}

bool Demo::CalibrateWith(bool mount_model) {
  if (!SetPointModel(app_, mount_model)) return false;
  Say(mount_model ? "The plug-in fits the mount model (PointModel MOUNT)."
                  : "The plug-in fits six coefficients (PointModel AXES).");
  const std::size_t boxes_before = Ws().boxes().size();
  app_.ObjectCommand(kCmdCalibrate, "");
  for (std::size_t i = boxes_before; i < Ws().boxes().size(); ++i) {
    if (Ws().boxes()[i].caption == "Telecope Calibrated") return true;
  }
  Say("  (the plug-in did not calibrate: see its box above)");
  return false;
}

// Median, 95th percentile and largest of sorted errors, as text.
std::string Summary(const std::vector<double>& sorted) {
  if (sorted.empty()) return "no positions";
  auto at = [&](double q) {
    return sorted[static_cast<std::size_t>(std::lround(q * (sorted.size() - 1)))];
  };
  char text[96];
  std::snprintf(text, sizeof text, "median %5.1f'  95%% %6.1f'  largest %6.1f'", at(0.5), at(0.95),
                sorted.back());
  return text;
}

bool Demo::ConnectAndReport() {
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
  return true;
}

void Demo::PrintResults(const std::vector<ChartStar>& chart, const std::vector<double>& sky_axes,
                        const std::vector<double>& sky_mount, bool have_mount,
                        const std::vector<NightSeries>& night) {
  Say("");
  Say("  star          error before   six coefficients   mount model");
  for (const ChartStar& s : chart) {
    const std::string mount =
        s.has_mount ? FormatArcmin(astro::AngularSeparation(s.catalogue, s.after_mount)) : "-";
    char line[200];
    std::snprintf(line, sizeof line, "  %-12s  %12s  %17s  %12s%s", s.name.c_str(),
                  FormatArcmin(astro::AngularSeparation(s.catalogue, s.before)).c_str(),
                  FormatArcmin(astro::AngularSeparation(s.catalogue, s.after)).c_str(),
                  mount.c_str(), s.check ? "   (not a calibration star)" : "");
    Say(line);
  }
  Say("");
  Say("  Across the sky above 15 degrees (" + std::to_string(kSkyDirections) + " directions):");
  Say("    six coefficients: " + Summary(sky_axes));
  if (have_mount) Say("    mount model:      " + Summary(sky_mount));
  if (box_) {
    Say("");
    Say("  Six hours of the night in simulated time, each calibration unchanged:");
    for (const NightSeries& s : night) {
      double worst = 0.0;
      for (double e : s.error_arcmin) worst = std::max(worst, e);
      char line[160];
      std::snprintf(line, sizeof line, "    %-30s  worst error %6.1f' over %zu checks",
                    s.name.c_str(), worst, s.error_arcmin.size());
      Say(line);
    }
    Say("  A star crossing the south meridian crosses the azimuth counter's seam, half a turn"
        " from the reference point: there the counter's 0.5% scale error leaves an arc where"
        " one count stands for two places, and no model can place the telescope.");
  }
}

std::string Demo::SavePictures(const std::vector<ChartStar>& chart,
                               const std::vector<NightSeries>& night) {
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
  return page;
}

int Demo::Run() {
  Say("velastra-host demo: the telescope controller plug-in, a setting-circle box and a"
      " telescope with a real mount's errors, from connecting to a calibrated telescope, with"
      " both of the plug-in's pointing models.");
  if (!Prepare()) return 1;
  if (!app_.Start()) return 1;
  Session& session = app_.session();

  if (!ConnectAndReport()) return 1;

  // Well spread, away from the azimuth counter's seam (half a turn from the
  // reference point), where its scale error leaves a thin arc no model can
  // place.
  const double jd = astro::JulianDateNow();
  const double reference_azimuth =
      AxesOf({kReferenceRa, kReferenceDec}, true, app_.site(), jd).first;
  const std::vector<const astro::Star*> stars =
      ChooseCalibrationStars(app_.site(), jd, true, reference_azimuth, kCalibrationStars);
  const std::vector<const astro::Star*> further =
      ChooseCalibrationStars(app_.site(), jd, true, reference_azimuth, 1, stars);
  if (stars.size() < 4 || further.empty()) {
    console_.Error("too few bright stars are above the horizon at this site just now");
    return 1;
  }
  std::vector<ChartStar> chart;

  Step("Add and sight " + std::to_string(stars.size()) +
       " calibration stars (object menu: Add to Calibrate List, Sight Object)");
  for (const astro::Star* star : stars) {
    MoveTo(*star);
    Pump(0.6, "settling on " + std::string(star->name));
    ChartStar entry{star->name, ApparentNow(*star), {}, {}, false};
    if (const auto before = Measure(*star)) entry.before = *before;
    app_.ObjectCommand(kCmdAdd, star->name);
    if (box_) PointSimulatedAt(ApparentNow(*star));
    app_.ObjectCommand(kCmdSight, star->name);
    Say("  reported " + app_.DescribeSky(entry.before) + "; off by " +
        FormatArcmin(astro::AngularSeparation(entry.catalogue, entry.before)));
    chart.push_back(entry);
  }
  const astro::Star& check = *further.front();
  Step("A further star before calibration: " + std::string(check.name));
  MoveTo(check);
  ChartStar check_entry{check.name, ApparentNow(check), {}, {}, true};
  if (const auto before = Measure(check)) check_entry.before = *before;
  Say("  reported " + app_.DescribeSky(check_entry.before) + "; off by " +
      FormatArcmin(astro::AngularSeparation(check_entry.catalogue, check_entry.before)));
  chart.push_back(check_entry);
  std::vector<const astro::Star*> measured = stars;
  measured.push_back(&check);

  // Each model in turn: calibrate, then every star, the sky and the night.
  std::vector<double> sky_axes, sky_mount;
  std::vector<NightSeries> night;
  bool have_mount = false;
  for (const bool mount_model : {false, true}) {
    Step(mount_model ? "Calibrate with the mount model (the dialog's \"Mount model\" box)"
                     : "Calibrate with the six coefficients (object menu: Calibrate Telescope)");
    if (!CalibrateWith(mount_model)) continue;
    for (std::size_t i = 0; i < chart.size(); ++i) {
      if (const auto after = Measure(*measured[i])) {
        (mount_model ? chart[i].after_mount : chart[i].after) = *after;
        chart[i].has_mount = chart[i].has_mount || mount_model;
      }
    }
    (mount_model ? sky_mount : sky_axes) = MeasureSky();
    have_mount = have_mount || mount_model;
    if (box_) {
      const std::vector<NightSeries> n =
          SimulateNight(measured, mount_model ? "mount model" : "six coefficients", !mount_model);
      night.insert(night.end(), n.begin(), n.end());
    }
  }
  Pump(1.1, "reporting");
  PrintResults(chart, sky_axes, sky_mount, have_mount, night);

  const std::string page = SavePictures(chart, night);
  session.Disconnect();
  Say("\nDone.  The diagnostics page as the plug-in drew it: " + page);
  Say("The calibration chart: " + (out_ / "calibration-chart.png").string());
  if (!night.empty()) Say("The night's errors: " + (out_ / "night-errors.png").string());
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
