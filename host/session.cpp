#include "session.h"

#include <dlfcn.h>

#include "blocks.h"

namespace host {
namespace {

// Byte offsets of the host records (velastra/contract.h).
constexpr std::size_t kRegistrationSize = VL_REGISTRATION_SIZE;
constexpr std::size_t kPeriodicSize = VL_PERIODIC_SIZE;
constexpr std::size_t kObjectMenuSize = VL_OBJECT_MENU_SIZE;
constexpr std::size_t kObjectName = VL_OBJECT_NAME;
constexpr std::size_t kObjectRa = VL_OBJECT_RA;
constexpr std::size_t kObjectDec = VL_OBJECT_DEC;
constexpr std::size_t kObjectMenuHandle = VL_OBJECT_MENU_HANDLE;
constexpr std::size_t kObjectCommand = VL_OBJECT_COMMAND;
constexpr std::size_t kTelescopeSize = VL_TELESCOPE_SIZE;
constexpr std::size_t kTelescopeContext = VL_TELESCOPE_CONTEXT;

}  // namespace

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
  Block block(kRegistrationSize);
  block.PutI32(VL_REGISTRATION_VERSION, version);
  Call(kRegister, block.address());
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

void Session::SetDebugWindow(ws_Handle window) { Call(kSetDebugWindow, window); }

void Session::SetTime(double day_number) {
  Block block(VL_TIME_SIZE);
  block.PutF64(VL_TIME_DAY_NUMBER, day_number);
  Call(kSetTime, block.address());
}

void Session::SetHostContext(std::int32_t context) {
  Block block(VL_CONTEXT_SIZE);
  block.PutI32(VL_CONTEXT_VALUE, context);
  Call(kSetHostContext, block.address());
}

void Session::Connect() {
  Block block(16);
  Call(kConnect, block.address());
}
void Session::Disconnect() {
  Block block(16);
  Call(kDisconnect, block.address());
}
void Session::ToggleReporting() {
  Block block(16);
  Call(kToggleReporting, block.address());
}
void Session::Calibrate() {
  Block block(16);
  Call(kCalibrate, block.address());
}
void Session::Configure() {
  Block block(16);
  Call(kConfigure, block.address());
}

MenuState Session::ItemState(std::int32_t item) {
  Block block(VL_MENU_STATE_SIZE);
  block.PutI32(VL_MENU_STATE_ITEM, item);
  Call(kMenuItemState, block.address());
  return {block.U8(VL_MENU_STATE_ENABLED) == 1, block.U8(VL_MENU_STATE_CHECKED) == 1};
}

std::optional<Report> Session::PeriodicUpdate() {
  Block block(kPeriodicSize);
  block.PutI32(VL_PERIODIC_KIND, VL_KIND_NONE);
  Call(kPeriodicUpdate, block.address());
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
  Block block(kTelescopeSize);
  block.PutI32(kTelescopeContext, context);
  Call(kTelescopeObject, block.address());
  if (block.U8(VL_TELESCOPE_VALID) != 1 || block.U8(VL_TELESCOPE_KIND) != VL_KIND_EQUATORIAL) {
    return std::nullopt;
  }
  return astro::Equatorial{block.F64(VL_TELESCOPE_FIRST), block.F64(VL_TELESCOPE_SECOND)};
}

void Session::BuildObjectMenu(ws_Handle menu) {
  Block block(kObjectMenuSize);
  block.PutU32(kObjectMenuHandle, static_cast<std::uint32_t>(menu));
  Call(kBuildObjectMenu, block.address());
}

void Session::ObjectMenuCommand(std::int32_t id, const std::string& name,
                                const astro::Equatorial& position) {
  Block block(kObjectMenuSize);
  block.PutCounted(kObjectName, name);
  block.PutF64(kObjectRa, position.ra);
  block.PutF64(kObjectDec, position.dec);
  block.PutI32(kObjectCommand, id);
  Call(kObjectMenuCommand, block.address());
}

}  // namespace host
