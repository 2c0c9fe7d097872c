// Point tables of any content through both fits, and calibration lists of
// any content through CalibrateTelescope.  Checks: nothing crashes or reads
// outside the table (whatever count pair 0 claims); a fit either refuses and
// leaves its results unwritten, or gives finite results; a line through two
// points of different encoder angle passes through both; and a calibration
// either replaces all six pointing coefficients with finite values or leaves
// all six as they were.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "calibration/calibration.h"
#include "fuzz_input.h"
#include "window_system_model.h"

namespace {

void Abort(const char* what) { fuzzing::Abort("fit", what); }

constexpr double kUnwritten = -123456.75;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::Input in(data, size);
  ctl::ResetState();
  wsm::Reset();

  // Both fits on one table; pair 0 may claim any count at all.
  ctl::PointTable table;
  const std::uint8_t claim = in.Byte();
  table.x[0] = claim < 240 ? claim % 12 : in.Value();
  table.y[0] = in.Value();
  for (int i = 1; i <= ctl::kCalibrationCapacity; ++i) {
    table.x[i] = in.Value();
    table.y[i] = in.Value();
  }
  double slope = kUnwritten, intercept = kUnwritten;
  if (ctl::FitLine(table, slope, intercept) == 1) {
    if (!std::isfinite(slope) || !std::isfinite(intercept)) Abort("line not finite");
    const double x1 = table.x[1], x2 = table.x[2];
    if (table.x[0] == 2.0 && std::fabs(x1 - x2) > 1e-2 && std::fabs(x1) < 16 &&
        std::fabs(x2) < 16 && std::fabs(table.y[1]) < 16 && std::fabs(table.y[2]) < 16) {
      for (int i = 1; i <= 2; ++i) {
        if (std::fabs(slope * table.x[i] + intercept - table.y[i]) > 1e-6)
          Abort("line misses a point");
      }
    }
  } else if (slope != kUnwritten || intercept != kUnwritten) {
    Abort("refused line wrote its results");
  }
  double a = kUnwritten, b = kUnwritten, c = kUnwritten;
  if (ctl::FitQuadratic(table, a, b, c) == 1) {
    if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c)) Abort("parabola not finite");
  } else if (a != kUnwritten || b != kUnwritten || c != kUnwritten) {
    Abort("refused parabola wrote its results");
  }

  // A list of up to eight entries, sighted or not, through the calibration.
  ctl::PluginState& state = ctl::State();
  state.settings.MountType = in.Byte() & 1;
  const int count = in.Byte() % (ctl::kCalibrationCapacity + 1);
  state.calibration.count = count;
  for (int i = 0; i < count; ++i) {
    ctl::CalibrationEntry& e = state.calibration.entries[i];
    std::snprintf(e.name, sizeof e.name, "Object %d", i);
    e.sighted = in.Byte() < 240 ? 1 : 0;
    e.encoder1 = in.Value();
    e.catalogue1 = in.Value();
    e.encoder2 = in.Value();
    e.catalogue2 = in.Value();
  }
  ctl::PointingCoefficients& p = state.pointing;
  p = {0.5, 0.25, -3.0, 0.125, 2.0, 7.0};
  const ctl::PointingCoefficients before = p;
  ctl::CalibrateTelescope();
  const double now[6] = {p.RA, p.RB, p.RC, p.DA, p.DB, p.DC};
  const double was[6] = {before.RA, before.RB, before.RC, before.DA, before.DB, before.DC};
  const bool unchanged = std::memcmp(now, was, sizeof now) == 0;
  if (!unchanged) {
    for (double v : now) {
      if (!std::isfinite(v)) Abort("coefficient not finite");
    }
    if (count == 2 && (p.RA != 0.0 || p.DA != 0.0)) Abort("a line with a quadratic term");
  }
  ctl::ResetState();
  return 0;
}
