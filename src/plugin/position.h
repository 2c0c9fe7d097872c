// The position road: one query of the box and the corrected position, each
// step in its order.
#pragma once

#include "state/state.h"

namespace ctl {

// One query of the box into `record`: the "Q" exchange gives the counts, the
// conversion the uncorrected angles (between the two exchanges), the "P"
// exchange the status when the status query is on.  Returns false when "Q"
// could not be sent or its answer could not be read: the record then holds
// no new values.  `complete_answer`, when given, tells whether all 14 bytes
// of the counts arrived with both fields in them (otherwise the missing
// counts were taken as 0).  A "P" that could not be sent or read leaves the
// record's status as it was.
bool QueryEncoders(EncoderRecord& record, const Settings& settings,
                   bool* complete_answer = nullptr);

// The corrected position of a fresh query, and the debug page fed with the
// query as it came.  Returns false when the query gave no position: nothing
// sent or read, or an answer too short or without both count fields (the
// out-parameters are then left as they were; the debug window still shows
// what the query got).
bool GetTelescopePosition(double& first, double& second);

}  // namespace ctl
