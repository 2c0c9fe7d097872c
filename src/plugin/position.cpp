// The position road, in the order of its steps.
#include "plugin/position.h"

#include "diagnostics/diagnostics.h"
#include "link/link.h"
#include "pointing/pointing.h"

namespace ctl {

bool QueryEncoders(EncoderRecord& record, const Settings& settings, bool* complete_answer) {
  if (complete_answer != nullptr) *complete_answer = false;
  CountsAnswer counts = ExchangeCounts(settings);
  if (!counts.read) return false;
  if (complete_answer != nullptr) *complete_answer = counts.complete;
  record.count1 = counts.count1;
  record.count2 = counts.count2;
  ConvertEncoderCounts(record, settings);
  const StatusAnswer status = ExchangeStatus(settings, counts);
  if (!status.read) return true;
  record.status = status.status;
  WarnAfterFailures();
  return true;
}

bool GetTelescopePosition(double& first, double& second) {
  EncoderRecord record;
  // A query that sent or read nothing has no position to give; the caller
  // reports nothing new rather than a record that received no values.
  bool complete = false;
  if (!QueryEncoders(record, State().settings, &complete)) return false;
  // An answer too short or without both count fields holds no position
  // either (its counts of 0 would put the telescope on the reference point);
  // the debug window still shows the status the query read.
  if (complete) CorrectPosition(record, first, second);
  // The debug window shows the query as it came, before the correction.
  FeedDebugWindow(record);
  return complete;
}

}  // namespace ctl
