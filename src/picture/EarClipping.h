// Internals of ear clipping shared by the clipper and the cures it turns to when both of its
// runs fail.
#pragma once

#include "picture/PathLeaf.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hv::clipping {

// Points one clipping run of a polygon of n points may look at. Sound polygons need a few
// dozen per point; one whose points pile up on a few spots would otherwise cost n squared.
inline uint64_t workBudget(size_t n) { return 1024 * uint64_t(n) + (uint64_t(1) << 22); }

enum class Clipped { Whole, NoEar, TooSlow };

// The two runs: in the polygon's own turning first, then the other way round. A run that fails
// leaves `indices` as it was. A careful run lets a copy of a triangle's corner block the ear
// only where one of the copy's edges runs into the triangle, so a polygon that touches itself
// at a point clips cleanly; the plain runs take that care only once they stall. `work`, when
// given, grows by the points both runs looked at.
Clipped clipBothWays(const float* vertices, const IndexPolygon& polygon, std::vector<uint32_t>& indices, bool careful,
                     uint64_t* work = nullptr);

// For a polygon neither run could clip: without repeated and collinear points, and with small
// loops cut off where two edges a few steps apart cross; then split along a diagonal inside it,
// each half clipped the same way. False, with `indices` as it was, when none of that clips it.
// Its runs are careful ones when asked. A polygon whose edges cross where no small loop is is
// given up at once, as resolving its contours will draw it, unless they were resolved already.
bool clipWithCures(const float* vertices, const IndexPolygon& polygon, std::vector<uint32_t>& indices, bool careful,
                   bool resolved);

// The whole road for one polygon: the plain runs, and when they fail or their triangles do not
// cover the polygon, a careful run and the cures; false, with a line, when none does. With
// `resolved`, the polygon comes from contours resolved at their crossings.
bool clipPolygon(const std::vector<float>& vertices, const IndexPolygon& polygon, std::vector<uint32_t>& indices,
                 double negligibleArea, bool resolved);

} // namespace hv::clipping
