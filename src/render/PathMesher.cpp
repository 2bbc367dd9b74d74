#include "render/PathMesher.h"

#include "picture/Mesh.h"
#include "picture/Path.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace hv {

std::pair<Range, bool> triangulatePath(const std::shared_ptr<Mesh>& mesh, const Path& path, double tolerance) {
    Mesh& m = *mesh;
    auto vertexCount = [&] { return uint64_t(m.vertices.size() / 2); };
    auto append = [&](const Vec2& p) {
        m.vertices.push_back(float(p.x));
        m.vertices.push_back(float(p.y));
    };

    std::vector<Range> contours{Range(vertexCount(), 0)};
    for (const PathCommand& command : path.commands) {
        switch (command.type) {
        case PathCommand::Move:
            if (contours.back().start != vertexCount()) {
                contours.back().count = vertexCount() - contours.back().start;
                contours.emplace_back(vertexCount(), 0);
            }
            append(command.points[0]);
            break;
        case PathCommand::Line:
            append(command.points[0]);
            break;
        case PathCommand::Quadratic:
        case PathCommand::Cubic: {
            Vec2 start;
            if (!m.vertices.empty()) start = Vec2(m.vertices[m.vertices.size() - 2], m.vertices.back());
            PathSegment segment(start, command);
            double pieces = std::fabs(segment.chordLength() / tolerance);
            uint64_t n = 3;
            if (pieces > 3.0) n = pieces < 1e6 ? uint64_t(pieces) : uint64_t(1e6);
            for (uint64_t i = 1; i <= n; ++i) append(segment.pointAt(double(i) / double(n)));
            break;
        }
        default:
            break;
        }
    }
    contours.back().count = vertexCount() - contours.back().start;

    Range range(m.indices.size(), 0);
    for (const Range& contour : contours) {
        for (uint64_t k = 1; k + 1 < contour.count; ++k) {
            m.indices.push_back(uint32_t(contour.start));
            m.indices.push_back(uint32_t(contour.start + k));
            m.indices.push_back(uint32_t(contour.start + k + 1));
        }
    }
    range.count = m.indices.size() - range.start;
    return {range, true};
}

} // namespace hv
