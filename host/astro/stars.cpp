// A catalogue of bright stars: J2000 positions and visual magnitudes from the
// published bright-star and Hipparcos catalogues, rounded to about an
// arcsecond.  Brightest first.
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

constexpr std::size_t kCount = sizeof(kEntries) / sizeof(kEntries[0]);

const std::array<Star, kCount>& Catalogue() {
  static const std::array<Star, kCount> stars = [] {
    std::array<Star, kCount> result{};
    for (std::size_t i = 0; i < kCount; ++i) {
      const Entry& e = kEntries[i];
      result[i] = Star{e.name, FromHms(e.ra_h, e.ra_m, e.ra_s),
                       FromDms(e.dec_sign == '-', e.dec_d, e.dec_m, e.dec_s), e.magnitude};
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
