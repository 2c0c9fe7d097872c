// One query of the setting-circle box.
#include "link/link.h"

namespace ctl {

bool QueryEncoders(EncoderRecord& /*record*/, const Settings& /*settings*/) { return false; }

}  // namespace ctl
