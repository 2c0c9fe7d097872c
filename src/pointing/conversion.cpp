// Encoder counts to uncorrected sky angles, and the range rule for angles.
#include "pointing/pointing.h"

namespace ctl {

void ConvertEncoderCounts(EncoderRecord& /*record*/, const Settings& /*settings*/) {}
void NormaliseAngles(double& /*first*/, double& /*second*/) {}

}  // namespace ctl
