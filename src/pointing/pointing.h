// Pointing model: encoder counts to sky angles, frame conversions through
// the host, and the corrected current position.
#pragma once

#include <cstdint>

#include "state/state.h"

namespace ctl {

struct SphericalTriple {
  double longitude = 0.0;
  double latitude = 0.0;
  double radius = 0.0;
};

void ConvertEncoderCounts(EncoderRecord& record, const Settings& settings);
// The drift term the conversion adds to the first angle now: one turn per
// unit of the day number since connecting, on an equatorial mount; 0 on an
// alt-azimuth mount or while the day number stands where it stood at connect.
double DriftTerm(const Settings& settings);
void NormaliseAngles(double& first, double& second);

SphericalTriple EquatorialToHorizon(std::uint32_t host_context, double ra, double dec);
SphericalTriple HorizonToEquatorial(std::uint32_t host_context, double azimuth, double altitude);

// The corrected position of an encoder record that the conversion filled:
// the six coefficients or the mount model, as the PointModel setting says.
void CorrectPosition(const EncoderRecord& record, double& first, double& second);

}  // namespace ctl
