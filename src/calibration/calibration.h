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
// The same with the counts the box sent for those angles, which the mount
// model's scale terms and the checks of a six-coefficient fit take.
int SightCalibrationEntry(const char* name, double encoder1, double encoder2, double count1,
                          double count2);

// Point table: pair 0 holds n in its first member, pairs 1..n the points.
struct PointTable {
  double x[kCalibrationCapacity + 1] = {};
  double y[kCalibrationCapacity + 1] = {};
};

void CalibrateTelescope();
// The mount model's calibration ("MOUNT"), run by CalibrateTelescope once
// every entry is sighted.
void CalibrateMountModel();
int FitLine(const PointTable& points, double& slope, double& intercept);
int FitQuadratic(const PointTable& points, double& a, double& b, double& c);

}  // namespace ctl
