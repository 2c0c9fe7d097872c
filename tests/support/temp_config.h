// A configuration folder of the test's own: VELASTRA_CONFIG_DIR points at a
// fresh temporary folder for the life of the object.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

class TempConfigDir {
 public:
  TempConfigDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ctlcfg-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    path_ = made != nullptr ? made : pattern;
    const char* old = std::getenv("VELASTRA_CONFIG_DIR");
    if (old != nullptr) previous_ = old, had_previous_ = true;
    setenv("VELASTRA_CONFIG_DIR", path_.c_str(), 1);
  }
  ~TempConfigDir() {
    if (had_previous_) {
      setenv("VELASTRA_CONFIG_DIR", previous_.c_str(), 1);
    } else {
      unsetenv("VELASTRA_CONFIG_DIR");
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempConfigDir(const TempConfigDir&) = delete;
  TempConfigDir& operator=(const TempConfigDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path Profile() const { return path_ / "win.ini"; }

  void WriteProfile(const std::string& text) const {
    std::ofstream(Profile(), std::ios::binary) << text;
  }
  std::string ReadProfile() const {
    std::ifstream in(Profile(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Points a port name (COM1...) at a device through the ports/ folder.
  void LinkPort(const std::string& name, const std::string& device) const {
    std::filesystem::create_directories(path_ / "ports");
    std::error_code ignored;
    std::filesystem::remove(path_ / "ports" / name, ignored);
    std::filesystem::create_symlink(device, path_ / "ports" / name);
  }

 private:
  std::filesystem::path path_;
  std::string previous_;
  bool had_previous_ = false;
};

}  // namespace testsupport
