// The exported entry point and the operation table.
#include "calibration/calibration.h"
#include "link/link.h"
#include "plugin/bytes.h"
#include "plugin/messages.h"
#include "plugin/plugin.h"
#include "settings/settings.h"

namespace ctl {
namespace {

struct Row {
  bool gated;
  bool reads_block;  // needs a block address; an address of 0 is ignored
};

constexpr Row RowFor(std::uint32_t selector) {
  switch (selector) {
    case kOpRegister:
    case kOpMenuItemState:
    case kOpSetTime:
    case kOpSetHostContext:
      return {false, true};
    case kOpPeriodicUpdate:
    case kOpBuildObjectMenu:
    case kOpObjectMenuCommand:
    case kOpTelescopeObject:
      return {true, true};
    case kOpMessage500:
    case kOpMessage501:
    case kOpToggleReporting:
    case kOpMessage504:
    case kOpCalibrate:
      return {true, false};
    default:
      return {false, false};
  }
}

// Set while an operation runs.  A modal message box or dialog runs a message
// loop that delivers the host's timer messages, so a host that calls the
// periodic operation from a timer calls again while the first call still
// waits in the box; each nested call would query the box and put up a box of
// its own, without end while the cable is out.  A call that arrives while
// another runs touches nothing: the periodic operation answers that no
// report is due, every other operation is refused.
bool g_in_operation = false;

class OperationInProgress {
 public:
  OperationInProgress() { g_in_operation = true; }
  ~OperationInProgress() { g_in_operation = false; }
  OperationInProgress(const OperationInProgress&) = delete;
  OperationInProgress& operator=(const OperationInProgress&) = delete;
};

void SetHostContext(const std::uint8_t* block) {
  PluginState& state = State();
  if (state.host_context == 0) state.host_context = bytes::U32(block, VL_CONTEXT_VALUE);
}

void Dispatch(std::uint32_t selector, std::uintptr_t parameter) {
  if (selector > kOpLast) return;
  const Row row = RowFor(selector);
  if (row.gated && State().connected == 0) return;
  auto* block = reinterpret_cast<std::uint8_t*>(parameter);
  if (row.reads_block && block == nullptr) return;
  if (g_in_operation) {
    if (selector == kOpPeriodicUpdate) AnswerNoPosition(block);
    return;
  }
  const OperationInProgress in_progress;

  switch (selector) {
    case kOpRegister:
      RegisterPlugin(block);
      break;
    case kOpSetDebugWindow:
    case kOpSetDebugWindowToo:
      State().debug_window = static_cast<plat::Handle>(parameter);
      break;
    case kOpPeriodicUpdate:
      ReportPosition(block);
      break;
    case kOpBuildObjectMenu:
      BuildObjectMenu(block);
      break;
    case kOpObjectMenuCommand:
      DoObjectMenuCommand(block);
      break;
    case kOpTelescopeObject:
      FillTelescopeObject(block);
      break;
    case kOpMenuItemState:
      GetMenuItemState(block);
      break;
    case kOpConfigure:
      OpenConfigDialog();
      break;
    case kOpMessage500:
      ShowMessageById(msg::kString500);
      break;
    case kOpMessage501:
      ShowMessageById(msg::kString501);
      break;
    case kOpConnect:
      ConnectPort();
      break;
    case kOpDisconnect:
      DisconnectPort();
      break;
    case kOpToggleReporting:
      ToggleReporting();
      break;
    case kOpMessage504:
      ShowMessageById(msg::kString504);
      break;
    case kOpCalibrate:
      CalibrateTelescope();
      break;
    case kOpSetTime:
      SetHostTime(block);
      break;
    case kOpSetHostContext:
      SetHostContext(block);
      break;
    default:
      break;
  }
}

}  // namespace
}  // namespace ctl

CONTROLLER_EXPORT std::int16_t DoOperation(std::uint32_t selector, std::uintptr_t parameter) {
  // Nothing may escape into the host, whatever happened inside.
  try {
    ctl::Dispatch(selector, parameter);
  } catch (...) {
  }
  return 0;
}
