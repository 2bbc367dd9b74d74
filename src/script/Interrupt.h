// Ending a run whose script never yields. A signal handler asks with requestInterrupt; the
// Lua code that runs then stops at its next instruction through a count hook. The hook is set
// only once the request came (on the book's main state and on the thread being resumed), so
// scripts run at full speed until then.
#pragma once

#include <string>

struct lua_State;

namespace hv {

// Safe to call from a signal handler.
void requestInterrupt();
bool interruptRequested();

// The book's main state, which runs the start-up scripts and imports; null when it closes.
void watchMainState(lua_State* state);
// Around a resume: the thread about to run, and the one to restore afterwards.
lua_State* enterScriptThread(lua_State* thread);
void leaveScriptThread(lua_State* previous);

// Where the hook stopped a script ("book.lua:12"); empty while it has not.
const std::string& interruptedAt();
// The one line that names what was stopped ("context 2", "start-up script book.lua") and
// where; later calls write nothing.
void reportInterruption(const std::string& what);

} // namespace hv
