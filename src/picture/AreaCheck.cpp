#include "picture/AreaCheck.h"

#include "core/Failure.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace hv {

namespace {

// The area the polygon encloses and the area its triangles cover.
struct Cover {
    double enclosed = 0, covered = 0;
    bool enough(double negligibleArea) const {
        // Both sums are exact but for their last bits, so a sound triangulation passes easily.
        return std::fabs(covered - enclosed) <= triangleAreaTolerance * enclosed + negligibleArea;
    }
};

Cover coverOf(const std::vector<float>& vertices, const IndexPolygon& polygon, const std::vector<uint32_t>& indices,
              size_t first) {
    // Measured from one corner, so that coordinates far from the origin lose nothing to
    // cancellation.
    const double ox = vertices[2 * size_t(polygon[0])], oy = vertices[2 * size_t(polygon[0]) + 1];
    auto x = [&](uint32_t k) { return vertices[2 * size_t(k)] - ox; };
    auto y = [&](uint32_t k) { return vertices[2 * size_t(k) + 1] - oy; };
    Cover c;
    double& enclosed = c.enclosed;
    for (size_t k = 0; k < polygon.size(); ++k) {
        uint32_t a = polygon[k], b = polygon[k + 1 == polygon.size() ? 0 : k + 1];
        enclosed += x(a) * y(b) - x(b) * y(a);
    }
    enclosed = std::fabs(enclosed) / 2;
    c.covered = trianglesArea(vertices, indices, first, ox, oy);
    return c;
}

} // namespace

double trianglesArea(const std::vector<float>& vertices, const std::vector<uint32_t>& indices, size_t first, double ox,
                     double oy) {
    auto x = [&](uint32_t k) { return vertices[2 * size_t(k)] - ox; };
    auto y = [&](uint32_t k) { return vertices[2 * size_t(k) + 1] - oy; };
    double covered = 0;
    for (size_t t = first; t + 2 < indices.size(); t += 3) {
        uint32_t a = indices[t], b = indices[t + 1], d = indices[t + 2];
        covered += std::fabs((x(b) - x(a)) * (y(d) - y(a)) - (y(b) - y(a)) * (x(d) - x(a))) / 2;
    }
    return covered;
}

bool trianglesCoverPolygon(const std::vector<float>& vertices, const IndexPolygon& polygon,
                           const std::vector<uint32_t>& indices, size_t first, double negligibleArea) {
    std::string problem = trianglesCoverProblem(vertices, polygon, indices, first, negligibleArea);
    return problem.empty() || failure(problem);
}

std::string trianglesCoverProblem(const std::vector<float>& vertices, const IndexPolygon& polygon,
                                  const std::vector<uint32_t>& indices, size_t first, double negligibleArea) {
    if (polygon.empty()) return "";
    Cover c = coverOf(vertices, polygon, indices, first);
    if (c.enough(negligibleArea)) return "";
    double enclosed = c.enclosed, covered = c.covered;
    std::ostringstream line;
    line.precision(3);
    line << "EarClipperTriangulator::triangulatePolygon: the triangles cover ";
    if (enclosed > 0) line << covered / enclosed << " times the polygon's area";
    else line << covered << " where the polygon encloses no area";
    return line.str();
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
