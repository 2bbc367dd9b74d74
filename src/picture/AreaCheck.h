// The last check of a triangulated polygon: do its triangles cover the area it encloses?
#pragma once

#include "picture/PathLeaf.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hv {

// The largest relative difference between the triangles' total area and the polygon's. A sound
// triangulation matches to the last bits; a percent passes outlines that cross themselves by a
// sliver, whose clipped triangles still look right, and fails overlaps and strays that show.
constexpr double triangleAreaTolerance = 1e-2;

// Whether the triangles from indices[first] on cover the polygon's area (the outer ring less
// its bridged-in holes) within triangleAreaTolerance, or differ from it by no more than
// `negligibleArea`. Triangles that overlap, or reach out of the polygon, cover more. Reports
// a line when they do not.
bool trianglesCoverPolygon(const std::vector<float>& vertices, const IndexPolygon& polygon,
                           const std::vector<uint32_t>& indices, size_t first, double negligibleArea = 0.0);
// The same without writing: the line, or nothing when they cover it.
std::string trianglesCoverProblem(const std::vector<float>& vertices, const IndexPolygon& polygon,
                                  const std::vector<uint32_t>& indices, size_t first, double negligibleArea = 0.0);

// The area the triangles from indices[first] on cover, overlaps counted twice, measured from
// (ox, oy).
double trianglesArea(const std::vector<float>& vertices, const std::vector<uint32_t>& indices, size_t first,
                     double ox = 0.0, double oy = 0.0);

// An area too small to see beside the drawing the vertices from firstVertex on make: a
// millionth of their bounding box. Slivers such as a curve flattened there and back again
// cover about that much, where the outline encloses nothing.
double negligibleAreaOf(const std::vector<float>& vertices, uint64_t firstVertex);

} // namespace hv
