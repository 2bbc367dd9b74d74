#include "host/StopSignals.h"

#include "script/Interrupt.h"

#include <csignal>

namespace hv {

namespace {

void onStopSignal(int) { requestInterrupt(); }

} // namespace

void installStopSignals() {
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace hv
