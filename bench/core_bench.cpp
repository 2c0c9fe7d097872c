// The plug-in's own costs per call, with everything outside it as cheap as
// it can be: the core linked in, the recording window system of the tests
// (each drawing call is logged, texts copied), and the fault-injecting serial
// backend, whose box answers at once, so no line time is counted.  The
// recording's own cost (logging and clearing the calls) is counted in.
//
//   draw_debug_window/entries:N  one page with N calibration entries (goal < 50 us)
//   fit_line/points:8, fit_quadratic/points:8   each fit with eight points
//   calibrate/entries:8          both axes fitted and the result box shown
//   operation_21/...             the telescope object record, equatorial and
//                                alt-azimuth, with and without the status query
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "calibration/calibration.h"
#include "diagnostics/diagnostics.h"
#include "platform/fault/fault_serial.h"
#include "plugin/plugin.h"
#include "window_system_model.h"

namespace {

constexpr plat::Handle kWindow = 0x7700;

void FillList(int entries) {
  ctl::CalibrationList& list = ctl::State().calibration;
  list.count = entries;
  for (int i = 0; i < entries; ++i) {
    ctl::CalibrationEntry& e = list.entries[i];
    std::snprintf(e.name, sizeof e.name, "Calibration star %d", i + 1);
    e.sighted = 1;
    e.catalogue1 = 0.3 + 0.7 * i + 0.01 * i * i;
    e.catalogue2 = -0.5 + 0.13 * i + 0.002 * i * i;
    e.encoder1 = 0.31 + 0.7 * i;
    e.encoder2 = -0.49 + 0.13 * i;
  }
}

void BM_DrawDebugWindow(benchmark::State& state) {
  ctl::ResetState();
  wsm::Reset();
  FillList(static_cast<int>(state.range(0)));
  ctl::EncoderRecord record;
  record.angle1 = 0.665777659788;
  record.angle2 = 1.55817662667;
  record.degrees1 = 5.5;
  record.degrees2 = 350.25;
  record.status = 7;
  for (auto _ : state) {
    ctl::DrawDebugWindow(kWindow, record);
    wsm::TheLog().draws.clear();  // the recording's own cost is counted in
  }
}

ctl::PointTable EightPoints() {
  ctl::PointTable t;
  t.x[0] = 8;
  for (int i = 1; i <= 8; ++i) {
    t.x[i] = 0.31 + 0.7 * i;
    t.y[i] = 0.3 + 0.7 * i + 0.01 * i * i;
  }
  return t;
}

void BM_FitLine(benchmark::State& state) {
  const ctl::PointTable t = EightPoints();
  double slope = 0, intercept = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ctl::FitLine(t, slope, intercept));
    benchmark::DoNotOptimize(slope);
  }
}

void BM_FitQuadratic(benchmark::State& state) {
  const ctl::PointTable t = EightPoints();
  double a = 0, b = 0, c = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ctl::FitQuadratic(t, a, b, c));
    benchmark::DoNotOptimize(a);
  }
}

void BM_Calibrate(benchmark::State& state) {
  ctl::ResetState();
  wsm::Reset();
  FillList(8);
  for (auto _ : state) {
    ctl::CalibrateTelescope();
    wsm::TheLog().boxes.clear();
  }
}

// Operation 21 over the fault backend; range(0): mount type, range(1):
// status query, range(2): debug window shown.
void BM_Operation21(benchmark::State& state) {
  ctl::ResetState();
  wsm::Reset();
  plat::fault::Reset();
  plat::fault::SetAnswer('Q', "+01234\t-00567\r");
  plat::fault::SetAnswer('P', "007\r");
  ctl::PluginState& s = ctl::State();
  s.settings.MountType = static_cast<std::int32_t>(state.range(0));
  s.settings.PCode = static_cast<std::int32_t>(state.range(1));
  DoOperation(26, 0);
  if (s.connected != 1) state.SkipWithError("not connected");
  if (state.range(2) != 0) {
    DoOperation(2, kWindow);
    wsm::TheBehaviour().visible_windows.insert(kWindow);
  }
  std::vector<std::uint8_t> record(400, 0);
  const auto block = reinterpret_cast<std::uintptr_t>(record.data());
  for (auto _ : state) {
    DoOperation(21, block);
    wsm::TheLog().draws.clear();
  }
  if (record[62] != 9) state.SkipWithError("no position");
  ctl::ResetState();
}

}  // namespace

BENCHMARK(BM_DrawDebugWindow)
    ->Name("draw_debug_window")
    ->ArgName("entries")
    ->Arg(0)
    ->Arg(8)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FitLine)->Name("fit_line/points:8");
BENCHMARK(BM_FitQuadratic)->Name("fit_quadratic/points:8");
BENCHMARK(BM_Calibrate)->Name("calibrate/entries:8")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Operation21)
    ->Name("operation_21")
    ->ArgNames({"altaz", "status", "debug_window"})
    ->Args({0, 0, 0})
    ->Args({0, 1, 0})
    ->Args({1, 1, 0})
    ->Args({0, 1, 1})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
