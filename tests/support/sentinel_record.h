// An encoder record whose every field holds a value no query writes, so a
// test can tell which fields a query left untouched.
#pragma once

#include "state/state.h"

namespace testsupport {

inline ctl::EncoderRecord SentinelRecord() {
  ctl::EncoderRecord r;
  r.angle1 = 11.0;
  r.angle2 = 22.0;
  r.degrees1 = 33.0;
  r.degrees2 = 44.0;
  r.status = 555;
  return r;
}

}  // namespace testsupport
