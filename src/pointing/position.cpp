// The corrected current position of the telescope.
#include "diagnostics/diagnostics.h"
#include "link/link.h"
#include "pointing/pointing.h"

namespace ctl {

bool GetTelescopePosition(double& first, double& second) {
  PluginState& state = State();
  EncoderRecord record;
  // A query that sent or read nothing has no position to give; the caller
  // reports nothing new rather than a record that received no values.
  if (!QueryEncoders(record, state.settings)) return false;

  const PointingCoefficients& c = state.pointing;
  const double x = record.angle1;
  const double y = record.angle2;
  double corrected1 = (c.RA * x) * x + c.RB * x + c.RC;
  double corrected2 = (c.DA * y) * y + c.DB * y + c.DC;
  NormaliseAngles(corrected1, corrected2);
  first = corrected1;
  second = corrected2;

  // The debug window shows the query as it came, before the correction.
  FeedDebugWindow(record);
  return true;
}

}  // namespace ctl
