// The host functions of the test hosts that run the same script on both
// platforms (velastra.exe under Wine, script_host on Linux).  The
// conversions are deliberately simple, made of additions and
// multiplications only, so that both platforms compute the very same
// doubles: a difference in the plug-ins' answers is then the plug-ins' own.
#include <velastra/host_abi.h>

#if defined(_WIN32)
#define HOST_EXPORT extern "C" __declspec(dllexport)
#else
#define HOST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
constexpr double kTwoPi = 2.0 * 3.141592653589793;
constexpr double kFrameShift = 0.5;        // horizon longitude = sky longitude + shift
constexpr double kContextStep = 0.015625;  // and a little more per context unit
}  // namespace

HOST_EXPORT void vl_RealWorldAzimuth2Mathematical(double azimuth, double* result) {
  *result = kTwoPi - azimuth;
}
HOST_EXPORT void vl_Mathematical2RealWorldAzimuth(double longitude, double* result) {
  *result = kTwoPi - longitude;
}
HOST_EXPORT void vl_SphericalToXYZ(double longitude, double latitude, double radius,
                                   vl_Vector* result) {
  *result = vl_Vector{longitude, latitude, radius};
}
HOST_EXPORT void vl_CoordinateConversion(int32_t context, int32_t from_frame, int32_t to_frame,
                                         vl_Vector v, vl_Vector* result) {
  const double shift = kFrameShift + kContextStep * context;
  if (from_frame == VL_FRAME_SKY && to_frame == VL_FRAME_HORIZON) {
    *result = vl_Vector{v.x + shift, v.y * 0.5, v.z};
  } else if (from_frame == VL_FRAME_HORIZON && to_frame == VL_FRAME_SKY) {
    *result = vl_Vector{v.x - shift, v.y * 2.0, v.z};
  } else {
    *result = v;
  }
}
HOST_EXPORT void vl_XYZToSpherical(vl_Vector v, vl_Vector* result) { *result = v; }

// The rest of velastra.exe's exports: the plug-in imports none of them.
HOST_EXPORT void vl_CloseWindow() {}
HOST_EXPORT void vl_NewWindow() {}
HOST_EXPORT void vl_GrabScreenshot() {}
HOST_EXPORT void vl_BringDocumentWindowToFront() {}
HOST_EXPORT void vl_CentreWindowAtCoords() {}
HOST_EXPORT void vl_GotoPlanet() {}
HOST_EXPORT void vl_TurnHorizonOnOff() {}
HOST_EXPORT void vl_GotoFixedLocation() {}
HOST_EXPORT void vl_SetWindowContentRect() {}
HOST_EXPORT void vl_ScrollbarsOnOff() {}
HOST_EXPORT void vl_SetViewerLocation() {}
HOST_EXPORT void vl_SetFieldOfView() {}
HOST_EXPORT void vl_FindObject() {}
HOST_EXPORT void vl_TurnGuidesOnOff() {}
HOST_EXPORT void vl_TurnFeetOnOff() {}
HOST_EXPORT void vl_ImmediateUpdateWindow() {}
