#include "state/state.h"

namespace ctl {
namespace {

constinit PluginState g_state;

// Each position report is 19 bytes; the host reads it through a 32-bit
// address, so both live in one low block allocated once.
constexpr std::uint32_t kReportSize = 32;

void EnsureReports(PluginState& state) {
  if (state.equatorial_report != nullptr) return;
  auto* block = static_cast<std::uint8_t*>(plat::AllocateLowMemory(2 * kReportSize));
  if (block == nullptr) return;
  state.equatorial_report = block;
  state.horizontal_report = block + kReportSize;
}

}  // namespace

PluginState& State() { return g_state; }

void ResetState() {
  std::uint8_t* equatorial = g_state.equatorial_report;
  std::uint8_t* horizontal = g_state.horizontal_report;
  const plat::Handle module = g_state.module_instance;
  g_state = PluginState{};
  g_state.module_instance = module;
  g_state.equatorial_report = equatorial;
  g_state.horizontal_report = horizontal;
  EnsureReports(g_state);
}

void OnProcessAttach(plat::Handle module_instance) {
  g_state.module_instance = module_instance;
  EnsureReports(g_state);
}

}  // namespace ctl
