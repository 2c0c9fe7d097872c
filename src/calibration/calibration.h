// Calibration: the list of sighted objects and the fit of the pointing
// coefficients.
#pragma once

#include <cstdint>

#include "state/state.h"

namespace ctl {

std::int16_t FindCalibrationEntry(const char* name);
int AddCalibrationEntry(const CalibrationEntry& entry);
int RemoveCalibrationEntry(const char* name);
int SightCalibrationEntry(const char* name, double encoder1, double encoder2);

// Point table: pair 0 holds n in its first member, pairs 1..n the points.
struct PointTable {
  double x[kCalibrationCapacity + 1] = {};
  double y[kCalibrationCapacity + 1] = {};
};

void CalibrateTelescope();
int FitLine(const PointTable& points, double& slope, double& intercept);
int FitQuadratic(const PointTable& points, double& a, double& b, double& c);

}  // namespace ctl
