// Conversions between the sky frame and the horizon frame, done by the host.
// The plug-in does no spherical astronomy of its own: it hands the host a
// direction and the host context, and takes back what the host filled in.
#include <velastra/host_abi.h>

#include "pointing/pointing.h"

namespace ctl {
namespace {

constexpr std::int32_t kSkyFrame = VL_FRAME_SKY;
constexpr std::int32_t kHorizonFrame = VL_FRAME_HORIZON;

// Converts a direction from one frame to the other and returns it as a
// spherical triple.  Results the host leaves unwritten read as 0.
vl_Vector Convert(std::uint32_t host_context, std::int32_t from, std::int32_t to, double longitude,
                  double latitude) {
  vl_Vector xyz{0.0, 0.0, 0.0};
  vl_SphericalToXYZ(longitude, latitude, 1.0, &xyz);
  vl_Vector converted{0.0, 0.0, 0.0};
  vl_CoordinateConversion(static_cast<std::int32_t>(host_context), from, to, xyz, &converted);
  vl_Vector spherical{0.0, 0.0, 0.0};
  vl_XYZToSpherical(converted, &spherical);
  return spherical;
}

}  // namespace

SphericalTriple EquatorialToHorizon(std::uint32_t host_context, double ra, double dec) {
  const vl_Vector horizon = Convert(host_context, kSkyFrame, kHorizonFrame, ra, dec);
  double azimuth = 0.0;
  vl_Mathematical2RealWorldAzimuth(horizon.x, &azimuth);
  return {azimuth, horizon.y, horizon.z};
}

SphericalTriple HorizonToEquatorial(std::uint32_t host_context, double azimuth, double altitude) {
  double longitude = 0.0;
  vl_RealWorldAzimuth2Mathematical(azimuth, &longitude);
  const vl_Vector sky = Convert(host_context, kHorizonFrame, kSkyFrame, longitude, altitude);
  return {sky.x, sky.y, sky.z};
}

}  // namespace ctl
