// The tables UseModuleResources handed over, shared by the parts of the
// Linux platform layer that look resources up.
#pragma once

#include "platform/platform.h"

namespace plat {

// The tables in use; their members are nullptr until the entry hands them over.
const ModuleResources& ModuleResourcesInUse();

}  // namespace plat
