#include "planetarium.h"

#include <cmath>
#include <ctime>

#include "app.h"
#include "port_check.h"
#include "push_to.h"
#include "window_system.h"

namespace host {
namespace {

using Clock = std::chrono::steady_clock;

// How often the position is read from the plug-in, and sent to Stellarium.
constexpr auto kRefreshEvery = std::chrono::seconds(1);
constexpr auto kStellariumEvery = std::chrono::milliseconds(500);
// After the plug-in shows a box while the host reads the position (a link
// failure), the host leaves it alone for a while.
constexpr auto kPauseAfterBox = std::chrono::seconds(10);
// A synced object takes the name of a catalogue star this close to it.
constexpr double kNamingRadius = 0.5 * astro::kDegree;

std::int64_t UnixMicroseconds(double julian_date) {
  return static_cast<std::int64_t>(std::llround(astro::UnixFromJulianDate(julian_date) * 1e6));
}

bool ParseMinutes(const std::string& text, double* minutes) {
  char* end = nullptr;
  *minutes = std::strtod(text.c_str(), &end);
  return end != text.c_str() && *end == '\0' && *minutes > 0 && *minutes <= 600;
}

// "RA DEC" of the catalogue frame (J2000) in the LX200 forms.
std::optional<astro::Equatorial> ParseCoordinates(const std::string& text) {
  const std::size_t gap = text.find(' ');
  if (gap == std::string::npos) return std::nullopt;
  const std::optional<double> ra = lx200::ParseRa(text.substr(0, gap));
  const std::optional<double> dec = lx200::ParseDec(text.substr(text.find_first_not_of(' ', gap)));
  if (!ra || !dec) return std::nullopt;
  return astro::Equatorial{*ra, *dec};
}

}  // namespace

Planetarium::Planetarium(App& app) : app_(app), lx200_([this] { return Context(); }) {
  app_.console().SetWaitHook(this);
}

Planetarium::~Planetarium() { app_.console().SetWaitHook(nullptr); }

std::string Planetarium::HelpText() {
  return "  lx200 [ADDRESS:]PORT       serve the telescope to LX200 clients (KStars/INDI,\n"
         "                           SkySafari, Cartes du Ciel); 'lx200 off' stops\n"
         "  stellarium [ADDRESS:]PORT  serve it to Stellarium's telescope plug-in; 'off' stops\n"
         "  serve                      the servers and their clients\n"
         "  goto STAR | goto RA DEC    push-to: how far to move each axis, once a second\n"
         "                           (RA DEC at J2000: 18:36:56 +38:47:01); 'goto' alone ends it\n"
         "  tolerance ARCMIN           how close counts as on target (default 15)\n"
         "  stellarium-goto sync|target  a Stellarium goto: \"this is where I point\" (an\n"
         "                           alignment star) or a push-to target (the default)\n"
         "  calibrate-syncs on|off     calibrate after each sync from the third on\n";
}

bool Planetarium::Valid(const std::string& command, const std::string& rest, std::string* error) {
  if (command == "lx200" || command == "stellarium") {
    Endpoint e;
    return rest == "off" || ParseEndpoint(rest, &e, error);
  }
  if (command == "stellarium-goto" && (rest == "sync" || rest == "target")) return true;
  if (command == "calibrate-syncs" && (rest == "on" || rest == "off")) return true;
  *error = "'" + rest + "' is not a value for " + command;
  return false;
}

bool Planetarium::Listen(TcpServer& server, const std::string& where) {
  Console& out = app_.console();
  if (where == "off") {
    server.Stop();
    out.Line(server.name() + " server stopped.");
    return true;
  }
  Endpoint endpoint;
  std::string error;
  if (!ParseEndpoint(where, &endpoint, &error) || !server.Listen(endpoint, &error)) {
    out.Line(server.name() + " server: " + error + ".");
    return false;
  }
  out.Line(server.name() + " server listening on " + server.endpoint().Text() + ".");
  return true;
}

bool Planetarium::Execute(const std::string& command, const std::string& rest, bool* ok) {
  Console& out = app_.console();
  bool done = true;
  if (command == "lx200") {
    done = Listen(lx200_, rest);
  } else if (command == "stellarium") {
    done = Listen(stellarium_, rest);
  } else if (command == "serve") {
    for (TcpServer* server :
         {static_cast<TcpServer*>(&lx200_), static_cast<TcpServer*>(&stellarium_)}) {
      if (!server->listening()) {
        out.Line(server->name() + ": not serving.");
        continue;
      }
      out.Line(server->name() + ": listening on " + server->endpoint().Text() + ", " +
               std::to_string(server->client_count()) + " client(s)");
      for (const auto& client : server->clients()) out.Line("  " + client->peer);
    }
    if (position_) {
      out.Line("Telescope for the planetarium: RA " + lx200::FormatRa(position_->ra, true) +
               " Dec " + lx200::FormatDec(position_->dec, true) + " (of date)");
    }
  } else if (command == "goto") {
    if (rest.empty()) {
      out.Line(target_ ? "Push-to to " + target_->name + " ended." : "No push-to target.");
      target_.reset();
    } else if (const astro::Star* star = astro::FindStar(rest)) {
      target_ = Target{star->name, app_.SkyNow().Apparent(*star)};
      out.Line("Push-to target: " + target_->name + ".");
      refreshed_ = {};
    } else if (const auto j2000 = ParseCoordinates(rest)) {
      SetTarget(app_.SkyNow().Apparent(*j2000), "the prompt");
    } else {
      out.Line("goto takes a catalogue star or RA DEC at J2000 (18:36:56 +38:47:01), not '" + rest +
               "'.");
      done = false;
    }
  } else if (command == "tolerance") {
    double minutes = 0;
    if (!ParseMinutes(rest, &minutes)) {
      out.Line("tolerance takes arcminutes, more than 0 and at most 600, not '" + rest + "'.");
      done = false;
    } else {
      tolerance_ = minutes * astro::kArcminute;
      out.Line("On target within " + DegreesMinutes(tolerance_) + ".");
    }
  } else if (command == "stellarium-goto" || command == "calibrate-syncs") {
    std::string error;
    if (!Valid(command, rest, &error)) {
      out.Line(error + ".");
      done = false;
    } else if (command == "stellarium-goto") {
      goto_syncs_ = rest == "sync";
      out.Line(goto_syncs_ ? "A Stellarium goto now means \"this is where I point\"."
                           : "A Stellarium goto now sets a push-to target.");
    } else {
      calibrate_syncs_ = rest == "on";
      out.Line(calibrate_syncs_ ? "Each sync from the third on calibrates."
                                : "Syncs do not calibrate.");
    }
  } else {
    return false;
  }
  if (ok != nullptr) *ok = done;
  return true;
}

void Planetarium::AddDescriptors(std::vector<pollfd>* fds) {
  lx200_.AddDescriptors(fds);
  stellarium_.AddDescriptors(fds);
}

void Planetarium::Ready() {
  lx200_.Serve();
  stellarium_.Serve();
}

bool Planetarium::AltAzimuth() const { return ProfileValue("MountType", "EQ") == "AA"; }

lx200::Context Planetarium::Context() {
  const astro::Sky sky = app_.SkyNow();
  lx200::Context c;
  c.position = position_;
  if (position_) c.horizontal = sky.Observed(*position_);
  c.alt_azimuth = AltAzimuth();
  c.latitude = app_.site().latitude;
  c.longitude = app_.site().longitude;
  c.local_sidereal_time = sky.LocalSiderealTime();
  const std::time_t now =
      static_cast<std::time_t>(std::floor(astro::UnixFromJulianDate(sky.julian_date())));
  std::tm local{};
  localtime_r(&now, &local);
  c.seconds_of_day = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  c.day = local.tm_mday;
  c.month = local.tm_mon + 1;
  c.year = local.tm_year + 1900;
  c.utc_offset_hours = local.tm_gmtoff / 3600.0;
  return c;
}

void Planetarium::ShowNotices() {
  for (TcpServer* server :
       {static_cast<TcpServer*>(&lx200_), static_cast<TcpServer*>(&stellarium_)}) {
    for (const std::string& line : server->TakeNotices()) {
      app_.console().Line(line);
      app_.console().Log(line);
    }
  }
}

void Planetarium::Refresh() {
  const auto now = Clock::now();
  refreshed_ = now;
  if (!app_.session().connected()) {
    position_.reset();  // no position but the plug-in's
    return;
  }
  const std::size_t boxes = Ws().boxes().size();
  const std::optional<astro::Equatorial> sky = app_.session().TelescopeObject(kHostContext);
  if (Ws().boxes().size() != boxes) {
    paused_until_ = now + kPauseAfterBox;
    app_.console().Line("(the position for the planetarium waits 10 s after the plug-in's box)");
  }
  if (sky) position_ = *sky;
  if (target_) ShowPushTo();
}

void Planetarium::Tick() {
  if (busy_) return;
  busy_ = true;
  Ready();
  ShowNotices();
  const auto now = Clock::now();
  // While a server listens the position stays fresh, so that a client that
  // connects is answered at once.
  const bool wanted = lx200_.listening() || stellarium_.listening() || target_;
  if (wanted && now - refreshed_ >= kRefreshEvery && now >= paused_until_) Refresh();
  if (stellarium_.client_count() > 0 && position_ && now - sent_ >= kStellariumEvery) {
    const astro::Sky sky = app_.SkyNow();
    const astro::Equatorial j2000 = sky.Catalogue(*position_);
    stellarium_.SendPosition(j2000.ra, j2000.dec, UnixMicroseconds(sky.julian_date()));
    sent_ = now;
  }
  for (const Lx200Server::Request& r : lx200_.TakeRequests()) {
    const std::string from = "LX200 client " + r.peer;
    if (r.action == lx200::Action::kSync) {
      std::string name;
      const bool aligned = Align(r.target, from, &name);
      lx200_.AnswerSync(r.client, aligned ? lx200::SyncAnswer(name) : lx200::SyncRefusal());
    } else {
      SetTarget(r.target, from);
    }
  }
  for (const StellariumServer::Request& r : stellarium_.TakeRequests()) {
    const astro::Equatorial apparent = app_.SkyNow().Apparent({r.target.ra, r.target.dec});
    const std::string from = "Stellarium client " + r.peer;
    std::string name;
    if (goto_syncs_) {
      Align(apparent, from, &name);
    } else {
      SetTarget(apparent, from);
    }
  }
  ShowNotices();
  busy_ = false;
}

std::string Planetarium::NameFor(const astro::Equatorial& apparent) {
  const astro::Equatorial j2000 = app_.SkyNow().Catalogue(apparent);
  double separation = 0.0;
  const astro::Star* star = astro::NearestStar(j2000, &separation);
  if (star != nullptr && separation <= kNamingRadius) return star->name;
  return "RA " + lx200::FormatRa(j2000.ra, true) + " Dec " + lx200::FormatDec(j2000.dec, true);
}

bool Planetarium::Align(const astro::Equatorial& apparent, const std::string& from,
                        std::string* name) {
  Console& out = app_.console();
  *name = NameFor(apparent);
  out.Line("Sync from " + from + ": " + *name + ".");
  if (!app_.session().connected()) {
    out.Line("Sync refused: not connected.");
    return false;
  }
  std::string refusal;
  if (!app_.ObjectCommandAt(VL_CMD_ADD, *name, apparent, &refusal) || !refusal.empty() ||
      !app_.ObjectCommandAt(VL_CMD_SIGHT, *name, apparent, &refusal) || !refusal.empty()) {
    out.Line("Sync refused" + (refusal.empty() ? std::string(".") : ": " + refusal));
    return false;
  }
  out.Line(*name + " is on the calibration list and sighted (" +
           std::to_string(app_.listed().size()) + " on the list).");
  if (calibrate_syncs_ && app_.listed().size() >= 3) {
    app_.ObjectCommandAt(VL_CMD_CALIBRATE, "", {}, nullptr);
  }
  return true;
}

void Planetarium::SetTarget(const astro::Equatorial& apparent, const std::string& from) {
  target_ = Target{NameFor(apparent), apparent};
  app_.console().Line("Push-to target from " + from + ": " + target_->name + ".");
  refreshed_ = {};
}

void Planetarium::ShowPushTo() {
  if (!position_ || !target_) return;
  const astro::Sky sky = app_.SkyNow();
  const PushTo moves =
      AltAzimuth() ? AltAzimuthMoves(sky.Observed(*position_), sky.Observed(target_->apparent))
                   : EquatorialMoves(*position_, target_->apparent);
  if (moves.separation <= tolerance_) {
    app_.console().Line("On target: " + target_->name + " is " + DegreesMinutes(moves.separation) +
                        " away, within " + DegreesMinutes(tolerance_) + ".");
    target_.reset();
    return;
  }
  app_.console().Line("To " + target_->name + ": " + Describe(moves));
}

}  // namespace host
