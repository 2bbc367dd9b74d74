#include "picture/AreaCheck.h"

#include "core/Failure.h"

#include <algorithm>
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
    double enclosed = 0;
    for (size_t k = 0; k < polygon.size(); ++k) {
        uint32_t a = polygon[k], b = polygon[k + 1 == polygon.size() ? 0 : k + 1];
        enclosed += x(a) * y(b) - x(b) * y(a);
    }
    enclosed = std::fabs(enclosed) / 2;
    double covered = 0;
    for (size_t t = first; t + 2 < indices.size(); t += 3) {
        uint32_t a = indices[t], b = indices[t + 1], c = indices[t + 2];
        covered += std::fabs((x(b) - x(a)) * (y(c) - y(a)) - (y(b) - y(a)) * (x(c) - x(a))) / 2;
    }
    // Both sums are exact but for their last bits, so a sound triangulation passes easily.
    if (std::fabs(covered - enclosed) <= triangleAreaTolerance * enclosed + negligibleArea) return true;
    std::ostringstream line;
    line.precision(3);
    line << "EarClipperTriangulator::triangulatePolygon: the triangles cover ";
    if (enclosed > 0) line << covered / enclosed << " times the polygon's area";
    else line << covered << " where the polygon encloses no area";
    return failure(line.str());
}

double negligibleAreaOf(const std::vector<float>& vertices, uint64_t firstVertex) {
    if (vertices.size() < 2 * firstVertex + 2) return 0.0;
    float minX = vertices[2 * firstVertex], maxX = minX, minY = vertices[2 * firstVertex + 1], maxY = minY;
    for (size_t k = 2 * firstVertex + 2; k + 1 < vertices.size(); k += 2) {
        minX = std::min(minX, vertices[k]);
        maxX = std::max(maxX, vertices[k]);
        minY = std::min(minY, vertices[k + 1]);
        maxY = std::max(maxY, vertices[k + 1]);
    }
    double area = (double(maxX) - minX) * (double(maxY) - minY) * 1e-6;
    return area > 0 && std::isfinite(area) ? area : 0.0;
}

} // namespace hv
