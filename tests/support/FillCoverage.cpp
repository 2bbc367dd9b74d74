#include "support/FillCoverage.h"

#include "picture/PathLeaf.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace hv::test {

namespace {

using Contour = std::vector<Vec2>;

std::vector<Contour> flatten(const Path& path, double tolerance) {
    std::vector<Contour> contours(1);
    for (const PathCommand& c : path.commands) {
        if (c.type == PathCommand::Move && !contours.back().empty()) contours.emplace_back();
        if (c.type == PathCommand::Move || c.type == PathCommand::Line) {
            contours.back().push_back(Vec2(float(c.points[0].x), float(c.points[0].y)));
        } else if (c.type == PathCommand::Quadratic || c.type == PathCommand::Cubic) {
            // The triangulator starts a curve from the float vertex it appended last.
            PathSegment segment(contours.back().empty() ? Vec2() : contours.back().back(), c);
            uint32_t n = curveSegmentCount(segment.chordLength(), tolerance);
            for (uint32_t i = 1; i <= n; ++i) {
                Vec2 p = segment.pointAt(double(i) / n);
                contours.back().push_back(Vec2(float(p.x), float(p.y)));
            }
        }
    }
    return contours;
}

} // namespace

double FillComparison::mismatch() const {
    if (filled == 0) return different == 0 ? 0.0 : std::numeric_limits<double>::infinity();
    return double(different) / double(filled);
}

FillComparison compareMeshWithFill(const Path& path, double tolerance, const Mesh& mesh, const Range& indices,
                                   uint32_t gridSide) {
    FillComparison result;
    std::vector<Contour> contours = flatten(path, tolerance);
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (const Contour& c : contours) {
        for (const Vec2& p : c) {
            minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
        }
    }
    if (!(maxX > minX) || !(maxY > minY) || !std::isfinite(maxX - minX) || !std::isfinite(maxY - minY)) return result;
    const uint32_t n = gridSide;
    const double cellW = (maxX - minX) / n, cellH = (maxY - minY) / n;
    auto sampleY = [&](uint32_t j) { return minY + (j + 0.5) * cellH; };
    // The first column whose sample lies at or right of x.
    auto firstColumnFrom = [&](double x) {
        double c = std::ceil((x - minX) / cellW - 0.5);
        return c <= 0 ? 0u : c >= n ? n : uint32_t(c);
    };
    std::vector<uint8_t> fill(size_t(n) * n, 0), cover(size_t(n) * n, 0);

    // Both rasterised by the same half-open rule: a sample is inside when a ray from it
    // crosses the outline an odd number of times, so triangles that share an edge share no
    // sample and a triangulation that tiles the fill marks exactly its samples.
    auto crossingX = [](const Vec2& a, const Vec2& b, double y, double& x) {
        const Vec2& low = a.y < b.y ? a : b;
        const Vec2& high = a.y < b.y ? b : a;
        if (!(low.y <= y && y < high.y)) return false;
        x = low.x + (y - low.y) / (high.y - low.y) * (high.x - low.x);
        return true;
    };
    std::vector<double> crossings;
    for (uint32_t j = 0; j < n; ++j) {
        double y = sampleY(j);
        crossings.clear();
        for (const Contour& c : contours) {
            for (size_t k = 0; k < c.size(); ++k) {
                double x;
                if (crossingX(c[k], c[k + 1 == c.size() ? 0 : k + 1], y, x)) crossings.push_back(x);
            }
        }
        // Every crossing flips the samples right of it.
        uint8_t* row = &fill[size_t(j) * n];
        for (double x : crossings) {
            uint32_t from = firstColumnFrom(x);
            if (from < n) row[from] ^= 1;
        }
        for (uint32_t i = 1; i < n; ++i) row[i] ^= row[i - 1];
    }

    const float* v = mesh.vertices.data();
    for (uint64_t t = indices.start; t + 2 < indices.end(); t += 3) {
        Vec2 p[3];
        for (int k = 0; k < 3; ++k) {
            uint32_t idx = mesh.indices[t + k];
            p[k] = Vec2(v[2 * idx], v[2 * idx + 1]);
        }
        double lowY = std::min({p[0].y, p[1].y, p[2].y}), highY = std::max({p[0].y, p[1].y, p[2].y});
        double r0 = std::max(0.0, std::ceil((lowY - minY) / cellH - 0.5));
        double r1 = std::min(double(n - 1), std::floor((highY - minY) / cellH - 0.5) + 1);
        for (double r = r0; r <= r1; ++r) {
            uint32_t j = uint32_t(r);
            double y = sampleY(j), xs[3];
            int found = 0;
            for (int k = 0; k < 3; ++k) found += crossingX(p[k], p[(k + 1) % 3], y, xs[found]);
            if (found != 2) continue;
            uint8_t* row = &cover[size_t(j) * n];
            for (uint32_t i = firstColumnFrom(std::min(xs[0], xs[1])), to = firstColumnFrom(std::max(xs[0], xs[1])); i < to; ++i) {
                row[i] = 1;
            }
        }
    }

    for (size_t k = 0; k < fill.size(); ++k) {
        result.filled += fill[k];
        result.covered += cover[k];
        result.different += fill[k] != cover[k];
    }
    return result;
}

} // namespace hv::test
