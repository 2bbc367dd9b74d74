// The script host: the book's one Lua state, its script library and book script, the chapters
// they register, and the scheduler that runs each context as a coroutine once per event.
#pragma once

#include "core/Configuration.h"
#include "core/Event.h"
#include "svg/SvgManager.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

struct lua_State;

namespace hv {

class BookView;
class ChapterController;
class PlatformBackend;
struct PathProvider;

class BookController {
public:
    struct ChapterRecord {
        int32_t functionRef = 0;
        std::string name;
    };

    BookController() = default;
    // Closes the Lua state before anything it refers to goes.
    ~BookController();
    BookController(const BookController&) = delete;
    BookController& operator=(const BookController&) = delete;

    bool init(const Configuration& configuration, std::shared_ptr<BookView> bookView,
              std::shared_ptr<PathProvider> storyPaths, std::shared_ptr<PathProvider> packinPaths,
              std::shared_ptr<PlatformBackend> platform);

    // Script files and chapters.
    bool runFile(std::shared_ptr<PathProvider> provider, const std::string& name);
    // Ends the run unless a compiled script is byte for byte what halvane-bake wrote.
    void checkCompiledChunk(const PathProvider& provider, const std::string& name,
                            const std::vector<uint8_t>& chunk) const;
    void loadChunk(const char* bytes, size_t length, const std::string& name);
    void executeChunk(const std::string& name);
    void import(const std::string& name);
    void registerChapter(const std::string& name, int32_t functionRef);
    const std::vector<ChapterRecord>& chapterRecords() const { return chapters_; }
    // The chapter started last, and its name; no name before any chapter has started.
    std::pair<int32_t, std::optional<std::string>> currentChapterInfo() const;
    void setPendingChapter(int64_t index) { pendingChapter_ = index; }
    int64_t pendingChapter() const { return pendingChapter_; }
    void setStopCode(int32_t code) { stopCode_ = code; }
    int32_t stopCode() const { return stopCode_; }
    std::shared_ptr<ChapterController> chapterController() const { return chapterController_; }
    void draw();
    std::string getEnv(const std::string& key);
    std::string savePath() const;
    bool portrait() const { return portrait_; }
    const std::string& version() const { return version_; }
    const Configuration& configuration() const { return configuration_; }
    const std::shared_ptr<PlatformBackend>& platform() const { return platform_; }
    const std::shared_ptr<SvgManager>& svgManager() const { return svgManager_; }
    lua_State* luaState() const { return luaState_; }

    // SVG files and shapes; each unknown one is fatal.
    int32_t prepareSvg(const std::string& path, const ColourTranslationMap* colourMap);
    int32_t prepareSvgShape(int32_t fileIndex, const std::string& name);
    SvgShape shapeById(int32_t handle);
    std::vector<std::tuple<std::string, std::string, std::string>> listSvgShapes(int32_t fileIndex);

    // Contexts and the scheduler. `ownsFunction` frees the function's reference with the
    // context; chapter functions keep theirs.
    std::pair<int32_t, int32_t> createContext(int32_t functionRef, int32_t behaviour, uint64_t group,
                                              bool ownsFunction = false);
    void terminateContext(uint64_t index);
    void tickLuaScheduler(uint64_t index);
    void startChapter(int32_t index);
    int32_t tick(const Event& event);
    // Whether a context's coroutine is running now (engine functions that act for the
    // current context need one).
    bool contextRunning() const { return contextRunning_; }

private:
    lua_State* luaState_ = nullptr;
    std::shared_ptr<SvgManager> svgManager_;
    std::shared_ptr<PathProvider> storyPaths_;
    std::shared_ptr<PathProvider> luaPaths_;
    std::shared_ptr<PathProvider> scriptPaths_;
    std::shared_ptr<ChapterController> chapterController_;
    std::vector<ChapterRecord> chapters_;
    std::map<std::string, std::string> env_;
    Configuration configuration_;
    int32_t stopCode_ = 0;
    int64_t pendingChapter_ = -1;
    int32_t currentChapter_ = 0;
    bool chapterStarted_ = false;
    bool portrait_ = false;
    std::shared_ptr<PlatformBackend> platform_;
    std::string version_;
    bool contextRunning_ = false;
};

// Set by BookController::init; the engine functions reach the engine through these.
extern BookController* currentBookController;
extern ChapterController* currentChapterController;

// Registers every engine function built so far as a global of the state, in registration order.
void registerEngineFunctions(lua_State* state);

} // namespace hv
