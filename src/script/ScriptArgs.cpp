#include "script/ScriptArgs.h"

#include "chapter/ChapterController.h"
#include "core/Fatal.h"
#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/CoreRenderer.h"
#include "render/PictureInstance.h"
#include "script/BookController.h"

#include <lua.hpp>

#include <cmath>
#include <iostream>
#include <sstream>

namespace hv {

bool rawColourMode = false;

namespace {

std::string numberText(double value) {
    if (std::isnan(value)) return "nan";
    std::ostringstream text;
    text << value;
    return text.str();
}

} // namespace

int ScriptArgs::count() const { return lua_gettop(state_); }

bool ScriptArgs::isNil(int i) const { return lua_isnoneornil(state_, i); }

void ScriptArgs::misuse(const std::string& message) const { fatalError(std::string(function_) + ": " + message); }

int64_t ScriptArgs::integer(int i) const {
    int ok = 0;
    lua_Integer value = lua_tointegerx(state_, i, &ok);
    return ok ? int64_t(value) : 0;
}

int32_t ScriptArgs::int32(int i) const { return int32(i, integer(i)); }

int32_t ScriptArgs::int32(int i, int64_t value) const {
    if (value < INT32_MIN || value > INT32_MAX) misuse("argument " + std::to_string(i) + " is out of range: " + std::to_string(value));
    return int32_t(value);
}

int64_t ScriptArgs::truncated(int i) const {
    double value = number(i);
    if (!std::isfinite(value)) misuse("argument " + std::to_string(i) + " is not a finite number: " + numberText(value));
    // Beyond the 64-bit range a truncation is undefined; such values name nothing anyway.
    if (!(std::fabs(value) < 9.2e18)) misuse("argument " + std::to_string(i) + " is out of range: " + numberText(value));
    return int64_t(value);
}

double ScriptArgs::number(int i) const {
    int ok = 0;
    lua_Number value = lua_tonumberx(state_, i, &ok);
    return ok ? double(value) : 0.0;
}

double ScriptArgs::finite(int i) const {
    double value = number(i);
    if (!std::isfinite(value)) misuse("argument " + std::to_string(i) + " is not a finite number: " + numberText(value));
    return value;
}

bool ScriptArgs::boolean(int i) const { return lua_toboolean(state_, i) != 0; }

std::string ScriptArgs::string(int i) const {
    int type = lua_type(state_, i);
    if (type != LUA_TSTRING && type != LUA_TNUMBER) {
        misuse("argument " + std::to_string(i) + " is not a string but " + lua_typename(state_, type));
    }
    size_t length = 0;
    const char* text = lua_tolstring(state_, i, &length);
    return std::string(text, length);
}

std::optional<std::string> ScriptArgs::optionalString(int i) const {
    if (isNil(i)) return std::nullopt;
    return string(i);
}

void ScriptArgs::requireTable(int i) const {
    if (!lua_istable(state_, i)) {
        misuse("argument " + std::to_string(i) + " is not a table but " + lua_typename(state_, lua_type(state_, i)));
    }
}

std::vector<std::string> ScriptArgs::stringSequence(int i) const {
    requireTable(i);
    std::vector<std::string> strings;
    lua_Integer n = luaL_len(state_, i);
    for (lua_Integer k = 1; k <= n; ++k) {
        lua_geti(state_, i, k);
        int type = lua_type(state_, -1);
        if (type != LUA_TSTRING && type != LUA_TNUMBER) {
            misuse("entry " + std::to_string(k) + " of argument " + std::to_string(i) + " is not a string but " +
                   lua_typename(state_, type));
        }
        size_t length = 0;
        const char* text = lua_tolstring(state_, -1, &length);
        strings.emplace_back(text, length);
        lua_pop(state_, 1);
    }
    return strings;
}

int32_t ScriptArgs::index(int i, uint64_t count, const char* what, bool truncate) const {
    int64_t value = truncate ? truncated(i) : integer(i);
    if (value < 0 || uint64_t(value) >= count) misuse(std::string("no ") + what + " " + std::to_string(value));
    return int32_t(value);
}

int32_t ScriptArgs::chapter(int i) const {
    return index(i, currentBookController->chapterRecords().size(), "chapter");
}

int32_t ScriptArgs::context(int i) const {
    return index(i, currentChapterController->contextTable().contextCount(), "context");
}

int32_t ScriptArgs::group(int i) const {
    return index(i, currentChapterController->contextTable().groupCount(), "group");
}

int64_t ScriptArgs::count(int i, int64_t largest, const char* what) const {
    int64_t value = integer(i);
    if (value < 0 || value > largest) misuse(std::string(what) + " out of range: " + std::to_string(value));
    return value;
}

namespace {

const Canvas& canvases() { return *currentChapterController->bookView->canvas(); }

// Null for a removed canvas.
const Picture* pictureOf(int32_t canvas) {
    const PictureInstance* instance = canvases().find(canvas);
    return instance ? instance->picture.get() : nullptr;
}

} // namespace

int32_t ScriptArgs::canvas(int i, bool truncate) const {
    int32_t index = this->index(i, canvases().handleCount(), "canvas", truncate);
    if (!pictureOf(index)) misuse("canvas " + std::to_string(index) + " was removed");
    return index;
}

int32_t ScriptArgs::canvasOrRemoved(int i) const { return index(i, canvases().handleCount(), "canvas"); }

int32_t ScriptArgs::node(int i, int32_t canvas, bool truncate) const {
    const Picture* picture = pictureOf(canvas);
    int64_t value = truncate ? truncated(i) : integer(i);
    if (!picture) return int32(i, value);
    if (value < 0 || uint64_t(value) >= picture->nodes.size()) {
        misuse("no node " + std::to_string(value) + " on canvas " + std::to_string(canvas));
    }
    return int32_t(value);
}

int32_t ScriptArgs::path(int i, int32_t canvas) const {
    const Picture* picture = pictureOf(canvas);
    int64_t value = integer(i);
    if (!picture) return int32(i, value);
    if (value < 0 || uint64_t(value) >= picture->paths.size()) {
        misuse("no path " + std::to_string(value) + " on canvas " + std::to_string(canvas));
    }
    return int32_t(value);
}

int32_t ScriptArgs::command(int i, int32_t canvas, int32_t path) const {
    const Picture* picture = pictureOf(canvas);
    int64_t value = integer(i);
    if (!picture) return int32(i, value);
    if (value < 0 || uint64_t(value) >= picture->paths[size_t(path)].commands.size()) {
        misuse("no command " + std::to_string(value) + " in path " + std::to_string(path) + " on canvas " +
               std::to_string(canvas));
    }
    return int32_t(value);
}

int32_t ScriptArgs::paragraph(int i) const {
    int64_t value = integer(i);
    uint64_t count = currentChapterController->bookView->coreRenderer()->paragraphs.size();
    if (value < 1 || uint64_t(value) > count) misuse("no paragraph " + std::to_string(value));
    return int32_t(value);
}

int32_t ScriptArgs::svgFile(int i, bool truncate) const {
    return index(i, currentBookController->svgManager()->files.size(), "svg file", truncate);
}

int32_t ScriptArgs::shape(int i, bool truncate) const {
    return index(i, currentBookController->svgManager()->shapeHandles.size(), "shape", truncate);
}

int32_t ScriptArgs::activeRect(int i) const {
    int64_t value = integer(i);
    if (value < 0 || uint64_t(value) >= currentChapterController->activeRects.size()) {
        fatalError("Could not find active rect with id " + std::to_string(value));
    }
    return int32_t(value);
}

int32_t ScriptArgs::dragCatcher(int i) const {
    return index(i, currentChapterController->dragCatchers.size(), "drag catcher");
}

uint64_t ScriptArgs::runningContext() const {
    if (!currentBookController->contextRunning()) {
        misuse("no context is running (call it from a chapter or a context)");
    }
    return currentChapterController->contextTable().currentContextIndex();
}

PaletteColour colourFromStack(lua_State* state, int i) {
    PaletteColour result;
    if (lua_type(state, i) == LUA_TSTRING) {
        size_t length = 0;
        const char* data = lua_tolstring(state, i, &length);
        std::string text(data, length);
        if (rawColourMode) {
            auto [colour, ok] = colourFromHex(text);
            if (!ok) {
                printTraceback(state);
                fatalError("colourFromStack: unable to parse '" + text + "'");
            }
            result = PaletteColour::fromColour(colour);
        } else {
            auto [colour, ok] = PaletteColour::parse(text);
            if (ok) {
                result = colour;
            } else {
                printTraceback(state);
                std::cerr << "colourFromStack: unable to parse" << std::endl;
                result.colour = -1;
            }
        }
    } else if (rawColourMode) {
        printTraceback(state);
        fatalError("colourFromStack: Invalid colour object passed in raw colours mode");
    } else {
        int ok = 0;
        lua_Integer row = lua_tointegerx(state, i, &ok);
        if (!ok) row = 0;
        // Kept only when it fits; the kind stays invalid, so it draws black whatever the row.
        result.colour = row >= INT32_MIN && row < INT32_MAX ? int32_t(row + 1) : -1;
    }
    int ok = 0;
    lua_Number opacity = lua_tonumberx(state, i + 1, &ok);
    result.opacity = ok ? double(opacity) : 0.0;
    return result;
}

int32_t convertHAlign(const std::string& name) {
    if (name == "left") return 0;
    if (name == "right") return 1;
    if (name == "centre") return 2;
    if (name == "justified") return 3;
    std::cerr << "convertHAlign: do not understand '" << name << "'" << std::endl;
    return 0;
}

std::string curlyQuotes(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (i + 1 < text.size() && text[i] == '`' && text[i + 1] == '`') {
            out += "\xE2\x80\x9C";
            i += 2;
        } else if (i + 1 < text.size() && text[i] == '\'' && text[i + 1] == '\'') {
            out += "\xE2\x80\x9D";
            i += 2;
        } else {
            out += text[i++];
        }
    }
    return out;
}

void pushStringList(lua_State* state, const std::vector<std::string>& strings) {
    lua_createtable(state, int(strings.size()), 0);
    for (size_t i = 0; i < strings.size(); ++i) {
        lua_pushlstring(state, strings[i].data(), strings[i].size());
        lua_rawseti(state, -2, lua_Integer(i + 1));
    }
}

void printTraceback(lua_State* state) {
    lua_getglobal(state, "debug");
    if (lua_istable(state, -1)) lua_getfield(state, -1, "traceback");
    else lua_pushnil(state);
    if (lua_pcall(state, 0, 1, 0) != LUA_OK) fatalError("printTraceback: unable to call debug.traceback()");
    const char* text = lua_tostring(state, -1);
    std::cout << (text ? text : "") << std::endl;
    lua_pop(state, 2);
}

} // namespace hv
