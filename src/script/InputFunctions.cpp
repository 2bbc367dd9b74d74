// Engine functions for the reader's hand: active rects, drag catchers, keys, pointer events
// real and synthetic, and scrolling.
#include "chapter/ChapterController.h"
#include "core/Fatal.h"
#include "script/BookController.h"
#include "script/EngineFunction.h"

#include <lua.hpp>

#include <algorithm>
#include <cmath>

namespace hv {

namespace {

ChapterController& chapter() { return *currentChapterController; }

// A rect whose canvas was removed is never under the pointer again: a click or hover wait on
// it would hold the caller for ever (and bring the dead slot back into use).
int32_t waitableRect(ScriptArgs& args) {
    int32_t rect = args.activeRect(1);
    if (chapter().activeRects[size_t(rect)].state == ActivePictureRect::Dead) {
        args.misuse("active rect " + std::to_string(rect) + " belongs to a removed canvas");
    }
    return rect;
}

Rect rectArgument(ScriptArgs& args, int first) {
    // A NaN edge would pass every containment test and match everywhere.
    return Rect(args.finite(first), args.finite(first + 1), args.finite(first + 2), args.finite(first + 3));
}

} // namespace

ENGINE_FUNCTION(hvkCreateActiveRect) {
    int32_t canvas = args.canvas(1);
    int32_t node = args.node(2, canvas);
    Rect rect = rectArgument(args, 3);
    lua_pushinteger(args.state(), chapter().createActiveRect(canvas, node, rect, args.boolean(7)));
    return 1;
}

ENGINE_FUNCTION(hvkActivateRectHover) {
    int32_t rect = waitableRect(args);
    args.runningContext();
    lua_pushboolean(args.state(), chapter().activateRectHover(rect));
    return 1;
}

ENGINE_FUNCTION(hvkActivateRectNotHovered) {
    int32_t rect = args.activeRect(1);
    args.runningContext();
    lua_pushboolean(args.state(), chapter().activateRectNotHovered(rect, args.boolean(2)));
    return 1;
}

ENGINE_FUNCTION(hvkActivateRectClick) {
    int32_t rect = waitableRect(args);
    args.runningContext();
    chapter().waitForClick(rect);
    return 0;
}

ENGINE_FUNCTION(hvkActivateRectDrag) {
    int32_t rect = args.activeRect(1);
    args.runningContext();
    chapter().waitForDrag(rect);
    return 0;
}

ENGINE_FUNCTION(hvkQueryActiveRect) {
    PointerMatch match = chapter().queryActiveRect(args.activeRect(1));
    lua_pushnumber(args.state(), match.point.x);
    lua_pushnumber(args.state(), match.point.y);
    lua_pushboolean(args.state(), match.matched);
    return 3;
}

ENGINE_FUNCTION(hvkDragState) {
    // An unknown rect is only reported, with zeros.
    ChapterController::DragState state = chapter().currentDragState(args.integer(1));
    lua_pushnumber(args.state(), state.offset.x);
    lua_pushnumber(args.state(), state.offset.y);
    lua_pushboolean(args.state(), state.dragging);
    lua_pushnumber(args.state(), state.start.x);
    lua_pushnumber(args.state(), state.start.y);
    return 5;
}

ENGINE_FUNCTION(hvkCancelDrag) {
    chapter().cancelDrag();
    return 0;
}

ENGINE_FUNCTION(hvkCreateDragCatcher) {
    int32_t canvas = args.canvas(1);
    int32_t node = args.node(2, canvas);
    lua_pushinteger(args.state(), chapter().createDragCatcher(canvas, node, rectArgument(args, 3)));
    return 1;
}

ENGINE_FUNCTION(hvkSetDragCatcherEnabled) {
    int32_t catcher = args.dragCatcher(1);
    chapter().setDragCatcherEnabled(catcher, args.boolean(2), args.boolean(3));
    return 0;
}

ENGINE_FUNCTION(hvkWaitKey) {
    int64_t code = args.truncated(1);
    if (code != int64_t(Event::escapeKey)) fatalError("hvkWaitKey: unrecognised key code: " + std::to_string(code));
    args.runningContext();
    chapter().waitKey(Event::escapeKey);
    return 0;
}

ENGINE_FUNCTION(hvkWaitMouseEvent) {
    args.runningContext();
    chapter().contextTable().waitMouseEvent();
    return 0;
}

ENGINE_FUNCTION(hvkGetMouseEvent) {
    ChapterController::MouseEventInfo info = chapter().lastMouseEventInfo();
    lua_pushinteger(args.state(), info.code);
    lua_pushnumber(args.state(), info.x);
    lua_pushnumber(args.state(), info.y);
    return 3;
}

ENGINE_FUNCTION(hvkSynthesizeMouse) {
    chapter().synthesizeMouseButton(args.boolean(1));
    return 0;
}

ENGINE_FUNCTION(hvkMoveMouse) {
    std::string label = args.string(1);
    Vec2 point(args.finite(2), args.finite(3));
    bool assertUnreachable = args.boolean(4);
    args.runningContext();
    chapter().synthesizeMouseMove(label, point, assertUnreachable);
    return 0;
}

ENGINE_FUNCTION(hvkSetScrollEnabled) {
    chapter().setScrollEnabled(args.boolean(1));
    return 0;
}

ENGINE_FUNCTION(hvkAutoScroll) {
    int32_t target = args.int32(1);
    int32_t b = args.int32(2);
    // Read as 64 bits, but an animation keeps its command (or hundredths of a row) in 32.
    int32_t c = args.int32(3);
    args.runningContext();
    chapter().scrollToTarget(target, b, c);
    return 0;
}

ENGINE_FUNCTION(hvkActivateScrollRow) {
    int64_t row = args.integer(1);
    // Rows are added as the page grows, so only a negative row can never come into view.
    if (row < 0 || row > INT32_MAX) args.misuse("no row " + std::to_string(row));
    args.runningContext();
    lua_pushboolean(args.state(), chapter().activateScrollRow(int32_t(row)));
    return 1;
}

ENGINE_FUNCTION(hvkRevealIndicatorIsShowing) {
    lua_pushboolean(args.state(), chapter().revealIndicatorIsShowing());
    return 1;
}

ENGINE_FUNCTION(hvkSetScrollScale) {
    // Only an explicit nil leaves the scale alone; no argument at all reads as 0.
    if (lua_type(args.state(), 1) != LUA_TNIL) {
        double scale = args.number(1);
        // NaN would pass the clamp and turn every wheel turn into a NaN scroll position.
        if (std::isnan(scale)) args.misuse("argument 1 is not a number: nan");
        chapter().scrollScale = std::clamp(scale, 0.0, 1.0);
    }
    lua_pushnumber(args.state(), chapter().scrollScale);
    return 1;
}

} // namespace hv
