#pragma once

#include "core/Range.h"

#include <memory>
#include <utility>

namespace hv {

class Path;
struct Mesh;

// Flattens a path with the given curve tolerance (a length in the path's own units: a curve
// of chord c becomes max(3, c / tolerance) segments) and appends its vertices and triangles to
// `mesh`. Gives the range of the indices appended and whether every contour was triangulated.
//
// The picture renderer's one way to turn a path into triangles. This version fans each
// contour from its first vertex, which is right for convex contours only; the nesting and
// ear-clipping triangulator replaces the body of this function, nothing else.
std::pair<Range, bool> triangulatePath(const std::shared_ptr<Mesh>& mesh, const Path& path, double tolerance);

} // namespace hv
