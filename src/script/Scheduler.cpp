// Contexts as coroutines: creating, resuming and ending them, starting chapters, and the
// scheduling pass that every event drives.
#include "chapter/ChapterController.h"
#include "core/Fatal.h"
#include "core/PlatformBackend.h"
#include "core/SoundManager.h"
#include "script/BookController.h"
#include "script/Interrupt.h"

#include <lua.hpp>

#include <iostream>
#include <string>

namespace hv {

namespace {

// Queued pointer events are handled within the event that queued them; a context that queues
// more every time it runs (a loop of clicks) would keep that event, and the host, going for ever.
constexpr int maxQueuedEventsPerEvent = 10000;

int tostringOf(lua_State* state) {
    luaL_tolstring(state, 1, nullptr);
    return 1;
}

// "book.lua:12: " for the innermost script function of a coroutine that stopped on an error;
// Lua leaves its stack for this.
std::string placeOfError(lua_State* thread) {
    lua_Debug frame;
    for (int level = 0; lua_getstack(thread, level, &frame); ++level) {
        if (lua_getinfo(thread, "Sl", &frame) && frame.currentline > 0) {
            return std::string(frame.short_src) + ":" + std::to_string(frame.currentline) + ": ";
        }
    }
    return "";
}

// The error value on top of a failed coroutine, for its one line. Strings and numbers are as
// Lua gave them; anything else is told by its __tostring, or by its type, after the place it
// was raised, since Lua adds no place to such values. The dead coroutine only gives up the
// value: the main thread, which has room, runs the book's __tostring, which may fail.
std::string describeError(lua_State* main, lua_State* thread) {
    if (lua_type(thread, -1) == LUA_TSTRING || lua_type(thread, -1) == LUA_TNUMBER) return lua_tostring(thread, -1);
    const std::string place = placeOfError(thread);
    lua_xmove(thread, main, 1);
    std::string what = std::string("error object is a ") + luaL_typename(main, -1) + " value";
    if (lua_checkstack(main, 3) && luaL_getmetafield(main, -1, "__tostring") != LUA_TNIL) {
        lua_pop(main, 1);
        lua_pushcfunction(main, tostringOf);
        lua_pushvalue(main, -2);
        if (lua_pcall(main, 1, 1, 0) == LUA_OK) {
            what = lua_tostring(main, -1);
        } else {
            const char* message = lua_tostring(main, -1);
            what += std::string(" (its __tostring failed: ") + (message ? message : "no message") + ")";
        }
        lua_pop(main, 1);
    }
    lua_pop(main, 1);
    return place + what;
}

} // namespace

std::pair<int32_t, int32_t> BookController::createContext(int32_t functionRef, int32_t behaviour, uint64_t group,
                                                          bool ownsFunction) {
    ContextTable& table = chapterController_->contextTable();
    int32_t index = table.addContext(behaviour, group);
    // The coroutine is made here rather than through the script-visible coroutine table, which
    // a book may replace.
    lua_rawgeti(luaState_, LUA_REGISTRYINDEX, functionRef);
    if (!lua_isfunction(luaState_, -1)) fatalError("createContext: Error booting coroutine");
    lua_State* thread = lua_newthread(luaState_);
    lua_pushvalue(luaState_, -2);
    lua_xmove(luaState_, thread, 1);
    Context& context = table.context(uint64_t(index));
    context.threadRef = luaL_ref(luaState_, LUA_REGISTRYINDEX);
    lua_pop(luaState_, 1);
    context.ownedFunctionRef = ownsFunction ? functionRef : -1;
    return {index, int32_t(context.group)};
}

void BookController::terminateContext(uint64_t index) {
    ContextTable& table = chapterController_->contextTable();
    if (!table.isContextAlive(index)) return;
    Context& context = table.context(index);
    // The references go back for reuse, so a book that makes a context per click does not grow
    // the registry (and keep every closure it made) without end.
    luaL_unref(luaState_, LUA_REGISTRYINDEX, context.threadRef);
    context.threadRef = LUA_NOREF;
    if (context.ownedFunctionRef >= 0) luaL_unref(luaState_, LUA_REGISTRYINDEX, context.ownedFunctionRef);
    context.ownedFunctionRef = -1;
    chapterController_->onContextTerminated(index);
    table.destroyContext(index);
}

void BookController::tickLuaScheduler(uint64_t index) {
    ContextTable& table = chapterController_->contextTable();
    if (!table.isGroupActive(index)) return;
    table.setCurrentContext(index);
    lua_rawgeti(luaState_, LUA_REGISTRYINDEX, table.context(index).threadRef);
    lua_State* thread = lua_tothread(luaState_, -1);
    lua_pop(luaState_, 1);
    if (!thread) {
        std::cerr << "registry fetch was nil" << std::endl;
        fatalError("tickLuaScheduler: Error resuming coroutine");
    }
    contextRunning_ = true;
    int status = LUA_OK;
    {
        RunningScript running{int64_t(index)};
        lua_State* previous = enterScriptThread(thread);
        status = lua_resume(thread, luaState_, 0);
        leaveScriptThread(previous);
    }
    contextRunning_ = false;
    if (status != LUA_OK && status != LUA_YIELD && interruptRequested() && !interruptedAt().empty()) {
        // Asked to stop (Ctrl-C): the run ends as when the window is closed.
        reportInterruption("context " + std::to_string(index));
        lua_settop(thread, 0);
        terminateContext(index);
        return;
    }
    if (status != LUA_OK && status != LUA_YIELD) {
        fatalError("tickLuaScheduler: error: " + describeError(luaState_, thread));
    }
    // Values passed to yield are not used.
    lua_settop(thread, 0);
    if (status == LUA_OK) terminateContext(index);
}

void BookController::startChapter(int32_t index) {
    ContextTable& table = chapterController_->contextTable();
    for (uint64_t i = 0; i < table.contextCount(); ++i) terminateContext(i);
    chapterController_->reset();
    currentChapter_ = index;
    chapterStarted_ = true;
    createContext(chapters_[size_t(index)].functionRef, ContextTable::SameGroup, 0);
    tickLuaScheduler(0);
}

int32_t BookController::tick(const Event& first) {
    // A stop asked for during start-up (or earlier in this event) stands; after an interrupt
    // no script runs again.
    if (stopCode_ != 0 || interruptRequested()) return stopCode_;
    if (!chapterController_) return 0;
    ContextTable& table = chapterController_->contextTable();

    thread_local std::vector<int32_t> finishedTags;
    thread_local std::vector<uint64_t> runnable;
    finishedTags.clear();
    if (platform_) {
        if (std::shared_ptr<SoundManager> manager = platform_->soundManager()) manager->collectFinished(finishedTags);
    }
    for (int32_t tag : finishedTags) {
        // A context ended while its sound loaded took its hold with it.
        if (tag >= 0 && uint64_t(tag) < table.contextCount() && table.isContextAlive(uint64_t(tag))) {
            table.releaseContext(uint64_t(tag));
        }
    }

    Event event = first;
    int queuedEvents = 0;
    for (;;) {
        chapterController_->handleEvent(event);
        runnable.clear();
        table.collectRunnable(runnable);
        for (uint64_t index : runnable) {
            if (table.isContextAlive(index)) tickLuaScheduler(index);
            if (stopCode_ != 0 || interruptRequested()) break;
        }
        if (stopCode_ != 0 || interruptRequested()) break;
        if (pendingChapter_ >= 0) {
            int64_t chapter = pendingChapter_;
            pendingChapter_ = -1;
            startChapter(int32_t(chapter));
        }
        if (stopCode_ != 0) break;
        std::optional<Event> next = chapterController_->popPendingEvent();
        if (!next) break;
        if (++queuedEvents > maxQueuedEventsPerEvent) {
            fatalError("BookController::tick: scripts queued more than " + std::to_string(maxQueuedEventsPerEvent) +
                       " pointer events in one event");
        }
        event = *next;
    }
    return stopCode_;
}

} // namespace hv
