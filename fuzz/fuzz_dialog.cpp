// Types arbitrary texts into the configuration dialog's fields, clicks its
// buttons and closes it with OK or Cancel, starting from arbitrary stored
// settings.  Checks: nothing crashes; the settings the dialog leaves are
// sound (resolutions not 0, their sign the Invert box's, finite factors and
// reference point, flags 0 or 1, a terminated port name); what was saved
// loads back as the same settings; and a second dialog closed with OK
// unedited keeps every setting exactly as it showed it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_input.h"
#include "settings/settings.h"
#include "temp_config.h"
#include "window_system_model.h"

namespace {

// A field's text as a person could type it: any bytes but the terminator.
std::string TypedText(fuzzing::Input& in, std::size_t most) {
  std::string text = in.Text(most);
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  return text;
}

void Abort(const char* what) { fuzzing::Abort("dialog", what); }

bool Near(double a, double b) { return std::fabs(a - b) <= 1e-11 + 1e-15 * std::fabs(a); }

void CheckSound(bool invert_ra, bool invert_dec) {
  const ctl::PluginState& state = ctl::State();
  const ctl::Settings& s = state.settings;
  if (s.ResRA == 0 || s.ResDec == 0) Abort("resolution 0");
  if ((s.ResRA < 0) != invert_ra || (s.ResDec < 0) != invert_dec)
    Abort("sign not the Invert box's");
  if (!std::isfinite(state.RadPerCountRA) || !std::isfinite(state.RadPerCountDec)) Abort("factor");
  if (!std::isfinite(s.RefRA) || !std::isfinite(s.RefDec)) Abort("reference point");
  if ((s.PCode != 0 && s.PCode != 1) || (s.MountType != 0 && s.MountType != 1)) Abort("flag");
  if (std::memchr(s.CommPort, '\0', sizeof s.CommPort) == nullptr) Abort("port name");
}

bool SameSettings(const ctl::Settings& a, const ctl::Settings& b, bool exact) {
  const bool refs = exact ? (a.RefRA == b.RefRA && a.RefDec == b.RefDec)
                          : (Near(a.RefRA, b.RefRA) && Near(a.RefDec, b.RefDec));
  return refs && a.ResRA == b.ResRA && a.ResDec == b.ResDec && a.PCode == b.PCode &&
         a.MountType == b.MountType && std::strcmp(a.CommPort, b.CommPort) == 0;
}

constexpr const char* kPorts[] = {"COM1", "COM2", "COM3", "COM4", "COM7", "LPT2", "CO", ""};
constexpr std::uint16_t kEdits[] = {1000, 1001, 1013, 1015, 1016, 1017, 1018, 1019};
constexpr std::uint16_t kButtons[] = {1002, 1003, 1004, 1005, 1006, 1007, 1014, 1020, 1021, 1022};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static testsupport::TempConfigDir config;
  fuzzing::Input in(data, size);

  // The stored settings the dialog starts from.
  const auto res_ra = static_cast<std::int32_t>(in.Word());
  const auto res_dec = static_cast<std::int32_t>(in.Word());
  const double ref_ra = static_cast<std::int32_t>(in.Word()) / 1e6;
  const double ref_dec = static_cast<std::int32_t>(in.Word()) / 1e6;
  const std::uint8_t flags = in.Byte();
  char profile[512];
  std::snprintf(profile, sizeof profile,
                "[ZazuvUzarDLL]\nResRA=%d\nResDec=%d\nCommPort=%s\nRefRA=%.9f\nRefDec=%.9f\n"
                "MountType=%s\nPCode=%s\n",
                res_ra, res_dec, kPorts[flags % 8], ref_ra, ref_dec, (flags & 8) ? "AA" : "EQ",
                (flags & 16) ? "ON" : "OFF");
  config.WriteProfile(profile);

  // A person types into fields, clicks buttons, then presses OK or Cancel.
  std::vector<std::pair<std::uint16_t, std::string>> typing;
  for (int i = 0, n = in.Byte() % 10; i < n; ++i)
    typing.emplace_back(kEdits[in.Byte() % 8], TypedText(in, 40));
  std::vector<std::uint16_t> clicks;
  for (int i = 0, n = in.Byte() % 6; i < n; ++i) clicks.push_back(kButtons[in.Byte() % 10]);
  const bool ok = (flags & 32) == 0;
  bool invert_ra = false, invert_dec = false;

  ctl::ResetState();
  wsm::Reset();
  ctl::LoadSettings();
  const ctl::Settings stored = ctl::State().settings;
  wsm::SetDialogScript([&](wsm::Dialog& dialog) {
    for (const auto& [id, text] : typing) dialog.SetText(id, text);
    for (std::uint16_t id : clicks) dialog.Click(id);
    invert_ra = dialog.Checked(1002);
    invert_dec = dialog.Checked(1003);
    dialog.Click(ok ? 1 : 2);
  });
  ctl::OpenConfigDialog();
  if (wsm::TheLog().dialogs_opened != 1) Abort("the dialog did not open");
  if (ok) CheckSound(invert_ra, invert_dec);
  if ((!ok || (typing.empty() && clicks.empty())) &&
      !SameSettings(stored, ctl::State().settings, true)) {
    Abort("a dialog closed unedited changed a setting");
  }

  // A save then a load gives the same settings.
  const ctl::Settings shown = ctl::State().settings;
  ctl::LoadSettings();
  if (!SameSettings(shown, ctl::State().settings, false)) Abort("save and load differ");

  // Reopened and closed with OK unedited: every setting as it was shown.
  const ctl::Settings loaded = ctl::State().settings;
  wsm::SetDialogScript([&](wsm::Dialog& dialog) {
    invert_ra = dialog.Checked(1002);
    invert_dec = dialog.Checked(1003);
    dialog.Click(1);
  });
  ctl::OpenConfigDialog();
  CheckSound(invert_ra, invert_dec);
  if (!SameSettings(loaded, ctl::State().settings, true)) Abort("unedited OK changed a setting");
  ctl::ResetState();
  return 0;
}
