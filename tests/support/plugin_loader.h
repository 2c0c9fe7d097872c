// Loads the built Controller.plug the way a host does and calls it with
// real byte blocks.
#pragma once

#include <velastra/host_abi.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testhost {

class Plugin {
 public:
  // dlopen(RTLD_NOW | RTLD_LOCAL) and dlsym("DoOperation").
  explicit Plugin(const std::string& path = CONTROLLER_PLUG_PATH);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  bool Loaded() const { return entry_ != nullptr; }
  const std::string& Error() const { return error_; }

  std::int16_t Call(std::uint32_t selector, std::uintptr_t parameter) const;
  std::int16_t Call(std::uint32_t selector, std::vector<std::uint8_t>& block) const {
    return Call(selector, reinterpret_cast<std::uintptr_t>(block.data()));
  }

 private:
  void* library_ = nullptr;
  vl_DoOperationFn entry_ = nullptr;
  std::string error_;
};

// Operation 0 with the given interface version (the settings are read from
// the profile when it is accepted).
void Register(const Plugin& plugin, std::int32_t version = 4);
// Operation 34 with this day number.
void SetTime(const Plugin& plugin, double day_number);
// Operation 22: the enabled and checked bytes of a menu item.
struct MenuItem {
  std::uint8_t enabled;
  std::uint8_t checked;
};
MenuItem MenuItemState(const Plugin& plugin, std::int32_t id);
// Item 8204 (disconnect) is enabled exactly while the plug-in is connected.
inline bool Connected(const Plugin& plugin) { return MenuItemState(plugin, 8204).enabled == 1; }

// Little-endian helpers for building and reading blocks in tests.
void PutI32(std::vector<std::uint8_t>& block, std::size_t offset, std::int32_t value);
void PutF64(std::vector<std::uint8_t>& block, std::size_t offset, double value);
std::int32_t GetI32(const std::vector<std::uint8_t>& block, std::size_t offset);
std::uint32_t GetU32(const std::vector<std::uint8_t>& block, std::size_t offset);
std::uint16_t GetU16(const std::vector<std::uint8_t>& block, std::size_t offset);
double GetF64(const std::vector<std::uint8_t>& block, std::size_t offset);
double GetF64At(std::uintptr_t address, std::size_t offset);
void PutCounted(std::vector<std::uint8_t>& block, std::size_t offset, const std::string& text);

}  // namespace testhost
