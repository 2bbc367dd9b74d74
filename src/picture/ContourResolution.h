// Contours that cross themselves or one another, turned into contours that do not: the
// outlines of their even-odd fill, which the nesting, bridging and clipping then take like any
// others. Only for the contours of a path that the nesting refused or that could not be drawn.
#pragma once

#include "core/Range.h"
#include "picture/Mesh.h"
#include "picture/PathLeaf.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace hv {

// The most crossings the contours to be resolved may have: more than that are not resolved.
constexpr uint64_t maxResolvedCrossings = 4096;

// Adds to `troubled` (vertex ranges of the mesh sorted by start, a subset of the path's
// `contours`) every contour that crosses one of them, directly or through others that do. False
// when the contours so joined cross more than `limit` times, or when the path's edges cross, or
// lie, so densely that telling would take longer than resolving that many.
bool joinCrossingContours(const float* vertices, const std::vector<Range>& contours, std::vector<Range>& troubled,
                          uint64_t limit);

// The same in two steps, for joining to a growing `troubled` again and again: which contours
// cross which is worked out once, over every contour of the path.
class ContourCrossings {
public:
    ContourCrossings(const float* vertices, const std::vector<Range>& contours, uint64_t limit);
    bool join(std::vector<Range>& troubled) const;

private:
    const std::vector<Range>& contours_;
    uint64_t limit_;
    bool counted_ = false;            // the crossings were all found, and not too many
    std::vector<uint32_t> root_;      // each contour's group of contours crossing one another
    std::vector<uint64_t> crossings_; // each crossing under one of its contours
};

// Whether two edges of the polygon cross where neither ends (or the polygon is too dense to tell).
bool crossesItself(const float* vertices, const IndexPolygon& polygon);

// Appends to the mesh the outlines of the region the contours cover an odd number of times,
// simple and meeting one another at most at vertices, one range each. Points snap to the
// single-precision grid of the largest coordinate, so every vertex and every difference of two
// is exact in single precision. Outlines enclosing no more than `negligibleArea` are left out:
// slivers where a curve runs there and back, which no ear clipping can split. With
// `separateHoles`, a vertex that rounding left a hair across another outline's edge joins that
// edge, and each vertex where a hole touches another outline moves into the hole, to the nearest
// point of the grid where there is room, so that the two no longer meet. False, with the mesh as it
// was, when a coordinate is not a number or is too large.
bool resolveCrossings(Mesh& mesh, const std::vector<Range>& contours, std::vector<Range>& resolved,
                      double negligibleArea = 0.0, bool separateHoles = false);

// The same in two steps, so that the outlines are worked out once and appended as often as
// asked: `make` is false when a coordinate is not a number or is too large.
class ResolvedOutlines {
public:
    ResolvedOutlines();
    ~ResolvedOutlines();
    bool make(const float* vertices, const std::vector<Range>& contours);
    void appendTo(Mesh& mesh, std::vector<Range>& resolved, double negligibleArea, bool separateHoles) const;

private:
    struct Paths;
    std::unique_ptr<Paths> out_;
    int shift_ = 0;
};

} // namespace hv
