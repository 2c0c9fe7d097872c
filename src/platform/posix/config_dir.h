// Where the plug-in keeps its files on Linux: the configuration folder.
//
//   VELASTRA_CONFIG_DIR                    when set and not empty
//   $XDG_CONFIG_HOME/velastra              when XDG_CONFIG_HOME is an absolute path
//   $HOME/.config/velastra                 otherwise
//
// The folder holds the profile (win.ini) and the ports/ folder of links that
// name the serial devices.  Private to the posix platform layer.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plat::posix {

// Writes the folder's path (without a trailing '/') into `out`, zero-
// terminated.  False when no folder can be named (no HOME) or the path does
// not fit in `size` bytes.
inline bool ConfigDirectory(char* out, std::size_t size) {
  if (out == nullptr || size == 0) return false;
  out[0] = '\0';
  int length = -1;
  const char* own = std::getenv("VELASTRA_CONFIG_DIR");
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (own != nullptr && own[0] != '\0') {
    length = std::snprintf(out, size, "%s", own);
  } else if (xdg != nullptr && xdg[0] == '/') {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as XDG asks.
    length = std::snprintf(out, size, "%s/velastra", xdg);
  } else if (home != nullptr && home[0] != '\0') {
    length = std::snprintf(out, size, "%s/.config/velastra", home);
  }
  if (length <= 0 || static_cast<std::size_t>(length) >= size) {
    out[0] = '\0';
    return false;
  }
  // "/etc/velastra/" and "/etc/velastra" name the same folder.
  while (length > 1 && out[length - 1] == '/') out[--length] = '\0';
  return true;
}

}  // namespace plat::posix
