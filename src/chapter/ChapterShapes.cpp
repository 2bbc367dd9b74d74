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
    instances()[size_t(instance)].picture->paths[size_t(index)] = built;
    return index;
}

} // namespace hv
