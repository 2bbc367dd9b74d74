#pragma once

#include "core/Range.h"
#include "picture/Mesh.h"
#include "picture/Path.h"
#include "picture/PathLeaf.h"
#include "svg/SvgShape.h"

#include <memory>
#include <utility>

namespace hv {

// The curve tolerance a baked mesh is flattened with, in shape units (SVG pixels): a curve
// gets one segment per this much chord, and at least three. Fine enough for a picture shown
// at a few times its drawn size.
constexpr double bakeCurveTolerance = 2.0;

// Triangulates one path into `mesh`, appending vertices and indices; gives the span of
// indices it added and whether the whole path was triangulated, and counts its contours into
// `contours` when given. The one place where the bake step meets a triangulator.
std::pair<Range, bool> triangulatePathInto(const std::shared_ptr<Mesh>& mesh, const Path& path, double tolerance,
                                           ContourCount* contours = nullptr);

// Gives the shape a mesh-cache entry of its own: a fresh mesh of its triangles and no frame
// ranges (a still shape). False when the triangulation was incomplete; the entry then keeps
// what was triangulated, which is what the renderer would have drawn from it too. Contours
// the nesting refused do not make it incomplete: they are counted in `contours`.
bool buildShapeMeshCache(RawSvgShape& shape, double tolerance, ContourCount* contours = nullptr);

} // namespace hv
