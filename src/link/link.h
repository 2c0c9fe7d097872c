// Encoder link: the serial port connection and the query protocol.
#pragma once

#include "state/state.h"

namespace ctl {

// The serial time-outs the link applies, in milliseconds, by Windows' rule: a
// read of n bytes ends when they have arrived, 20 ms after a byte with none
// following, or 10 * n + 100 ms after it began; a write of n bytes within
// 10 * n + 100 ms.
inline constexpr plat::Timeouts kLinkTimeouts = [] {
  plat::Timeouts t;
  t.read_interval = 20;
  t.read_total_multiplier = 10;
  t.read_total_constant = 100;
  t.write_total_multiplier = 10;
  t.write_total_constant = 100;
  return t;
}();

// The longest a read of `bytes` bytes waits for a box that stays silent.
constexpr std::uint32_t ReadBound(std::uint32_t bytes) {
  return kLinkTimeouts.read_total_multiplier * bytes + kLinkTimeouts.read_total_constant;
}

void ConnectPort();
void DisconnectPort();
bool ConfigurePort(plat::Handle port);

// One conversation with the box: "Q" and its 14-byte answer, then "P" and
// its 4-byte answer when the status query is on.  Returns false when "Q"
// could not be sent or its answer could not be read: the record then holds
// no new values.  `complete_answer`, when given, tells whether all 14 bytes
// of the counts arrived with both fields in them (otherwise the missing
// counts were taken as 0).
bool QueryEncoders(EncoderRecord& record, const Settings& settings,
                   bool* complete_answer = nullptr);

}  // namespace ctl
