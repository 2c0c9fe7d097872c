// Reads a fuzzer's input as a stream of values; past the end every byte
// reads as 0, so a short input is still a whole (if dull) case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace fuzzing {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Done() const { return at_ >= size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  // Four bytes, most significant first.
  std::uint32_t Word() {
    std::uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w = (w << 8) | Byte();
    return w;
  }
  // Up to `length` bytes, fewer where the input ends.
  std::string Bytes(std::size_t length) {
    std::string bytes;
    while (length-- > 0 && at_ < size_) bytes.push_back(static_cast<char>(data_[at_++]));
    return bytes;
  }
  // A length byte (modulo most + 1), then that many bytes.
  std::string Text(std::size_t most) {
    const std::size_t length = Byte() % (most + 1);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char>(Byte()));
    return text;
  }
  void Fill(std::uint8_t* block, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) block[i] = Byte();
  }
  // Mostly angles as a calibration meets them; now and then any double at
  // all (infinities, not-a-number, subnormals, huge values).
  double Value() {
    const std::uint8_t kind = Byte();
    if (kind < 200) {
      const auto raw = static_cast<std::int16_t>((Byte() << 8) | Byte());
      return raw / 4096.0;
    }
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | Byte();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// An invariant broke: say which, and stop so that the fuzzer keeps the input.
[[noreturn]] inline void Abort(const char* area, const char* what) {
  std::fprintf(stderr, "unsound %s: %s\n", area, what);
  std::abort();
}

}  // namespace fuzzing
