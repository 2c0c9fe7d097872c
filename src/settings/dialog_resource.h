// Dialog resource 101, the configuration dialog's template: the one control
// table that the Windows resource script and the Linux window system present.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace res {

// The dialog template with this resource id, or nullptr.
const plat::DialogTemplate* FindDialog(std::uint16_t id);

}  // namespace res
