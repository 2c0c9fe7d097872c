// Letter case by the ASCII rule alone, whatever locale the host set: names
// in the profile and words of a line definition compare as on Windows.
#pragma once

#include <cstddef>

namespace plat {

inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
inline char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The first `size` characters of `a` and `b` are the same letters.
inline bool SameIgnoringCase(const char* a, const char* b, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace plat
