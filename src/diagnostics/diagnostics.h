// Diagnostics display: the debug window page.
#pragma once

#include "platform/platform.h"
#include "state/state.h"

namespace ctl {

// Draws the page when the debug window is visible.
void FeedDebugWindow(const EncoderRecord& record);
void DrawDebugWindow(plat::Handle window, EncoderRecord record);

}  // namespace ctl
