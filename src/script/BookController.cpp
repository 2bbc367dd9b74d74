// The book controller's Lua state, its start-up, script files, chapters and SVG lookups.
#include "script/BookController.h"

#include "chapter/ChapterController.h"
#include "core/Fatal.h"
#include "core/PathProvider.h"
#include "core/PlatformBackend.h"
#include "core/ResourcePaths.h"
#include "script/Interrupt.h"
#include "script/ScriptArgs.h"
#include "script/ScriptCompiler.h"

#include <lua.hpp>

#include <cctype>
#include <filesystem>
#include <iostream>
#include <stdexcept>

namespace hv {

BookController* currentBookController = nullptr;
ChapterController* currentChapterController = nullptr;

namespace fs = std::filesystem;

namespace {

// A Lua error outside any protected call (an allocation failure, a broken state) would abort;
// it ends through the fatal routine instead.
int panicHandler(lua_State* state) {
    const char* message = lua_tostring(state, -1);
    fatalError(std::string("Lua panic: ") + (message ? message : "(no message)"));
}

std::string withoutWhiteSpace(const std::string& text) {
    std::string result;
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) result += c;
    }
    return result;
}

} // namespace

BookController::~BookController() {
    if (luaState_) {
        // Finalizers still run Lua code while the state closes, free of any stop hook.
        watchMainState(nullptr);
        lua_sethook(luaState_, nullptr, 0, 0);
        lua_close(luaState_);
    }
    luaState_ = nullptr;
    if (currentBookController == this) {
        currentBookController = nullptr;
        currentChapterController = nullptr;
    }
}

bool BookController::init(const Configuration& configuration, std::shared_ptr<BookView> bookView,
                          std::shared_ptr<PathProvider> storyPaths, std::shared_ptr<PathProvider> packinPaths,
                          std::shared_ptr<PlatformBackend> platform) {
    svgManager_ = std::make_shared<SvgManager>();
    if (!storyPaths || !packinPaths ||
        !svgManager_->init(storyPaths, SvgManager::flagsFor(configuration), blobsDirectory())) {
        std::cerr << "BookController::init: failed to init the svg manager" << std::endl;
        return false;
    }
    platform_ = std::move(platform);
    portrait_ = configuration.windowWidth < configuration.windowHeight;
    env_ = configuration.env;
    configuration_ = configuration;
    storyPaths_ = storyPaths;
    luaPaths_ = PathProvider::child(*packinPaths, "lua");

    auto [versionText, hasVersion] = getStringFromProvider(*storyPaths_, "version.txt");
    version_ = hasVersion ? withoutWhiteSpace(versionText) : "working";

    luaState_ = luaL_newstate();
    if (!luaState_) {
        std::cerr << "BookController::init: failed to create the Lua state" << std::endl;
        return false;
    }
    lua_atpanic(luaState_, panicHandler);
    watchMainState(luaState_);
    const luaL_Reg libraries[] = {{"_G", luaopen_base},         {LUA_COLIBNAME, luaopen_coroutine},
                                  {LUA_TABLIBNAME, luaopen_table}, {LUA_IOLIBNAME, luaopen_io},
                                  {LUA_STRLIBNAME, luaopen_string}, {LUA_MATHLIBNAME, luaopen_math},
                                  {LUA_UTF8LIBNAME, luaopen_utf8},  {LUA_DBLIBNAME, luaopen_debug}};
    for (const luaL_Reg& library : libraries) {
        luaL_requiref(luaState_, library.name, library.func, 1);
        lua_pop(luaState_, 1);
    }

    pendingChapter_ = -1;
    // Each book starts in palette colours, whatever a book before it in this process chose.
    rawColourMode = false;
    currentBookController = this;
    registerEngineFunctions(luaState_);

    // The chapter controller is ready before any script runs, so every engine function has
    // something to act on; what the start-up scripts do to the page goes at the first
    // chapter start.
    chapterController_ = std::make_shared<ChapterController>();
    chapterController_->scrollScale = 0.5;
    currentChapterController = chapterController_.get();
    if (!chapterController_->init(svgManager_, std::move(bookView), configuration_, platform_)) {
        std::cerr << "BookController::init: failed to init the chapter controller" << std::endl;
        return false;
    }

    {
        RunningScript startUp(startUpScriptsRun);
        if (!runFile(luaPaths_, "lib.lua")) return false;
        // hvkExit or an interrupt during start-up ends the run before anything else starts.
        if (stopCode_ != 0 || interruptRequested()) return true;
        if (!runFile(storyPaths_, "book.lua")) return false;
    }
    if (interruptRequested()) return true;
    if (chapters_.empty() && stopCode_ == 0) {
        std::cerr << "BookController::init: the book registers no chapter" << std::endl;
        return false;
    }
    return true;
}

bool BookController::runFile(std::shared_ptr<PathProvider> provider, const std::string& name) {
    scriptPaths_ = provider;
    std::string fileName = configuration_.precompiledScripts ? name + "c" : name;
    Blob blob = provider ? getBlobFromProvider(*provider, fileName) : nullptr;
    if (!blob) fatalError("Could not find data '" + fileName + "'");
    if (configuration_.precompiledScripts) checkCompiledChunk(*provider, name, *blob);
    try {
        loadChunk(reinterpret_cast<const char*>(blob->data()), blob->size(), name);
        executeChunk(name);
    } catch (const std::runtime_error& error) {
        std::cerr << "runtime error: " << error.what() << std::endl;
        return false;
    }
    return true;
}

void BookController::checkCompiledChunk(const PathProvider& provider, const std::string& name,
                                        const std::vector<uint8_t>& chunk) const {
    // The book's folders sit side by side in its assets folder, blobs among them.
    const fs::path assets = fs::path(storyPaths_->root).parent_path();
    const std::string scriptPath =
        (fs::path(provider.root).lexically_relative(assets) / name).lexically_normal().generic_string();
    const std::string digestPath = compiledScriptDigestPath((assets / "blobs").string(), scriptPath);
    auto [digest, found] = getStringAtPath(digestPath);
    if (!found) fatalError("Could not load " + name + "c: halvane-bake wrote no digest of it (bake the book again)");
    if (digest != compiledScriptDigest(chunk.data(), chunk.size())) {
        fatalError("Could not load " + name + "c: it is not the chunk halvane-bake compiled (bake the book again)");
    }
}

void BookController::loadChunk(const char* bytes, size_t length, const std::string& name) {
    // "@" names a source chunk by the file itself in messages ("book.lua:12: ..."); a compiled
    // chunk carries the name it was compiled with. Compiled chunks are checked before they get
    // here; a source file must be source.
    std::string chunkName = "@" + name;
    const char* mode = configuration_.precompiledScripts ? "b" : "t";
    if (luaL_loadbufferx(luaState_, bytes, length, chunkName.c_str(), mode) != LUA_OK) {
        const char* message = lua_tostring(luaState_, -1);
        fatalError("Could not load " + name + ": " + (message ? message : "<null>"));
    }
}

void BookController::executeChunk(const std::string& name) {
    if (lua_pcall(luaState_, 0, 0, 0) != LUA_OK) {
        if (interruptRequested() && !interruptedAt().empty()) {
            // An import inside a context is reported by that context, which stops next.
            if (!contextRunning_) reportInterruption("start-up script " + name);
            lua_pop(luaState_, 1);
            return;
        }
        const char* message = lua_tostring(luaState_, -1);
        fatalError("Error executing " + name + ": " + (message ? message : "<null>"));
    }
}

void BookController::import(const std::string& name) {
    if (!runFile(scriptPaths_, name)) fatalError("Error in import, rethrowing");
}

void BookController::registerChapter(const std::string& name, int32_t functionRef) {
    chapters_.push_back(ChapterRecord{functionRef, name});
}

std::pair<int32_t, std::optional<std::string>> BookController::currentChapterInfo() const {
    if (!chapterStarted_ || currentChapter_ < 0 || size_t(currentChapter_) >= chapters_.size()) {
        return {currentChapter_, std::nullopt};
    }
    return {currentChapter_, chapters_[size_t(currentChapter_)].name};
}

void BookController::draw() {
    if (chapterController_) chapterController_->draw();
}

std::string BookController::getEnv(const std::string& key) { return env_[key]; }

std::string BookController::savePath() const {
    std::string directory = dataDirectory();
    return directory.empty() ? std::string() : directory + "save.txt";
}

int32_t BookController::prepareSvg(const std::string& path, const ColourTranslationMap* colourMap) {
    std::string why;
    std::optional<int32_t> index = svgManager_->loadFile(path, colourMap, &why);
    if (!index && why.empty()) fatalError("Could not find svg at path: " + path);
    if (!index) fatalError("Could not load svg at path: " + path + ": " + why);
    return *index;
}

int32_t BookController::prepareSvgShape(int32_t fileIndex, const std::string& name) {
    std::optional<int32_t> handle = svgManager_->loadShape(fileIndex, name);
    if (!handle) fatalError("Could not find svg path named:: " + name);
    return *handle;
}

SvgShape BookController::shapeById(int32_t handle) {
    auto [shape, found] = svgManager_->shape(handle);
    if (!found) fatalError("Could not find shape with id: " + std::to_string(handle));
    return shape;
}

std::vector<std::tuple<std::string, std::string, std::string>> BookController::listSvgShapes(int32_t fileIndex) {
    auto shapes = svgManager_->shapeNamesAndGroups(fileIndex);
    if (!shapes) fatalError("Could not find svg: " + std::to_string(fileIndex));
    return *shapes;
}

} // namespace hv
