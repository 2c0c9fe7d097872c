// The loader's notification on Linux: when the shared object is loaded into
// the host's process, the plug-in keeps its module instance.
#include <dlfcn.h>

#include "state/state.h"

namespace {

__attribute__((constructor)) void OnLibraryLoaded() {
  Dl_info info{};
  plat::Handle instance = plat::kInvalidHandle;
  if (dladdr(reinterpret_cast<void*>(&OnLibraryLoaded), &info) != 0) {
    instance = reinterpret_cast<plat::Handle>(info.dli_fbase);
  }
  ctl::OnProcessAttach(instance);
}

}  // namespace
