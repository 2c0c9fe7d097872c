#include "session.h"

#include <dlfcn.h>

#include "blocks.h"

namespace host {

Session::~Session() {
  if (library_ != nullptr) dlclose(library_);
}

bool Session::Load(const std::string& path, std::string* error) {
  dlerror();
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = dlerror();
    if (error != nullptr)
      *error = "cannot load plug-in " + path + ": " + (why ? why : "unknown error");
    return false;
  }
  void* entry = dlsym(library, VELASTRA_ENTRY_POINT);
  if (entry == nullptr) {
    dlclose(library);
    if (error != nullptr)
      *error = "plug-in " + path + " has no " VELASTRA_ENTRY_POINT " entry point";
    return false;
  }
  library_ = library;
  entry_ = reinterpret_cast<vl_DoOperationFn>(entry);
  path_ = path;
  return true;
}

std::int16_t Session::Call(std::uint32_t selector, std::uintptr_t parameter) {
  return entry_ != nullptr ? entry_(selector, parameter) : 0;
}

Registration Session::Register(std::int32_t version) {
  Block block(VL_REGISTRATION_SIZE);
  block.PutI32(VL_REGISTRATION_VERSION, version);
  Call(VL_OP_REGISTER, block.address());
  Registration r;
  r.accepted = block.U8(VL_REGISTRATION_ACCEPTED) == 1;
  r.version = block.I32(VL_REGISTRATION_VERSION);
  if (r.accepted) {
    r.top = block.U16(VL_REGISTRATION_TOP);
    r.left = block.U16(VL_REGISTRATION_LEFT);
    r.bottom = block.U16(VL_REGISTRATION_BOTTOM);
    r.right = block.U16(VL_REGISTRATION_RIGHT);
    r.caption = block.Counted(VL_REGISTRATION_CAPTION);
  }
  return r;
}

void Session::SetDebugWindow(ws_Handle window) { Call(VL_OP_SET_DEBUG_WINDOW, window); }

void Session::SetTime(double day_number) {
  Block block(VL_TIME_SIZE);
  block.PutF64(VL_TIME_DAY_NUMBER, day_number);
  Call(VL_OP_SET_TIME, block.address());
}

void Session::SetHostContext(std::int32_t context) {
  Block block(VL_CONTEXT_SIZE);
  block.PutI32(VL_CONTEXT_VALUE, context);
  Call(VL_OP_SET_HOST_CONTEXT, block.address());
}

// The menu's operations take a block the plug-in does not read.
void Session::CallWithBlankBlock(std::uint32_t selector) {
  Block block(16);
  Call(selector, block.address());
}
void Session::Connect() { CallWithBlankBlock(VL_OP_CONNECT); }
void Session::Disconnect() { CallWithBlankBlock(VL_OP_DISCONNECT); }
void Session::ToggleReporting() { CallWithBlankBlock(VL_OP_TOGGLE_REPORTING); }
void Session::Calibrate() { CallWithBlankBlock(VL_OP_CALIBRATE); }
void Session::Configure() { CallWithBlankBlock(VL_OP_CONFIGURE); }

MenuState Session::ItemState(std::int32_t item) {
  Block block(VL_MENU_STATE_SIZE);
  block.PutI32(VL_MENU_STATE_ITEM, item);
  Call(VL_OP_MENU_ITEM_STATE, block.address());
  return {block.U8(VL_MENU_STATE_ENABLED) == 1, block.U8(VL_MENU_STATE_CHECKED) == 1};
}

std::optional<Report> Session::PeriodicUpdate() {
  Block block(VL_PERIODIC_SIZE);
  block.PutI32(VL_PERIODIC_KIND, VL_KIND_NONE);
  Call(VL_OP_PERIODIC_UPDATE, block.address());
  const std::int32_t kind = block.I32(VL_PERIODIC_KIND);
  // A 4-byte field: the plug-in keeps its reports below 4 GiB.
  const std::uintptr_t address = block.U32(VL_PERIODIC_REPORT);
  if ((kind != VL_KIND_HORIZONTAL && kind != VL_KIND_EQUATORIAL) || address == 0) {
    return std::nullopt;
  }
  Report report;
  report.kind = kind;
  report.first = F64At(address, VL_REPORT_FIRST);
  report.second = F64At(address, VL_REPORT_SECOND);
  if (kind == VL_KIND_HORIZONTAL) report.first = astro::MathematicalToRealWorld(report.first);
  return report;
}

std::optional<astro::Equatorial> Session::TelescopeObject(std::int32_t context) {
  Block block(VL_TELESCOPE_SIZE);
  block.PutI32(VL_TELESCOPE_CONTEXT, context);
  Call(VL_OP_TELESCOPE_OBJECT, block.address());
  if (block.U8(VL_TELESCOPE_VALID) != 1 || block.U8(VL_TELESCOPE_KIND) != VL_KIND_EQUATORIAL) {
    return std::nullopt;
  }
  return astro::Equatorial{block.F64(VL_TELESCOPE_FIRST), block.F64(VL_TELESCOPE_SECOND)};
}

void Session::BuildObjectMenu(ws_Handle menu) {
  Block block(VL_OBJECT_MENU_SIZE);
  block.PutU32(VL_OBJECT_MENU_HANDLE, static_cast<std::uint32_t>(menu));
  Call(VL_OP_BUILD_OBJECT_MENU, block.address());
}

void Session::ObjectMenuCommand(std::int32_t id, const std::string& name,
                                const astro::Equatorial& position) {
  Block block(VL_OBJECT_MENU_SIZE);
  block.PutCounted(VL_OBJECT_NAME, name);
  block.PutF64(VL_OBJECT_RA, position.ra);
  block.PutF64(VL_OBJECT_DEC, position.dec);
  block.PutI32(VL_OBJECT_COMMAND, id);
  Call(VL_OP_OBJECT_MENU_COMMAND, block.address());
}

}  // namespace host
