#include "support/BookHarness.h"

#include "chapter/ChapterController.h"
#include "core/PathProvider.h"
#include "core/ResourcePaths.h"
#include "render/BookView.h"
#include "script/BookController.h"
#include "support/ChildProcess.h"

#include <lua.hpp>

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <filesystem>
#include <stdexcept>

namespace hv::test {

Configuration BookHarness::defaultConfiguration() {
    Configuration c;
    c.setDefaults();
    c.fullscreen = false;
    c.windowWidth = c.contentWidth = 600;
    c.windowHeight = c.contentHeight = 400;
    c.framerate = 60;
    c.precompiledScripts = false;
    c.useCache = false; // the test's own SVG files are parsed
    return c;
}

BookHarness::BookHarness(const std::string& bookSource, Configuration c) : configuration(std::move(c)) {
    std::filesystem::create_directories(dir.file("story"));
    std::filesystem::create_directories(dir.file("packin/lua"));
    std::filesystem::copy_file(std::string(HV_SOURCE_DIR) + "/assets/packin/lua/lib.lua", dir.file("packin/lua/lib.lua"));
    writeFile(dir.file("story/book.lua"), bookSource);
    platform->rendererBackend = backend;
}

BookHarness::~BookHarness() {
    // The Lua state goes before the view and platform it points into.
    controller.reset();
}

void BookHarness::addStoryFile(const std::string& name, const std::string& contents) {
    std::filesystem::path path = std::filesystem::path(dir.file("story")) / name;
    std::filesystem::create_directories(path.parent_path());
    writeFile(path.string(), contents);
}

bool BookHarness::init() {
    view = std::make_shared<BookView>();
    if (!view->init(configuration, nullptr, nullptr, platform)) return false;
    controller = std::make_shared<BookController>();
    return controller->init(configuration, view, std::make_shared<PathProvider>(dir.file("story")),
                            std::make_shared<PathProvider>(dir.file("packin")), platform);
}

void BookHarness::start() {
    if (!init()) throw std::runtime_error("the book did not start");
    if (controller->pendingChapter() < 0) controller->setPendingChapter(0);
    tick();
}

int32_t BookHarness::send(const Event& event) { return controller->tick(event); }

int32_t BookHarness::tick(double dt) {
    Event event;
    event.kind = Event::Tick;
    event.point = Vec2(dt, 0);
    return send(event);
}

namespace {

Event pointerEvent(int32_t kind, double x, double y) {
    Event event;
    event.source = Event::Mouse;
    event.kind = kind;
    event.point = Vec2(x, y);
    return event;
}

} // namespace

int32_t BookHarness::press(double x, double y) { return send(pointerEvent(Event::PointerDown, x, y)); }

int32_t BookHarness::move(double x, double y) { return send(pointerEvent(Event::PointerMove, x, y)); }

int32_t BookHarness::release(double x, double y) { return send(pointerEvent(Event::PointerUp, x, y)); }

int32_t BookHarness::wheel(double amount) {
    Event event;
    event.kind = Event::Wheel;
    event.point = Vec2(0, amount);
    return send(event);
}

int32_t BookHarness::escape() {
    Event event;
    event.kind = Event::Key;
    event.key = Event::escapeKey;
    return send(event);
}

ChapterController& BookHarness::chapter() { return *controller->chapterController(); }

ContextTable& BookHarness::contexts() { return chapter().contextTable(); }

lua_State* BookHarness::lua() { return controller->luaState(); }

std::string BookHarness::global(const std::string& name) {
    lua_State* state = lua();
    lua_getglobal(state, name.c_str());
    size_t length = 0;
    const char* text = luaL_tolstring(state, -1, &length);
    std::string value(text, length);
    lua_pop(state, 2);
    return value;
}

void BookHarness::run(const std::string& source) {
    lua_State* state = lua();
    if (luaL_loadstring(state, source.c_str()) != LUA_OK || lua_pcall(state, 0, 0, 0) != LUA_OK) {
        std::string message = lua_tostring(state, -1);
        lua_pop(state, 1);
        throw std::runtime_error(message);
    }
}

std::string lastLine(const std::string& text) {
    std::string trimmed = text.substr(0, text.find_last_not_of('\n') + 1);
    size_t start = trimmed.find_last_of('\n');
    return start == std::string::npos ? trimmed : trimmed.substr(start + 1);
}

// A fault that keeps a book running must fail its test, not hang the suite.
const ChildWatch slowChild{nullptr, std::chrono::seconds(60)};

std::string fatalLineOfBook(const std::string& source, int ticks, const std::function<void(BookHarness&)>& prepare) {
    ChildResult result = runInChild([&] {
        BookHarness book(source);
        if (prepare) prepare(book);
        book.start();
        for (int i = 0; i < ticks; ++i) book.tick();
    }, slowChild);
    if (result.exitStatus != 1) return "status " + std::to_string(result.exitStatus) + ": " + result.err;
    return lastLine(result.err);
}

std::set<std::string> registeredEngineFunctions(lua_State* state) {
    std::set<std::string> names;
    lua_pushglobaltable(state);
    lua_pushnil(state);
    while (lua_next(state, -2) != 0) {
        if (lua_type(state, -2) == LUA_TSTRING && lua_iscfunction(state, -1)) {
            std::string key = lua_tostring(state, -2);
            if (key.rfind("hvk", 0) == 0) names.insert(key);
        }
        lua_pop(state, 1);
    }
    lua_pop(state, 1);
    return names;
}

SaveFileGuard::SaveFileGuard() : path_(dataDirectory() + "save.txt") {
    lock_ = open((dataDirectory() + ".save-test-lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock_ >= 0) flock(lock_, LOCK_EX);
    auto [text, found] = getStringAtPath(path_);
    previous_ = text;
    existed_ = found;
}

SaveFileGuard::~SaveFileGuard() {
    if (existed_) {
        writeStringToPath(previous_, path_);
    } else {
        std::remove(path_.c_str());
    }
    if (lock_ >= 0) close(lock_); // lets the lock go
}

} // namespace hv::test
