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

// The operation selectors, menu item ids, command ids and record layouts the
// host uses are the contract's own (velastra/contract.h).

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

  Registration Register(std::int32_t version = VL_INTERFACE_VERSION);
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
  bool connected() { return ItemState(VL_ITEM_DISCONNECT).enabled; }
  bool reporting() { return ItemState(VL_ITEM_REPORTING).checked; }

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
  void CallWithBlankBlock(std::uint32_t selector);

  void* library_ = nullptr;
  vl_DoOperationFn entry_ = nullptr;
  std::string path_;
};

}  // namespace host
