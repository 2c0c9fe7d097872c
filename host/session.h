// The host's side of the plug-in contract: loads Controller.plug, calls its
// DoOperation with the host's parameter blocks and reads the answers.
#pragma once

#include <velastra/contract.h>
#include <velastra/host_abi.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "astro.h"

namespace host {

// Operation selectors the host uses (velastra/contract.h).
enum Operation : std::uint32_t {
  kRegister = VL_OP_REGISTER,
  kSetDebugWindow = VL_OP_SET_DEBUG_WINDOW,
  kPeriodicUpdate = VL_OP_PERIODIC_UPDATE,
  kBuildObjectMenu = VL_OP_BUILD_OBJECT_MENU,
  kObjectMenuCommand = VL_OP_OBJECT_MENU_COMMAND,
  kTelescopeObject = VL_OP_TELESCOPE_OBJECT,
  kMenuItemState = VL_OP_MENU_ITEM_STATE,
  kConfigure = VL_OP_CONFIGURE,
  kConnect = VL_OP_CONNECT,
  kDisconnect = VL_OP_DISCONNECT,
  kToggleReporting = VL_OP_TOGGLE_REPORTING,
  kCalibrate = VL_OP_CALIBRATE,
  kSetTime = VL_OP_SET_TIME,
  kSetHostContext = VL_OP_SET_HOST_CONTEXT,
};

// The host's telescope menu items, as the plug-in answers their state.
enum MenuItem : std::int32_t {
  kItemConfigure = VL_ITEM_CONFIGURE,
  kItemConnect = VL_ITEM_CONNECT,
  kItemDisconnect = VL_ITEM_DISCONNECT,
  kItemReporting = VL_ITEM_REPORTING,
};

// The interface version this host speaks.
inline constexpr std::int32_t kHostInterfaceVersion = VL_INTERFACE_VERSION;

struct Registration {
  bool accepted = false;
  std::int32_t version = 0;
  std::string caption;  // "&Telescope"
  // The debug window's suggested rectangle: top, left, bottom, right.
  int top = 0, left = 0, bottom = 0, right = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

// A position the plug-in reported: right ascension and declination (kind 3)
// or real-world azimuth and altitude (kind 2, converted back from the host's
// mathematical form).
struct Report {
  int kind = 5;
  double first = 0.0;
  double second = 0.0;
  bool horizontal() const { return kind == 2; }
};

struct MenuState {
  bool enabled = false;
  bool checked = false;
};

class Session {
 public:
  Session() = default;
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // dlopen(RTLD_NOW | RTLD_LOCAL) and dlsym("DoOperation").  False with a
  // one-line reason in *error.
  bool Load(const std::string& path, std::string* error);
  bool loaded() const { return entry_ != nullptr; }
  const std::string& path() const { return path_; }

  std::int16_t Call(std::uint32_t selector, std::uintptr_t parameter);

  Registration Register(std::int32_t version = kHostInterfaceVersion);
  void SetDebugWindow(ws_Handle window);
  // Operation 34: the day number (astro::SiderealDayNumber: one unit per
  // sidereal turn).
  void SetTime(double day_number);
  // Operation 39: the host context at offset 12.
  void SetHostContext(std::int32_t context);
  void Connect();
  void Disconnect();
  void ToggleReporting();
  void Calibrate();
  void Configure();
  MenuState ItemState(std::int32_t item);
  bool connected() { return ItemState(kItemDisconnect).enabled; }
  bool reporting() { return ItemState(kItemReporting).checked; }

  // Operation 8: a report when one is due, nothing otherwise.
  std::optional<Report> PeriodicUpdate();
  // Operation 21: the telescope as a sky object (always right ascension and
  // declination); nothing when the plug-in did not fill the record.
  std::optional<astro::Equatorial> TelescopeObject(std::int32_t context);

  // Operation 14 into the menu `menu` (the window system keeps its items).
  void BuildObjectMenu(ws_Handle menu);
  // Operation 15: command `id` for the object `name` at `position`.
  void ObjectMenuCommand(std::int32_t id, const std::string& name,
                         const astro::Equatorial& position);

 private:
  void* library_ = nullptr;
  vl_DoOperationFn entry_ = nullptr;
  std::string path_;
};

}  // namespace host
