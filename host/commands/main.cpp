// velastra-host: a stand-in for the velastra planetarium that loads the
// telescope controller plug-in and drives it from the terminal.
#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app.h"
#include "astro.h"
#include "demo.h"
#include "guide.h"
#include "planetarium.h"
#include "port_check.h"

int main(int argc, char** argv) {
  host::Options options;
  std::string error;
  if (!host::ParseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "velastra-host: %s\n", error.c_str());
    return 2;
  }
  if (std::string why; !astro::ClockSettingValid(&why)) {
    std::fprintf(stderr, "velastra-host: %s\n", why.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(host::UsageText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("velastra-host %s (Linux host ABI version %d)\n", VELASTRA_HOST_VERSION,
                VELASTRA_HOST_ABI_VERSION);
    return 0;
  }
  if (!options.check_port.empty()) {
    if (!options.config_dir.empty()) setenv("VELASTRA_CONFIG_DIR", options.config_dir.c_str(), 1);
    const host::PortCheck check = host::CheckPort(options.check_port);
    std::fputs(check.Text().c_str(), stdout);
    return check.ready() ? 0 : 1;
  }
  // The demo waits for nobody, unless a person must point a real telescope.
  if (options.demo && options.port.empty()) options.scripted = true;
  host::App app(options);
  app.SetExtension(std::make_unique<host::Planetarium>(app));
  if (options.demo) return options.port.empty() ? host::RunDemo(app) : host::RunRealBoxDemo(app);
  if (!app.Start()) return 1;
  if (!options.port.empty()) {
    // A real box: the profile's port names it, then the guided session.
    const std::string port = host::ProfilePort();
    if (app.LinkPort(port, options.port) && app.ExplainPort(port)) {
      host::RunGuidedSession(app, 4);
    }
  }
  return app.RunCommands();
}
