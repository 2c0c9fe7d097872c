// Operation 23: the configuration dialog.
#include "settings/settings.h"

namespace ctl {

int OpenConfigDialog() { return 1; }
std::intptr_t ConfigDialogProc(plat::Handle, std::uint32_t, std::uintptr_t, std::intptr_t) {
  return 0;
}

}  // namespace ctl
