// Radians to and from sexagesimal fields.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "settings/settings.h"

namespace {

constexpr double kPi = 3.141592653589793;

void ExpectFields(const ctl::Sexagesimal& value, int leading, int minutes, int seconds,
                  bool negative) {
  EXPECT_EQ(value.leading, leading);
  EXPECT_EQ(value.minutes, minutes);
  EXPECT_EQ(value.seconds, seconds);
  EXPECT_EQ(value.negative, negative);
}

TEST(SexagesimalTest, DefaultReferencePointSplitsAsShown) {
  ExpectFields(ctl::RadiansToHMS(0.665777659788), 2, 32, 35, false);
  // 36.99999... seconds, truncated.
  ExpectFields(ctl::RadiansToDMS(1.55817662667), 89, 16, 36, false);
}

TEST(SexagesimalTest, FieldsTruncateTowardZeroAndKeepTheSignInFront) {
  ExpectFields(ctl::RadiansToDMS(-0.5), -28, 38, 52, true);
  ExpectFields(ctl::RadiansToHMS(kPi), 12, 0, 0, false);
  ExpectFields(ctl::RadiansToHMS(0.0), 0, 0, 0, false);
  // Degrees rather than hours: the factor 180 in place of 12.
  ExpectFields(ctl::RadiansToDMS(kPi / 2.0), 90, 0, 0, false);
}

TEST(SexagesimalTest, ValuesBetweenMinusOneAndZeroAreMarkedNegative) {
  // -0.5 degrees: a leading field of 0 alone would lose the sign.
  ExpectFields(ctl::RadiansToDMS(-0.5 * kPi / 180.0), 0, 30, 0, true);
  ExpectFields(ctl::RadiansToHMS(-0.2), 0, 45, 50, true);  // -0.7639 hours
  ExpectFields(ctl::RadiansToDMS(0.5 * kPi / 180.0), 0, 30, 0, false);
}

TEST(SexagesimalTest, JoiningAppliesTheLeadingSignToTheWholeAngle) {
  EXPECT_EQ(ctl::DMSToRadians(-9, 30, 0), -0.16580627893946132);
  EXPECT_EQ(ctl::DMSToRadians(9, 30, 0), 0.16580627893946132);
  ExpectFields(ctl::RadiansToDMS(-0.16580627893946132), -9, 30, 0, true);
  EXPECT_DOUBLE_EQ(ctl::HMSToRadians(12, 0, 0), kPi);
  EXPECT_DOUBLE_EQ(ctl::HMSToRadians(2, 30, 0), 2.5 * kPi / 12.0);
  EXPECT_DOUBLE_EQ(ctl::HMSToRadians(-2, 30, 0), -2.5 * kPi / 12.0);
  // Out-of-range minutes and seconds simply add up.
  EXPECT_DOUBLE_EQ(ctl::DMSToRadians(1, 75, 0), (1.0 + 75.0 / 60.0) * kPi / 180.0);
}

TEST(SexagesimalTest, ReadingBackTheShownFieldsLosesTheFraction) {
  // The default right ascension, 2h 32m 35.1s, shows as 2 32 35; those fields
  // read back as 2h 32m 35s, a tenth of a second less.
  const ctl::Sexagesimal shown = ctl::RadiansToHMS(0.665777659788);
  const double back = ctl::HMSToRadians(shown.leading, shown.minutes, shown.seconds);
  EXPECT_LT(back, 0.665777659788);
  EXPECT_NEAR(back, (2.0 + 32.0 / 60.0 + 35.0 / 3600.0) * kPi / 12.0, 1e-15);
}

TEST(SexagesimalTest, AnglesFarOutsideATurnDoNotOverflowTheFields) {
  const ctl::Sexagesimal huge = ctl::RadiansToDMS(1e300);
  EXPECT_EQ(huge.leading, INT16_MAX);
  const ctl::Sexagesimal low = ctl::RadiansToHMS(-1e300);
  EXPECT_EQ(low.leading, INT16_MIN);
  EXPECT_TRUE(low.negative);
  const ctl::Sexagesimal nan = ctl::RadiansToHMS(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(nan.leading, 0);
  EXPECT_EQ(nan.minutes, 0);
  EXPECT_EQ(nan.seconds, 0);
}

}  // namespace
