// Host-side parameter blocks: plain little-endian byte arrays, read and
// written at fixed offsets, the way the plug-in's records are laid out.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace host {

class Block {
 public:
  explicit Block(std::size_t size) : bytes_(size, 0) {}

  std::uint8_t* data() { return bytes_.data(); }
  std::uintptr_t address() { return reinterpret_cast<std::uintptr_t>(bytes_.data()); }
  std::size_t size() const { return bytes_.size(); }

  std::uint8_t U8(std::size_t offset) const { return bytes_.at(offset); }
  std::uint16_t U16(std::size_t offset) const {
    return static_cast<std::uint16_t>(bytes_.at(offset) | (bytes_.at(offset + 1) << 8));
  }
  std::uint32_t U32(std::size_t offset) const {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes_.at(offset + i);
    return value;
  }
  std::int32_t I32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
  double F64(std::size_t offset) const {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | bytes_.at(offset + i);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // A counted string: a length byte and that many characters.
  std::string Counted(std::size_t offset) const {
    const std::size_t length = bytes_.at(offset);
    return std::string(reinterpret_cast<const char*>(&bytes_.at(offset + 1)), length);
  }

  void PutU8(std::size_t offset, std::uint8_t value) { bytes_.at(offset) = value; }
  void PutU32(std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
  }
  void PutI32(std::size_t offset, std::int32_t value) {
    PutU32(offset, static_cast<std::uint32_t>(value));
  }
  void PutF64(std::size_t offset, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) bytes_.at(offset + i) = static_cast<std::uint8_t>(bits >> (8 * i));
  }
  // Writes a counted string (at most 255 characters) and a zero byte after it.
  void PutCounted(std::size_t offset, std::string_view text) {
    const std::size_t length = text.size() > 255 ? 255 : text.size();
    bytes_.at(offset) = static_cast<std::uint8_t>(length);
    for (std::size_t i = 0; i < length; ++i)
      bytes_.at(offset + 1 + i) = static_cast<std::uint8_t>(text[i]);
    bytes_.at(offset + 1 + length) = 0;
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Reads a little-endian double at an address the plug-in handed over.
inline double F64At(std::uintptr_t address, std::size_t offset) {
  std::uint8_t raw[8];
  std::memcpy(raw, reinterpret_cast<const void*>(address + offset), sizeof raw);
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | raw[i];
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace host
