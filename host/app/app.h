// The stand-in host program: options, start-up (load, register, hand over
// the debug window, the time and the host context) and the interactive
// command loop.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "astro.h"
#include "canvas.h"
#include "config.h"
#include "console.h"
#include "session.h"
#include "window_system.h"

namespace host {

struct Options {
  std::string plugin;                                         // empty: look in the usual places
  double latitude = 51.4769;                                  // degrees, north positive
  double longitude = 0.0;                                     // degrees, east positive
  astro::Atmosphere atmosphere = astro::kStandardAtmosphere;  // for refraction
  bool scripted = false;
  bool demo = false;
  std::string port;        // a real box's device: the guided session, or the demo's box
  std::string check_port;  // --check-port: diagnose this port and exit
  std::string out_dir;     // the demo's pictures
  bool keep = false;       // keep the demo's own temporary folder
  std::string config_dir;  // VELASTRA_CONFIG_DIR for this run
  std::string log;
  bool page_visible = true;
  bool help = false;
  bool version = false;
  // The planetarium servers' settings from the command line, as prompt
  // commands ("lx200 4030"), run once the plug-in is registered.
  std::vector<std::string> planetarium;
};

// Parses the command line; false (with a one-line reason) on a bad option.
bool ParseOptions(int argc, char** argv, Options* options, std::string* error);
std::string UsageText();

// The host context this host hands over.
inline constexpr std::int32_t kHostContext = 1;
// How often the host runs the periodic update while it waits, milliseconds.
inline constexpr int kTickMilliseconds = 200;

// A part of the host that stands above it (the planetarium servers): prompt
// commands of its own and a share of each periodic update.
class Extension {
 public:
  virtual ~Extension() = default;
  // Runs `command` when it is one of its own: true then, and *ok says
  // whether it did what was asked; false when `command` is none of them.
  virtual bool Execute(const std::string& command, const std::string& rest, bool* ok = nullptr) = 0;
  // From the host's periodic update.
  virtual void Tick() = 0;
};

class App {
 public:
  App(const Options& options);
  // Puts back the port links made for this session only.
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  Console& console() { return console_; }
  Session& session() { return session_; }
  TextRenderer& text() { return text_; }
  const astro::Site& site() const { return site_; }
  const Options& options() const { return options_; }

  // The part above the host that takes its commands and updates; the
  // options' server commands run through it at Start.
  void SetExtension(std::unique_ptr<Extension> extension) { extension_ = std::move(extension); }
  Extension* extension() { return extension_.get(); }

  // Finds and loads the plug-in, registers it, hands over the debug window,
  // the time and the host context.  False (after one clear line) when the
  // plug-in cannot be used.
  bool Start();

  // Reads and runs commands until "quit" or the end of input; the exit code.
  int RunCommands();
  // Runs one command line; false when it was "quit".
  bool Execute(const std::string& line);

  // One periodic update (operation 8); the report when one came.
  std::optional<Report> Tick();
  const std::optional<Report>& last_report() const { return last_report_; }

  // Sends the time (operation 34) again: the sidereal day number now.  Tick
  // sends it every second as well.
  void SendTime();
  // The sky at the site now (catalogue, apparent and observed places).
  astro::Sky SkyNow() const;

  // Sends the time and connects (operation 26).  When the plug-in could not
  // open its port, the host says which port, which device and why after the
  // plug-in's box.  True when connected.
  bool Connect();
  // Prints the diagnosis of a port (check-port); true when it is ready.  The
  // port this host is connected through is said to be connected, not probed.
  bool ExplainPort(const std::string& port);
  // Points a port name at a device in the configuration folder; true when
  // done.  A link to a pseudo-terminal (a simulated box, whose number is
  // given anew each time) lasts for this session only: at exit it is removed
  // and what the name linked to before is put back.
  bool LinkPort(const std::string& name, const std::string& device);

  // The telescope's position in the sky right now (operation 21), with the
  // nearest catalogue star; an empty text when the plug-in gives none.
  std::string DescribeReport(const Report& report);
  std::string DescribeSky(const astro::Equatorial& position);

  // Object menu commands by id, through the menu the plug-in builds.  False
  // (after one clear line) when the plug-in offers no such item.
  bool ObjectCommand(std::uint32_t id, const std::string& star_name);
  // The same for any object: its name and apparent place.  The text of the
  // plug-in's refusal box, if it showed one, goes to *refusal.
  bool ObjectCommandAt(std::uint32_t id, const std::string& name, const astro::Equatorial& apparent,
                       std::string* refusal);

  bool SavePage(const std::string& path);

  // The names on the plug-in's calibration list, as this host put them there.
  const std::vector<std::string>& listed() const { return listed_; }

 private:
  void Help();
  // The prompt's commands (host/commands/commands.cpp), one each.
  void CommandHelp(const std::string& rest);
  void CommandConnect(const std::string& rest);
  void CommandDisconnect(const std::string& rest);
  void CommandReport(const std::string& rest);
  void CommandPosition(const std::string& rest);
  void CommandWatch(const std::string& rest);
  void CommandWait(const std::string& rest);
  void CommandStars(const std::string& rest);
  void CommandAdd(const std::string& rest);
  void CommandRemove(const std::string& rest);
  void CommandSight(const std::string& rest);
  void CommandCalibrate(const std::string& rest);
  void CommandConfigure(const std::string& rest);
  void CommandMenu(const std::string& rest);
  void CommandPage(const std::string& rest);
  void CommandPort(const std::string& rest);
  void CommandGuide(const std::string& rest);
  void CommandCheck(const std::string& rest);
  void CommandCheckPort(const std::string& rest);
  void CommandTime(const std::string& rest);
  void ShowMenus();
  void Watch(double seconds);
  // Keeps the periodic updates going for a while; a line typed ends it early
  // (and is kept for the prompt).
  void Wait(double seconds);
  // Asks that the telescope point at the reference point before the link
  // opens; false when the person would rather not connect.
  bool AskForReferencePoint();
  // After the configuration dialog: what the plug-in made of the settings,
  // where they cannot be what was meant, and a calibration made stale.
  void ReviewSettings(const std::string& resolutions_before);
  // Says once per connection what the connect-time query found when the
  // plug-in's link to the box fails.
  void NoteLinkFailure(std::size_t boxes_before);
  bool Calibrated() const;
  // Whether a sighting of `star` is meant: warns (and asks a person) when
  // the telescope points far from it.
  bool SightingMeant(const std::string& name, const astro::Equatorial& apparent);
  void ListStars(int count);
  // Carries out what the person chose at a link failure box.
  void TakeLinkAction();
  std::string ResolvePlugin() const;

  Options options_;
  Console console_;
  TextRenderer text_;
  Session session_;
  astro::Site site_;
  std::optional<Report> last_report_;
  bool watching_ = false;
  std::chrono::steady_clock::time_point time_sent_{};
  std::vector<std::string> listed_;
  std::string connected_device_;               // what the plug-in opened at the last connect
  std::vector<std::string> connect_findings_;  // the query at connect, when it was not good
  bool link_failure_told_ = false;
  std::unique_ptr<Extension> extension_;
};

}  // namespace host
