// Feeds DoOperation sequences of operations with arbitrary blocks, arbitrary
// dialog input and arbitrary connected, reporting and mount states, and checks
// that the plug-in's state stays sound: nothing crashes, the calibration list
// stays within its eight places, and the factors and pointing coefficients stay
// finite.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "fuzz_input.h"
#include "plugin/plugin.h"
#include "temp_config.h"
#include "window_system_model.h"

namespace {

constexpr std::size_t kBlockSize = 2048;

// Takes bytes from the input; past its end every byte reads 0.
void Abort(const char* what) { fuzzing::Abort("state", what); }

void CheckState() {
  const ctl::PluginState& s = ctl::State();
  if (s.calibration.count < 0 || s.calibration.count > ctl::kCalibrationCapacity) {
    Abort("calibration count");
  }
  const ctl::PointingCoefficients& p = s.pointing;
  for (double c : {p.RA, p.RB, p.RC, p.DA, p.DB, p.DC}) {
    if (!std::isfinite(c)) Abort("pointing coefficient");
  }
  if (!std::isfinite(s.RadPerCountRA) || !std::isfinite(s.RadPerCountDec)) Abort("factor");
  if (std::memchr(s.settings.CommPort, '\0', sizeof s.settings.CommPort) == nullptr) {
    Abort("port name");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Ports lead nowhere, so a connect never reaches a real serial device.
  static testsupport::TempConfigDir config;
  static const bool linked = [] {
    for (const char* port : {"COM1", "COM2", "COM3", "COM4"}) {
      config.LinkPort(port, "/nonexistent/fuzz-port");
    }
    return true;
  }();
  (void)linked;
  ctl::ResetState();
  wsm::Reset();
  fuzzing::Input in(data, size);
  std::vector<std::uint8_t> block(kBlockSize);

  for (int step = 0; step < 16 && !in.Done(); ++step) {
    const std::uint8_t flags = in.Byte();
    ctl::PluginState& state = ctl::State();
    state.connected = flags & 1;
    if (flags & 2) state.reporting = 1;
    state.settings.MountType = (flags & 4) ? ctl::kAltAzimuth : ctl::kEquatorial;
    if (flags & 8) fake::AdvanceTicks(1001);
    wsm::TheBehaviour().visible_windows = {};
    if (flags & 16) wsm::TheBehaviour().visible_windows.insert(state.debug_window);

    std::uint32_t selector = in.Byte();
    if (flags & 32) selector |= static_cast<std::uint32_t>(in.Byte()) << 24;
    in.Fill(block.data(), in.Byte() * 8u);
    // Object menu commands are more interesting with a command id near 20000.
    if (selector == 15 && (flags & 64)) {
      const std::uint32_t command = 20000 + in.Byte() % 6;
      std::memcpy(block.data() + 1116, &command, 4);
    }

    // A person at the dialog types into edits, clicks buttons, then OK or not.
    std::vector<std::pair<std::uint16_t, std::string>> typing;
    std::vector<std::uint16_t> clicks;
    const std::uint8_t edits = in.Byte() % 8;
    for (std::uint8_t i = 0; i < edits; ++i) {
      static constexpr std::uint16_t kEdits[] = {1000, 1001, 1013, 1015, 1016, 1017, 1018, 1019};
      typing.emplace_back(kEdits[in.Byte() % 8], in.Text(24));
    }
    const std::uint8_t presses = in.Byte() % 6;
    for (std::uint8_t i = 0; i < presses; ++i) {
      static constexpr std::uint16_t kButtons[] = {1002, 1003, 1004, 1005, 1006,
                                                   1007, 1014, 1020, 1021, 1022};
      clicks.push_back(kButtons[in.Byte() % 10]);
    }
    const bool ok = (in.Byte() & 1) != 0;
    wsm::SetDialogScript([typing, clicks, ok](wsm::Dialog& dialog) {
      for (const auto& [id, text] : typing) dialog.SetText(id, text);
      for (std::uint16_t id : clicks) dialog.Click(id);
      dialog.Click(ok ? 1 : 2);
    });

    if (selector == 2 || selector == 38) {
      DoOperation(selector, 0x7000 + (flags >> 6));
    } else {
      DoOperation(selector, reinterpret_cast<std::uintptr_t>(block.data()));
    }
    CheckState();
  }
  ctl::ResetState();
  return 0;
}
