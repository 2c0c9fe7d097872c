// The module's resources, the data a Windows build keeps in its .rc file:
// the string table here, the dialog template beside the dialog.  The
// resource-script generator writes them out; on Linux the library's entry
// hands them to the platform layer.
#pragma once

#include <cstdint>

#include "settings/dialog_resource.h"

namespace res {

// The string with this id, or nullptr when the module has none.
const char* FindString(std::uint32_t id);

}  // namespace res
