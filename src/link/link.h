// Encoder link: the serial port connection and the query protocol.
#pragma once

#include "state/state.h"

namespace ctl {

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
