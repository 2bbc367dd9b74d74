// Engine functions for sound: loading, playing, fading and the master volume.
#include "chapter/ChapterController.h"
#include "core/Fatal.h"
#include "core/PlatformBackend.h"
#include "core/SoundManager.h"
#include "core/SoundTable.h"
#include "script/BookController.h"
#include "script/EngineFunction.h"

#include <lua.hpp>

#include <algorithm>

namespace hv {

namespace {

SoundManager& sounds(const ScriptArgs& args) {
    const std::shared_ptr<PlatformBackend>& platform = currentBookController->platform();
    std::shared_ptr<SoundManager> manager = platform ? platform->soundManager() : nullptr;
    if (!manager) args.misuse("no sound manager");
    return *manager;
}

} // namespace

ENGINE_FUNCTION(hvkLoadSound) {
    std::string path = args.string(1);
    uint64_t context = args.runningContext();
    auto [sound, loading] = sounds(args).loadSound(path, int32_t(context));
    if (sound < 0) fatalError("Unable to find sound: " + path);
    if (loading) currentChapterController->contextTable().holdContext(context);
    lua_pushinteger(args.state(), sound);
    lua_pushboolean(args.state(), loading);
    return 2;
}

ENGINE_FUNCTION(hvkPlaySound) {
    int64_t sound = args.integer(1);
    // The manager would index past its table with an id it never handed out.
    if (!sounds(args).hasSound(sound)) args.misuse("no sound " + std::to_string(sound));
    bool loop = args.boolean(2);
    args.runningContext();
    lua_pushinteger(args.state(), currentChapterController->playSound(int32_t(sound), loop));
    return 1;
}

ENGINE_FUNCTION(hvkSetSoundVolume) {
    int32_t instance = args.int32(1);
    double volume = std::clamp(args.finite(2), 0.0, 1.0);
    args.runningContext();
    currentChapterController->setSoundVolume(instance, volume);
    return 0;
}

ENGINE_FUNCTION(hvkSetVolume) {
    std::shared_ptr<SoundTable> table = sounds(args).soundTable();
    if (!table) args.misuse("no sound table");
    // Only an explicit nil leaves the volume alone; no argument at all reads as 0.
    if (lua_type(args.state(), 1) != LUA_TNIL) table->masterVolume = args.finite(1);
    lua_pushnumber(args.state(), table->masterVolume);
    return 1;
}

} // namespace hv
