#include "picture/Path.h"

#include "core/Fatal.h"
#include "picture/Mesh.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <string>

namespace hv {

namespace {

std::atomic<uint64_t> nextPathId{0};

template <typename PointOf>
void endPointExtent(const std::vector<PathCommand>& commands, PointOf pointOf, Vec2& minCorner, Vec2& maxCorner) {
    if (commands.empty()) {
        minCorner = maxCorner = Vec2();
        return;
    }
    minCorner = maxCorner = pointOf(0);
    for (size_t i = 1; i < commands.size(); ++i) {
        Vec2 p = pointOf(i);
        minCorner.x = std::min(minCorner.x, p.x);
        minCorner.y = std::min(minCorner.y, p.y);
        maxCorner.x = std::max(maxCorner.x, p.x);
        maxCorner.y = std::max(maxCorner.y, p.y);
    }
}

void transformedExtent(const Path& path, Vec2& lo, Vec2& hi) {
    endPointExtent(path.commands, [&](size_t i) { return path.transform.apply(path.commands[i].endPoint()); }, lo, hi);
}

} // namespace

// Command and point numbers come from scripts; one past the end would read or write outside
// the path.
void Path::checkPointIndex(const char* operation, size_t command, size_t point) const {
    if (command >= commands.size() || point >= std::size(PathCommand().points)) {
        fatalError(std::string(operation) + ": point " + std::to_string(point) + " of command " + std::to_string(command) +
                   " out of range in a path of " + std::to_string(commands.size()) + " commands");
    }
}

Path::Path() : colour(transparentBlack()), id(nextPathId.fetch_add(1)) {}

Vec2 Path::transformedPoint(size_t command, size_t point) const {
    checkPointIndex("Path::transformedPoint", command, point);
    return transform.apply(commands[command].points[point]);
}

Vec2 Path::transformedMinCorner() const {
    Vec2 lo, hi;
    transformedExtent(*this, lo, hi);
    return lo;
}

Vec2 Path::transformedSize() const {
    Vec2 lo, hi;
    transformedExtent(*this, lo, hi);
    return hi - lo;
}

const Rect& Path::bounds() {
    if (boundsDirty) {
        Vec2 lo, hi;
        transformedExtent(*this, lo, hi);
        bounds_ = Rect(lo, hi - lo);
        boundsDirty = false;
    }
    return bounds_;
}

void Path::setPointFromWorld(size_t command, size_t point, const Vec2& world) {
    checkPointIndex("Path::setPointFromWorld", command, point);
    commands[command].points[point] = transform.inverse().apply(world);
}

void Path::bakeTransform() {
    transformPathCommands(transform, commands);
    transform = Transform();
    // Only this path lets go of the shared mesh; the renderer must triangulate it anew.
    meshCache.reset();
    touchGeometry();
}

bool Path::hasMeshFrames() const { return meshCache && !meshCache->frameRanges.empty(); }

Vec2 pathCommandsMinCorner(const std::vector<PathCommand>& commands) {
    Vec2 lo, hi;
    endPointExtent(commands, [&](size_t i) { return commands[i].endPoint(); }, lo, hi);
    return lo;
}

Vec2 pathCommandsSize(const std::vector<PathCommand>& commands) {
    Vec2 lo, hi;
    endPointExtent(commands, [&](size_t i) { return commands[i].endPoint(); }, lo, hi);
    return hi - lo;
}

} // namespace hv
