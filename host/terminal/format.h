// How the host writes angles for people, and reads what they type.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "astro.h"

namespace host {

// The text without blanks or tabs at either end.
inline std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  std::size_t start = s.find_first_not_of(" \t");
  return start == std::string::npos ? "" : s.substr(start);
}

// A finite decimal number and nothing else ("nan" and "inf" are no numbers).
inline bool ParseNumber(const std::string& text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return end != text.c_str() && *end == '\0' && std::isfinite(*value);
}

// "02h 32m 35.1s"
inline std::string FormatRa(double ra) {
  double hours = astro::WrapTwoPi(ra) / astro::kHour;
  int tenths = static_cast<int>(std::lround(hours * 36000.0)) % (24 * 36000);
  char text[32];
  std::snprintf(text, sizeof text, "%02dh %02dm %04.1fs", tenths / 36000, tenths / 600 % 60,
                (tenths % 600) / 10.0);
  return text;
}

// "+89° 16' 37\"" (signed degrees, arcminutes, arcseconds)
inline std::string FormatDms(double angle) {
  const long seconds = std::lround(std::fabs(angle) / astro::kArcsecond);
  char text[40];
  std::snprintf(text, sizeof text, "%c%02ld\u00b0 %02ld' %02ld\"", angle < 0 ? '-' : '+',
                seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

// "123.45°"
inline std::string FormatDegrees(double angle, int decimals = 2) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f\u00b0", decimals, angle / astro::kDegree);
  return text;
}

// An angle as arcminutes, "12.3'".
inline std::string FormatArcmin(double angle) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f'", angle / astro::kArcminute);
  return text;
}

}  // namespace host
