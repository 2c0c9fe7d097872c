// The calibration chart: each calibration star at its catalogue place, with
// the positions the plug-in reported for it before and after calibration
// drawn as magnified offsets, and the error of each.
#pragma once

#include <string>
#include <vector>

#include "astro.h"
#include "canvas.h"

namespace host {

struct ChartStar {
  std::string name;
  astro::Equatorial catalogue;
  astro::Equatorial before;  // reported before calibration
  astro::Equatorial after;   // reported after calibration (the six coefficients)
  bool check = false;        // not a calibration star: the further star checked afterwards
  astro::Equatorial after_mount = {};  // reported after calibrating with the mount model
  bool has_mount = false;              // whether after_mount was measured
};

// One star's pointing error through the simulated night: hours since the
// calibration and the error then, arcminutes.
struct NightSeries {
  std::string name;
  std::vector<double> hours;
  std::vector<double> error_arcmin;
  bool dashed = false;  // drawn dashed (the six coefficients, beside the mount model)
};

// Plots the errors of a few stars through the night on a logarithmic scale
// of arcminutes, with the limit of two encoder counts drawn across, and
// writes it as PNG.
bool WriteNightChart(const std::vector<NightSeries>& stars, double limit_arcmin, TextRenderer& text,
                     const std::string& path, std::string* error);

// Draws the chart and writes it as PNG; false with a reason in *error.
bool WriteCalibrationChart(const std::vector<ChartStar>& stars, TextRenderer& text,
                           const std::string& path, std::string* error);

}  // namespace host
