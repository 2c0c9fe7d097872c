// Feeds the encoder link arbitrary answers from the box: any bytes, any
// length, split into reads at any points, with any one call of the link
// failing, through QueryEncoders and GetTelescopePosition over the
// fault-injecting serial backend (no read waits).  Checks: nothing crashes or
// reaches outside a buffer; only "Q" and "P" are sent; the angles are finite
// and within the range rule; the failure count stays within 0..32767; the
// status word is 255 whenever the status query is off; a position that could
// not be read leaves the caller's values as they were.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "link/link.h"
#include "platform/fault/fault_serial.h"
#include "plugin/position.h"
#include "pointing/pointing.h"
#include "window_system_model.h"

namespace {

void Abort(const char* what) { fuzzing::Abort("link", what); }

constexpr std::int32_t kResolutions[] = {4096,  8192,       -4096,           360,     -360, 1, -1,
                                         99999, 2147483647, -2147483647 - 1, 1000000, 7};
constexpr plat::fault::Call kFaultable[] = {plat::fault::Call::kPurge, plat::fault::Call::kTransmit,
                                            plat::fault::Call::kRead};

// The range rule's promise: the first angle within [0, 2π]; the second within
// ±π/2 whenever it came from within ±3π/2 (the rule folds a pole once).
void CheckAngles(double first, double second, double raw_second) {
  if (!std::isfinite(first) || !std::isfinite(second)) Abort("angle not finite");
  if (first < 0.0 || first > ctl::kTwoPi) Abort("first angle out of range");
  if (std::fabs(raw_second) < 1.5 * ctl::kPi - 1e-6 && std::fabs(second) > ctl::kHalfPi + 1e-9) {
    Abort("second angle out of range");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::Input in(data, size);
  ctl::ResetState();
  wsm::Reset();
  plat::fault::Reset();
  ctl::PluginState& state = ctl::State();

  const std::uint8_t flags = in.Byte();
  ctl::Settings& s = state.settings;
  s.PCode = flags & 1;
  s.MountType = (flags & 2) ? ctl::kAltAzimuth : ctl::kEquatorial;
  s.ResRA = kResolutions[in.Byte() % std::size(kResolutions)];
  s.ResDec = kResolutions[in.Byte() % std::size(kResolutions)];
  state.RadPerCountRA = ctl::RadiansPerCount(s.ResRA);
  state.RadPerCountDec = ctl::RadiansPerCount(s.ResDec);
  s.HorizonAz = (in.Byte() - 128) * 0.05;
  s.HorizonAlt = (in.Byte() - 128) * 0.0125;
  state.host_time.day_number = (flags & 4) ? in.Byte() * 0.37 : 0.0;
  state.link_failures = static_cast<std::int16_t>((flags & 8) ? 32760 + in.Byte() % 8 : 0);
  if (flags & 16) wsm::TheBehaviour().visible_windows.insert(state.debug_window = 0x77);
  if (flags & 32) {
    ctl::PointingCoefficients& p = state.pointing;
    p.RA = (in.Byte() - 128) / 64.0;
    p.RB = (in.Byte() - 128) / 32.0;
    p.RC = (in.Byte() - 128) / 16.0;
    p.DA = (in.Byte() - 128) / 64.0;
    p.DB = (in.Byte() - 128) / 32.0;
    p.DC = (in.Byte() - 128) / 16.0;
  }

  const plat::Handle port = plat::SerialOpen("COM1");
  s.port = port;
  state.port_open = state.connected = 1;
  plat::fault::SetAnswer('Q', in.Bytes(in.Byte()));
  plat::fault::SetAnswer('P', in.Bytes(in.Byte() % 16));
  plat::fault::Arrive(in.Bytes(in.Byte() % 32));  // left from before: the purge takes it
  for (int i = 0, reads = in.Byte() % 6; i < reads; ++i) {
    plat::fault::ShortRead(in.Byte() % 8 + 1, in.Byte() % 20);
  }
  if (flags & 64) {
    plat::fault::Fail(kFaultable[in.Byte() % std::size(kFaultable)], in.Byte() % 4 + 1,
                      in.Byte() % 3);
  }

  for (int round = 0; round < 4; ++round) {
    ctl::EncoderRecord record;
    record.angle1 = record.angle2 = 1e300;
    record.status = 12345;
    if (ctl::QueryEncoders(record, s)) {
      const double reference = s.MountType == ctl::kAltAzimuth ? s.HorizonAlt : s.RefDec;
      CheckAngles(record.angle1, record.angle2, record.degrees2 * ctl::kPi / 180.0 + reference);
      if (!std::isfinite(record.degrees1) || !std::isfinite(record.degrees2)) Abort("degrees");
      if (s.PCode != 1 && record.status != 255) Abort("status word with the query off");
    }
    if (state.link_failures < 0) Abort("failure count negative");

    double first = -7.0, second = -7.0;
    if (ctl::GetTelescopePosition(first, second)) {
      if (!std::isfinite(first) || !std::isfinite(second)) Abort("position not finite");
      if (first < 0.0 || first > ctl::kTwoPi) Abort("position out of range");
    } else if (first != -7.0 || second != -7.0) {
      Abort("a failed position changed the caller's values");
    }
  }
  for (char c : plat::fault::Sent()) {
    if (c != 'Q' && c != 'P') Abort("sent something other than Q or P");
  }
  if (!plat::fault::IsOpen(port)) Abort("the query closed the port");
  ctl::ResetState();
  return 0;
}
