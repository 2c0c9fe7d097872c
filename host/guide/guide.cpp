#include "guide.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "app.h"
#include "chart.h"
#include "format.h"
#include "port_check.h"

namespace host {
namespace {

namespace fs = std::filesystem;

// A catalogue star in the plug-in's sky frame: its apparent place of the date.
astro::Equatorial ApparentOf(const astro::Star& star, const astro::Site& site, double julian_date) {
  return astro::Sky(julian_date, site).Apparent(star);
}

// A first-axis angle measured from the counter's seam, half a turn from the
// reference point, where the box's counts wrap: 0 to 2π, the seam at both ends.
double FromSeam(double first, double reference_first) {
  return astro::WrapTwoPi(first - reference_first - astro::kPi);
}

// Object menu command ids of the plug-in.
constexpr std::uint32_t kCmdCalibrate = 20001;
constexpr std::uint32_t kCmdAdd = 20002;
constexpr std::uint32_t kCmdRemove = 20003;
constexpr std::uint32_t kCmdSight = 20004;

constexpr int kStepMilliseconds = 100;
constexpr double kLowestSky = 15.0;  // degrees: the sky the span is measured against

// The plug-in's default reference point.
constexpr double kDefaultRefRa = 0.665777659788;
constexpr double kDefaultRefDec = 1.55817662667;

double ProfileNumber(const char* key, double fallback) {
  const std::string text = ProfileValue(key, "");
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return end != text.c_str() ? value : fallback;
}

bool AltAzimuthMount() { return ProfileValue("MountType", "EQ") == "AA"; }

astro::Equatorial ReferencePoint() {
  return {ProfileNumber("RefRA", kDefaultRefRa), ProfileNumber("RefDec", kDefaultRefDec)};
}

// Great-circle angle between two axis pairs (longitude, latitude alike).
double Separation(const AxisPair& a, const AxisPair& b) {
  return astro::AngularSeparation({a.first, a.second}, {b.first, b.second});
}

std::string FormatSpan(double low, double high, bool alt_azimuth, bool first) {
  if (first && !alt_azimuth) {
    char text[48];
    std::snprintf(text, sizeof text, "%02.0fh-%02.0fh", std::floor(low / astro::kHour),
                  std::ceil(high / astro::kHour));
    return text;
  }
  char text[48];
  std::snprintf(text, sizeof text, "%+.0f\u00b0 to %+.0f\u00b0", low / astro::kDegree,
                high / astro::kDegree);
  return text;
}

// One calibration star as the person sighted it.
struct Sighting {
  const astro::Star* star = nullptr;
  AxisPair catalogue;  // what the fit aims at, at the time of sighting
  AxisPair reported_axes;
  astro::Equatorial reported;
  double julian_date = 0.0;
};

class Guide {
 public:
  explicit Guide(App& app)
      : app_(app),
        console_(app.console()),
        alt_azimuth_(AltAzimuthMount()),
        reference_(ReferencePoint()) {}

  enum class Answer { kGo, kSkip, kStop };

  // Prints the request and keeps the periodic update going until the person
  // answers: Enter to go on, s to skip, q to stop.
  Answer WaitForPerson(const std::string& request, bool skippable) {
    console_.Line(request +
                  (skippable ? "  (Enter: done, s: skip, q: stop)" : "  (Enter: done, q: stop)"));
    for (;;) {
      if (console_.interactive()) console_.Prompt("> ");
      std::optional<std::string> line;
      while (!(line = console_.ReadLine(kStepMilliseconds))) {
        if (console_.at_end()) return Answer::kStop;
        app_.Tick();
      }
      std::string answer = *line;
      answer.erase(0, answer.find_first_not_of(' '));
      answer.erase(answer.find_last_not_of(' ') + 1);
      if (!console_.interactive()) console_.Line("> " + answer);
      if (answer.empty()) return Answer::kGo;
      if (answer == "q" || answer == "quit" || answer == "stop") return Answer::kStop;
      if (skippable && (answer == "s" || answer == "skip")) return Answer::kSkip;
      console_.Line(skippable ? "Press Enter when the telescope is there, s to skip, q to stop."
                              : "Press Enter when the telescope is there, q to stop.");
    }
  }

  std::string Where(const astro::Equatorial& p) const {
    const astro::Horizontal h =
        astro::EquatorialToHorizontal(p, app_.site(), astro::JulianDateNow());
    return "Az " + FormatDegrees(h.azimuth, 1) + ", Alt " + FormatDegrees(h.altitude, 1) + "; RA " +
           FormatRa(p.ra) + ", Dec " + FormatDms(p.dec) + " (apparent place, of date)";
  }

  bool PointAtReferenceAndConnect() {
    Session& session = app_.session();
    if (!session.connected()) {
      double away = 0.0;
      const astro::Star* near = astro::NearestStar(reference_, &away);
      std::string name = "the reference point";
      if (near != nullptr && away < 2 * astro::kDegree) {
        name += " (" + FormatDegrees(away, 1) + " from " + near->name + ")";
      }
      console_.Line(
          "The encoders count from the reference point: the telescope must point "
          "there when the link opens.");
      if (WaitForPerson("Point the telescope at " + name + ": " + Where(reference_) + ".", false) ==
          Answer::kStop) {
        return false;
      }
      if (!app_.Connect()) {
        console_.Line("Not connected.  Put the port right (check-port), then try again.");
        return false;
      }
      console_.Line("Connected.");
    }
    if (!session.reporting()) session.ToggleReporting();
    console_.Line("Position reports are on.");
    return true;
  }

  std::vector<const astro::Star*> Choose(std::size_t count,
                                         std::span<const astro::Star* const> exclude = {}) {
    const double jd = astro::JulianDateNow();
    const double reference_first = AxesOf(reference_, alt_azimuth_, app_.site(), jd).first;
    return ChooseCalibrationStars(app_.site(), jd, alt_azimuth_, reference_first, count, exclude);
  }

  // The span the stars cover, and a warning when most of the sky lies outside it.
  void DescribeSpan(std::span<const astro::Star* const> stars) {
    const double jd = astro::JulianDateNow();
    const double reference_first = AxesOf(reference_, alt_azimuth_, app_.site(), jd).first;
    const Span s = SpanOf(stars, app_.site(), jd, alt_azimuth_, reference_first);
    const double outside = SkyOutsideSpan(stars, app_.site(), jd, alt_azimuth_, reference_first);
    // Back from the seam to the axis's own angles; the span may run across 0.
    const double low_first = astro::WrapTwoPi(s.low.first + reference_first + astro::kPi);
    const double high_first = astro::WrapTwoPi(s.high.first + reference_first + astro::kPi);
    const std::string span = (alt_azimuth_ ? "Az " : "RA ") +
                             FormatSpan(low_first, high_first, alt_azimuth_, true) +
                             (alt_azimuth_ ? ", Alt " : ", Dec ") +
                             FormatSpan(s.low.second, s.high.second, alt_azimuth_, false);
    char share[16];
    std::snprintf(share, sizeof share, "%.0f%%", outside * 100);
    console_.Line("They span " + span + ".");
    if (outside > 0.5) {
      console_.Line("Warning: " + std::string(share) +
                    " of the sky above 15\u00b0 lies outside that span.  There the fit "
                    "extrapolates" +
                    (MountModelInForce() ? ": expect larger errors outside it"
                                         : ", and a quadratic extrapolates badly: expect large "
                                           "errors outside it") +
                    ", or sight stars further apart.");
    }
  }

  // Points the person at a star; then the position the plug-in reports
  // (operation 21), and the uncorrected angles it sees.
  std::optional<Sighting> Measure(const astro::Star& star, const std::string& why, Answer* answer) {
    *answer = WaitForPerson(why + " " + star.name + ": " +
                                Where(ApparentOf(star, app_.site(), astro::JulianDateNow())) + ".",
                            true);
    if (*answer != Answer::kGo) return std::nullopt;
    const auto reported = app_.session().TelescopeObject(kHostContext);
    if (!reported) {
      console_.Line("  The plug-in gave no position.");
      return std::nullopt;
    }
    Sighting s;
    s.star = &star;
    s.julian_date = astro::JulianDateNow();
    s.reported = *reported;
    s.catalogue = AxesOf(ApparentOf(star, app_.site(), s.julian_date), alt_azimuth_, app_.site(),
                         s.julian_date);
    s.reported_axes = AxesOf(*reported, alt_azimuth_, app_.site(), s.julian_date);
    return s;
  }

  // Adds and sights each star as the person points at it; false when stopped.
  bool SightAll(const std::vector<const astro::Star*>& stars) {
    for (const astro::Star* star : stars) {
      Answer answer;
      std::optional<Sighting> s = Measure(*star, "Point the telescope at", &answer);
      if (answer == Answer::kStop) return false;
      if (!s) continue;
      app_.ObjectCommand(kCmdAdd, star->name);
      app_.ObjectCommand(kCmdSight, star->name);
      console_.Line("  reported " + app_.DescribeSky(s->reported) + "; off by " +
                    FormatArcmin(astro::AngularSeparation(
                        ApparentOf(*star, app_.site(), s->julian_date), s->reported)));
      sightings_.push_back(*s);
    }
    return true;
  }

  bool Calibrate() {
    if (sightings_.size() < 2) {
      console_.Line(
          "Too few stars were sighted to calibrate (two at least, three for a "
          "quadratic fit).");
      return false;
    }
    const std::size_t boxes = Ws().boxes().size();
    app_.ObjectCommand(kCmdCalibrate, "");
    for (std::size_t i = boxes; i < Ws().boxes().size(); ++i) {
      if (Ws().boxes()[i].caption == "Telecope Calibrated") return true;
    }
    console_.Line("The plug-in did not calibrate (see its box above).");
    return false;
  }

  // Each calibration star's residual, measured: the person points at each
  // again and the plug-in reports where the calibrated telescope points.
  // The host keeps no copy of the plug-in's model; what it shows of the
  // calibration is the plug-in's own box and these positions.  False when
  // stopped.
  bool MeasureResiduals() {
    std::vector<Sighting> again;
    for (const Sighting& first : sightings_) {
      Answer answer;
      std::optional<Sighting> s = Measure(*first.star, "Point the telescope again at", &answer);
      if (answer == Answer::kStop) return false;
      if (s) again.push_back(*s);
    }
    const char* first = alt_azimuth_ ? "Az" : "RA";
    const char* second = alt_azimuth_ ? "Alt" : "Dec";
    char head[128];
    std::snprintf(head, sizeof head, "  %-12s  %9s  %10s  %10s", "star", "residual", first, second);
    console_.Line("Residuals of the fit at the calibration stars (each pointed at again):");
    console_.Line(head);
    for (const Sighting& s : again) {
      const double d1 = astro::WrapPi(s.reported_axes.first - s.catalogue.first) *
                        std::cos(s.catalogue.second) / astro::kArcminute;
      const double d2 = (s.reported_axes.second - s.catalogue.second) / astro::kArcminute;
      char line[160];
      std::snprintf(line, sizeof line, "  %-12s  %8.1f'  %+9.1f'  %+9.1f'", s.star->name,
                    Separation(s.reported_axes, s.catalogue) / astro::kArcminute, d1, d2);
      console_.Line(line);
    }
    if (sightings_.size() == 3 && !MountModelInForce()) {
      console_.Line(
          "  (three stars: the quadratic passes through each, so these show the encoders' "
          "steps and your pointing, and say nothing of the error elsewhere)");
    }
    return true;
  }

  // Says which pointing model the plug-in fits, and offers the other.
  void DescribeModel() {
    if (MountModelInForce()) {
      console_.Line(
          "Pointing model: the mount model (PointModel MOUNT: a rotation of the mount's axes, "
          "their mechanical errors and the encoders' scales).  'guide N axes' fits six "
          "coefficients instead.");
    } else {
      console_.Line(
          "Pointing model: six coefficients, a quadratic per axis (PointModel AXES).  'guide N "
          "mount' fits the mount model instead: a tilted base or a polar axis off the pole, axes "
          "off square and collimation.");
    }
  }

  // The error at a star the person points at after calibrating.
  std::optional<Sighting> Check(const astro::Star& star, Answer* answer) {
    std::optional<Sighting> s = Measure(star, "To check, point the telescope at", answer);
    if (!s) return s;
    const double error =
        astro::AngularSeparation(ApparentOf(star, app_.site(), s->julian_date), s->reported);
    console_.Line("  reported " + app_.DescribeSky(s->reported));
    console_.Line("  error at " + std::string(star.name) + ": " + FormatArcmin(error));
    return s;
  }

  bool Run(std::size_t count, std::optional<bool> mount_model) {
    console_.Line("\n== Guided session: calibrate the telescope with " + std::to_string(count) +
                  " stars (" + (alt_azimuth_ ? "alt-azimuth" : "equatorial") + " mount)");
    if (mount_model && !SetPointModel(app_, *mount_model)) return false;
    DescribeModel();
    if (!PointAtReferenceAndConnect()) return false;
    const std::vector<const astro::Star*> stars = Choose(count);
    if (stars.size() < 2) {
      console_.Line("Too few bright stars are up at this site just now.");
      return false;
    }
    console_.Line("Calibration stars, up and well apart:");
    for (const astro::Star* s : stars) {
      char name[24];
      std::snprintf(name, sizeof name, "  %-12s  ", s->name);
      console_.Line(name + Where(ApparentOf(*s, app_.site(), astro::JulianDateNow())));
    }
    DescribeSpan(stars);
    // A calibration fits the whole list: earlier stars go, so that it fits
    // this session's sightings alone.
    const std::vector<std::string> earlier = app_.listed();
    for (const std::string& name : earlier) app_.ObjectCommand(kCmdRemove, name);
    if (!SightAll(stars) || !Calibrate() || !MeasureResiduals()) return false;
    const std::vector<const astro::Star*> check = Choose(1, stars);
    if (!check.empty()) {
      Answer answer;
      Check(*check.front(), &answer);
      if (answer == Answer::kStop) return false;
    }
    console_.Line(
        "Calibrated.  'check STAR' measures the error at another star; 'guide' "
        "calibrates again.");
    return true;
  }

  int Demo();

 private:
  App& app_;
  Console& console_;
  bool alt_azimuth_;
  astro::Equatorial reference_;
  std::vector<Sighting> sightings_;
};

// The demo with a real box: the guided session, and then every star pointed
// at again, so that "error after" is what the calibrated telescope reports.
int Guide::Demo() {
  const Options& o = app_.options();
  std::error_code ec;
  fs::path out = o.out_dir;
  if (out.empty()) {
    std::string pattern = (fs::temp_directory_path() / "velastra-demo-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) out = pattern;
  } else {
    fs::create_directories(out, ec);
  }
  if (out.empty() || !fs::is_directory(out, ec) || access(out.c_str(), W_OK) != 0) {
    console_.Error("cannot write the demo's folder " + (out.empty() ? o.out_dir : out.string()));
    return 1;
  }
  std::string error;
  if (!console_.OpenLog((out / "host.log").string(), &error)) console_.Error(error);

  console_.Line("velastra-host demo with the setting-circle box on " + o.port +
                ": from connecting to a calibrated telescope.  You point the telescope "
                "where the demo asks and press Enter.");
  if (!app_.Start()) return 1;
  // The person's own settings (resolutions, mount, reference point) fit
  // their box; the port they name gets the profile's port name.
  alt_azimuth_ = AltAzimuthMount();
  reference_ = ReferencePoint();
  const std::string port = ProfilePort();
  if (!app_.LinkPort(port, o.port)) return 1;
  app_.ExplainPort(port);

  console_.Line("\n== Connect (operation 26) and switch position reports on (operation 28)");
  if (!PointAtReferenceAndConnect()) return 1;

  std::vector<const astro::Star*> stars = Choose(4);
  if (stars.size() < 3) {
    console_.Error("too few bright stars are above the horizon at this site just now");
    return 1;
  }
  const std::vector<const astro::Star*> check = Choose(1, stars);
  console_.Line("\n== Add and sight " + std::to_string(stars.size()) + " calibration stars");
  DescribeSpan(stars);
  if (!SightAll(stars)) return 1;

  std::vector<ChartStar> chart;
  for (const Sighting& s : sightings_) {
    chart.push_back({s.star->name, ApparentOf(*s.star, app_.site(), s.julian_date), s.reported,
                     s.reported, false});
  }
  Answer answer = Answer::kGo;
  std::optional<Sighting> check_before;
  if (!check.empty()) {
    console_.Line("\n== A further star before calibration: " + std::string(check.front()->name));
    check_before = Measure(*check.front(), "Point the telescope at", &answer);
    if (answer == Answer::kStop) return 1;
    if (check_before) {
      chart.push_back({check.front()->name,
                       ApparentOf(*check.front(), app_.site(), check_before->julian_date),
                       check_before->reported, check_before->reported, true});
    }
  }

  console_.Line("\n== Calibrate (object menu: Calibrate Telescope)");
  DescribeModel();
  if (!Calibrate()) return 1;

  console_.Line("\n== The same stars after calibration: point at each again");
  std::vector<bool> pointed(chart.size(), false);
  for (std::size_t i = 0; i < chart.size(); ++i) {
    const astro::Star* star = astro::FindStar(chart[i].name);
    const std::optional<Sighting> s = Measure(*star, "Point the telescope again at", &answer);
    if (answer == Answer::kStop) break;
    if (s) chart[i].after = s->reported, pointed[i] = true;
  }
  console_.Line("");
  console_.Line(
      "  star          error before   error after   (each pointed at by hand both times)");
  for (std::size_t i = 0; i < chart.size(); ++i) {
    const ChartStar& s = chart[i];
    char line[160];
    std::snprintf(line, sizeof line, "  %-12s  %12s  %12s%s", s.name.c_str(),
                  FormatArcmin(astro::AngularSeparation(s.catalogue, s.before)).c_str(),
                  pointed[i] ? FormatArcmin(astro::AngularSeparation(s.catalogue, s.after)).c_str()
                             : "skipped",
                  s.check ? "   (not a calibration star)" : "");
    console_.Line(line);
  }
  const std::string page = (out / "diagnostics-page.png").string();
  const std::string chart_path = (out / "calibration-chart.png").string();
  app_.SavePage(page);
  if (WriteCalibrationChart(chart, app_.text(), chart_path, &error)) {
    console_.Line("Saved the calibration chart to " + chart_path);
  } else {
    console_.Error("cannot write " + chart_path + ": " + error);
  }
  app_.session().Disconnect();
  console_.Line("\nDone.  The diagnostics page: " + page);
  console_.Line("The host's log: " + (out / "host.log").string());
  return 0;
}

}  // namespace

AxisPair AxesOf(const astro::Equatorial& p, bool alt_azimuth, const astro::Site& site,
                double julian_date) {
  if (!alt_azimuth) return {astro::WrapTwoPi(p.ra), p.dec};
  const astro::Horizontal h = astro::EquatorialToHorizontal(p, site, julian_date);
  return {h.azimuth, h.altitude};
}

std::vector<const astro::Star*> ChooseCalibrationStars(
    const astro::Site& site, double julian_date, bool alt_azimuth, double reference_first,
    std::size_t count, std::span<const astro::Star* const> exclude) {
  const double margin = 5 * astro::kDegree;
  std::vector<const astro::Star*> best;
  double best_outside = 2.0;
  for (double min_alt : {30.0, 20.0, kLowestSky}) {
    std::vector<const astro::Star*> candidates;
    for (const astro::Star& star : astro::BrightStars()) {
      if (std::find(exclude.begin(), exclude.end(), &star) != exclude.end()) continue;
      const astro::Equatorial apparent = ApparentOf(star, site, julian_date);
      const astro::Horizontal h = astro::EquatorialToHorizontal(apparent, site, julian_date);
      const double from_seam =
          FromSeam(AxesOf(apparent, alt_azimuth, site, julian_date).first, reference_first);
      // Near the pole (or the zenith) the first axis says little.
      const double steep = alt_azimuth ? h.altitude : std::fabs(star.dec);
      if (h.altitude < min_alt * astro::kDegree || steep > 75 * astro::kDegree ||
          from_seam < margin || from_seam > astro::kTwoPi - margin) {
        continue;
      }
      candidates.push_back(&star);
    }
    if (candidates.empty()) continue;
    // The brightest first, then each time the star farthest from those chosen.
    std::vector<const astro::Star*> chosen{candidates.front()};
    while (chosen.size() < count) {
      const astro::Star* next = nullptr;
      double farthest = 10 * astro::kDegree;
      for (const astro::Star* c : candidates) {
        double nearest = HUGE_VAL;
        for (const astro::Star* s : chosen) {
          nearest = std::min(nearest, astro::AngularSeparation(c->position(), s->position()));
        }
        if (nearest > farthest) farthest = nearest, next = c;
      }
      if (next == nullptr) break;
      chosen.push_back(next);
    }
    const double outside = SkyOutsideSpan(chosen, site, julian_date, alt_azimuth, reference_first);
    if (chosen.size() > best.size() || (chosen.size() == best.size() && outside < best_outside)) {
      best = chosen, best_outside = outside;
    }
    if (chosen.size() == count) break;
  }
  return best;
}

Span SpanOf(std::span<const astro::Star* const> stars, const astro::Site& site, double julian_date,
            bool alt_azimuth, double reference_first) {
  Span span;
  for (const astro::Star* s : stars) {
    const AxisPair a = AxesOf(ApparentOf(*s, site, julian_date), alt_azimuth, site, julian_date);
    const AxisPair u{FromSeam(a.first, reference_first), a.second};
    span.low = {std::min(span.low.first, u.first), std::min(span.low.second, u.second)};
    span.high = {std::max(span.high.first, u.first), std::max(span.high.second, u.second)};
  }
  return span;
}

double SkyOutsideSpan(std::span<const astro::Star* const> stars, const astro::Site& site,
                      double julian_date, bool alt_azimuth, double reference_first) {
  if (stars.size() < 2) return 1.0;
  const Span span = SpanOf(stars, site, julian_date, alt_azimuth, reference_first);
  // Evenly spread directions of the sky above kLowestSky (a Fibonacci lattice).
  constexpr int kPoints = 2000;
  const double golden = astro::kPi * (3.0 - std::sqrt(5.0));
  int up = 0, inside = 0;
  for (int i = 0; i < kPoints; ++i) {
    const double z = 1.0 - (i + 0.5) * 2.0 / kPoints;  // sine of the altitude
    const double altitude = std::asin(z);
    if (altitude < kLowestSky * astro::kDegree) continue;
    ++up;
    const astro::Horizontal h{astro::WrapTwoPi(i * golden), altitude};
    const astro::Equatorial p = astro::HorizontalToEquatorial(h, site, julian_date);
    const AxisPair a = AxesOf(p, alt_azimuth, site, julian_date);
    const double from_seam = FromSeam(a.first, reference_first);
    if (from_seam >= span.low.first && from_seam <= span.high.first &&
        a.second >= span.low.second && a.second <= span.high.second) {
      ++inside;
    }
  }
  return up == 0 ? 1.0 : 1.0 - static_cast<double>(inside) / up;
}

bool RunGuidedSession(App& app, std::size_t star_count, std::optional<bool> mount_model) {
  return Guide(app).Run(star_count, mount_model);
}

bool MountModelInForce() {
  std::string value = ProfileValue("PointModel", "AXES");
  for (char& c : value) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return value == "MOUNT";
}

bool SetPointModel(App& app, bool mount_model) {
  if (MountModelInForce() == mount_model) return true;
  // Through the plug-in's own dialog, as a person would: its "Mount model"
  // check box, then OK, which saves the settings to the profile.
  app.console().Line(std::string("Configure: ") + (mount_model ? "check" : "clear") +
                     " \"Mount model\" and press OK.");
  Ws().QueueDialogInput({"Mount model", "ok"});
  app.session().Configure();
  Ws().QueueDialogInput({});
  if (MountModelInForce() == mount_model) return true;
  app.console().Line(
      "The plug-in's dialog did not set the pointing model (it offers no \"Mount "
      "model\" box, or it was not saved).");
  return false;
}

void CheckStar(App& app, const astro::Star& star) {
  if (!app.session().connected()) {
    app.console().Line("Not connected.");
    return;
  }
  Guide::Answer answer;
  Guide(app).Check(star, &answer);
}

int RunRealBoxDemo(App& app) { return Guide(app).Demo(); }

}  // namespace host
