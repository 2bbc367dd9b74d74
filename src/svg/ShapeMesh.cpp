#include "svg/ShapeMesh.h"

#include "picture/EarClipperTriangulator.h"

namespace hv {

std::pair<Range, bool> triangulatePathInto(const std::shared_ptr<Mesh>& mesh, const Path& path, double tolerance,
                                           ContourCount* contours) {
    EarClipperTriangulator triangulator;
    triangulator.init(mesh);
    return triangulator.triangulate(path, tolerance, contours);
}

bool buildShapeMeshCache(RawSvgShape& shape, double tolerance, ContourCount* contours) {
    Path path;
    path.commands = shape.pathCommands;
    auto mesh = std::make_shared<Mesh>();
    bool complete = triangulatePathInto(mesh, path, tolerance, contours).second;
    auto entry = std::make_shared<MeshWrapper>();
    entry->mesh = std::move(mesh);
    shape.meshCache = std::move(entry);
    return complete;
}

} // namespace hv
