#pragma once

#include "core/Range.h"
#include "picture/Mesh.h"
#include "picture/PathLeaf.h"

#include <memory>
#include <utility>
#include <vector>

namespace hv {

class Path;

// Turns paths into triangles: flattens and nests each path's contours, bridges the holes, and
// ear-clips every resulting polygon into the mesh. The renderer makes one over a fresh mesh
// whenever it rebuilds a path's mesh.
class EarClipperTriangulator {
public:
    // Uses the mesh, or a new empty one when none is given. Always succeeds.
    bool init(const std::shared_ptr<Mesh>& mesh = nullptr);

    // The mesh that receives vertices and indices.
    std::shared_ptr<Mesh> mesh() const;

    // Appends the path's vertices and triangles to the mesh and gives the span of indices it
    // added with a success flag. A polygon that cannot be clipped is left out with a line and
    // the others are still triangulated; the flag is then false and the span empty, though
    // the vertices and the other polygons' triangles stay in the mesh. `contours`, when given,
    // receives the path's contour count, with the contours the nesting refused.
    std::pair<Range, bool> triangulate(const Path& path, double tolerance, ContourCount* contours = nullptr);

    // Ear-clips one index polygon over the mesh vertices, appending three vertex numbers per
    // triangle. A clockwise polygon is clipped in reverse; when the first run finds no ear the
    // other direction is tried; when that finds none either the polygon fails with a line.
    // Triangles that do not cover the polygon's area (beyond `negligibleArea`) fail it too,
    // with a line; a failure leaves `indices` as it was.
    static bool triangulatePolygon(const std::vector<float>& vertices, const IndexPolygon& polygon,
                                   std::vector<uint32_t>& indices, double negligibleArea = 0.0);

    std::shared_ptr<PathLeaf> root;
};

} // namespace hv
