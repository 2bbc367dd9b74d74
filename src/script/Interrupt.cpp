#include "script/Interrupt.h"

#include <lua.hpp>

#include <atomic>
#include <iostream>

namespace hv {

namespace {

// Read by the watchdog and written from a signal handler: lock-free atomics only.
std::atomic<bool> requested{false};
std::atomic<bool> reported{false};
std::atomic<int64_t> running{noScriptRuns};
std::atomic<lua_State*> mainState{nullptr};
std::atomic<lua_State*> runningThread{nullptr};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int64_t>::is_always_lock_free &&
              std::atomic<lua_State*>::is_always_lock_free);
std::string stoppedAt; // main thread only

// Raised at every instruction, so a script that catches the error with pcall stops at its
// next instruction outside that pcall.
void stopHook(lua_State* state, lua_Debug* debug) {
    if (stoppedAt.empty() && lua_getinfo(state, "Sl", debug)) {
        stoppedAt = std::string(debug->short_src) + ":" + std::to_string(debug->currentline);
    }
    luaL_error(state, "interrupted");
}

// Lua allows this from a signal handler, on the thread that runs the state.
void hook(lua_State* state) {
    if (state) lua_sethook(state, stopHook, LUA_MASKCOUNT, 1);
}

} // namespace

void requestInterrupt(bool onScriptThread) {
    requested.store(true);
    if (!onScriptThread) return;
    hook(mainState.load());
    hook(runningThread.load());
}

bool interruptRequested() { return requested.load(); }

void watchMainState(lua_State* state) {
    mainState.store(state);
    if (requested.load()) hook(state);
}

lua_State* enterScriptThread(lua_State* thread) {
    lua_State* previous = runningThread.exchange(thread);
    // A request that came just before the thread was named would otherwise miss it.
    if (requested.load()) hook(thread);
    return previous;
}

void leaveScriptThread(lua_State* previous) { runningThread.store(previous); }

RunningScript::RunningScript(int64_t what) : previous_(running.exchange(what)) {}

RunningScript::~RunningScript() { running.store(previous_); }

const std::string& interruptedAt() { return stoppedAt; }

void reportInterruption(const std::string& what) {
    if (reported.exchange(true)) return;
    std::cerr << "interrupted: " << what << " stopped at " << stoppedAt << std::endl;
}

std::string claimUnaidedStopLine() {
    if (reported.exchange(true)) return "";
    int64_t what = running.load();
    if (what >= 0) return "interrupted: context " + std::to_string(what) + " had to be stopped without the script's help";
    if (what == startUpScriptsRun) return "interrupted: a start-up script had to be stopped without the script's help";
    return "interrupted: the engine's own work had to be stopped without the script's help";
}

} // namespace hv
