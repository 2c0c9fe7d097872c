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

// The "Q" exchange: purge the port, send "Q", read the 14-byte answer and
// take its two signed fields.
struct CountsAnswer {
  bool read = false;      // "Q" went out and an answer came (else its box was shown)
  bool complete = false;  // the whole answer, with both count fields in it
  double count1 = 0.0;    // the counts as the box sent them; 0 for a field
  double count2 = 0.0;    //   or an answer that did not come
  char reply[16] = {};    // the reply buffer, which the "P" exchange reads into
};
CountsAnswer ExchangeCounts(const Settings& settings);

// The "P" exchange, when the status query is on: send "P", read the 4-byte
// status into the reply buffer of the "Q" exchange before it.
struct StatusAnswer {
  bool read = false;  // a status to record (else the status query is off)
  std::int16_t status = 0;
};
StatusAnswer ExchangeStatus(const Settings& settings, CountsAnswer& counts);

// After a query whose exchanges both went through: the warning box once
// more than twenty exchanges in a row have failed.
void WarnAfterFailures();

}  // namespace ctl
