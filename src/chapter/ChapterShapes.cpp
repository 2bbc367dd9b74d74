// SVG shapes placed on canvases: a shape becomes a path scaled onto a rectangle of the node.
#include "chapter/ChapterController.h"

#include "core/Fatal.h"
#include "picture/Picture.h"
#include "render/PictureInstance.h"
#include "svg/SvgManager.h"

namespace hv {

Path ChapterController::buildShapePath(int32_t shapeId, double x, double y, double width, double height) {
    auto [shape, found] = svgManager ? svgManager->shape(shapeId) : std::pair<SvgShape, bool>{SvgShape(), false};
    if (!found) fatalError("Could not find path " + std::to_string(shapeId));
    Path path;
    path.commands = shape.pathCommands;
    path.colour = palette[shape.colour];
    path.meshCache = shape.meshCache;
    Vec2 m = path.transformedMinCorner();
    Vec2 s = path.transformedSize();
    // A flat shape keeps its size on the axis it has none on, rather than dividing by zero.
    double sx = s.x != 0 ? width / s.x : 1.0;
    double sy = s.y != 0 ? height / s.y : 1.0;
    Transform transform = Transform::multiply(Transform::translation(Vec2(x, y)), Transform::scale(sx, sy));
    path.transform = Transform::multiply(transform, Transform::translation(Vec2(-m.x, -m.y)));
    path.invalidateBounds();
    return path;
}

int32_t ChapterController::insertSvgShape(int32_t instance, int32_t node, int32_t shapeId, double width,
                                          double height) {
    Path built = buildShapePath(shapeId, 0, 0, width, height);
    int32_t index = newPath(instance, node);
    pictureOnPage(instance).paths[size_t(index)] = built;
    return index;
}

void ChapterController::pathTransition(int32_t instance, int32_t pathIndex, int32_t shapeId, double x, double y,
                                       double width, double height) {
    if (!instanceAt(instance)) {
        // A removed canvas has no path to change; a shape that does not exist is misuse all the same.
        buildShapePath(shapeId, x, y, width, height);
        canvasOnPage(instance, "pathTransition");
        return;
    }
    Picture& picture = pictureOnPage(instance);
    if (pathIndex < 0 || size_t(pathIndex) >= picture.paths.size()) {
        fatalError("Error preparing transition animation: the path id is out of range");
    }
    Path& path = picture.paths[size_t(pathIndex)];
    path.bakeTransform();
    Path replacement = buildShapePath(shapeId, x, y, width, height);
    replacement.bakeTransform();
    if (replacement.commands.size() != path.commands.size()) {
        fatalError("Error preparing transition animation: the new path has the wrong number of  path commands: " +
                   std::to_string(replacement.commands.size()) + " vs " + std::to_string(path.commands.size()));
    }
    for (size_t i = 0; i < path.commands.size(); ++i) {
        int points = path.commands[i].pointCount();
        int newPoints = replacement.commands[i].pointCount();
        if (newPoints != points) {
            fatalError("Error preparing transition animation: the replacement path command " + std::to_string(i) +
                       " has the wrong number of points: " + std::to_string(newPoints) + " vs " +
                       std::to_string(points));
        }
        for (int j = 0; j < points; ++j) {
            Animation a;
            contexts.currentFrame().applyTo(a);
            a.kind = j == points - 1 ? Animation::PathEndPoint : j == 0 ? Animation::PathPoint0 : Animation::PathPoint1;
            a.instance = instance;
            a.element = pathIndex;
            a.part = int32_t(i);
            a.to[0] = replacement.commands[i].points[j].x;
            a.to[1] = replacement.commands[i].points[j].y;
            startAnimation(a);
        }
    }
}

} // namespace hv
