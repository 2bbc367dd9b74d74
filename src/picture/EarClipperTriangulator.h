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
    // added with a success flag. A path whose nesting refuses a contour, or whose solids cannot
    // all be bridged and clipped, is made again with the contours concerned (and all crossing
    // them) resolved at their crossings by the even-odd rule; a path that draws cleanly goes
    // exactly the plain way. What still cannot be clipped is left out with a line and the rest
    // is still triangulated; the flag is then false and the span empty, though the vertices and
    // the other polygons' triangles stay in the mesh. `contours`, when given, receives the
    // path's contour count, with the contours still refused and those resolved.
    std::pair<Range, bool> triangulate(const Path& path, double tolerance, ContourCount* contours = nullptr);

    // Ear-clips one index polygon over the mesh vertices, appending three vertex numbers per
    // triangle. A clockwise polygon is clipped in reverse; when the first run finds no ear the
    // other direction is tried. Only when neither gives triangles that cover the polygon's area
    // (beyond `negligibleArea`) are a careful run and the cures for an editor's flaws tried;
    // when none of them does, the polygon fails with a line and `indices` is as it was.
    static bool triangulatePolygon(const std::vector<float>& vertices, const IndexPolygon& polygon,
                                   std::vector<uint32_t>& indices, double negligibleArea = 0.0);

    std::shared_ptr<PathLeaf> root;
};

} // namespace hv
