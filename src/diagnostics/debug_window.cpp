// The debug window page.
#include "diagnostics/diagnostics.h"

namespace ctl {

void FeedDebugWindow(const EncoderRecord& /*record*/) {}
void DrawDebugWindow(plat::Handle, EncoderRecord) {}

}  // namespace ctl
