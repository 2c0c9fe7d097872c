// The answer formats and the telescope model.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dsc_sim.h"

namespace dscsim {

std::string FormatCounts(std::int32_t first, std::int32_t second, bool with_signs) {
  auto field = [with_signs](std::int32_t count) {
    if (count > kMaxCount) count = kMaxCount;
    if (count < -kMaxCount) count = -kMaxCount;
    char text[8];
    const char sign = with_signs ? (count < 0 ? '-' : '+') : ' ';
    std::snprintf(text, sizeof text, "%c%05d", sign, count < 0 ? -count : count);
    return std::string(text);
  };
  return field(first) + '\t' + field(second) + '\r';
}

std::string FormatStatus(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%03d\r", value);
  return std::string(text).substr(0, kStatusAnswerLength);
}

bool IsFlowControlByte(unsigned char c) { return c == kXon || c == kXoff; }

std::int32_t CountsForAngle(double angle, const AxisModel& axis) {
  if (axis.resolution == 0) return 0;
  const double turns = (angle + axis.zero_offset) * (1.0 + axis.scale_error) / astro::kTwoPi;
  const long long n = axis.resolution < 0 ? -static_cast<long long>(axis.resolution)
                                          : static_cast<long long>(axis.resolution);
  long long counts = std::llround(turns * axis.resolution);
  if (!axis.counts_on) {
    // Whole turns of the encoder read the same: keep within (-n/2, n/2].
    counts %= n;
    if (counts < 0) counts += n;
    if (2 * counts > n) counts -= n;
  }
  if (counts > kMaxCount) counts = kMaxCount;
  if (counts < -kMaxCount) counts = -kMaxCount;
  return static_cast<std::int32_t>(counts);
}

namespace {

using astro::Vector;

double Dot(const Vector& a, const Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vector Cross(const Vector& a, const Vector& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vector Scaled(const Vector& a, double k) { return {a.x * k, a.y * k, a.z * k}; }
Vector Sum(const Vector& a, const Vector& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

// v turned by `angle` about the unit vector k (Rodrigues).
Vector Turned(const Vector& v, const Vector& k, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  return Sum(Sum(Scaled(v, c), Scaled(Cross(k, v), s)), Scaled(k, Dot(k, v) * (1.0 - c)));
}

// The mount's first axis in its base frame: the zenith leant by the tilt, or
// the pole moved by the polar error.
Vector FirstAxis(const SkyModel& model) {
  const MountGeometry& g = model.geometry;
  if (model.mount == Mount::kAltAzimuth) {
    return {std::sin(g.tilt) * std::cos(g.tilt_azimuth),
            std::sin(g.tilt) * std::sin(g.tilt_azimuth), std::cos(g.tilt)};
  }
  // The polar axis on the horizon (x north, y east, z up), then into the
  // equatorial base frame: x = -sin(lat) north + cos(lat) up, y = east,
  // z = cos(lat) north + sin(lat) up.
  const double altitude = model.site.latitude + g.polar_altitude;
  const Vector h{std::cos(altitude) * std::cos(g.polar_azimuth),
                 std::cos(altitude) * std::sin(g.polar_azimuth), std::sin(altitude)};
  const double s = std::sin(model.site.latitude), c = std::cos(model.site.latitude);
  return {-s * h.x + c * h.z, h.y, c * h.x + s * h.z};
}

// The mount's own frame into the base frame: the smallest rotation that
// takes the base's z onto the first axis (a turn about that axis would only
// move the first axis's zero, which the reference point takes up).
struct Frame {
  Vector k;  // unit rotation axis
  double angle = 0.0;
  Vector ToBase(const Vector& v) const { return angle == 0.0 ? v : Turned(v, k, angle); }
  Vector FromBase(const Vector& v) const { return angle == 0.0 ? v : Turned(v, k, -angle); }
};

Frame MountFrame(const SkyModel& model) {
  const Vector axis = FirstAxis(model);
  const Vector z{0.0, 0.0, 1.0};
  const Vector k = Cross(z, axis);
  const double s = std::sqrt(Dot(k, k));
  Frame f;
  if (s < 1e-15) return f;
  f.k = Scaled(k, 1.0 / s);
  f.angle = std::atan2(s, Dot(z, axis));
  return f;
}

// Working out a moment's sky (nutation, the Earth's place) takes longer than
// everything else of an aim; runs of aims at one moment, and the reference
// point's at connect, reuse the last few.
template <typename Key, typename Value, typename Make>
Value Remembered(const Key& key, Make make) {
  struct Entry {
    Key key;
    Value value;
  };
  thread_local std::vector<Entry> entries;
  for (const Entry& e : entries) {
    if (std::memcmp(&e.key, &key, sizeof key) == 0) return e.value;
  }
  if (entries.size() == 4) entries.erase(entries.begin());
  entries.push_back({key, make()});
  return entries.back().value;
}

struct SkyKey {
  double julian_date, latitude, longitude, height, pressure, temperature, humidity;
};

astro::Horizontal ObservedPlace(const SkyModel& model, double ra, double dec, double julian_date) {
  const SkyKey key{julian_date,
                   model.site.latitude,
                   model.site.longitude,
                   model.site.height,
                   model.atmosphere.pressure_hpa,
                   model.atmosphere.temperature_c,
                   model.atmosphere.relative_humidity};
  const astro::Sky sky = Remembered<SkyKey, astro::Sky>(
      key, [&] { return astro::Sky(julian_date, model.site, model.atmosphere); });
  return sky.Observed(astro::Equatorial{ra, dec});
}

double SiderealTime(double julian_date, double longitude) {
  const std::pair<double, double> key{julian_date, longitude};
  return Remembered<std::pair<double, double>, double>(
      key, [&] { return astro::LocalSiderealTime(julian_date, longitude); });
}

}  // namespace

Vector BaseDirection(const SkyModel& model, double ra, double dec, double julian_date) {
  if (model.mount == Mount::kAltAzimuth) {
    const astro::Horizontal h = ObservedPlace(model, ra, dec, julian_date);
    return {std::cos(h.altitude) * std::cos(h.azimuth), std::cos(h.altitude) * std::sin(h.azimuth),
            std::sin(h.altitude)};
  }
  const double hour_angle = SiderealTime(julian_date, model.site.longitude) - ra;
  return {std::cos(dec) * std::cos(-hour_angle), std::cos(dec) * std::sin(-hour_angle),
          std::sin(dec)};
}

// In the mount's frame the first axis is z.  The second axis, turned with
// the first by `first`, lies in the xy plane but for its non-perpendicularity
// d: (0, cos d, sin d) before the turn.  The tube, turned about the second
// axis by `second`, is the collimation c off square with it:
//   (cos c cos second, sin c, cos c sin second) in the second axis's frame
// (x, the axis, z), that frame lifted by d about x.
Vector TubeDirection(const SkyModel& model, double first, double second) {
  const double d = model.geometry.non_perpendicularity, c = model.geometry.collimation;
  const Vector tube{std::cos(c) * std::cos(second), std::sin(c), std::cos(c) * std::sin(second)};
  const Vector lifted{tube.x, std::cos(d) * tube.y - std::sin(d) * tube.z,
                      std::sin(d) * tube.y + std::cos(d) * tube.z};
  const Vector turned{std::cos(first) * lifted.x - std::sin(first) * lifted.y,
                      std::sin(first) * lifted.x + std::cos(first) * lifted.y, lifted.z};
  return MountFrame(model).ToBase(turned);
}

AxisAngles MountAxes(const SkyModel& model, const Vector& base) {
  const double d = model.geometry.non_perpendicularity, c = model.geometry.collimation;
  const Vector w = MountFrame(model).FromBase(base);
  // The turn about z keeps the z component: it fixes the second angle...
  const double sine = (w.z - std::sin(d) * std::sin(c)) / (std::cos(d) * std::cos(c));
  const double second = std::asin(std::fmax(-1.0, std::fmin(1.0, sine)));
  // ...and then the first turns the lifted tube's xy direction onto w's.
  const double lx = std::cos(c) * std::cos(second);
  const double ly = std::cos(d) * std::sin(c) - std::sin(d) * std::cos(c) * std::sin(second);
  return {std::atan2(w.y, w.x) - std::atan2(ly, lx), second};
}

AxisAngles TrueAxisAngles(const SkyModel& model, double ra, double dec, double julian_date) {
  const AxisAngles target = MountAxes(model, BaseDirection(model, ra, dec, julian_date));
  const AxisAngles reference = MountAxes(
      model, BaseDirection(model, model.ref_ra, model.ref_dec, model.connect_julian_date));
  return {astro::WrapPi(target.first - reference.first), target.second - reference.second};
}

astro::Equatorial ApparentPlace(const astro::Star& star, double julian_date) {
  return astro::Sky(julian_date, astro::Site{}, astro::kNoRefraction).Apparent(star);
}

std::pair<std::int32_t, std::int32_t> CountsFor(const SkyModel& model, double ra, double dec,
                                                double julian_date, AxisAngles* turned) {
  AxisAngles angles = TrueAxisAngles(model, ra, dec, julian_date);
  if (turned != nullptr) {
    // A counter that counts on has followed the telescope the short way round
    // from its last aim; one that wraps reads the place alone.
    if (model.axis1.counts_on) {
      angles.first = turned->first + astro::WrapPi(angles.first - turned->first);
    }
    *turned = angles;
  }
  return {CountsForAngle(angles.first, model.axis1), CountsForAngle(angles.second, model.axis2)};
}

}  // namespace dscsim
