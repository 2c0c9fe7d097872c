#include "plugin_loader.h"

#include <dlfcn.h>

#include <cstring>

namespace testhost {

Plugin::Plugin(const std::string& path) {
  library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) {
    error_ = dlerror();
    return;
  }
  entry_ = reinterpret_cast<vl_DoOperationFn>(dlsym(library_, VELASTRA_ENTRY_POINT));
  if (entry_ == nullptr) error_ = dlerror();
}

Plugin::~Plugin() {
  if (library_ != nullptr) dlclose(library_);
}

std::int16_t Plugin::Call(std::uint32_t selector, std::uintptr_t parameter) const {
  return entry_(selector, parameter);
}

void Register(const Plugin& plugin, std::int32_t version) {
  std::vector<std::uint8_t> record(801, 0);
  PutI32(record, 0, version);
  plugin.Call(0, record);
}

void SetTime(const Plugin& plugin, double day_number) {
  std::vector<std::uint8_t> block(16, 0);
  PutF64(block, 0, day_number);
  plugin.Call(34, block);
}

MenuItem MenuItemState(const Plugin& plugin, std::int32_t id) {
  std::vector<std::uint8_t> block(8, 0);
  PutI32(block, 0, id);
  plugin.Call(22, block);
  return {block[4], block[5]};
}

void PutI32(std::vector<std::uint8_t>& block, std::size_t offset, std::int32_t value) {
  for (int i = 0; i < 4; ++i)
    block[offset + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
}

void PutF64(std::vector<std::uint8_t>& block, std::size_t offset, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, 8);
  for (int i = 0; i < 8; ++i) block[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

std::uint32_t GetU32(const std::vector<std::uint8_t>& block, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(block[offset + i]) << (8 * i);
  return value;
}

std::int32_t GetI32(const std::vector<std::uint8_t>& block, std::size_t offset) {
  return static_cast<std::int32_t>(GetU32(block, offset));
}

std::uint16_t GetU16(const std::vector<std::uint8_t>& block, std::size_t offset) {
  return static_cast<std::uint16_t>(block[offset] | (block[offset + 1] << 8));
}

double GetF64(const std::vector<std::uint8_t>& block, std::size_t offset) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(block[offset + i]) << (8 * i);
  double value;
  std::memcpy(&value, &bits, 8);
  return value;
}

double GetF64At(std::uintptr_t address, std::size_t offset) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(address) + offset;
  std::vector<std::uint8_t> copy(p, p + 8);
  return GetF64(copy, 0);
}

void PutCounted(std::vector<std::uint8_t>& block, std::size_t offset, const std::string& text) {
  block[offset] = static_cast<std::uint8_t>(text.size());
  std::memcpy(block.data() + offset + 1, text.data(), text.size() & 0xFF);
}

}  // namespace testhost
