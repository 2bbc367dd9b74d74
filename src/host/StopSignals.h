#pragma once

#include <chrono>
#include <csignal>

namespace hv {

// Ctrl-C (SIGINT) and SIGTERM end the run as closing the window does, also while a script is
// stuck in a loop that never yields: the handler asks the running script to stop
// (script/Interrupt.h) and the main loop ends at its next pass. Whatever cannot be stopped that
// way (a long C call, a finaliser, the engine's own work) is ended by a watchdog thread: when
// the run has not ended `stopGrace` after the signal, it writes the one line saying so, flushes
// the standard output and ends the process with status 0. A second signal finds the default
// action and ends the process at once. Call it on the main thread; later calls only install the
// handlers again.
void installStopSignals();
// The run has ended (the host has shut down): a stop asked for now needs no watchdog.
void noteRunEnded();

inline constexpr std::chrono::milliseconds stopGrace{1000};

// While one lives, the calling thread blocks SIGINT and SIGTERM, and so does every thread it
// starts then, so that the handler runs on the main thread, which runs the scripts.
class StopSignalsBlocked {
public:
    StopSignalsBlocked();
    ~StopSignalsBlocked();
    StopSignalsBlocked(const StopSignalsBlocked&) = delete;
    StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;

private:
    sigset_t previous_;
};

} // namespace hv
