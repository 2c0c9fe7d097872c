// Operations 26 and 27: opening, configuring and closing the serial port.
#include "link/link.h"
#include "link/messages.h"
#include "pointing/pointing.h"

namespace ctl {
namespace {

constexpr std::uint32_t kErrorBox = plat::kMbOk | plat::kMbIconError | plat::kMbSystemModal;
constexpr std::uint32_t kWarningBox = plat::kMbOk | plat::kMbIconWarning | plat::kMbSystemModal;

void Report(const char* text, const char* caption, std::uint32_t style) {
  plat::MessageBox(plat::GetFocus(), text, caption, style);
}

// Purges and closes the port; on success the handle no longer names an
// open port.  The handle value itself is kept, as it always is.
bool PurgeAndClose(PluginState& state) {
  plat::SerialPurge(state.settings.port, plat::kPurgeTxAbort | plat::kPurgeRxAbort);
  plat::SerialPurge(state.settings.port, plat::kPurgeTxClear | plat::kPurgeRxClear);
  if (!plat::SerialClose(state.settings.port)) return false;
  state.port_open = 0;
  return true;
}

}  // namespace

void ConnectPort() {
  PluginState& state = State();
  state.connect_time = state.host_time;
  const SphericalTriple horizon =
      EquatorialToHorizon(state.host_context, state.settings.RefRA, state.settings.RefDec);
  state.settings.HorizonAz = horizon.longitude;
  state.settings.HorizonAlt = horizon.latitude;

  // A port this plug-in still holds open (connected, or left open by a
  // failed configuration) is closed first, the way a disconnect closes it:
  // opening it again would be refused and the open handle lost.  If it will
  // not close, the connect ends there: the handle and the connected flag
  // stay as they were.
  if (state.port_open != 0 && !PurgeAndClose(state)) {
    Report(msg::kCannotClosePort, msg::kCommErrorCaption, kErrorBox);
    return;
  }

  state.settings.port = plat::SerialOpen(state.settings.CommPort);
  if (state.settings.port == plat::kInvalidHandle) {
    state.connected = 0;
    Report(msg::kCannotOpenPort, msg::kCommErrorCaption, kErrorBox);
    return;
  }
  state.port_open = 1;
  state.connected = ConfigurePort(state.settings.port) ? 1 : 0;
}

bool ConfigurePort(plat::Handle port) {
  plat::LineSettings line;
  if (!plat::SerialBuildLineSettings(msg::kLineDefinition, line)) {
    Report(msg::kCannotBuildDcb, msg::kConfigPortCaption, kErrorBox);
    return false;
  }
  line.out_x = true;
  line.in_x = true;
  line.outx_cts_flow = false;
  line.outx_dsr_flow = false;
  line.dtr_enable = true;
  line.rts_enable = true;
  if (!plat::SerialSetLineSettings(port, line)) {
    Report(msg::kCannotSetCommParameters, msg::kConfigPortCaption, kErrorBox);
    return false;
  }

  if (!plat::SerialSetTimeouts(port, kLinkTimeouts)) {
    Report(msg::kCannotSetTimeouts, msg::kConfigPortCaption, kWarningBox);
    return false;
  }

  plat::SerialPurge(port, plat::kPurgeTxAbort | plat::kPurgeRxAbort);
  plat::SerialPurge(port, plat::kPurgeTxClear | plat::kPurgeRxClear);
  return true;
}

void DisconnectPort() {
  PluginState& state = State();
  // With no port open (never connected, opening failed, or closed already)
  // there is nothing to close: the link is simply not connected.  Closing the
  // stale handle again would fail and leave the flag set over a dead port.
  if (state.port_open == 0) {
    state.connected = 0;
    return;
  }
  if (PurgeAndClose(state)) {
    state.connected = 0;
  } else {
    state.connected = 1;
    Report(msg::kCannotClosePort, msg::kCommErrorCaption, kErrorBox);
  }
}

}  // namespace ctl
