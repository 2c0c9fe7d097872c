// The library's entry on Linux: when the shared object is loaded into the
// host's process, the platform layer gets the module's resources and the
// plug-in keeps its module instance.  DoOperation itself, the one exported
// symbol (exports.map), is the dispatcher's.
#include <dlfcn.h>

#include "platform/platform.h"
#include "plugin/resources.h"
#include "state/state.h"

namespace {

__attribute__((constructor)) void OnLibraryLoaded() {
  plat::UseModuleResources({&res::FindString, &res::FindDialog});
  Dl_info info{};
  plat::Handle instance = plat::kInvalidHandle;
  if (dladdr(reinterpret_cast<void*>(&OnLibraryLoaded), &info) != 0) {
    instance = reinterpret_cast<plat::Handle>(info.dli_fbase);
  }
  ctl::OnProcessAttach(instance);
}

}  // namespace
