#include "chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace host {
namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 560;
constexpr int kMargin = 90;
constexpr int kTop = 80;
constexpr int kOffsetPixels = 60;  // the largest error before calibration, drawn this long

const Rgb kBackground{16, 20, 40};
const Rgb kGrid{48, 56, 88};
const Rgb kStar{255, 255, 255};
const Rgb kBefore{255, 80, 64};
const Rgb kAfter{80, 230, 120};
const Rgb kAfterMount{90, 200, 255};
const Rgb kCheck{255, 210, 0};
const Rgb kLabel{220, 220, 230};

// Offset of `p` from `star` on the sky in arcminutes: east (x) and north (y).
void Offset(const astro::Equatorial& star, const astro::Equatorial& p, double* east,
            double* north) {
  *east = astro::WrapPi(p.ra - star.ra) * std::cos(star.dec) / astro::kArcminute;
  *north = (p.dec - star.dec) / astro::kArcminute;
}

void Cross(Canvas& c, int x, int y, Rgb colour) {
  c.Line(x - 4, y - 4, x + 5, y + 5, colour);
  c.Line(x - 4, y + 4, x + 5, y - 5, colour);
}

std::string Arcmin(double a) {
  char t[32];
  std::snprintf(t, sizeof t, "%.1f'", a / astro::kArcminute);
  return t;
}

}  // namespace

bool WriteCalibrationChart(const std::vector<ChartStar>& stars, TextRenderer& text,
                           const std::string& path, std::string* error) {
  Canvas canvas(kWidth, kHeight, kBackground);
  const FontSpec title{-16, 0, "Arial"};
  const FontSpec small{-12, 0, "Arial"};
  text.Draw(canvas, title, 20, 14, "Calibration: reported positions before and after", kStar, {},
            false);
  text.Draw(canvas, small, 20, 40, "O catalogue place", kStar, {}, false);
  text.Draw(canvas, small, 150, 40, "x before calibration", kBefore, {}, false);
  text.Draw(canvas, small, 150, 56, "x after, six coefficients", kAfter, {}, false);
  text.Draw(canvas, small, 330, 56, "x after, mount model", kAfterMount, {}, false);
  text.Draw(canvas, small, 330, 40, "yellow: further star, not calibrated on", kCheck, {}, false);

  if (stars.empty()) return canvas.SavePng(path, error);

  // Right ascension grows to the left, as on the sky seen from inside.
  double ra_centre = stars.front().catalogue.ra;
  double ra_min = 0, ra_max = 0, dec_min = 10, dec_max = -10;
  for (const ChartStar& s : stars) {
    const double d = astro::WrapPi(s.catalogue.ra - ra_centre);
    ra_min = std::min(ra_min, d), ra_max = std::max(ra_max, d);
    dec_min = std::min(dec_min, s.catalogue.dec), dec_max = std::max(dec_max, s.catalogue.dec);
  }
  const double ra_span = std::max(ra_max - ra_min, 1e-3);
  const double dec_span = std::max(dec_max - dec_min, 1e-3);
  auto place = [&](const astro::Equatorial& p, int* x, int* y) {
    const double d = astro::WrapPi(p.ra - ra_centre);
    *x = kMargin + static_cast<int>((ra_max - d) / ra_span * (kWidth - 2 * kMargin));
    *y =
        kTop + 30 + static_cast<int>((dec_max - p.dec) / dec_span * (kHeight - kTop - 2 * kMargin));
  };
  for (int gx = kMargin; gx <= kWidth - kMargin; gx += (kWidth - 2 * kMargin) / 4) {
    canvas.Line(gx, kTop, gx, kHeight - 30, kGrid);
  }
  for (int gy = kTop; gy <= kHeight - 30; gy += (kHeight - kTop - 30) / 4) {
    canvas.Line(20, gy, kWidth - 20, gy, kGrid);
  }

  double largest = 0;
  for (const ChartStar& s : stars) {
    largest =
        std::max(largest, astro::AngularSeparation(s.catalogue, s.before) / astro::kArcminute);
  }
  const double scale = largest > 0 ? kOffsetPixels / largest : 1.0;  // pixels per arcminute
  // A scale bar of a round length, up to kOffsetPixels long, whatever the
  // size of the errors: arcseconds for fine ones, degrees for coarse ones.
  double bar = 0.1 / 60;  // arcminutes
  for (double step :
       {0.2 / 60, 0.5 / 60, 1 / 60.0, 2 / 60.0, 5 / 60.0, 10 / 60.0, 20 / 60.0, 30 / 60.0,
        1.0,      2.0,      5.0,      10.0,     20.0,     30.0,      60.0,      120.0,
        300.0,    600.0,    1200.0,   1800.0,   3600.0,   7200.0}) {
    if (step * scale <= kOffsetPixels) bar = step;
  }
  char bar_text[64];
  if (bar >= 60) {
    // The chart's text is drawn byte by byte: no degree sign.
    std::snprintf(bar_text, sizeof bar_text, "%g degree%s", bar / 60, bar == 60 ? "" : "s");
  } else if (bar >= 1) {
    std::snprintf(bar_text, sizeof bar_text, "%g'", bar);
  } else {
    std::snprintf(bar_text, sizeof bar_text, "%g\"", bar * 60);
  }
  const int bar_pixels = std::max(1, static_cast<int>(std::lround(bar * scale)));
  text.Draw(canvas, small, 20, kHeight - 22, "offsets magnified; this bar is", kLabel, {}, false);
  canvas.Line(240, kHeight - 15, 240 + bar_pixels, kHeight - 15, kLabel);
  canvas.Line(240, kHeight - 19, 240, kHeight - 11, kLabel);
  canvas.Line(240 + bar_pixels, kHeight - 19, 240 + bar_pixels, kHeight - 11, kLabel);
  text.Draw(canvas, small, 250 + bar_pixels, kHeight - 22, bar_text, kLabel, {}, false);

  for (const ChartStar& s : stars) {
    int x, y;
    place(s.catalogue, &x, &y);
    canvas.Circle(x, y, 5, s.check ? kCheck : kStar, false);
    double e, n;
    Offset(s.catalogue, s.before, &e, &n);
    const int bx = x - static_cast<int>(std::lround(e * scale)),
              by = y - static_cast<int>(std::lround(n * scale));
    canvas.Line(x, y, bx, by, kBefore);
    Cross(canvas, bx, by, kBefore);
    Offset(s.catalogue, s.after, &e, &n);
    const int ax = x - static_cast<int>(std::lround(e * scale)),
              ay = y - static_cast<int>(std::lround(n * scale));
    canvas.Line(x, y, ax, ay, kAfter);
    Cross(canvas, ax, ay, kAfter);
    text.Draw(canvas, small, x + 10, y + 6, s.name, s.check ? kCheck : kStar, {}, false);
    text.Draw(canvas, small, x + 10, y + 21,
              "before " + Arcmin(astro::AngularSeparation(s.catalogue, s.before)), kBefore, {},
              false);
    text.Draw(canvas, small, x + 10, y + 36,
              "after " + Arcmin(astro::AngularSeparation(s.catalogue, s.after)), kAfter, {}, false);
    if (s.has_mount) {
      Offset(s.catalogue, s.after_mount, &e, &n);
      const int mx = x - static_cast<int>(std::lround(e * scale)),
                my = y - static_cast<int>(std::lround(n * scale));
      canvas.Line(x, y, mx, my, kAfterMount);
      Cross(canvas, mx, my, kAfterMount);
      text.Draw(canvas, small, x + 10, y + 51,
                "mount " + Arcmin(astro::AngularSeparation(s.catalogue, s.after_mount)),
                kAfterMount, {}, false);
    }
  }
  return canvas.SavePng(path, error);
}

bool WriteNightChart(const std::vector<NightSeries>& stars, double limit_arcmin, TextRenderer& text,
                     const std::string& path, std::string* error) {
  constexpr int kLeft = 70, kRight = kWidth - 230, kTopEdge = 60, kBottom = kHeight - 60;
  const Rgb colours[] = {{255, 210, 0},   {80, 230, 120}, {100, 170, 255},
                         {255, 120, 200}, {255, 140, 60}, {190, 150, 255}};
  Canvas canvas(kWidth, kHeight, kBackground);
  const FontSpec title{-16, 0, "Arial"};
  const FontSpec small{-12, 0, "Arial"};
  text.Draw(canvas, title, 20, 14, "Pointing error through the night, after one calibration", kStar,
            {}, false);
  // Arcminutes on a logarithmic scale, so that a fit good to a count and one
  // off by degrees show on one picture.
  double hours = 1.0, top = limit_arcmin * 2, bottom = limit_arcmin / 4;
  for (const NightSeries& s : stars) {
    for (double h : s.hours) hours = std::max(hours, h);
    for (double e : s.error_arcmin) top = std::max(top, e * 1.3);
  }
  auto x_of = [&](double h) { return kLeft + static_cast<int>(h / hours * (kRight - kLeft)); };
  auto y_of = [&](double e) {
    const double f = std::log(std::clamp(e, bottom, top) / bottom) / std::log(top / bottom);
    return kBottom - static_cast<int>(f * (kBottom - kTopEdge));
  };
  for (int h = 0; h <= static_cast<int>(hours); ++h) {
    canvas.Line(x_of(h), kTopEdge, x_of(h), kBottom, kGrid);
    text.Draw(canvas, small, x_of(h) - 4, kBottom + 6, std::to_string(h) + "h", kLabel, {}, false);
  }
  for (double decade = 0.1; decade <= top; decade *= 10) {
    for (double m : {1.0, 2.0, 5.0}) {
      const double e = decade * m;
      if (e < bottom || e > top) continue;
      canvas.Line(kLeft, y_of(e), kRight, y_of(e), kGrid);
      char label[16];
      std::snprintf(label, sizeof label, e < 1 ? "%.1f'" : "%.0f'", e);
      text.Draw(canvas, small, 20, y_of(e) - 7, label, kLabel, {}, false);
    }
  }
  for (int x = kLeft; x < kRight; x += 8) {
    canvas.Line(x, y_of(limit_arcmin), x + 4, y_of(limit_arcmin), kBefore);
  }
  char limit[64];
  std::snprintf(limit, sizeof limit, "two encoder counts (%.1f')", limit_arcmin);
  text.Draw(canvas, small, kRight - 170, y_of(limit_arcmin) - 18, limit, kBefore, {}, false);
  text.Draw(canvas, small, kLeft, kHeight - 24,
            "hours since calibration (simulated time); error of the reported position, arcminutes",
            kLabel, {}, false);
  text.Draw(canvas, small, kLeft, 38, "dashed: six coefficients; solid: mount model", kLabel, {},
            false);
  // The same star keeps its colour in both models.
  std::vector<std::string> names;
  for (std::size_t i = 0; i < stars.size(); ++i) {
    const NightSeries& s = stars[i];
    const std::string star = s.name.substr(0, s.name.find(" ("));
    std::size_t index = std::find(names.begin(), names.end(), star) - names.begin();
    if (index == names.size()) names.push_back(star);
    const Rgb colour = colours[index % (sizeof colours / sizeof colours[0])];
    for (std::size_t k = 0; k + 1 < s.hours.size(); ++k) {
      const int x0 = x_of(s.hours[k]), y0 = y_of(s.error_arcmin[k]);
      const int x1 = x_of(s.hours[k + 1]), y1 = y_of(s.error_arcmin[k + 1]);
      if (!s.dashed) {
        canvas.Line(x0, y0, x1, y1, colour);
        continue;
      }
      for (int d = 0; d < 4; d += 2) {  // two dashes a step
        canvas.Line(x0 + (x1 - x0) * d / 4, y0 + (y1 - y0) * d / 4, x0 + (x1 - x0) * (d + 1) / 4,
                    y0 + (y1 - y0) * (d + 1) / 4, colour);
      }
    }
    for (std::size_t k = 0; k < s.hours.size(); ++k) {
      canvas.Circle(x_of(s.hours[k]), y_of(s.error_arcmin[k]), 2, colour, !s.dashed);
    }
    text.Draw(canvas, small, kRight + 10, kTopEdge + 16 * static_cast<int>(i), s.name, colour, {},
              false);
  }
  return canvas.SavePng(path, error);
}

}  // namespace host
