// Host-side parameter blocks: plain little-endian byte arrays, read and
// written at fixed offsets, the way the plug-in's records are laid out.
#pragma once

#include <velastra/contract.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace host {

class Block {
 public:
  explicit Block(std::size_t size) : bytes_(size, 0) {}

  std::uint8_t* data() { return bytes_.data(); }
  std::uintptr_t address() { return reinterpret_cast<std::uintptr_t>(bytes_.data()); }
  std::size_t size() const { return bytes_.size(); }

  // Each read and write checks that the field lies inside the block.
  std::uint8_t U8(std::size_t offset) const { return vlrec_u8(At(offset, 1), 0); }
  std::uint16_t U16(std::size_t offset) const { return vlrec_u16(At(offset, 2), 0); }
  std::uint32_t U32(std::size_t offset) const { return vlrec_u32(At(offset, 4), 0); }
  std::int32_t I32(std::size_t offset) const { return vlrec_i32(At(offset, 4), 0); }
  double F64(std::size_t offset) const { return vlrec_f64(At(offset, 8), 0); }
  // A counted string: a length byte and that many characters.
  std::string Counted(std::size_t offset) const {
    const std::size_t length = U8(offset);
    return std::string(reinterpret_cast<const char*>(At(offset + 1, length)), length);
  }

  void PutU8(std::size_t offset, std::uint8_t value) { vlrec_put_u8(At(offset, 1), 0, value); }
  void PutU32(std::size_t offset, std::uint32_t value) { vlrec_put_u32(At(offset, 4), 0, value); }
  void PutI32(std::size_t offset, std::int32_t value) { vlrec_put_i32(At(offset, 4), 0, value); }
  void PutF64(std::size_t offset, double value) { vlrec_put_f64(At(offset, 8), 0, value); }
  // Writes a counted string (at most 255 characters) and a zero byte after it.
  void PutCounted(std::size_t offset, std::string_view text) {
    const std::size_t length = text.size() > 255 ? 255 : text.size();
    std::uint8_t* field = At(offset, length + 2);
    field[0] = static_cast<std::uint8_t>(length);
    std::memcpy(field + 1, text.data(), length);
    field[1 + length] = 0;
  }

 private:
  const std::uint8_t* At(std::size_t offset, std::size_t width) const {
    if (offset > bytes_.size() || width > bytes_.size() - offset) {
      throw std::out_of_range("field outside the host block");
    }
    return bytes_.data() + offset;
  }
  std::uint8_t* At(std::size_t offset, std::size_t width) {
    return const_cast<std::uint8_t*>(std::as_const(*this).At(offset, width));
  }

  std::vector<std::uint8_t> bytes_;
};

// Reads a little-endian double at an address the plug-in handed over.
inline double F64At(std::uintptr_t address, std::size_t offset) {
  return vlrec_f64(reinterpret_cast<const std::uint8_t*>(address), offset);
}

}  // namespace host
