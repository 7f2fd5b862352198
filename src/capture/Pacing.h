#pragma once

#include <chrono>

namespace qelvo {

// The pause the GUI thread takes after raising a snapshot request, and before relisting a
// folder after a frame-ready message, so the streaming thread and the writer can catch up.
// 250 ms unless $QELVO_PACING_MS (read once) or setPacingPause() says otherwise; tests shorten
// it through this one setting.
std::chrono::milliseconds pacingPause();
void setPacingPause(std::chrono::milliseconds pause);
// Sleeps the calling thread for pacingPause().
void pacingSleep();

}  // namespace qelvo
