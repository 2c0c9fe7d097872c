// Operations 8 and 21: the telescope's position handed to the host.
//
// Nothing here allocates memory: the two position reports live in the
// plug-in-owned low block set up at process attach, and everything else is
// a local.  Operation 8 when no report is due reads the tick count and
// nothing else.
#include <velastra/host_abi.h>

#include <cstdint>

#include "plugin/bytes.h"
#include "plugin/messages.h"
#include "plugin/plugin.h"
#include "plugin/position.h"
#include "pointing/pointing.h"

namespace ctl {
namespace {

// Periodic update block.
constexpr std::size_t kReportKind = VL_PERIODIC_KIND;
constexpr std::size_t kReportAddress = VL_PERIODIC_REPORT;
constexpr std::int32_t kKindHorizontal = VL_KIND_HORIZONTAL;
constexpr std::int32_t kKindEquatorial = VL_KIND_EQUATORIAL;
constexpr std::int32_t kKindNone = VL_KIND_NONE;
constexpr std::uint32_t kReportInterval = 1000;  // ms

// Position report.
constexpr std::size_t kReportFirst = VL_REPORT_FIRST;
constexpr std::size_t kReportSecond = VL_REPORT_SECOND;
constexpr std::size_t kReportFlags = VL_REPORT_FLAGS;

// Telescope object record.
constexpr std::size_t kObjectFirst = VL_TELESCOPE_FIRST;
constexpr std::size_t kObjectSecond = VL_TELESCOPE_SECOND;
constexpr std::size_t kObjectMarkerSize = VL_TELESCOPE_MARKER_SIZE;
constexpr std::size_t kObjectZeros = 32;
constexpr std::size_t kObjectZeroCount = 16;
constexpr std::size_t kObjectLabel = VL_TELESCOPE_LABEL;
constexpr std::size_t kObjectHostContext = VL_TELESCOPE_CONTEXT;
constexpr double kTelescopeMarkerSize = 0.0524;

// The host reads a report through a 4-byte address.
bool FitsInAddressField(const std::uint8_t* report) {
  return reinterpret_cast<std::uintptr_t>(report) <= 0xFFFFFFFFu;
}

void FillReport(std::uint8_t* report, double first, double second) {
  bytes::PutF64(report, kReportFirst, first);
  bytes::PutF64(report, kReportSecond, second);
  bytes::PutU8(report, kReportFlags, 1);
  bytes::PutU8(report, kReportFlags + 1, 0);
  bytes::PutU8(report, kReportFlags + 2, 0);
}

}  // namespace

void AnswerNoPosition(std::uint8_t* block) {
  bytes::PutI32(block, kReportKind, kKindNone);
  bytes::PutU32(block, kReportAddress, 0);
}

void ReportPosition(std::uint8_t* block) {
  PluginState& state = State();
  if (state.reporting == 0 ||
      static_cast<std::uint32_t>(plat::TickCount() - state.last_report_tick) <= kReportInterval) {
    AnswerNoPosition(block);
    return;
  }
  state.last_report_tick = plat::TickCount();
  AdvanceDayNumber(state.last_report_tick);

  const bool alt_azimuth = state.settings.MountType == kAltAzimuth;
  std::uint8_t* report = alt_azimuth ? state.horizontal_report : state.equatorial_report;
  if (report == nullptr || !FitsInAddressField(report)) {
    AnswerNoPosition(block);
    return;
  }
  double first = 0.0;
  double second = 0.0;
  // A query that sent or read nothing leaves the report as it was and the
  // host is told there is no new position.
  if (!GetTelescopePosition(first, second)) {
    AnswerNoPosition(block);
    return;
  }

  std::int32_t kind = kKindEquatorial;
  if (alt_azimuth) {
    kind = kKindHorizontal;
    double longitude = 0.0;
    vl_RealWorldAzimuth2Mathematical(first, &longitude);
    first = longitude;
  }
  FillReport(report, first, second);
  bytes::PutI32(block, kReportKind, kind);
  bytes::PutU32(block, kReportAddress,
                static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(report)));
}

void FillTelescopeObject(std::uint8_t* record) {
  PluginState& state = State();
  double first = 0.0;
  double second = 0.0;
  // Without a position the record is left exactly as the host gave it.
  if (!GetTelescopePosition(first, second)) return;

  bytes::PutU8(record, 0, 1);
  bytes::PutU8(record, 1, 3);
  bytes::PutU8(record, 2, 1);
  if (state.settings.MountType == kAltAzimuth) {
    const SphericalTriple sky =
        HorizonToEquatorial(bytes::U32(record, kObjectHostContext), first, second);
    first = sky.longitude;
    second = sky.latitude;
  }
  bytes::PutF64(record, kObjectFirst, first);
  bytes::PutF64(record, kObjectSecond, second);
  bytes::PutF64(record, kObjectMarkerSize, kTelescopeMarkerSize);
  for (std::size_t i = 0; i < kObjectZeroCount; ++i) bytes::PutU8(record, kObjectZeros + i, 0);
  ToCountedString(record + kObjectLabel, msg::kTelescopeLabel);
}

}  // namespace ctl
