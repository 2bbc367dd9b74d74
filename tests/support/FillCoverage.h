#pragma once

#include "core/Range.h"
#include "picture/Mesh.h"
#include "picture/Path.h"

#include <cstdint>

namespace hv::test {

// How far a mesh strays from the even-odd fill of the path it was built from. Both are
// sampled at the centres of a square grid over the flattened path's bounds; the path is
// flattened exactly as the triangulator flattens it, so only nesting, bridging and clipping
// can make the two differ.
struct FillComparison {
    uint64_t filled = 0;    // samples inside the even-odd fill
    uint64_t covered = 0;   // samples under at least one triangle
    uint64_t different = 0; // samples where the two disagree
    // The differing samples over the filled ones; 0 for a path that fills nothing and
    // whose mesh covers nothing either.
    double mismatch() const;
};

FillComparison compareMeshWithFill(const Path& path, double tolerance, const Mesh& mesh, const Range& indices,
                                   uint32_t gridSide = 256);

} // namespace hv::test
