// The module's resources, the data a Windows build keeps in its .rc file:
// string table and dialog templates.  The platform layers look them up here.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace res {

// The string with this id, or nullptr when the module has none.
const char* FindString(std::uint32_t id);
// The dialog template with this resource id, or nullptr.
const plat::DialogTemplate* FindDialog(std::uint16_t id);

}  // namespace res
