// Operations 8 and 21: the telescope's position handed to the host.
#include "plugin/plugin.h"

namespace ctl {

void ReportPosition(std::uint8_t* /*block*/) {}
void FillTelescopeObject(std::uint8_t* /*record*/) {}

}  // namespace ctl
