// Little-endian reads and writes at fixed offsets of host records.  Host
// blocks are plain byte arrays; nothing is ever cast over them.
#pragma once

#include <cstdint>
#include <cstring>

namespace ctl::bytes {

inline std::uint8_t U8(const std::uint8_t* block, std::size_t offset) { return block[offset]; }

inline std::uint16_t U16(const std::uint8_t* block, std::size_t offset) {
  return static_cast<std::uint16_t>(block[offset] | (block[offset + 1] << 8));
}

inline std::uint32_t U32(const std::uint8_t* block, std::size_t offset) {
  return static_cast<std::uint32_t>(block[offset]) |
         (static_cast<std::uint32_t>(block[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(block[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(block[offset + 3]) << 24);
}

inline std::int32_t I32(const std::uint8_t* block, std::size_t offset) {
  return static_cast<std::int32_t>(U32(block, offset));
}

inline std::uint64_t U64(const std::uint8_t* block, std::size_t offset) {
  return static_cast<std::uint64_t>(U32(block, offset)) |
         (static_cast<std::uint64_t>(U32(block, offset + 4)) << 32);
}

inline double F64(const std::uint8_t* block, std::size_t offset) {
  const std::uint64_t bits = U64(block, offset);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline void PutU8(std::uint8_t* block, std::size_t offset, std::uint8_t value) {
  block[offset] = value;
}

inline void PutU16(std::uint8_t* block, std::size_t offset, std::uint16_t value) {
  block[offset] = static_cast<std::uint8_t>(value);
  block[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutU32(std::uint8_t* block, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) block[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void PutI32(std::uint8_t* block, std::size_t offset, std::int32_t value) {
  PutU32(block, offset, static_cast<std::uint32_t>(value));
}

inline void PutU64(std::uint8_t* block, std::size_t offset, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) block[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void PutF64(std::uint8_t* block, std::size_t offset, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  PutU64(block, offset, bits);
}

}  // namespace ctl::bytes
