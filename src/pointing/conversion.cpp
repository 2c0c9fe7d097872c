// Encoder counts to uncorrected sky angles, and the range rule for angles.
#include <cmath>

#include "pointing/pointing.h"

namespace ctl {
namespace {

// Beyond this many turns the first angle is reduced by a remainder before
// the loops of the range rule run: adding 2π to a value this large would
// take too many steps, and past about 2^53 · 2π would not change it at all.
// Everything below it goes through the loops step by step, as the rule
// reads: a drift of several thousand years of day numbers (a connect before
// the host's first time, then a Julian date) takes a few milliseconds.
constexpr double kReduceBeyond = 4194304.0 * kTwoPi;

// Encoder degrees of a count, for display: a zero resolution turns no count
// into degrees.
double EncoderDegrees(double count, std::int32_t resolution) {
  if (resolution == 0) return 0.0;
  return count * 360.0 / static_cast<double>(resolution);
}

}  // namespace

double DriftTerm(const Settings& settings) {
  const PluginState& state = State();
  if (settings.MountType == kAltAzimuth) return 0.0;
  const double now = state.host_time.day_number;
  const double then = state.connect_time.day_number;
  if (now == then) return 0.0;
  // One turn per unit of the day number: 15 degrees an hour of that clock.
  const double hours = (now - then) * 24.0;
  return hours * (kPi / 12.0);
}

void ConvertEncoderCounts(EncoderRecord& record, const Settings& settings) {
  const PluginState& state = State();
  const double count1 = record.count1;
  const double count2 = record.count2;

  double first = count1 * state.RadPerCountRA;
  double second = count2 * state.RadPerCountDec;
  if (settings.MountType == kAltAzimuth) {
    first += settings.HorizonAz;
    second += settings.HorizonAlt;
  } else {
    first += settings.RefRA;
    second += settings.RefDec;
    first += DriftTerm(settings);
  }
  NormaliseAngles(first, second);
  record.angle1 = first;
  record.angle2 = second;

  record.degrees1 = EncoderDegrees(count1, settings.ResRA);
  if (record.degrees1 < 0.0) record.degrees1 += 360.0;
  record.degrees2 = EncoderDegrees(count2, settings.ResDec);
}

// The range rule: the first angle into [0, 2π], both ends included; a second
// angle past a pole is folded back and the first moves half a turn.
//
// An angle that is not finite (infinite, or not a number, as a zero
// resolution would make it) names no direction; it becomes 0 so that the
// rule ends and nothing non-finite reaches the host.
void NormaliseAngles(double& first, double& second) {
  if (!std::isfinite(first)) first = 0.0;
  if (!std::isfinite(second)) second = 0.0;
  if (first < -kReduceBeyond || first > kReduceBeyond) first = std::fmod(first, kTwoPi);

  while (first < 0.0) first += kTwoPi;
  while (first > kTwoPi) first -= kTwoPi;

  if (second > kHalfPi) {
    second = kPi - second;
    first = first < kPi ? first + kPi : first - kPi;
  }
  if (second < -kHalfPi) {
    second = -kPi - second;
    first = first < kPi ? first + kPi : first - kPi;
  }
}

}  // namespace ctl
