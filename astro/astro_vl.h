// The host's coordinate functions (the vl_ functions of the Linux host ABI)
// over a table of host contexts, for the hosts that load the plug-in: the test
// host and the stand-in host link this library into their executables with
// ENABLE_EXPORTS, so that the dlopen'ed plug-in resolves its vl_ references
// against them.
//
// A host context value names an observing site and a clock.  Context 0 means
// "none handed over yet"; unless it has been set, it (like any context that
// was never set) converts with kDefaultSite at the current real time.
//
// Frames: 6 is the sky frame (the apparent place of the date, see astro.h),
// 2 the horizon frame (the observed place, refracted by the context's
// atmosphere) with the mathematical longitude.  vl_CoordinateConversion copies the vector
// unchanged for any other pair of frame codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "astro.h"
#include "velastra/host_abi.h"

namespace astro::vl {

// Latitude +51.4769 degrees, longitude 0.
inline constexpr Site kDefaultSite{51.4769 * kDegree, 0.0};

// A clock: returns the current Julian date.
using Clock = double (*)();

// Context `id` converts for `site` at the fixed Julian date `julian_date`.
void SetContext(std::int32_t id, const Site& site, double julian_date,
                const Atmosphere& atmosphere = kStandardAtmosphere);
// Context `id` converts for `site` at whatever time `julian_date_now` says
// when the conversion is made (JulianDateNow for the real time).
void SetContextClock(std::int32_t id, const Site& site, Clock julian_date_now,
                     const Atmosphere& atmosphere = kStandardAtmosphere);
// Forgets every context set so far.
void ClearContexts();

// The site and the Julian date a conversion with context `id` would use now.
struct Resolved {
  Site site;
  double julian_date = 0.0;
  Atmosphere atmosphere;
};
Resolved ResolveContext(std::int32_t id);

// One call of a vl_ function, as the host saw it.
struct Call {
  std::string function;           // e.g. "vl_CoordinateConversion"
  std::int32_t context = 0;       // vl_CoordinateConversion only
  std::int32_t from_frame = 0;    // vl_CoordinateConversion only
  std::int32_t to_frame = 0;      // vl_CoordinateConversion only
  std::vector<double> arguments;  // the doubles passed by value, in order
  std::vector<double> results;    // what was written back; empty when nothing was
};

// Every call since the last ClearCalls, oldest first.
std::vector<Call> Calls();
void ClearCalls();

// While on, vl_RealWorldAzimuth2Mathematical and vl_Mathematical2RealWorldAzimuth
// leave their result unwritten (so a test can see what the caller had put there).
void SetLeaveAzimuthUnwritten(bool leave);

}  // namespace astro::vl
