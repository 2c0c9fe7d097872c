// Built when the simulated box is not part of the build.
#include "app.h"
#include "demo.h"

namespace host {

int RunDemo(App& app) {
  app.console().Error("this build has no simulated box; the demo is not available");
  return 1;
}

}  // namespace host
