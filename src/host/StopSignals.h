#pragma once

namespace hv {

// Ctrl-C (SIGINT) and SIGTERM end the run as closing the window does, also while a script is
// stuck in a loop that never yields: the handler asks the running script to stop
// (script/Interrupt.h) and the main loop ends at its next pass. A second signal finds the
// default action and ends the process at once.
void installStopSignals();

} // namespace hv
