// Loads the settings from an arbitrary profile file, saves them and loads
// them again: nothing crashes, the factors stay finite, the port name stays
// terminated, and what was saved reads back as the same settings.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "settings/settings.h"
#include "state/state.h"
#include "temp_config.h"

namespace {

void Abort(const char* what) { fuzzing::Abort("settings", what); }

void Check() {
  const ctl::PluginState& s = ctl::State();
  if (!std::isfinite(s.RadPerCountRA) || !std::isfinite(s.RadPerCountDec)) Abort("factor");
  if (!std::isfinite(s.settings.RefRA) || !std::isfinite(s.settings.RefDec)) Abort("reference");
  if (std::memchr(s.settings.CommPort, '\0', sizeof s.settings.CommPort) == nullptr) {
    Abort("port name");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static testsupport::TempConfigDir config;
  config.WriteProfile(std::string(reinterpret_cast<const char*>(data), size));
  ctl::ResetState();
  ctl::LoadSettings();
  Check();
  const ctl::Settings first = ctl::State().settings;
  ctl::SaveSettings();
  ctl::LoadSettings();
  Check();
  const ctl::Settings& again = ctl::State().settings;
  if (again.ResRA != first.ResRA || again.ResDec != first.ResDec ||
      again.MountType != first.MountType || again.PCode != first.PCode) {
    Abort("settings changed by a save and a load");
  }
  return 0;
}
