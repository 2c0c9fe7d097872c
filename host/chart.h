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
  astro::Equatorial after;   // reported after calibration
  bool check = false;        // not a calibration star: the further star checked afterwards
};

// Draws the chart and writes it as PNG; false with a reason in *error.
bool WriteCalibrationChart(const std::vector<ChartStar>& stars, TextRenderer& text,
                           const std::string& path, std::string* error);

}  // namespace host
