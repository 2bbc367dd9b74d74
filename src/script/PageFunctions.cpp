// Engine functions for rows, canvases, nodes and paths.
#include "chapter/ChapterController.h"
#include "picture/PathCommand.h"
#include "script/BookController.h"
#include "script/EngineFunction.h"

#include <lua.hpp>

#include <iostream>

namespace hv {

namespace {

ChapterController& chapter() { return *currentChapterController; }

} // namespace

ENGINE_FUNCTION(hvkNewRow) {
    chapter().newRow(args.boolean(1) ? 1 : 0);
    return 0;
}

ENGINE_FUNCTION(hvkRowHeight) {
    // Counted back from the open row: a negative count measures nothing, 0; past the first row
    // there is no row to measure.
    int64_t rowsBack = args.integer(1);
    if (rowsBack >= 0) rowsBack = args.index(1, chapter().rows.size(), "row");
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

ENGINE_FUNCTION(hvkWindBackRows) {
    chapter().windBackRows(args.count(1, chapter().currentRowIndex(), "rows to wind back"));
    return 0;
}

ENGINE_FUNCTION(hvkNewCanvas) {
    double left = args.finite(1);
    double right = args.finite(2);
    // The aspect is checked by the canvas itself, NaN with its own message.
    double aspect = args.number(3);
    int32_t selector = args.int32(4);
    int64_t layerKey = args.integer(5);
    auto [canvas, root] = chapter().createCanvas(selector, layerKey, left, right, aspect);
    lua_pushinteger(args.state(), canvas);
    lua_pushinteger(args.state(), root);
    lua_pushinteger(args.state(), chapter().currentRowIndex());
    return 3;
}

ENGINE_FUNCTION(hvkRemoveCanvas) {
    chapter().removeCanvas(args.canvasOrRemoved(1));
    return 0;
}

ENGINE_FUNCTION(hvkSetCanvasSlideDistance) {
    int32_t canvas = args.canvasOrRemoved(1);
    chapter().setCanvasSlideDistance(canvas, args.integer(2));
    return 0;
}

ENGINE_FUNCTION(hvkSetCanvasLabel) {
    int32_t canvas = args.canvasOrRemoved(1);
    chapter().setCanvasLabel(canvas, args.string(2));
    return 0;
}

ENGINE_FUNCTION(hvkSetPictureInteractive) {
    int32_t canvas = args.canvasOrRemoved(1);
    chapter().setPictureInteractive(canvas, args.boolean(2));
    return 0;
}

ENGINE_FUNCTION(hvkRecordCanvas) {
    // -1 records the whole view.
    int32_t canvas = args.integer(1) == -1 ? -1 : args.canvas(1);
    std::string path = args.string(2);
    chapter().recordCanvas(canvas, path, args.boolean(3));
    return 0;
}

ENGINE_FUNCTION(hvkStopRecording) {
    chapter().stopRecording();
    return 0;
}

ENGINE_FUNCTION(hvkCreateChildNode) {
    int32_t canvas = args.canvas(1);
    lua_pushinteger(args.state(), chapter().createChildNode(canvas, args.int32(2)));
    return 1;
}

ENGINE_FUNCTION(hvkSetNodeEnabled) {
    int32_t canvas = args.canvasOrRemoved(1);
    chapter().setNodeEnabled(canvas, args.int32(2), args.boolean(3));
    return 0;
}

ENGINE_FUNCTION(hvkSetNodeCentre) {
    int32_t canvas = args.canvasOrRemoved(1);
    int32_t node = args.int32(2);
    chapter().setNodeCentre(canvas, node, Vec2(args.finite(3), args.finite(4)));
    return 0;
}

ENGINE_FUNCTION(hvkGetNodeProps) {
    int32_t canvas = args.canvas(1);
    auto [x, y, pivotX, pivotY] = chapter().getNodeProps(canvas, args.int32(2));
    for (double value : {x, y, pivotX, pivotY}) lua_pushnumber(args.state(), value);
    return 4;
}

ENGINE_FUNCTION(hvkMoveToNode) {
    int32_t canvas = args.canvasOrRemoved(1);
    int32_t node = args.node(2, canvas);
    chapter().moveToNode(canvas, node, args.node(3, canvas));
    return 0;
}

ENGINE_FUNCTION(hvkNewPath) {
    int32_t canvas = args.canvas(1);
    lua_pushinteger(args.state(), chapter().newPath(canvas, args.node(2, canvas)));
    return 1;
}

ENGINE_FUNCTION(hvkNewPathCommand) {
    int32_t canvas = args.canvas(1);
    int32_t path = args.path(2, canvas);
    PathCommand command;
    switch (args.integer(3)) {
    case 10: command.type = PathCommand::Move; break;
    case 0: command.type = PathCommand::Line; break;
    case 1: command.type = PathCommand::Quadratic; break;
    case 2: command.type = PathCommand::Cubic; break;
    default:
        // Nothing is appended: a command of no known kind has no points to draw.
        std::cerr << "Do not understand path command identifier" << std::endl;
        return 0;
    }
    for (int i = 0; i < command.pointCount(); ++i) command.points[i] = Vec2(args.finite(4 + 2 * i), args.finite(5 + 2 * i));
    chapter().newPathCommand(canvas, path, command);
    return 0;
}

// The node, path and command of an animation are checked by the animation as its target, and
// so is a removed canvas.
ENGINE_FUNCTION(hvkSetNodePosition) {
    int32_t canvas = args.canvasOrRemoved(1);
    int32_t node = args.int32(2);
    Vec2 point(args.finite(3), args.finite(4));
    args.runningContext();
    chapter().setNodePosition(canvas, node, point);
    return 0;
}

ENGINE_FUNCTION(hvkSetNodeRotation) {
    int32_t canvas = args.canvasOrRemoved(1);
    int32_t node = args.int32(2);
    double angle = args.finite(3);
    args.runningContext();
    chapter().setNodeRotation(canvas, node, angle);
    return 0;
}

ENGINE_FUNCTION(hvkSetNodeScale) {
    int32_t canvas = args.canvasOrRemoved(1);
    int32_t node = args.int32(2);
    double sx = args.finite(3);
    double sy = args.finite(4);
    args.runningContext();
    chapter().setNodeScale(canvas, node, sx, sy);
    return 0;
}

ENGINE_FUNCTION(hvkMovePoint) {
    int32_t canvas = args.int32(1);
    int32_t path = args.int32(2);
    int32_t command = args.int32(3);
    int32_t point = args.int32(4);
    double x = args.finite(5);
    double y = args.finite(6);
    args.runningContext();
    chapter().apiMovePoint(canvas, path, command, point, x, y);
    return 0;
}

ENGINE_FUNCTION(hvkSetPathFill) {
    int32_t canvas = args.canvasOrRemoved(1);
    int32_t path = args.int32(2);
    PaletteColour colour = colourFromStack(args.state(), 3);
    args.runningContext();
    chapter().setPathFill(canvas, path, colour);
    return 0;
}

ENGINE_FUNCTION(hvkSetAnimationFrame) {
    int32_t canvas = args.canvasOrRemoved(1);
    int32_t path = args.int32(2);
    // Any time: before the first frame, or not a number at all, draws the first frame.
    double frame = args.number(3);
    args.runningContext();
    chapter().setAnimationFrame(canvas, path, frame);
    return 0;
}

ENGINE_FUNCTION(hvkPathTransition) {
    int32_t canvas = args.canvasOrRemoved(1);
    int32_t path = args.int32(2);
    int32_t shape = args.int32(3);
    double x = args.finite(4);
    double y = args.finite(5);
    double width = args.finite(6);
    double height = args.finite(7);
    args.runningContext();
    chapter().pathTransition(canvas, path, shape, x, y, width, height);
    return 0;
}

} // namespace hv
