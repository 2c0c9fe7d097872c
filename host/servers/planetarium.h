// The telescope in planetarium programs: the host serves the plug-in's
// position over TCP (the LX200 protocol and Stellarium's telescope
// protocol), takes their syncs as alignment stars for the plug-in's
// calibration list, and their gotos (and the prompt's) as push-to targets.
//
// The position comes from the plug-in's own telescope record (operation 21),
// refreshed once a second while a server listens or a target is set; the
// sockets are served whenever the host waits for input, and everything that
// calls the plug-in runs from the host's periodic update, never from inside
// a socket's service.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "app.h"
#include "astro.h"
#include "console.h"
#include "lx200_server.h"
#include "stellarium_server.h"

namespace host {

class Planetarium : public WaitHook, public Extension {
 public:
  explicit Planetarium(App& app);
  ~Planetarium() override;

  // A prompt command of this part ("lx200", "stellarium", "goto",
  // "tolerance", "stellarium-goto", "calibrate-syncs", "serve"); false when
  // `command` is none of them.  *ok says whether it did what was asked.
  bool Execute(const std::string& command, const std::string& rest, bool* ok = nullptr) override;
  // Whether a command line given as an option would be taken; the reason when not.
  static bool Valid(const std::string& command, const std::string& rest, std::string* error);
  static std::string HelpText();

  // From the host's periodic update: serves the sockets, refreshes the
  // position, acts on the clients' syncs and gotos, shows the push-to.
  void Tick() override;

  // WaitHook
  void AddDescriptors(std::vector<pollfd>* fds) override;
  void Ready() override;

  const std::optional<astro::Equatorial>& position() const { return position_; }

 private:
  struct Target {
    std::string name;
    astro::Equatorial apparent;
  };
  bool Listen(TcpServer& server, const std::string& where);
  void Refresh();
  void ShowNotices();
  // Puts the object on the calibration list and sights it; false (after the
  // plug-in's box or a line saying why) when refused.  *name gets its name.
  bool Align(const astro::Equatorial& apparent, const std::string& from, std::string* name);
  void SetTarget(const astro::Equatorial& apparent, const std::string& from);
  void ShowPushTo();
  std::string NameFor(const astro::Equatorial& apparent);
  lx200::Context Context();
  bool AltAzimuth() const;

  App& app_;
  Lx200Server lx200_;
  StellariumServer stellarium_;
  std::optional<astro::Equatorial> position_;  // the telescope, apparent place
  std::chrono::steady_clock::time_point refreshed_{}, sent_{}, paused_until_{};
  std::optional<Target> target_;
  double tolerance_ = 15.0 * astro::kArcminute;
  bool goto_syncs_ = false;       // a Stellarium goto means "this is where I point"
  bool calibrate_syncs_ = false;  // calibrate after each sync from the third on
  bool busy_ = false;
};

}  // namespace host
