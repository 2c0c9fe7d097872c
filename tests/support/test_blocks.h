// Small helpers shared by the test files: host blocks built byte by byte,
// profile keys read back, and scoped environment variables.
#pragma once

#include <ftw.h>
#include <velastra/contract.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

inline void PutLe(std::vector<std::uint8_t>& block, std::size_t offset, std::uint64_t value,
                  int width) {
  for (int i = 0; i < width; ++i) block[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The object menu block of operations 14 and 15: the object's name as a
// counted string, its right ascension, its declination and the command id;
// every other byte is `fill`.
inline std::vector<std::uint8_t> ObjectMenuBlock(std::int32_t command, const std::string& name,
                                                 double ra = 0.0, double dec = 0.0,
                                                 std::uint8_t fill = 0) {
  std::vector<std::uint8_t> block(VL_OBJECT_MENU_SIZE, fill);
  block[VL_OBJECT_NAME] = static_cast<std::uint8_t>(name.size());
  std::memcpy(block.data() + VL_OBJECT_NAME + 1, name.data(), name.size() & 0xFF);
  vlrec_put_f64(block.data(), VL_OBJECT_RA, ra);
  vlrec_put_f64(block.data(), VL_OBJECT_DEC, dec);
  vlrec_put_i32(block.data(), VL_OBJECT_COMMAND, command);
  return block;
}

// The text of a key in a profile's text, or "<missing>".
inline std::string ProfileKey(const std::string& profile, const std::string& key) {
  const std::string needle = "\n" + key + "=";
  const std::size_t at = ("\n" + profile).find(needle);
  if (at == std::string::npos) return "<missing>";
  const std::size_t start = at + needle.size() - 1;
  return profile.substr(start, profile.find('\n', start) - start);
}

// Sets (or, with nullptr, removes) an environment variable for the life of
// the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = std::string(old);
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Removes a folder and everything below it, without following links.
inline void RemoveTree(const std::string& path) {
  nftw(
      path.c_str(),
      [](const char* entry, const struct stat*, int, struct FTW*) { return std::remove(entry); },
      16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace testsupport
