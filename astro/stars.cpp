// A catalogue of bright stars: J2000 positions and visual magnitudes from the
// published bright-star and Hipparcos catalogues, rounded to about an
// arcsecond, brightest first; and their proper motions and parallaxes from
// Hipparcos, rounded to about a milliarcsecond (a year).
#include <array>
#include <cctype>

#include "astro.h"

namespace astro {
namespace {

struct Entry {
  const char* name;
  double ra_h, ra_m, ra_s;
  char dec_sign;
  double dec_d, dec_m, dec_s;
  double magnitude;
};

constexpr Entry kEntries[] = {
    {"Sirius", 6, 45, 8.917, '-', 16, 42, 58.02, -1.46},
    {"Canopus", 6, 23, 57.110, '-', 52, 41, 44.38, -0.74},
    {"Arcturus", 14, 15, 39.672, '+', 19, 10, 56.67, -0.05},
    {"Rigil Kentaurus", 14, 39, 36.494, '-', 60, 50, 2.37, -0.01},
    {"Vega", 18, 36, 56.336, '+', 38, 47, 1.28, 0.03},
    {"Capella", 5, 16, 41.359, '+', 45, 59, 52.77, 0.08},
    {"Rigel", 5, 14, 32.272, '-', 8, 12, 5.90, 0.13},
    {"Procyon", 7, 39, 18.119, '+', 5, 13, 29.96, 0.34},
    {"Achernar", 1, 37, 42.845, '-', 57, 14, 12.31, 0.46},
    {"Betelgeuse", 5, 55, 10.305, '+', 7, 24, 25.43, 0.50},
    {"Hadar", 14, 3, 49.405, '-', 60, 22, 22.93, 0.61},
    {"Altair", 19, 50, 46.999, '+', 8, 52, 5.96, 0.76},
    {"Acrux", 12, 26, 35.896, '-', 63, 5, 56.73, 0.76},
    {"Aldebaran", 4, 35, 55.239, '+', 16, 30, 33.49, 0.86},
    {"Antares", 16, 29, 24.459, '-', 26, 25, 55.21, 0.96},
    {"Spica", 13, 25, 11.579, '-', 11, 9, 40.75, 0.97},
    {"Pollux", 7, 45, 18.950, '+', 28, 1, 34.32, 1.14},
    {"Fomalhaut", 22, 57, 39.046, '-', 29, 37, 20.05, 1.16},
    {"Deneb", 20, 41, 25.915, '+', 45, 16, 49.22, 1.25},
    {"Mimosa", 12, 47, 43.269, '-', 59, 41, 19.58, 1.25},
    {"Regulus", 10, 8, 22.311, '+', 11, 58, 1.95, 1.35},
    {"Adhara", 6, 58, 37.548, '-', 28, 58, 19.51, 1.50},
    {"Castor", 7, 34, 35.863, '+', 31, 53, 17.82, 1.58},
    {"Shaula", 17, 33, 36.520, '-', 37, 6, 13.76, 1.62},
    {"Gacrux", 12, 31, 9.960, '-', 57, 6, 47.57, 1.64},
    {"Bellatrix", 5, 25, 7.863, '+', 6, 20, 58.93, 1.64},
    {"Elnath", 5, 26, 17.513, '+', 28, 36, 26.83, 1.65},
    {"Miaplacidus", 9, 13, 11.977, '-', 69, 43, 1.95, 1.69},
    {"Alnilam", 5, 36, 12.813, '-', 1, 12, 6.91, 1.69},
    {"Alnair", 22, 8, 13.985, '-', 46, 57, 39.51, 1.74},
    {"Alnitak", 5, 40, 45.527, '-', 1, 56, 33.26, 1.77},
    {"Alioth", 12, 54, 1.749, '+', 55, 57, 35.36, 1.77},
    {"Dubhe", 11, 3, 43.672, '+', 61, 45, 3.72, 1.79},
    {"Mirfak", 3, 24, 19.370, '+', 49, 51, 40.25, 1.79},
    {"Wezen", 7, 8, 23.485, '-', 26, 23, 35.52, 1.83},
    {"Kaus Australis", 18, 24, 10.318, '-', 34, 23, 4.62, 1.85},
    {"Alkaid", 13, 47, 32.438, '+', 49, 18, 47.76, 1.86},
    {"Avior", 8, 22, 30.836, '-', 59, 30, 34.14, 1.86},
    {"Menkalinan", 5, 59, 31.723, '+', 44, 56, 50.76, 1.90},
    {"Atria", 16, 48, 39.895, '-', 69, 1, 39.76, 1.91},
    {"Alhena", 6, 37, 42.711, '+', 16, 23, 57.41, 1.92},
    {"Peacock", 20, 25, 38.858, '-', 56, 44, 6.32, 1.94},
    {"Polaris", 2, 31, 49.09, '+', 89, 15, 50.8, 1.98},
    {"Mirzam", 6, 22, 41.985, '-', 17, 57, 21.31, 1.98},
    {"Alphard", 9, 27, 35.243, '-', 8, 39, 30.96, 1.98},
    {"Hamal", 2, 7, 10.406, '+', 23, 27, 44.70, 2.00},
    {"Diphda", 0, 43, 35.371, '-', 17, 59, 11.78, 2.04},
    {"Nunki", 18, 55, 15.926, '-', 26, 17, 48.20, 2.05},
    {"Mirach", 1, 9, 43.924, '+', 35, 37, 14.01, 2.05},
    {"Alpheratz", 0, 8, 23.260, '+', 29, 5, 25.55, 2.06},
    {"Rasalhague", 17, 34, 56.069, '+', 12, 33, 36.13, 2.07},
    {"Kochab", 14, 50, 42.326, '+', 74, 9, 19.81, 2.08},
    {"Saiph", 5, 47, 45.389, '-', 9, 40, 10.58, 2.09},
    {"Almach", 2, 3, 53.953, '+', 42, 19, 47.01, 2.10},
    {"Algol", 3, 8, 10.133, '+', 40, 57, 20.33, 2.12},
    {"Denebola", 11, 49, 3.578, '+', 14, 34, 19.41, 2.14},
    {"Alphecca", 15, 34, 41.268, '+', 26, 42, 52.89, 2.22},
    {"Mintaka", 5, 32, 0.401, '-', 0, 17, 56.74, 2.23},
    {"Sadr", 20, 22, 13.702, '+', 40, 15, 24.04, 2.23},
    {"Eltanin", 17, 56, 36.370, '+', 51, 29, 20.02, 2.23},
    {"Schedar", 0, 40, 30.441, '+', 56, 32, 14.39, 2.24},
    {"Mizar", 13, 23, 55.540, '+', 54, 55, 31.27, 2.27},
    {"Caph", 0, 9, 10.685, '+', 59, 8, 59.21, 2.28},
    {"Merak", 11, 1, 50.476, '+', 56, 22, 56.73, 2.37},
    {"Enif", 21, 44, 11.156, '+', 9, 52, 30.03, 2.39},
    {"Scheat", 23, 3, 46.458, '+', 28, 4, 58.03, 2.42},
    {"Alderamin", 21, 18, 34.772, '+', 62, 35, 8.07, 2.45},
    {"Markab", 23, 4, 45.653, '+', 15, 12, 18.96, 2.48},
    {"Menkar", 3, 2, 16.773, '+', 4, 5, 23.06, 2.54},
    {"Albireo", 19, 30, 43.281, '+', 27, 57, 34.85, 3.05},
};

// Proper motion in right ascension (times cos dec) and in declination,
// milliarcseconds a year, and parallax, milliarcseconds.
struct Motion {
  const char* name;
  double pm_ra, pm_dec, parallax;
};

constexpr Motion kMotions[] = {
    {"Sirius", -546.0, -1223.1, 379.2},
    {"Canopus", 19.9, 23.2, 10.6},
    {"Arcturus", -1093.4, -1999.4, 88.8},
    {"Rigil Kentaurus", -3678.2, 481.8, 754.8},
    {"Vega", 200.9, 286.2, 130.2},
    {"Capella", 75.5, -427.1, 76.2},
    {"Rigel", 1.3, 0.5, 3.8},
    {"Procyon", -714.6, -1036.8, 284.6},
    {"Achernar", 87.0, -38.2, 23.4},
    {"Betelgeuse", 27.5, 11.3, 6.6},
    {"Hadar", -33.3, -23.2, 8.3},
    {"Altair", 536.2, 385.3, 194.9},
    {"Acrux", -35.8, -14.9, 10.1},
    {"Aldebaran", 63.5, -188.9, 48.9},
    {"Antares", -12.1, -23.3, 5.9},
    {"Spica", -42.4, -30.7, 13.1},
    {"Pollux", -626.6, -45.8, 96.5},
    {"Fomalhaut", 328.9, -164.2, 129.8},
    {"Deneb", 2.0, 1.9, 2.3},
    {"Mimosa", -43.0, -16.2, 11.7},
    {"Regulus", -248.7, 5.6, 41.1},
    {"Adhara", 3.2, 1.3, 8.0},
    {"Castor", -191.5, -145.2, 64.1},
    {"Shaula", -8.5, -30.8, 5.7},
    {"Gacrux", 28.2, -265.1, 36.8},
    {"Bellatrix", -8.1, -12.9, 12.9},
    {"Elnath", 22.8, -174.2, 24.4},
    {"Miaplacidus", -156.5, 108.9, 28.8},
    {"Alnilam", 1.4, -0.8, 1.7},
    {"Alnair", 126.7, -147.5, 32.3},
    {"Alnitak", 3.2, 2.0, 4.4},
    {"Alioth", 111.9, -8.2, 39.5},
    {"Dubhe", -134.1, -34.7, 26.5},
    {"Mirfak", 23.8, -26.0, 6.4},
    {"Wezen", -3.1, 3.3, 2.0},
    {"Kaus Australis", -39.4, -124.2, 22.6},
    {"Alkaid", -121.2, -15.0, 31.4},
    {"Avior", -25.5, 22.7, 5.2},
    {"Menkalinan", -56.4, -0.9, 40.2},
    {"Atria", 17.9, -32.9, 8.4},
    {"Alhena", -2.0, -66.9, 31.1},
    {"Peacock", 6.9, -86.0, 18.2},
    {"Polaris", 44.5, -11.9, 7.5},
    {"Mirzam", -3.2, -0.8, 6.6},
    {"Alphard", -15.2, 34.4, 18.1},
    {"Hamal", 188.6, -148.1, 49.6},
    {"Diphda", 232.6, 32.0, 34.0},
    {"Nunki", 15.1, -53.4, 14.3},
    {"Mirach", 175.9, -112.2, 16.4},
    {"Alpheratz", 135.7, -162.9, 33.6},
    {"Rasalhague", 108.1, -221.6, 67.1},
    {"Kochab", -32.6, 11.4, 24.9},
    {"Saiph", 1.5, -1.4, 5.0},
    {"Almach", 43.1, -50.9, 9.2},
    {"Algol", 2.4, -1.4, 35.1},
    {"Denebola", -497.7, -114.7, 90.9},
    {"Alphecca", 120.3, -89.6, 43.5},
    {"Mintaka", 0.6, -0.7, 4.7},
    {"Sadr", 2.4, -0.9, 1.8},
    {"Eltanin", -8.5, -23.1, 21.1},
    {"Schedar", 50.9, -32.1, 14.3},
    {"Mizar", 119.0, -26.0, 38.0},
    {"Caph", 523.5, -179.8, 59.9},
    {"Merak", 81.4, 33.5, 40.9},
    {"Enif", 26.9, 0.4, 4.7},
    {"Scheat", 187.8, 137.6, 16.6},
    {"Alderamin", 150.6, 49.1, 66.5},
    {"Markab", 60.4, -41.3, 24.5},
    {"Menkar", -10.4, -76.9, 13.1},
    {"Albireo", -7.2, -6.2, 7.5},
};

constexpr std::size_t kCount = sizeof(kEntries) / sizeof(kEntries[0]);
constexpr double kMilliarcsecond = kArcsecond / 1000.0;

const std::array<Star, kCount>& Catalogue() {
  static const std::array<Star, kCount> stars = [] {
    std::array<Star, kCount> result{};
    for (std::size_t i = 0; i < kCount; ++i) {
      const Entry& e = kEntries[i];
      result[i] = Star{e.name, FromHms(e.ra_h, e.ra_m, e.ra_s),
                       FromDms(e.dec_sign == '-', e.dec_d, e.dec_m, e.dec_s), e.magnitude};
      for (const Motion& m : kMotions) {
        if (std::string_view(m.name) != e.name) continue;
        result[i].pm_ra = m.pm_ra * kMilliarcsecond;
        result[i].pm_dec = m.pm_dec * kMilliarcsecond;
        result[i].parallax = m.parallax / 1000.0;
      }
    }
    return result;
  }();
  return stars;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::span<const Star> BrightStars() { return Catalogue(); }

const Star* FindStar(std::string_view name) {
  for (const Star& star : Catalogue()) {
    if (SameName(star.name, name)) return &star;
  }
  return nullptr;
}

const Star* NearestStar(const Equatorial& position, double* separation) {
  const Star* best = nullptr;
  double best_distance = 0.0;
  for (const Star& star : Catalogue()) {
    const double d = AngularSeparation(position, star.position());
    if (best == nullptr || d < best_distance) {
      best = &star;
      best_distance = d;
    }
  }
  if (separation != nullptr) *separation = best_distance;
  return best;
}

}  // namespace astro
