// The demonstration: the plug-in against a simulated setting-circle box with
// a deliberate mount error (or a real box), from connecting to a calibrated
// telescope, with pictures of the diagnostics page and the calibration.
#pragma once

namespace host {

class App;

// Runs the demo; the exit code.
int RunDemo(App& app);

}  // namespace host
