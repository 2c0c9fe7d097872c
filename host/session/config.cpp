// The plug-in's configuration folder, as the host finds and checks it.
#include "config.h"

#include <unistd.h>
#include <velastra/config_dir.h>

#include <filesystem>
#include <system_error>

namespace host {
namespace fs = std::filesystem;

std::string ConfigDir() {
  char folder[4096];
  return vl_ConfigDirectory(folder, sizeof folder) ? std::string(folder) : std::string();
}

bool ProfileWritable(const std::string& dir, std::string* reason) {
  if (dir.empty()) {
    *reason =
        "no configuration folder can be named (set HOME or VELASTRA_CONFIG_DIR); settings will "
        "not be saved";
    return false;
  }
  std::error_code ec;
  fs::create_directories(dir, ec);
  const std::string profile = dir + "/win.ini";
  if (!fs::is_directory(dir, ec)) {
    *reason = "the configuration folder " + dir + " cannot be made";
    return false;
  }
  // The profile is replaced through a new file in the same folder.
  if (access(dir.c_str(), W_OK | X_OK) != 0 ||
      (fs::exists(profile, ec) && access(profile.c_str(), W_OK) != 0)) {
    *reason = "the profile " + profile + " cannot be written; settings will not be saved";
    return false;
  }
  return true;
}

}  // namespace host
