// Engine functions for chapters, contexts, animation timing, the environment and the platform.
#include "chapter/ChapterController.h"
#include "core/Fatal.h"
#include "core/PathProvider.h"
#include "core/PlatformBackend.h"
#include "core/Variant.h"
#include "render/RendererBackend.h"
#include "script/BookController.h"
#include "script/EngineFunction.h"

#include <lua.hpp>

#include <algorithm>
#include <iostream>

#ifndef HV_REVISION
#define HV_REVISION "0000000000000000000000000000000000000000"
#endif

namespace hv {

namespace {

ContextTable& table() { return currentChapterController->contextTable(); }

// The frame of the running context; misuse when none runs.
ContextFrame& runningFrame(const ScriptArgs& args) {
    args.runningContext();
    return table().currentFrame();
}

// A script's int to a 32-bit value that names nothing when it does not fit.
int32_t narrowedOrMinusOne(int64_t value) {
    return value >= INT32_MIN && value <= INT32_MAX ? int32_t(value) : -1;
}

} // namespace

ENGINE_FUNCTION(hvkImport) {
    currentBookController->import(args.string(1));
    return 0;
}

ENGINE_FUNCTION(hvkRegisterChapter) {
    std::string name = args.string(1);
    lua_State* state = args.state();
    lua_settop(state, 2);
    lua_pushvalue(state, 2);
    currentBookController->registerChapter(name, luaL_ref(state, LUA_REGISTRYINDEX));
    return 0;
}

ENGINE_FUNCTION(hvkListChapterNames) {
    std::vector<std::string> names;
    for (const BookController::ChapterRecord& record : currentBookController->chapterRecords()) {
        names.push_back(record.name);
    }
    pushStringList(args.state(), names);
    return 1;
}

ENGINE_FUNCTION(hvkChooseChapter) {
    // A negative index chooses nothing.
    if (args.integer(1) < 0) return 0;
    currentBookController->setPendingChapter(args.chapter(1));
    return 0;
}

ENGINE_FUNCTION(hvkCurrentChapterInfo) {
    auto [index, name] = currentBookController->currentChapterInfo();
    lua_pushinteger(args.state(), index);
    if (name) {
        lua_pushlstring(args.state(), name->data(), name->size());
    } else {
        lua_pushnil(args.state());
    }
    return 2;
}

ENGINE_FUNCTION(hvkExit) {
    currentBookController->setStopCode(2);
    return 0;
}

ENGINE_FUNCTION(hvkError) {
    lua_State* state = args.state();
    int n = lua_gettop(state);
    std::string message;
    for (int i = 1; i <= n; ++i) {
        if (i > 1) message += "\t\n";
        // Unprotected on purpose: an error inside tostring ends the run through the scheduler.
        lua_getglobal(state, "tostring");
        lua_pushvalue(state, i);
        lua_call(state, 1, 1);
        size_t length = 0;
        const char* text = lua_tolstring(state, -1, &length);
        if (text) message.append(text, length);
        lua_pop(state, 1);
    }
    message += "\n";
    currentChapterController->reportError(message);
}

ENGINE_FUNCTION(hvkNewContext) {
    int64_t behaviour = args.integer(1);
    if (behaviour < 0 || behaviour > 2) {
        args.misuse("did not recognise context behaviour " + std::to_string(behaviour));
    }
    uint64_t group = behaviour == ContextTable::GivenGroup ? uint64_t(args.group(2)) : 0;
    lua_State* state = args.state();
    lua_settop(state, 3);
    if (!lua_isfunction(state, 3)) args.misuse("argument 3 is not a function");
    lua_pushvalue(state, 3);
    int32_t reference = luaL_ref(state, LUA_REGISTRYINDEX);
    auto [index, newGroup] =
        currentBookController->createContext(reference, int32_t(behaviour), group, /*ownsFunction=*/true);
    lua_pushinteger(state, index);
    lua_pushinteger(state, newGroup);
    return 2;
}

ENGINE_FUNCTION(hvkCurrentContext) {
    uint64_t index = args.runningContext();
    lua_pushinteger(args.state(), lua_Integer(index));
    lua_pushinteger(args.state(), lua_Integer(table().context(index).group));
    return 2;
}

ENGINE_FUNCTION(hvkTerminateContext) {
    int32_t index = args.context(1);
    if (currentBookController->contextRunning() && uint64_t(index) == table().currentContextIndex()) {
        args.misuse("attempting to terminate running context");
    }
    currentBookController->terminateContext(uint64_t(index));
    return 0;
}

ENGINE_FUNCTION(hvkWaitContext) {
    table().holdContext(uint64_t(args.context(1)));
    return 0;
}

ENGINE_FUNCTION(hvkSignalContext) {
    table().releaseContext(uint64_t(args.context(1)));
    return 0;
}

ENGINE_FUNCTION(hvkBlessGroup) {
    table().blessGroup(uint64_t(args.group(1)));
    return 0;
}

ENGINE_FUNCTION(hvkPushContextGroup) {
    table().pushContextGroup(uint64_t(args.group(1)));
    return 0;
}

ENGINE_FUNCTION(hvkPopContextGroup) {
    table().popContextGroup();
    return 0;
}

ENGINE_FUNCTION(hvkSaveState) {
    args.runningContext();
    table().saveState();
    return 0;
}

ENGINE_FUNCTION(hvkRestoreState) {
    args.runningContext();
    table().restoreState();
    return 0;
}

ENGINE_FUNCTION(hvkSetAnimationEnabled) {
    args.runningContext();
    table().setAnimationEnabled(args.boolean(1));
    return 0;
}

ENGINE_FUNCTION(hvkSetAnimationDuration) {
    double seconds = args.finite(1);
    runningFrame(args).setDuration(seconds);
    return 0;
}

ENGINE_FUNCTION(hvkSetAnimationScrollLimits) {
    ContextFrame::ScrollLimitsBlock block;
    block.startRow = args.finite(1);
    block.endRow = args.finite(2);
    block.startMargin = args.finite(3);
    block.endMargin = args.finite(4);
    int64_t type = args.integer(5);
    if (type < 0 || type > 2) fatalError("hvkSetAnimationScrollLimits: unknown type parameter passed");
    block.type = int32_t(type);
    runningFrame(args).setScrollLimits(block);
    return 0;
}

ENGINE_FUNCTION(hvkSetAnimationSlidingBlock) {
    ContextFrame::SlidingBlockBlock block;
    block.canvas = narrowedOrMinusOne(args.truncated(1));
    int64_t param = args.integer(2);
    if (param < 1 || param > 3) fatalError("hvkSetAnimationScrollLimits: unknown type parameter passed");
    block.param = int32_t(param - 1);
    runningFrame(args).setSlidingBlock(block);
    return 0;
}

ENGINE_FUNCTION(hvkSetCompatibilityVersion) {
    int64_t version = args.truncated(1);
    if (version == 1) {
        rawColourMode = false;
    } else if (version == 2) {
        rawColourMode = true;
    } else {
        fatalError("Error setting compatibility version, did not recognise " + std::to_string(version));
    }
    return 0;
}

ENGINE_FUNCTION(hvkGetEnv) {
    std::string value = currentBookController->getEnv(args.string(1));
    lua_pushlstring(args.state(), value.data(), value.size());
    return 1;
}

ENGINE_FUNCTION(hvkBuildType) {
    lua_State* state = args.state();
    lua_pushboolean(state, 0);
    lua_pushinteger(state, 1);
    lua_pushstring(state, HV_REVISION);
    const std::string& version = currentBookController->version();
    lua_pushlstring(state, version.data(), version.size());
    return 4;
}

ENGINE_FUNCTION(hvkIsMobile) {
    lua_pushboolean(args.state(), currentBookController->configuration().mobile);
    return 1;
}

ENGINE_FUNCTION(hvkLayoutLandscape) {
    lua_pushboolean(args.state(), !currentBookController->portrait());
    return 1;
}

ENGINE_FUNCTION(hvkSaveString) {
    std::string text = args.string(1);
    std::string path = currentBookController->savePath();
    if (path.empty()) {
        std::cerr << "hvkSaveString: unable to write to path" << std::endl;
    } else if (!writeStringToPath(text, path)) {
        std::cerr << "hvkSaveString: failure writing to path" << std::endl;
    }
    return 0;
}

ENGINE_FUNCTION(hvkLoadString) {
    std::string path = currentBookController->savePath();
    if (path.empty()) {
        std::cerr << "hvkLoadString: unable to get path" << std::endl;
        return 0;
    }
    auto [text, found] = getStringAtPath(path);
    if (found) {
        lua_pushlstring(args.state(), text.data(), text.size());
    } else {
        lua_pushnil(args.state());
    }
    return 1;
}

ENGINE_FUNCTION(hvkSetGameTitle) {
    std::string title = args.string(1);
    if (const std::shared_ptr<PlatformBackend>& platform = currentBookController->platform()) platform->setTitle(title);
    return 0;
}

ENGINE_FUNCTION(hvkTriggerAchievement) {
    triggerAchievement(args.string(1));
    return 0;
}

ENGINE_FUNCTION(hvkSetBrightness) {
    const std::shared_ptr<PlatformBackend>& platform = currentBookController->platform();
    // Only an explicit nil leaves the level alone; no argument at all reads as 0.
    if (lua_type(args.state(), 1) != LUA_TNIL) {
        double level = std::clamp(args.finite(1), 0.0, 1.0);
        if (platform) platform->setBrightness(0.5 + level * 0.5);
    }
    double brightness = platform ? platform->getBrightness() : 1.0;
    lua_pushnumber(args.state(), (brightness - 0.5) / 0.5);
    return 1;
}

ENGINE_FUNCTION(hvkSetMultisampleEnabled) {
    bool enabled = args.boolean(1);
    if (const std::shared_ptr<PlatformBackend>& platform = currentBookController->platform()) {
        if (std::shared_ptr<RendererBackend> renderer = platform->renderer()) renderer->setMultisample(enabled);
    }
    return 0;
}

ENGINE_FUNCTION(hvkSleep) {
    double seconds = args.finite(1);
    args.runningContext();
    currentChapterController->sleep(seconds);
    return 0;
}

} // namespace hv
