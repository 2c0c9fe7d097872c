// The host's horizon positions against ERFA's own observed place: a star of
// the catalogue frame (with proper motion and parallax) handed to the
// plug-in at its apparent place, then turned into the horizon frame through
// the host's vl_ functions as the plug-in does it, lands where eraAtco13
// puts it.  Refraction is off, so the comparison sees the astrometry alone:
// precession, nutation, aberration, proper motion, sidereal time.
#include <erfa.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "astro.h"
#include "astro_vl.h"

namespace {

using namespace astro;

TEST(ErfaCrossCheck, TwoHundredStarsSitesAndDatesAgreeWithinAnArcsecond) {
  std::mt19937_64 random(424242);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  constexpr std::int32_t kContext = 5;
  double worst = 0.0;
  for (int i = 0; i < 200; ++i) {
    // A date from 2000 to 2030, a site anywhere, a star anywhere with a
    // proper motion of up to 4 arcseconds a year and a parallax up to 0.8.
    const double jd = 2451544.5 + unit(random) * 30.0 * 365.25;
    const Site site{std::asin(2.0 * unit(random) - 1.0) * 0.98, (unit(random) - 0.5) * kTwoPi,
                    unit(random) * 3000.0};
    Star star{"random", unit(random) * kTwoPi, std::asin(2.0 * unit(random) - 1.0), 0.0};
    star.pm_ra = (unit(random) - 0.5) * 8.0 * kArcsecond;
    star.pm_dec = (unit(random) - 0.5) * 8.0 * kArcsecond;
    star.parallax = unit(random) * 0.8;

    const Equatorial apparent = Sky(jd, site, kNoRefraction).Apparent(star);
    vl::SetContext(kContext, site, jd, kNoRefraction);
    vl_Vector v{}, h{}, s{};
    vl_SphericalToXYZ(apparent.ra, apparent.dec, 1.0, &v);
    vl_CoordinateConversion(kContext, VL_FRAME_SKY, VL_FRAME_HORIZON, v, &h);
    vl_XYZToSpherical(h, &s);
    double azimuth = 0.0;
    vl_Mathematical2RealWorldAzimuth(s.x, &azimuth);

    double aob = 0, zob = 0, hob = 0, dob = 0, rob = 0, eo = 0;
    ASSERT_GE(
        eraAtco13(star.ra, star.dec, star.pm_ra / std::cos(star.dec), star.pm_dec, star.parallax,
                  0.0, 2400000.5, jd - 2400000.5, 0.0, site.longitude, site.latitude, site.height,
                  0.0, 0.0, 0.0, 0.0, 0.0, 0.55, &aob, &zob, &hob, &dob, &rob, &eo),
        0);
    const double error = eraSeps(azimuth, s.y, aob, kPi / 2 - zob);
    worst = std::fmax(worst, error);
    EXPECT_LT(error, kArcsecond) << "jd " << jd << " site " << site.latitude << ","
                                 << site.longitude << " star " << star.ra << "," << star.dec;
  }
  vl::ClearContexts();
  std::printf("[ ERFA ] worst difference from eraAtco13: %.4f arcseconds\n", worst / kArcsecond);
}

}  // namespace
