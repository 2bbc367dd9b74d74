#pragma once

#include "core/Colour.h"
#include "core/Rect.h"
#include "core/Transform.h"
#include "picture/PathCommand.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace hv {

class PathRecord;
struct MeshWrapper;

// One filled shape. The renderer compares the revisions with those it recorded to know
// whether to rebuild the mesh or only the vertex colours.
class Path {
public:
    Path();
    Path(const Path&) = default; // keeps the id, shares the render record and mesh cache
    Path& operator=(const Path&) = default;

    int32_t geometryRevision() const { return geometryRevision_; }
    int32_t colourRevision() const { return colourRevision_; }
    void touchGeometry() {
        ++geometryRevision_;
        boundsDirty = true;
    }
    void touchColour() { ++colourRevision_; }
    void invalidateBounds() { boundsDirty = true; }

    // Both take a command index and a point index below three; others are fatal.
    Vec2 transformedPoint(size_t command, size_t point) const;
    // Over the transformed end points only; control points do not count. (0, 0) when empty.
    Vec2 transformedMinCorner() const;
    Vec2 transformedSize() const;
    // Recomputed only when the bounds are dirty.
    const Rect& bounds();
    // Stores the point mapped through the inverse transform; no revision changes.
    void setPointFromWorld(size_t command, size_t point, const Vec2& world);
    // Moves the points by the transform, which becomes trivial; drops the mesh cache.
    void bakeTransform();
    bool hasMeshFrames() const;

    std::vector<PathCommand> commands;
    Colour colour;
    double meshTime = 0.0;
    std::shared_ptr<PathRecord> renderRecord;
    std::shared_ptr<MeshWrapper> meshCache;
    Transform transform;
    bool boundsDirty = true;
    uint64_t id;

private:
    void checkPointIndex(const char* operation, size_t command, size_t point) const;

    Rect bounds_;
    int32_t geometryRevision_ = 1;
    int32_t colourRevision_ = 1;
};

// Like the transformed pair on a path, on untransformed end points. (0, 0) when empty.
Vec2 pathCommandsMinCorner(const std::vector<PathCommand>& commands);
Vec2 pathCommandsSize(const std::vector<PathCommand>& commands);

} // namespace hv
