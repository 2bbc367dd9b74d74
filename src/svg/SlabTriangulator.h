#pragma once

#include "core/Range.h"
#include "picture/Mesh.h"
#include "picture/Path.h"

#include <utility>

namespace hv {

// A plain triangulator for baking: flattens the path's contours, cuts the plane into
// horizontal slabs at every vertex height and fills each slab between alternate edge
// crossings (even-odd) with two triangles per trapezoid. Holes and nested contours come out
// right; contours that cross each other within a slab are drawn only roughly. Appends the
// flattened vertices and the trapezoid corners to the mesh.
std::pair<Range, bool> slabTriangulate(Mesh& mesh, const Path& path, double tolerance);

} // namespace hv
