// Engine functions for SVG shapes, paragraphs, typefaces and colours.
#include "chapter/ChapterController.h"
#include "core/Fatal.h"
#include "picture/Mesh.h"
#include "script/BookController.h"
#include "script/EngineFunction.h"

#include <lua.hpp>

#include <cctype>
#include <iostream>

namespace hv {

namespace {

ChapterController& chapter() { return *currentChapterController; }

void pushText(lua_State* state, const std::string& text) { lua_pushlstring(state, text.data(), text.size()); }

} // namespace

ENGINE_FUNCTION(hvkPrepareSvg) {
    std::string path = args.string(1);
    lua_State* state = args.state();
    if (rawColourMode) {
        if (!args.isNil(2)) std::cerr << "hvkPrepareSvg: Don't pass colour map in raw case" << std::endl;
        lua_pushinteger(state, currentBookController->prepareSvg(path, nullptr));
        return 1;
    }
    ColourTranslationMap map;
    if (!args.isNil(2)) {
        args.requireTable(2);
        lua_pushnil(state);
        while (lua_next(state, 2) != 0) {
            // A number key would be turned into text in place and break the walk.
            if (lua_type(state, -2) != LUA_TSTRING) args.misuse("colour map keys must be colour texts");
            size_t keyLength = 0;
            const char* keyText = lua_tolstring(state, -2, &keyLength);
            std::string key(keyText, keyLength);
            for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
            int type = lua_type(state, -1);
            if (type != LUA_TSTRING && type != LUA_TNUMBER) args.misuse("colour map values must be palette colour texts");
            lua_pushvalue(state, -1); // converted on a copy, so the walk keeps the original
            size_t valueLength = 0;
            const char* valueText = lua_tolstring(state, -1, &valueLength);
            map[key] = std::string(valueText, valueLength);
            lua_pop(state, 2);
        }
    }
    lua_pushinteger(state, currentBookController->prepareSvg(path, &map));
    return 1;
}

ENGINE_FUNCTION(hvkPrepareSvgShape) {
    int32_t file = args.svgFile(1, true);
    lua_pushinteger(args.state(), currentBookController->prepareSvgShape(file, args.string(2)));
    return 1;
}

ENGINE_FUNCTION(hvkSvgSize) {
    Vec2 size = chapter().svgSize(args.svgFile(1));
    lua_pushnumber(args.state(), size.x);
    lua_pushnumber(args.state(), size.y);
    return 2;
}

ENGINE_FUNCTION(hvkSvgShapeInfo) {
    SvgShape shape = currentBookController->shapeById(args.shape(1, true));
    Vec2 corner = pathCommandsMinCorner(shape.pathCommands);
    Vec2 size = pathCommandsSize(shape.pathCommands);
    lua_State* state = args.state();
    for (double value : {corner.x, corner.y, size.x, size.y}) lua_pushnumber(state, value);
    if (shape.meshCache && !shape.meshCache->frameRanges.empty()) {
        lua_pushnumber(state, double(shape.meshCache->frameRanges.size()) * meshCacheFrameDuration);
    } else {
        lua_pushnil(state);
    }
    return 5;
}

ENGINE_FUNCTION(hvkSvgInsertShape) {
    int32_t shape = args.shape(1, true);
    int32_t canvas = args.canvas(2, true);
    int32_t node = args.node(3, canvas, true);
    double width = args.finite(4);
    double height = args.finite(5);
    lua_pushinteger(args.state(), chapter().insertSvgShape(canvas, node, shape, width, height));
    return 1;
}

ENGINE_FUNCTION(hvkListSvgShapeNamesAndGroups) {
    auto shapes = currentBookController->listSvgShapes(args.svgFile(1));
    lua_State* state = args.state();
    lua_createtable(state, int(shapes.size()), 0);
    for (size_t i = 0; i < shapes.size(); ++i) {
        auto& [name, group, colour] = shapes[i];
        lua_createtable(state, 3, 0);
        pushText(state, name);
        lua_rawseti(state, -2, 1);
        pushText(state, group);
        lua_rawseti(state, -2, 2);
        pushText(state, colour);
        lua_rawseti(state, -2, 3);
        lua_rawseti(state, -2, lua_Integer(i + 1));
    }
    return 1;
}

ENGINE_FUNCTION(hvkGetShapePoint) {
    int32_t handle = args.shape(1);
    SvgShape shape = currentBookController->shapeById(handle);
    int64_t index = args.integer(2);
    if (index < 0 || uint64_t(index) >= shape.pathCommands.size()) {
        fatalError("Point " + std::to_string(index) + " out of range in shape with id: " + std::to_string(handle));
    }
    const Vec2& point = shape.pathCommands[size_t(index)].endPoint();
    lua_pushnumber(args.state(), point.x);
    lua_pushnumber(args.state(), point.y);
    return 2;
}

ENGINE_FUNCTION(hvkCreateParagraph) {
    std::string text = curlyQuotes(args.string(1));
    double width = args.finite(2);
    int32_t alignment = convertHAlign(args.string(3));
    args.runningContext();
    std::string refusal;
    auto [id, height] = chapter().createParagraph(text, alignment, width, &refusal);
    if (!refusal.empty()) args.misuse(refusal);
    lua_pushinteger(args.state(), id);
    lua_pushnumber(args.state(), height);
    return 2;
}

ENGINE_FUNCTION(hvkShowParagraph) {
    int32_t canvas = args.canvas(1);
    int32_t node = args.int32(2);
    int32_t paragraph = args.paragraph(3);
    Vec2 point(args.finite(4), args.finite(5));
    lua_pushinteger(args.state(), chapter().showLine(canvas, node, paragraph, point));
    return 1;
}

ENGINE_FUNCTION(hvkSetTypeface) {
    std::string name = args.optionalString(1).value_or("");
    double size = args.finite(2);
    args.runningContext();
    chapter().setTypeface(name, size);
    return 0;
}

ENGINE_FUNCTION(hvkGetLineHeight) {
    args.runningContext();
    lua_pushnumber(args.state(), chapter().getLineHeight());
    return 1;
}

ENGINE_FUNCTION(hvkSetPalette) {
    lua_State* state = args.state();
    // The table is the last argument; with none there is nothing to read at all.
    int table = lua_gettop(state);
    if (table == 0) args.misuse("no table of palette rows given");
    args.requireTable(table);
    std::vector<std::vector<std::string>> rows;
    lua_Integer count = luaL_len(state, table);
    for (lua_Integer r = 1; r <= count; ++r) {
        lua_geti(state, table, r);
        if (!lua_istable(state, -1)) args.misuse("row " + std::to_string(r) + " is not a table of colour texts");
        rows.push_back(args.stringSequence(lua_gettop(state)));
        lua_pop(state, 1);
        for (const std::string& text : rows.back()) {
            if (text.size() < 3) fatalError("Error when loading palette, empty colour");
        }
    }
    chapter().setPalette(rows);
    return 0;
}

ENGINE_FUNCTION(hvkSetBackgroundColour) {
    chapter().setBackgroundColour(colourFromStack(args.state(), 1));
    return 0;
}

ENGINE_FUNCTION(hvkSetParagraphColour) {
    int32_t canvas = args.canvasOrRemoved(1);
    int32_t node = args.int32(2);
    int32_t line = args.int32(3);
    PaletteColour colour = colourFromStack(args.state(), 4);
    args.runningContext();
    chapter().setParagraphColour(canvas, node, line, colour);
    return 0;
}

} // namespace hv
