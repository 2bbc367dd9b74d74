#include "svg/SlabTriangulator.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace hv {

namespace {

// Enough for any curve on a page; keeps a wild chord length from exhausting memory.
constexpr uint64_t maximumCurveSteps = 1024;

struct Edge {
    double x0, y0; // the upper end (smaller y)
    double x1, y1;
    double xAt(double y) const { return x0 + (y - y0) / (y1 - y0) * (x1 - x0); }
};

struct Crossing {
    double top, bottom, middle;
};

} // namespace

std::pair<Range, bool> slabTriangulate(Mesh& mesh, const Path& path, double tolerance) {
    Range range(mesh.indices.size(), 0);
    if (!(tolerance > 0.0) || !std::isfinite(tolerance)) tolerance = 1.0;

    // Flatten into closed contours of float vertices, the way every mesh stores them.
    std::vector<std::vector<Vec2>> contours;
    Vec2 last;
    for (const PathCommand& command : path.commands) {
        if (command.type == PathCommand::Move || contours.empty()) contours.emplace_back();
        std::vector<Vec2>& contour = contours.back();
        switch (command.type) {
        case PathCommand::Move:
        case PathCommand::Line:
            last = command.points[0];
            contour.push_back(last);
            break;
        case PathCommand::Quadratic:
        case PathCommand::Cubic: {
            PathSegment segment(last, command);
            double steps = std::fabs(segment.chordLength() / tolerance);
            uint64_t n = std::isfinite(steps) ? uint64_t(std::min(steps, double(maximumCurveSteps))) : maximumCurveSteps;
            n = std::max<uint64_t>(n, 3);
            for (uint64_t i = 1; i <= n; ++i) contour.push_back(segment.pointAt(double(i) / double(n)));
            last = command.endPoint();
            break;
        }
        default:
            break;
        }
    }

    std::vector<Edge> edges;
    std::vector<double> heights;
    for (std::vector<Vec2>& contour : contours) {
        for (Vec2& p : contour) {
            p = Vec2(double(float(p.x)), double(float(p.y)));
            if (!std::isfinite(p.x) || !std::isfinite(p.y)) return {range, false};
            mesh.vertices.push_back(float(p.x));
            mesh.vertices.push_back(float(p.y));
            heights.push_back(p.y);
        }
        if (contour.size() < 3) continue;
        for (size_t i = 0; i < contour.size(); ++i) {
            const Vec2& a = contour[i];
            const Vec2& b = contour[(i + 1) % contour.size()];
            if (a.y == b.y) continue; // a horizontal edge bounds no slab
            edges.push_back(a.y < b.y ? Edge{a.x, a.y, b.x, b.y} : Edge{b.x, b.y, a.x, a.y});
        }
    }
    std::sort(heights.begin(), heights.end());
    heights.erase(std::unique(heights.begin(), heights.end()), heights.end());
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });

    std::vector<const Edge*> active;
    std::vector<Crossing> crossings;
    size_t nextEdge = 0;
    for (size_t h = 0; h + 1 < heights.size(); ++h) {
        double top = heights[h];
        double bottom = heights[h + 1];
        while (nextEdge < edges.size() && edges[nextEdge].y0 <= top) active.push_back(&edges[nextEdge++]);
        active.erase(std::remove_if(active.begin(), active.end(), [&](const Edge* e) { return e->y1 <= top; }),
                     active.end());
        crossings.clear();
        double middle = 0.5 * (top + bottom);
        for (const Edge* e : active) crossings.push_back({e->xAt(top), e->xAt(bottom), e->xAt(middle)});
        std::sort(crossings.begin(), crossings.end(),
                  [](const Crossing& a, const Crossing& b) { return a.middle < b.middle; });
        for (size_t i = 0; i + 1 < crossings.size(); i += 2) {
            const Crossing& left = crossings[i];
            const Crossing& right = crossings[i + 1];
            if (left.top == right.top && left.bottom == right.bottom) continue;
            if (mesh.vertices.size() / 2 + 4 > uint64_t(UINT32_MAX)) return {Range(range.start, 0), false};
            uint32_t base = uint32_t(mesh.vertices.size() / 2);
            const float corners[8] = {float(left.top),     float(top),    float(right.top),   float(top),
                                      float(right.bottom), float(bottom), float(left.bottom), float(bottom)};
            mesh.vertices.insert(mesh.vertices.end(), corners, corners + 8);
            const uint32_t triangles[6] = {base, base + 1, base + 2, base, base + 2, base + 3};
            mesh.indices.insert(mesh.indices.end(), triangles, triangles + 6);
        }
    }
    range.count = mesh.indices.size() - range.start;
    return {range, true};
}

} // namespace hv
