// The command line and the prompt's commands: what a person types, and the
// part of the host each one goes to.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app.h"
#include "format.h"
#include "guide.h"
#include "planetarium.h"
#include "port_check.h"

namespace host {
namespace {

// The longest wait or watch a command may ask for, in seconds.
constexpr double kLongestWait = 3600.0;

}  // namespace

std::string UsageText() {
  return "Usage: velastra-host [options]\n"
         "Loads the telescope controller plug-in Controller.plug the way the velastra\n"
         "planetarium does and lets you drive it from the terminal.\n"
         "\n"
         "Options:\n"
         "  --demo              run the demonstration against a simulated setting-circle\n"
         "                      box (or a real one with --port) and exit\n"
         "  --port DEVICE       a real box on DEVICE (e.g. /dev/ttyUSB0): link the profile's\n"
         "                      port to it and start the guided session; with --demo, the\n"
         "                      demo uses it instead of the simulated box\n"
         "  --check-port PORT   say whether the port (COM1 to COM4, a name linked in the\n"
         "                      ports folder, or a device path) opens and its box answers,\n"
         "                      and why not, and exit\n"
         "  --out DIR           where the demo writes its pictures and log\n"
         "                      (default: a new folder under /tmp, removed at the end)\n"
         "  --keep              keep the demo's folder under /tmp\n"
         "  --plugin PATH       the plug-in to load (default: $VELASTRA_PLUGIN, then\n"
         "                      ../lib/velastra/plugins/Controller.plug beside the program,\n"
         "                      then the build tree's)\n"
         "  --lat DEGREES       the observing site's latitude, north positive (default 51.4769)\n"
         "  --lon DEGREES       the observing site's longitude, east positive (default 0)\n"
         "  --pressure HPA      air pressure for refraction (default 1013.25)\n"
         "  --temperature C     air temperature for refraction (default 10)\n"
         "  --no-refraction     horizon positions without refraction\n"
         "  --config DIR        the plug-in's configuration folder (sets VELASTRA_CONFIG_DIR)\n"
         "  --log FILE          append every message box, dialog and command to FILE\n"
         "  --scripted          never wait for a person: message boxes are answered OK at once\n"
         "                      (also when standard input is not a terminal)\n"
         "  --no-page           keep the debug window hidden (the plug-in draws no page)\n"
         "  --lx200 [ADDRESS:]PORT       serve the telescope to LX200 clients over TCP\n"
         "  --stellarium [ADDRESS:]PORT  serve it to Stellarium's telescope plug-in\n"
         "                      (both on the loopback address unless ADDRESS is given)\n"
         "  --stellarium-goto sync|target  what a Stellarium goto means (default target)\n"
         "  --calibrate-syncs   calibrate after each sync from the third on\n"
         "  --version           print the version and exit\n"
         "  --help              print this help and exit\n"
         "\n"
         "Type 'help' at the prompt for the commands.\n";
}

bool ParseOptions(int argc, char** argv, Options* o, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      *out = argv[++i];
      if (out->empty()) {
        *error = "option " + arg + " needs a value, not an empty text";
        return false;
      }
      return true;
    };
    auto angle = [&](double* out, double limit) {
      std::string text;
      if (!value(&text)) return false;
      if (!ParseNumber(text, out) || *out < -limit || *out > limit) {
        *error = "option " + arg + " needs degrees between " + std::to_string(int(-limit)) +
                 " and " + std::to_string(int(limit)) + ", not '" + text + "'";
        return false;
      }
      return true;
    };
    if (arg == "--help" || arg == "-h")
      o->help = true;
    else if (arg == "--version")
      o->version = true;
    else if (arg == "--demo")
      o->demo = true;
    else if (arg == "--scripted")
      o->scripted = true;
    else if (arg == "--no-page")
      o->page_visible = false;
    else if (arg == "--keep")
      o->keep = true;
    else if (arg == "--port") {
      if (!value(&o->port)) return false;
    } else if (arg == "--check-port") {
      if (!value(&o->check_port)) return false;
    } else if (arg == "--out") {
      if (!value(&o->out_dir)) return false;
    } else if (arg == "--plugin") {
      if (!value(&o->plugin)) return false;
    } else if (arg == "--config") {
      if (!value(&o->config_dir)) return false;
    } else if (arg == "--log") {
      if (!value(&o->log)) return false;
    } else if (arg == "--lat") {
      if (!angle(&o->latitude, 90.0)) return false;
    } else if (arg == "--lon") {
      if (!angle(&o->longitude, 180.0)) return false;
    } else if (arg == "--pressure" || arg == "--temperature") {
      std::string text;
      double number = 0.0;
      if (!value(&text)) return false;
      const bool pressure = arg == "--pressure";
      if (!ParseNumber(text, &number) ||
          (pressure ? number < 0 || number > 1200 : number < -60 || number > 60)) {
        *error = "option " + arg + " needs " +
                 (pressure ? "hectopascals from 0 to 1200" : "degrees Celsius from -60 to 60") +
                 ", not '" + text + "'";
        return false;
      }
      (pressure ? o->atmosphere.pressure_hpa : o->atmosphere.temperature_c) = number;
    } else if (arg == "--lx200" || arg == "--stellarium" || arg == "--stellarium-goto") {
      std::string text;
      if (!value(&text)) return false;
      if (!Planetarium::Valid(arg.substr(2), text, error)) {
        *error = "option " + arg + ": " + *error;
        return false;
      }
      o->planetarium.push_back(arg.substr(2) + " " + text);
    } else if (arg == "--calibrate-syncs") {
      o->planetarium.push_back("calibrate-syncs on");
    } else if (arg == "--no-refraction") {
      o->atmosphere.pressure_hpa = 0.0;
    } else {
      *error = "unknown option '" + arg + "' (try --help)";
      return false;
    }
  }
  return true;
}

void App::Help() {
  console_.Print(
      "Commands:\n"
      "  connect, disconnect      open or close the link to the setting-circle box\n"
      "  report [on|off]          switch the once-a-second position reports on or off\n"
      "  position                 where the telescope points, with the nearest star\n"
      "  watch [SECONDS]          print each position report as it comes (default 10 s)\n"
      "  stars [N]                the N brightest catalogue stars above the horizon\n"
      "  add STAR                 Add to Calibrate List\n"
      "  remove STAR              Remove from Calibrate List\n"
      "  sight STAR               Sight Object (point the telescope at the star first)\n"
      "  calibrate                Calibrate Telescope\n"
      "  guide [N] [axes|mount]   guided calibration with N stars (default 4), with the six\n"
      "                           coefficients or the mount model: point at the\n"
      "                           reference point, connect, sight each star, calibrate, check\n"
      "  check STAR               the error at STAR once you point the telescope at it\n"
      "  configure                the plug-in's configuration dialog\n"
      "  menu                     the telescope and object menus with their states\n"
      "  page [FILE]              save the diagnostics page as PNG (default velastra-page.png)\n"
      "  port COMn DEVICE         point a port name at a device in the configuration folder\n"
      "  check-port [COMn]        whether the port (default: the profile's) can be opened\n"
      "  time                     send the time to the plug-in again\n"
      "  wait SECONDS             keep the periodic updates going for a while\n"
      "  help, quit\n"
      "The telescope in planetarium programs:\n");
  console_.Print(Planetarium::HelpText());
}

void App::CommandHelp(const std::string& /*rest*/) { Help(); }

void App::CommandConnect(const std::string& rest) {
  if (session_.connected()) {
    console_.Line("Already connected.");
  } else if (!rest.empty()) {
    console_.Line("connect takes nothing after it.");
  } else if (AskForReferencePoint()) {
    console_.Line(Connect() ? "Connected." : "Not connected.");
  } else {
    console_.Line("Not connected.");
  }
}

void App::CommandDisconnect(const std::string& /*rest*/) {
  if (!session_.connected()) {
    console_.Line("Not connected.");
  } else {
    session_.Disconnect();
    console_.Line(session_.connected() ? "Still connected." : "Disconnected.");
  }
}

void App::CommandReport(const std::string& rest) {
  if (!rest.empty() && rest != "on" && rest != "off") {
    console_.Line("report takes on or off (or nothing, to switch), not '" + rest + "'.");
  } else if (!session_.connected()) {
    console_.Line("Not connected.");
  } else {
    const bool on = session_.reporting();
    const bool want = rest == "on" ? true : rest == "off" ? false : !on;
    if (want != on) session_.ToggleReporting();
    console_.Line(std::string("Position reports are ") + (session_.reporting() ? "on." : "off."));
  }
}

void App::CommandPosition(const std::string& /*rest*/) {
  if (!session_.connected()) {
    console_.Line("Not connected.");
  } else if (const auto sky = session_.TelescopeObject(kHostContext)) {
    console_.Line("Telescope: " + DescribeSky(*sky));
    if (last_report_ && last_report_->horizontal()) {
      console_.Line("Last report: " + DescribeReport(*last_report_));
    }
  } else {
    console_.Line("The plug-in gave no position.");
  }
}

void App::CommandWatch(const std::string& rest) {
  double seconds = 10.0;
  if (!rest.empty() && (!ParseNumber(rest, &seconds) || seconds <= 0 || seconds > kLongestWait)) {
    console_.Line(
        "watch takes a number of seconds. It must be more than 0 and at most 3600, "
        "not '" +
        rest + "'.");
  } else {
    Watch(seconds);
  }
}

void App::CommandWait(const std::string& rest) {
  double seconds = 0.0;
  if (!ParseNumber(rest, &seconds) || seconds < 0 || seconds > kLongestWait) {
    console_.Line("wait takes a number of seconds from 0 to 3600, not '" + rest + "'.");
  } else {
    Wait(seconds);
  }
}

void App::CommandStars(const std::string& rest) {
  double count = 10;
  if (!rest.empty() && (!ParseNumber(rest, &count) || count < 1 || count != std::floor(count))) {
    console_.Line("stars takes a whole number of stars, 1 or more, not '" + rest + "'.");
  } else {
    ListStars(static_cast<int>(std::min(count, 1000.0)));
  }
}

void App::CommandAdd(const std::string& rest) { ObjectCommand(VL_CMD_ADD, rest); }

void App::CommandRemove(const std::string& rest) { ObjectCommand(VL_CMD_REMOVE, rest); }

void App::CommandSight(const std::string& rest) { ObjectCommand(VL_CMD_SIGHT, rest); }

void App::CommandCalibrate(const std::string& /*rest*/) { ObjectCommand(VL_CMD_CALIBRATE, ""); }

void App::CommandConfigure(const std::string& /*rest*/) {
  const std::string before = ProfileValue("ResRA", "4096") + "," + ProfileValue("ResDec", "8192");
  session_.Configure();
  ReviewSettings(before);
}

void App::CommandMenu(const std::string& /*rest*/) { ShowMenus(); }

void App::CommandPage(const std::string& rest) {
  SavePage(rest.empty() ? "velastra-page.png" : rest);
}

void App::CommandPort(const std::string& rest) {
  const std::size_t gap = rest.find(' ');
  if (gap == std::string::npos) {
    console_.Line("port takes a port name and a device: port COM1 /dev/ttyUSB0");
  } else {
    LinkPort(rest.substr(0, gap), Trim(rest.substr(gap + 1)));
  }
}

void App::CommandGuide(const std::string& rest) {
  // guide [N] [axes|mount]
  double count = 4;
  std::optional<bool> mount_model;
  std::string number = rest;
  const std::size_t gap = rest.rfind(' ');
  const std::string last = gap == std::string::npos ? rest : rest.substr(gap + 1);
  if (last == "mount" || last == "axes") {
    mount_model = last == "mount";
    number = gap == std::string::npos ? "" : Trim(rest.substr(0, gap));
  }
  if (!number.empty() &&
      (!ParseNumber(number, &count) || count < 2 || count > 8 || count != std::floor(count))) {
    console_.Line(
        "guide takes a number of calibration stars from 2 to 8 and then axes or "
        "mount, not '" +
        rest + "'.");
  } else {
    RunGuidedSession(*this, static_cast<std::size_t>(count), mount_model);
  }
}

void App::CommandCheck(const std::string& rest) {
  const astro::Star* star = astro::FindStar(rest);
  if (star == nullptr) {
    console_.Line(rest.empty() ? "Name a star (try 'stars')."
                               : "No star named '" + rest + "' in the catalogue (try 'stars').");
  } else if (const double altitude = SkyNow().Observed(*star).altitude; altitude <= 0.0) {
    console_.Line(std::string(star->name) + " is below the horizon now (Alt " +
                  FormatDegrees(altitude, 1) + "): the telescope cannot point at it.");
  } else {
    CheckStar(*this, *star);
  }
}

void App::CommandCheckPort(const std::string& rest) {
  ExplainPort(rest.empty() ? ProfilePort() : rest);
}

void App::CommandTime(const std::string& /*rest*/) {
  SendTime();
  console_.Line("Sent the time.");
}

bool App::Execute(const std::string& raw) {
  const std::string line = Trim(raw);
  if (line.empty() || line[0] == '#') return true;
  console_.Log("command: " + line);
  const std::size_t space = line.find(' ');
  const std::string command = line.substr(0, space);
  const std::string rest = space == std::string::npos ? "" : Trim(line.substr(space + 1));

  if (command == "quit" || command == "exit") return false;
  // The prompt's commands, one function each.
  static const struct {
    const char* name;
    void (App::*run)(const std::string& rest);
  } kCommands[] = {
      {"help", &App::CommandHelp},
      {"?", &App::CommandHelp},
      {"connect", &App::CommandConnect},
      {"disconnect", &App::CommandDisconnect},
      {"report", &App::CommandReport},
      {"position", &App::CommandPosition},
      {"where", &App::CommandPosition},
      {"watch", &App::CommandWatch},
      {"wait", &App::CommandWait},
      {"stars", &App::CommandStars},
      {"add", &App::CommandAdd},
      {"remove", &App::CommandRemove},
      {"sight", &App::CommandSight},
      {"calibrate", &App::CommandCalibrate},
      {"configure", &App::CommandConfigure},
      {"config", &App::CommandConfigure},
      {"menu", &App::CommandMenu},
      {"page", &App::CommandPage},
      {"port", &App::CommandPort},
      {"guide", &App::CommandGuide},
      {"check", &App::CommandCheck},
      {"check-port", &App::CommandCheckPort},
      {"time", &App::CommandTime},
  };
  for (const auto& c : kCommands) {
    if (command == c.name) {
      (this->*c.run)(rest);
      return true;
    }
  }
  if (extension_ == nullptr || !extension_->Execute(command, rest)) {
    console_.Line("Unknown command '" + command + "'; type 'help'.");
  }
  return true;
}

int App::RunCommands() {
  if (console_.interactive()) console_.Line("Type 'help' for the commands.");
  bool prompt = true;
  for (;;) {
    if (prompt) console_.Prompt("velastra> ");
    std::optional<std::string> line = console_.ReadLine(kTickMilliseconds);
    if (!line) {
      if (console_.at_end()) break;
      Tick();
      prompt = false;
      continue;
    }
    prompt = true;
    if (!console_.interactive()) console_.Line("velastra> " + *line);
    if (!Execute(*line)) break;
    Tick();
  }
  if (session_.connected()) session_.Disconnect();
  return 0;
}

}  // namespace host
