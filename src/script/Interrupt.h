// Ending a run whose script never yields. A signal handler asks with requestInterrupt; the
// Lua code that runs then stops at its next instruction through a count hook. The hook is set
// only once the request came (on the book's main state and on the thread being resumed; the
// coroutines those create from then on inherit it), so scripts run at full speed until then.
// What the hook cannot reach (a coroutine made before the request, one long C call, a
// finaliser, the engine's own work) is ended by the host's watchdog, which asks here what ran.
#pragma once

#include <cstdint>
#include <string>

struct lua_State;

namespace hv {

// Safe to call from a signal handler. `onScriptThread` says that it runs on the thread that
// runs the scripts, the only one that may set their hook; elsewhere only the flag is set.
void requestInterrupt(bool onScriptThread);
bool interruptRequested();

// The book's main state, which runs the start-up scripts and imports; null when it closes.
void watchMainState(lua_State* state);
// Around a resume: the thread about to run, and the one to restore afterwards.
lua_State* enterScriptThread(lua_State* thread);
void leaveScriptThread(lua_State* previous);

// What runs, for the watchdog's line: a context, the start-up scripts, or neither.
inline constexpr int64_t noScriptRuns = -2;
inline constexpr int64_t startUpScriptsRun = -1;
class RunningScript {
public:
    explicit RunningScript(int64_t what);
    ~RunningScript();
    RunningScript(const RunningScript&) = delete;
    RunningScript& operator=(const RunningScript&) = delete;

private:
    int64_t previous_;
};

// Where the hook stopped a script ("book.lua:12"); empty while it has not.
const std::string& interruptedAt();
// The one line that names what was stopped ("context 2", "start-up script book.lua") and
// where; later calls write nothing.
void reportInterruption(const std::string& what);
// For the watchdog, on its own thread: the one line for a run it has to end itself, naming
// what ran ("interrupted: context 2 had to be stopped without the script's help"), or empty
// when the line has been written already.
std::string claimUnaidedStopLine();

} // namespace hv
