// Little-endian reads and writes at fixed offsets of host records, the
// contract's own helpers under the core's names.  Host blocks are plain byte
// arrays; nothing is ever cast over them.
#pragma once

#include <velastra/contract.h>

#include <cstddef>
#include <cstdint>

namespace ctl::bytes {

inline std::uint8_t U8(const std::uint8_t* block, std::size_t offset) {
  return vlrec_u8(block, offset);
}
inline std::uint16_t U16(const std::uint8_t* block, std::size_t offset) {
  return vlrec_u16(block, offset);
}
inline std::uint32_t U32(const std::uint8_t* block, std::size_t offset) {
  return vlrec_u32(block, offset);
}
inline std::int32_t I32(const std::uint8_t* block, std::size_t offset) {
  return vlrec_i32(block, offset);
}
inline std::uint64_t U64(const std::uint8_t* block, std::size_t offset) {
  return vlrec_u64(block, offset);
}
inline double F64(const std::uint8_t* block, std::size_t offset) {
  return vlrec_f64(block, offset);
}

inline void PutU8(std::uint8_t* block, std::size_t offset, std::uint8_t value) {
  vlrec_put_u8(block, offset, value);
}
inline void PutU16(std::uint8_t* block, std::size_t offset, std::uint16_t value) {
  vlrec_put_u16(block, offset, value);
}
inline void PutU32(std::uint8_t* block, std::size_t offset, std::uint32_t value) {
  vlrec_put_u32(block, offset, value);
}
inline void PutI32(std::uint8_t* block, std::size_t offset, std::int32_t value) {
  vlrec_put_i32(block, offset, value);
}
inline void PutU64(std::uint8_t* block, std::size_t offset, std::uint64_t value) {
  vlrec_put_u64(block, offset, value);
}
inline void PutF64(std::uint8_t* block, std::size_t offset, double value) {
  vlrec_put_f64(block, offset, value);
}

}  // namespace ctl::bytes
