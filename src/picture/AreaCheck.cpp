#include "picture/AreaCheck.h"

#include "core/Failure.h"

#include <cmath>
#include <sstream>

namespace hv {

bool trianglesCoverPolygon(const std::vector<float>& vertices, const IndexPolygon& polygon,
                           const std::vector<uint32_t>& indices, size_t first, double negligibleArea) {
    if (polygon.empty()) return true;
    // Measured from one corner, so that coordinates far from the origin lose nothing to
    // cancellation.
    const double ox = vertices[2 * size_t(polygon[0])], oy = vertices[2 * size_t(polygon[0]) + 1];
    auto x = [&](uint32_t k) { return vertices[2 * size_t(k)] - ox; };
    auto y = [&](uint32_t k) { return vertices[2 * size_t(k) + 1] - oy; };
    double enclosed = 0, minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (size_t k = 0; k < polygon.size(); ++k) {
        uint32_t a = polygon[k], b = polygon[k + 1 == polygon.size() ? 0 : k + 1];
        enclosed += x(a) * y(b) - x(b) * y(a);
        minX = std::fmin(minX, x(a));
        maxX = std::fmax(maxX, x(a));
        minY = std::fmin(minY, y(a));
        maxY = std::fmax(maxY, y(a));
    }
    enclosed = std::fabs(enclosed) / 2;
    double covered = 0;
    for (size_t t = first; t + 2 < indices.size(); t += 3) {
        uint32_t a = indices[t], b = indices[t + 1], c = indices[t + 2];
        covered += std::fabs((x(b) - x(a)) * (y(c) - y(a)) - (y(b) - y(a)) * (x(c) - x(a))) / 2;
    }
    // Rounding of the sums, and of slivers against the polygon's extent.
    double slack = triangleAreaTolerance * enclosed + 1e-12 * (maxX - minX) * (maxY - minY) + negligibleArea;
    if (std::fabs(covered - enclosed) <= slack) return true;
    std::ostringstream line;
    line.precision(3);
    line << "EarClipperTriangulator::triangulatePolygon: the triangles cover ";
    if (enclosed > 0) line << covered / enclosed << " times the polygon's area";
    else line << covered << " where the polygon encloses no area";
    return failure(line.str());
}

double negligibleAreaOf(const std::vector<float>& vertices, uint64_t firstVertex) {
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (size_t k = 2 * firstVertex; k + 1 < vertices.size(); k += 2) {
        minX = std::fmin(minX, vertices[k]);
        maxX = std::fmax(maxX, vertices[k]);
        minY = std::fmin(minY, vertices[k + 1]);
        maxY = std::fmax(maxY, vertices[k + 1]);
    }
    double area = (maxX - minX) * (maxY - minY) * 1e-6;
    return area > 0 && std::isfinite(area) ? area : 0.0;
}

} // namespace hv
