#pragma once

#include "core/Configuration.h"
#include "core/Event.h"
#include "support/FakePlatform.h"
#include "support/RecordingBackend.h"
#include "support/TempDir.h"

#include <functional>
#include <memory>
#include <set>
#include <string>

struct lua_State;

namespace hv {
class BookController;
class BookView;
class ChapterController;
class ContextTable;
} // namespace hv

namespace hv::test {

// A book run inside the test: `bookSource` becomes story/book.lua beside the engine's own
// lib.lua (both loaded as source), over a real book controller, chapter controller and book
// view drawing into the recording backend, with the fake platform and sound manager. Events are
// fed by the test; scripts report through globals.
class BookHarness {
public:
    // A 600 x 400 view, 6 script units across, so one script unit is 100 view units.
    static Configuration defaultConfiguration();

    explicit BookHarness(const std::string& bookSource, Configuration configuration = defaultConfiguration());
    ~BookHarness();

    // Another file of the book, relative to story/ (for hvkImport and SVG files).
    void addStoryFile(const std::string& name, const std::string& contents);
    // BookController::init; false when it failed.
    bool init();
    // init, then the first chapter (chapter 0 unless the book chose one) starts in one tick.
    void start();

    int32_t send(const Event& event);
    int32_t tick(double dt = 1.0 / 60.0);
    int32_t press(double x, double y);
    int32_t move(double x, double y);
    int32_t release(double x, double y);
    int32_t wheel(double amount);
    int32_t escape();

    BookController& book() { return *controller; }
    ChapterController& chapter();
    ContextTable& contexts();
    lua_State* lua();
    // tostring of a global of the book's Lua state.
    std::string global(const std::string& name);
    // Runs Lua source on the book's state, outside any context.
    void run(const std::string& source);

    TempDir dir;
    Configuration configuration;
    std::shared_ptr<RecordingBackend> backend = std::make_shared<RecordingBackend>();
    std::shared_ptr<FakePlatform> platform = std::make_shared<FakePlatform>();
    std::shared_ptr<BookView> view;
    std::shared_ptr<BookController> controller;
};

// The last line of a text, as a run that ended through the fatal routine wrote it.
std::string lastLine(const std::string& text);

// Starts `source` as a book in a child process (after `prepare`, which may add story files)
// and sends `ticks` ticks. The last line of its error stream when it ended with status 1;
// otherwise its status and all it wrote, so a comparison with a line fails with the reason.
std::string fatalLineOfBook(const std::string& source, int ticks = 1,
                            const std::function<void(BookHarness&)>& prepare = nullptr);

// The engine functions that are globals of a book's Lua state.
std::set<std::string> registeredEngineFunctions(lua_State* state);

// Keeps the engine's save file as it was before the test: scripts save to the user's data
// directory, which tests cannot move. Tests that save hold a lock on it meanwhile, so tests
// running side by side do not read each other's saves.
class SaveFileGuard {
public:
    SaveFileGuard();
    ~SaveFileGuard();
    SaveFileGuard(const SaveFileGuard&) = delete;
    SaveFileGuard& operator=(const SaveFileGuard&) = delete;

private:
    int lock_ = -1;
    std::string path_;
    std::string previous_;
    bool existed_ = false;
};

} // namespace hv::test
