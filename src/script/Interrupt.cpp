#include "script/Interrupt.h"

#include <lua.hpp>

#include <atomic>
#include <csignal>
#include <iostream>

namespace hv {

namespace {

volatile std::sig_atomic_t requested = 0;
std::atomic<lua_State*> mainState{nullptr};
std::atomic<lua_State*> runningThread{nullptr};
std::string stoppedAt;
bool reported = false;

// Raised at every instruction, so a script that catches the error with pcall stops at its
// next instruction outside that pcall.
void stopHook(lua_State* state, lua_Debug* debug) {
    if (stoppedAt.empty() && lua_getinfo(state, "Sl", debug)) {
        stoppedAt = std::string(debug->short_src) + ":" + std::to_string(debug->currentline);
    }
    luaL_error(state, "interrupted");
}

void hook(lua_State* state) {
    if (state) lua_sethook(state, stopHook, LUA_MASKCOUNT, 1);
}

} // namespace

void requestInterrupt() {
    requested = 1;
    hook(mainState.load());
    hook(runningThread.load());
}

bool interruptRequested() { return requested != 0; }

void watchMainState(lua_State* state) {
    mainState.store(state);
    if (requested) hook(state);
}

lua_State* enterScriptThread(lua_State* thread) {
    lua_State* previous = runningThread.exchange(thread);
    // A request that came just before the thread was named would otherwise miss it.
    if (requested) hook(thread);
    return previous;
}

void leaveScriptThread(lua_State* previous) { runningThread.store(previous); }

const std::string& interruptedAt() { return stoppedAt; }

void reportInterruption(const std::string& what) {
    if (reported) return;
    reported = true;
    std::cerr << "interrupted: " << what << " stopped at " << stoppedAt << std::endl;
}

} // namespace hv
