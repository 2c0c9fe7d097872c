#include "session.h"

#include <dlfcn.h>

#include "blocks.h"

namespace host {
namespace {

// Byte offsets of the host records.
constexpr std::size_t kRegistrationSize = 1024;
constexpr std::size_t kPeriodicSize = 64;
constexpr std::size_t kObjectMenuSize = 1200;
constexpr std::size_t kObjectName = 8;
constexpr std::size_t kObjectRa = 544;
constexpr std::size_t kObjectDec = 552;
constexpr std::size_t kObjectMenuHandle = 1108;
constexpr std::size_t kObjectCommand = 1116;
constexpr std::size_t kTelescopeSize = 400;
constexpr std::size_t kTelescopeContext = 320;

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
  block.PutI32(0, version);
  Call(kRegister, block.address());
  Registration r;
  r.accepted = block.U8(4) == 1;
  r.version = block.I32(0);
  if (r.accepted) {
    r.top = block.U16(18);
    r.left = block.U16(20);
    r.bottom = block.U16(22);
    r.right = block.U16(24);
    r.caption = block.Counted(33);
  }
  return r;
}

void Session::SetDebugWindow(ws_Handle window) { Call(kSetDebugWindow, window); }

void Session::SetTime(double day_number) {
  Block block(16);
  block.PutF64(0, day_number);
  Call(kSetTime, block.address());
}

void Session::SetHostContext(std::int32_t context) {
  Block block(16);
  block.PutI32(12, context);
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
  Block block(8);
  block.PutI32(0, item);
  Call(kMenuItemState, block.address());
  return {block.U8(4) == 1, block.U8(5) == 1};
}

std::optional<Report> Session::PeriodicUpdate() {
  Block block(kPeriodicSize);
  block.PutI32(4, 5);
  Call(kPeriodicUpdate, block.address());
  const std::int32_t kind = block.I32(4);
  const std::uintptr_t address = block.U32(8);  // a 4-byte field: the plug-in keeps it below 4 GiB
  if ((kind != 2 && kind != 3) || address == 0) return std::nullopt;
  Report report;
  report.kind = kind;
  report.first = F64At(address, 0);
  report.second = F64At(address, 8);
  if (kind == 2) report.first = astro::MathematicalToRealWorld(report.first);
  return report;
}

std::optional<astro::Equatorial> Session::TelescopeObject(std::int32_t context) {
  Block block(kTelescopeSize);
  block.PutI32(kTelescopeContext, context);
  Call(kTelescopeObject, block.address());
  if (block.U8(0) != 1 || block.U8(1) != 3) return std::nullopt;
  return astro::Equatorial{block.F64(8), block.F64(16)};
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
