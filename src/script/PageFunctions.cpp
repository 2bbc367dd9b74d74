// Engine functions for rows, canvases, nodes and paths.
#include "chapter/ChapterController.h"
#include "script/BookController.h"
#include "script/EngineFunction.h"

#include <lua.hpp>

namespace hv {

namespace {

ChapterController& chapter() { return *currentChapterController; }

} // namespace

ENGINE_FUNCTION(hvkNewRow) {
    chapter().newRow(args.boolean(1) ? 1 : 0);
    return 0;
}

ENGINE_FUNCTION(hvkRowHeight) {
    int32_t rowsBack = args.index(1, chapter().rows.size(), "row");
    lua_pushnumber(args.state(), chapter().rowHeight(rowsBack));
    return 1;
}

ENGINE_FUNCTION(hvkSetRowHeight) {
    chapter().setRowHeight(args.finite(1));
    return 0;
}

ENGINE_FUNCTION(hvkCurrentRowIndex) {
    lua_pushinteger(args.state(), chapter().currentRowIndex());
    return 1;
}

ENGINE_FUNCTION(hvkViewportHeight) {
    lua_pushnumber(args.state(), chapter().viewportHeight());
    return 1;
}

ENGINE_FUNCTION(hvkExtendCanvas) {
    chapter().extendCanvas(args.finite(1));
    return 0;
}

ENGINE_FUNCTION(hvkSetScrollBelowMargin) {
    chapter().setScrollBelowMargin(args.finite(1));
    return 0;
}

} // namespace hv
