// The five vl_ functions and everything they share live in this one
// translation unit: a host that links the static library pulls in all of
// them together (see also the --undefined options in CMakeLists.txt).
#include "astro_vl.h"

#include <map>
#include <mutex>

#define VL_EXPORT extern "C" __attribute__((visibility("default")))

namespace astro::vl {
namespace {

struct Context {
  Site site;
  double julian_date = 0.0;
  Clock clock = nullptr;  // when set, the time comes from here
  Atmosphere atmosphere;
};

struct State {
  std::mutex mutex;
  std::map<std::int32_t, Context> contexts;
  std::vector<Call> calls;
  bool leave_azimuth_unwritten = false;
};

State& GetState() {
  static State state;
  return state;
}

Resolved ResolveLocked(State& state, std::int32_t id) {
  const auto it = state.contexts.find(id);
  if (it == state.contexts.end()) return {kDefaultSite, JulianDateNow(), kStandardAtmosphere};
  const Context& c = it->second;
  return {c.site, c.clock != nullptr ? c.clock() : c.julian_date, c.atmosphere};
}

void Record(State& state, Call call) { state.calls.push_back(std::move(call)); }

}  // namespace

void SetContext(std::int32_t id, const Site& site, double julian_date,
                const Atmosphere& atmosphere) {
  State& state = GetState();
  std::lock_guard lock(state.mutex);
  state.contexts[id] = Context{site, julian_date, nullptr, atmosphere};
}

void SetContextClock(std::int32_t id, const Site& site, Clock julian_date_now,
                     const Atmosphere& atmosphere) {
  State& state = GetState();
  std::lock_guard lock(state.mutex);
  state.contexts[id] =
      Context{site, 0.0, julian_date_now != nullptr ? julian_date_now : &JulianDateNow, atmosphere};
}

void ClearContexts() {
  State& state = GetState();
  std::lock_guard lock(state.mutex);
  state.contexts.clear();
}

Resolved ResolveContext(std::int32_t id) {
  State& state = GetState();
  std::lock_guard lock(state.mutex);
  return ResolveLocked(state, id);
}

std::vector<Call> Calls() {
  State& state = GetState();
  std::lock_guard lock(state.mutex);
  return state.calls;
}

void ClearCalls() {
  State& state = GetState();
  std::lock_guard lock(state.mutex);
  state.calls.clear();
}

void SetLeaveAzimuthUnwritten(bool leave) {
  State& state = GetState();
  std::lock_guard lock(state.mutex);
  state.leave_azimuth_unwritten = leave;
}

namespace {

void ConvertAzimuth(const char* name, double value, double* result) {
  State& state = GetState();
  std::lock_guard lock(state.mutex);
  Call call{name, 0, 0, 0, {value}, {}};
  // Both directions are the same reflection, (2*pi - a) mod 2*pi.
  const double converted = RealWorldToMathematical(value);
  if (!state.leave_azimuth_unwritten && result != nullptr) {
    *result = converted;
    call.results = {converted};
  }
  Record(state, std::move(call));
}

}  // namespace
}  // namespace astro::vl

using astro::vl::Call;
using astro::vl::GetState;

VL_EXPORT void vl_RealWorldAzimuth2Mathematical(double azimuth, double* result) {
  astro::vl::ConvertAzimuth("vl_RealWorldAzimuth2Mathematical", azimuth, result);
}

VL_EXPORT void vl_Mathematical2RealWorldAzimuth(double longitude, double* result) {
  astro::vl::ConvertAzimuth("vl_Mathematical2RealWorldAzimuth", longitude, result);
}

VL_EXPORT void vl_SphericalToXYZ(double longitude, double latitude, double radius,
                                 vl_Vector* result) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  Call call{"vl_SphericalToXYZ", 0, 0, 0, {longitude, latitude, radius}, {}};
  if (result != nullptr) {
    const astro::Vector v = astro::SphericalToVector(longitude, latitude, radius);
    *result = vl_Vector{v.x, v.y, v.z};
    call.results = {v.x, v.y, v.z};
  }
  state.calls.push_back(std::move(call));
}

VL_EXPORT void vl_CoordinateConversion(int32_t context, int32_t from_frame, int32_t to_frame,
                                       vl_Vector v, vl_Vector* result) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  Call call{"vl_CoordinateConversion", context, from_frame, to_frame, {v.x, v.y, v.z}, {}};
  if (result != nullptr) {
    const astro::vl::Resolved where = astro::vl::ResolveLocked(state, context);
    astro::Vector out;
    astro::ConvertFrame(from_frame, to_frame, astro::Vector{v.x, v.y, v.z}, where.site,
                        where.julian_date, where.atmosphere, out);
    *result = vl_Vector{out.x, out.y, out.z};
    call.results = {out.x, out.y, out.z};
  }
  state.calls.push_back(std::move(call));
}

VL_EXPORT void vl_XYZToSpherical(vl_Vector v, vl_Vector* result) {
  auto& state = GetState();
  std::lock_guard lock(state.mutex);
  Call call{"vl_XYZToSpherical", 0, 0, 0, {v.x, v.y, v.z}, {}};
  if (result != nullptr) {
    const astro::Spherical s = astro::VectorToSpherical(astro::Vector{v.x, v.y, v.z});
    *result = vl_Vector{s.longitude, s.latitude, s.radius};
    call.results = {s.longitude, s.latitude, s.radius};
  }
  state.calls.push_back(std::move(call));
}
