#include "picture/ContourResolution.h"

#include "picture/PolygonMath.h"

#include <clipper.hpp>

#include <algorithm>
#include <cmath>
#include <exception>

namespace hv {

using polygon::Point;

namespace {

struct Edge {
    Point a, b;
    uint64_t from, to; // vertex numbers
    uint32_t owner;    // the contour it belongs to
};

// Cells about as many as the edges over their bounds; an edge goes into every cell it may
// pass through, found row by row from where it enters and leaves the row.
class EdgeGrid {
public:
    EdgeGrid(const std::vector<Edge>& edges, const polygon::Bounds& box)
        : EdgeGrid(edges.size(), box, 1e-9 * ((box.maxX - box.minX) + (box.maxY - box.minY)) + 1e-30) {}
    // For `count` edges; `fuzz` widens every edge's way through the cells.
    EdgeGrid(size_t count, const polygon::Bounds& box, double fuzz) : box_(box), fuzz_(fuzz) {
        double w = box.maxX - box.minX, h = box.maxY - box.minY;
        polygon::gridShape(double(count), w, h, nx_, ny_);
        scaleX_ = w > 0 ? nx_ / w : 0.0;
        scaleY_ = h > 0 ? ny_ / h : 0.0;
    }

    // Calls visit(cell) for each cell the edge may pass through.
    template <typename Visit>
    void forEachCell(const Edge& e, Visit visit) const {
        forEachCell(e.a.x, e.a.y, e.b.x, e.b.y, visit);
    }
    // The same for the segment from (ax, ay) to (bx, by).
    template <typename Visit>
    void forEachCell(double ax, double ay, double bx, double by, Visit visit) const {
        double y0 = std::min(ay, by), y1 = std::max(ay, by);
        uint32_t r0 = row(y0 - fuzz_), r1 = row(y1 + fuzz_);
        double cellHeight = scaleY_ > 0 ? 1.0 / scaleY_ : 0.0;
        for (uint32_t r = r0; r <= r1; ++r) {
            double lo = r == r0 ? y0 : std::max(y0, box_.minY + r * cellHeight - fuzz_);
            double hi = r == r1 ? y1 : std::min(y1, box_.minY + (r + 1) * cellHeight + fuzz_);
            double xl = std::min(ax, bx), xh = std::max(ax, bx);
            if (ay != by) {
                double slope = (bx - ax) / (by - ay);
                double x0 = ax + (lo - ay) * slope, x1 = ax + (hi - ay) * slope;
                xl = std::max(xl, std::min(x0, x1));
                xh = std::min(xh, std::max(x0, x1));
            }
            for (uint32_t c = column(xl - fuzz_), last = column(xh + fuzz_); c <= last; ++c) visit(size_t(r) * nx_ + c);
        }
    }
    size_t cells() const { return size_t(nx_) * ny_; }
    size_t cellOf(double x, double y) const { return size_t(row(y)) * nx_ + column(x); }

private:
    uint32_t column(double x) const {
        double c = (x - box_.minX) * scaleX_;
        return !(c > 0) ? 0 : c >= nx_ - 1 ? nx_ - 1 : uint32_t(c);
    }
    uint32_t row(double y) const {
        double c = (y - box_.minY) * scaleY_;
        return !(c > 0) ? 0 : c >= ny_ - 1 ? ny_ - 1 : uint32_t(c);
    }

    polygon::Bounds box_;
    uint32_t nx_ = 1, ny_ = 1;
    double scaleX_ = 0, scaleY_ = 0, fuzz_ = 0;
};

// Where two edges that cross properly meet.
void crossingPoint(const Edge& e, const Edge& f, double& x, double& y) {
    double ex = double(e.b.x) - e.a.x, ey = double(e.b.y) - e.a.y, fx = double(f.b.x) - f.a.x, fy = double(f.b.y) - f.a.y;
    double t = ((double(f.a.x) - e.a.x) * fy - (double(f.a.y) - e.a.y) * fx) / (ex * fy - ey * fx);
    x = e.a.x + t * ex;
    y = e.a.y + t * ey;
}

// Edges of no length, or out of the tame range, cross nothing here.
void addEdge(const float* v, uint64_t from, uint64_t to, uint32_t owner, std::vector<Edge>& edges, polygon::Bounds& box) {
    Edge e{polygon::pointAt(v, from), polygon::pointAt(v, to), from, to, owner};
    if (!polygon::PointGrid::isTame(e.a) || !polygon::PointGrid::isTame(e.b)) return;
    if (e.a.x == e.b.x && e.a.y == e.b.y) return;
    box.add(e.a);
    box.add(e.b);
    edges.push_back(e);
}

// Calls met(e, f) for each pair of edges that cross where neither ends, once, in the cell of
// their crossing, until it gives true. False when the edges lie too densely to go through them
// all in time.
template <typename Met>
bool forEachCrossing(const std::vector<Edge>& edges, const polygon::Bounds& box, Met met) {
    if (edges.size() < 2) return true;
    // Past these the edges lie so densely that going through them would take too long.
    const uint64_t entryBudget = 32 * uint64_t(edges.size()) + (uint64_t(1) << 22);
    const uint64_t testBudget = 32 * uint64_t(edges.size()) + (uint64_t(1) << 22);
    EdgeGrid grid(edges, box);
    std::vector<uint32_t> start(grid.cells() + 1, 0);
    uint64_t entries = 0;
    for (const Edge& e : edges) {
        grid.forEachCell(e, [&](size_t cell) {
            ++start[cell + 1];
            ++entries;
        });
        if (entries > entryBudget) return false;
    }
    for (size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
    std::vector<uint32_t> members(entries), fill(start.begin(), start.end() - 1);
    for (uint32_t k = 0; k < edges.size(); ++k) grid.forEachCell(edges[k], [&](size_t cell) { members[fill[cell]++] = k; });
    uint64_t tests = 0;
    for (size_t c = 0; c + 1 < start.size(); ++c) {
        for (uint32_t i = start[c]; i < start[c + 1]; ++i) {
            const Edge& e = edges[members[i]];
            for (uint32_t j = i + 1; j < start[c + 1]; ++j) {
                if (++tests > testBudget) return false;
                const Edge& f = edges[members[j]];
                if (e.from == f.to || e.to == f.from || e.from == f.from || e.to == f.to) continue;
                if (!polygon::crossProperly(e.a, e.b, f.a, f.b)) continue;
                double x, y;
                crossingPoint(e, f, x, y);
                if (grid.cellOf(x, y) == c && met(e, f)) return true;
            }
        }
    }
    return true;
}

void addContours(const float* v, const std::vector<Range>& contours, std::vector<Edge>& edges, polygon::Bounds& box) {
    for (uint32_t c = 0; c < contours.size(); ++c) {
        const Range& r = contours[c];
        for (uint64_t k = r.start; k < r.end(); ++k) addEdge(v, k == r.start ? r.end() - 1 : k - 1, k, c, edges, box);
    }
}

uint32_t rootOf(std::vector<uint32_t>& parent, uint32_t c) {
    while (parent[c] != c) c = parent[c] = parent[parent[c]];
    return c;
}

using ClipperLib::cInt;
using ClipperLib::IntPoint;

int64_t turn(IntPoint a, IntPoint b, IntPoint c) {
    int64_t t = (b.X - a.X) * (c.Y - b.Y) - (b.Y - a.Y) * (c.X - b.X);
    return (t > 0) - (t < 0);
}

// Whether q lies strictly inside the polygon's corner at p (between the edges from a and to b),
// on the side that `sign` (the sign of the polygon's area) makes its inside.
bool insideCorner(IntPoint a, IntPoint p, IntPoint b, IntPoint q, int64_t sign) {
    bool left = sign * turn(p, b, q) > 0, right = sign * turn(a, p, q) > 0;
    return sign * turn(a, p, b) > 0 ? left && right : left || right;
}

// Rounding the crossings to the grid can leave a vertex of one outline a hair across an edge
// of another that it should touch. Such a vertex, within one step of the grid of an edge it
// does not end, becomes a vertex of that edge too, so the two meet exactly there.
void snapVerticesToEdges(ClipperLib::Paths& paths) {
    struct Vertex {
        IntPoint p;
        uint32_t path;
    };
    std::vector<Vertex> vertices;
    cInt x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    for (uint32_t k = 0; k < paths.size(); ++k) {
        for (IntPoint p : paths[k]) {
            if (vertices.empty()) x0 = x1 = p.X, y0 = y1 = p.Y;
            x0 = std::min(x0, p.X), x1 = std::max(x1, p.X), y0 = std::min(y0, p.Y), y1 = std::max(y1, p.Y);
            vertices.push_back(Vertex{p, k});
        }
    }
    if (vertices.empty()) return;
    // Cells about as many as the vertices, each a list in a sorted table.
    cInt side = std::max<cInt>(1, cInt(std::sqrt(double(x1 - x0 + 1) * double(y1 - y0 + 1) / double(vertices.size()))) + 1);
    auto cellKey = [&](cInt x, cInt y) { return uint64_t((x - x0) / side) << 32 | uint64_t((y - y0) / side); };
    std::vector<std::pair<uint64_t, uint32_t>> cells;
    for (uint32_t k = 0; k < vertices.size(); ++k) cells.emplace_back(cellKey(vertices[k].p.X, vertices[k].p.Y), k);
    std::sort(cells.begin(), cells.end());
    for (uint32_t k = 0; k < paths.size(); ++k) {
        ClipperLib::Path& path = paths[k];
        if (path.size() < 3) continue;
        ClipperLib::Path snapped;
        for (size_t e = 0; e < path.size(); ++e) {
            IntPoint a = path[e], b = path[(e + 1) % path.size()];
            snapped.push_back(a);
            double dx = double(b.X - a.X), dy = double(b.Y - a.Y), length2 = dx * dx + dy * dy;
            // (along the edge, vertex) for each vertex to put in.
            std::vector<std::pair<double, IntPoint>> onEdge;
            cInt ex0 = std::max(std::min(a.X, b.X) - 1, x0), ex1 = std::min(std::max(a.X, b.X) + 1, x1);
            cInt ey0 = std::max(std::min(a.Y, b.Y) - 1, y0), ey1 = std::min(std::max(a.Y, b.Y) + 1, y1);
            if (double((ex1 - ex0) / side + 1) * double((ey1 - ey0) / side + 1) > 64) continue; // too long to look along
            for (cInt cx = ex0 - (ex0 - x0) % side; cx <= ex1; cx += side) {
                for (cInt cy = ey0 - (ey0 - y0) % side; cy <= ey1; cy += side) {
                    uint64_t key = cellKey(cx, cy);
                    auto it = std::lower_bound(cells.begin(), cells.end(), std::make_pair(key, uint32_t(0)));
                    for (; it != cells.end() && it->first == key; ++it) {
                        IntPoint q = vertices[it->second].p;
                        if (q == a || q == b) continue;
                        double along = (double(q.X - a.X) * dx + double(q.Y - a.Y) * dy) / length2;
                        double across = double(q.X - a.X) * dy - double(q.Y - a.Y) * dx;
                        if (along > 0 && along < 1 && across * across < length2) onEdge.emplace_back(along, q);
                    }
                }
            }
            std::sort(onEdge.begin(), onEdge.end(), [](const auto& u, const auto& w) { return u.first < w.first; });
            for (const auto& [along, q] : onEdge) {
                if (snapped.back() != q) snapped.push_back(q);
            }
        }
        path = std::move(snapped);
    }
}

// A hole that touches another outline at a vertex makes the solid's bridged polygon meet
// itself there, which ear clipping cannot always take. Each such vertex of a hole moves into
// the hole, to the nearest point of the grid there along the middle of its corner: the hole
// shrinks by a hair, and the outlines no longer touch.
void separateTouchingHoles(ClipperLib::Paths& paths) {
    auto before = [](IntPoint p, IntPoint q) { return p.X < q.X || (p.X == q.X && p.Y < q.Y); };
    std::vector<IntPoint> points;
    for (const ClipperLib::Path& path : paths) points.insert(points.end(), path.begin(), path.end());
    if (points.empty()) return;
    std::sort(points.begin(), points.end(), before);
    auto shared = [&](IntPoint p) {
        auto range = std::equal_range(points.begin(), points.end(), p, before);
        return range.second - range.first > 1;
    };
    // The edges by the cells they pass through, each as its outline and its first vertex, so
    // that a vertex moved counts where it is now. Every coordinate is an integer of about 2^24 at most,
    // so a unit of fuzz covers the rounding of the walk through the cells many times over.
    polygon::Bounds box;
    box.minX = box.maxX = double(points[0].X);
    box.minY = box.maxY = double(points[0].Y);
    for (IntPoint p : points) {
        box.minX = std::min(box.minX, double(p.X)), box.maxX = std::max(box.maxX, double(p.X));
        box.minY = std::min(box.minY, double(p.Y)), box.maxY = std::max(box.maxY, double(p.Y));
    }
    const EdgeGrid grid(points.size(), box, 1.0);
    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> cells(grid.cells());
    auto place = [&](uint32_t k, uint32_t e) {
        const ClipperLib::Path& path = paths[k];
        IntPoint c = path[e], d = path[(e + 1) % path.size()];
        grid.forEachCell(double(c.X), double(c.Y), double(d.X), double(d.Y), [&](size_t cell) { cells[cell].emplace_back(k, e); });
    };
    for (uint32_t k = 0; k < paths.size(); ++k) {
        for (uint32_t e = 0; e < paths[k].size(); ++e) place(k, e);
    }
    // Past this the outlines crowd so many edges into a few cells that the holes are left as
    // they are from there on.
    const uint64_t budget = 64 * uint64_t(points.size()) + (uint64_t(1) << 22);
    uint64_t work = 0;
    // Whether the segment p-q meets an edge of any outline but at p or at an end of that edge
    // shared with the segment.
    auto meetsAnEdge = [&](IntPoint p, IntPoint q) {
        cInt x0 = std::min(p.X, q.X), x1 = std::max(p.X, q.X), y0 = std::min(p.Y, q.Y), y1 = std::max(p.Y, q.Y);
        bool met = false;
        grid.forEachCell(double(p.X), double(p.Y), double(q.X), double(q.Y), [&](size_t cell) {
            ++work;
            for (auto [k, e] : cells[cell]) {
                if (met) return;
                ++work;
                const ClipperLib::Path& other = paths[k];
                IntPoint c = other[e], d = other[(e + 1) % other.size()];
                if (std::max(c.X, d.X) < x0 || std::min(c.X, d.X) > x1 || std::max(c.Y, d.Y) < y0 || std::min(c.Y, d.Y) > y1) continue;
                if (c == p || d == p || c == q || d == q) continue;
                int64_t o1 = turn(p, q, c), o2 = turn(p, q, d), o3 = turn(c, d, p), o4 = turn(c, d, q);
                met = o1 * o2 <= 0 && o3 * o4 <= 0;
            }
        });
        return met;
    };
    for (uint32_t h = 0; h < paths.size() && work <= budget; ++h) {
        ClipperLib::Path& path = paths[h];
        if (path.size() < 3 || ClipperLib::Area(path) >= 0) continue;
        ClipperLib::Path moved = path;
        for (size_t k = 0; k < path.size() && work <= budget; ++k) {
            IntPoint a = path[(k + path.size() - 1) % path.size()], p = path[k], b = path[(k + 1) % path.size()];
            if (!shared(p)) continue;
            // Along the middle of the corner, to the first point of the grid inside it (the
            // corner of a thin hole may need a few steps).
            double ux = double(a.X - p.X), uy = double(a.Y - p.Y), wx = double(b.X - p.X), wy = double(b.Y - p.Y);
            double lu = std::hypot(ux, uy), lw = std::hypot(wx, wy);
            if (!(lu > 0 && lw > 0)) continue;
            double dx = ux / lu + wx / lw, dy = uy / lu + wy / lw;
            // Holes run clockwise here: the inside of a corner turning left is the far side.
            if (turn(a, p, b) > 0) dx = -dx, dy = -dy;
            double ld = std::hypot(dx, dy);
            if (!(ld > 1e-9)) dx = wy / lw, dy = -wx / lw, ld = 1; // straight on: the normal to its inside
            for (int step = 1; step <= 64; ++step) {
                IntPoint q(p.X + cInt(std::llround(step * dx / ld)), p.Y + cInt(std::llround(step * dy / ld)));
                if (q == p || !insideCorner(a, p, b, q, -1)) continue;
                if (!meetsAnEdge(a, q) && !meetsAnEdge(q, b)) moved[k] = q;
                break;
            }
        }
        std::vector<uint32_t> changed;
        for (uint32_t k = 0; k < path.size(); ++k) {
            if (!(moved[k] == path[k])) changed.push_back(k);
        }
        path = std::move(moved);
        // The edges at a moved vertex go into the cells they pass through now as well.
        for (uint32_t k : changed) {
            place(h, k == 0 ? uint32_t(path.size() - 1) : k - 1);
            place(h, k);
        }
    }
}

} // namespace

bool crossesItself(const float* v, const IndexPolygon& polygon) {
    std::vector<Edge> edges;
    polygon::Bounds box;
    for (size_t k = 0; k < polygon.size(); ++k) {
        addEdge(v, polygon[k == 0 ? polygon.size() - 1 : k - 1], polygon[k], 0, edges, box);
    }
    bool crossed = false;
    return !forEachCrossing(edges, box, [&](const Edge&, const Edge&) { return crossed = true; }) || crossed;
}

struct ResolvedOutlines::Paths {
    ClipperLib::Paths paths;
};

ContourCrossings::ContourCrossings(const float* v, const std::vector<Range>& contours, uint64_t limit)
    : contours_(contours), limit_(limit), root_(contours.size()), crossings_(contours.size(), 0) {
    std::vector<Edge> edges;
    polygon::Bounds box;
    addContours(v, contours, edges, box);
    for (uint32_t c = 0; c < root_.size(); ++c) root_[c] = c;
    uint64_t total = 0;
    bool counted = forEachCrossing(edges, box, [&](const Edge& e, const Edge& f) {
        uint32_t x = rootOf(root_, e.owner), y = rootOf(root_, f.owner);
        if (x != y) root_[std::max(x, y)] = std::min(x, y);
        ++crossings_[e.owner];
        return ++total > 4 * limit;
    });
    counted_ = counted && total <= 4 * limit;
    for (uint32_t c = 0; c < root_.size(); ++c) root_[c] = rootOf(root_, c);
}

bool ContourCrossings::join(std::vector<Range>& troubled) const {
    if (!counted_) return false;
    auto startsBefore = [](const Range& x, const Range& y) { return x.start < y.start; };
    auto isTroubled = [&](const Range& r) { return std::binary_search(troubled.begin(), troubled.end(), r, startsBefore); };
    std::vector<char> joined(contours_.size(), 0);
    for (uint32_t c = 0; c < contours_.size(); ++c) {
        if (isTroubled(contours_[c])) joined[root_[c]] = 1;
    }
    uint64_t within = 0;
    for (uint32_t c = 0; c < contours_.size(); ++c) {
        if (!joined[root_[c]]) continue;
        within += crossings_[c];
        if (!isTroubled(contours_[c])) {
            troubled.insert(std::upper_bound(troubled.begin(), troubled.end(), contours_[c], startsBefore), contours_[c]);
        }
    }
    return within <= limit_;
}

bool joinCrossingContours(const float* v, const std::vector<Range>& contours, std::vector<Range>& troubled, uint64_t limit) {
    return ContourCrossings(v, contours, limit).join(troubled);
}

ResolvedOutlines::ResolvedOutlines() : out_(std::make_unique<Paths>()) {}
ResolvedOutlines::~ResolvedOutlines() = default;

bool ResolvedOutlines::make(const float* v, const std::vector<Range>& contours) {
    out_->paths.clear();
    double largest = 0;
    for (const Range& r : contours) {
        for (uint64_t k = r.start; k < r.end(); ++k) {
            Point p = polygon::pointAt(v, k);
            if (!polygon::PointGrid::isTame(p)) return false;
            largest = std::max({largest, double(std::fabs(p.x)), double(std::fabs(p.y))});
        }
    }
    // With 2^(e - 1) <= largest < 2^e, the grid is the spacing of single-precision numbers
    // between those two: the largest points stay where they are, and every coordinate is an
    // integer below 2^24 times the spacing.
    int e = 0;
    std::frexp(largest, &e);
    shift_ = 24 - e;
    ClipperLib::Paths in;
    for (const Range& r : contours) {
        ClipperLib::Path path;
        for (uint64_t k = r.start; k < r.end(); ++k) {
            path.emplace_back(ClipperLib::cInt(std::llround(std::ldexp(double(v[2 * k]), shift_))),
                              ClipperLib::cInt(std::llround(std::ldexp(double(v[2 * k + 1]), shift_))));
        }
        in.push_back(std::move(path));
    }
    // The library reports what it cannot do by throwing; nothing it is given here should.
    try {
        ClipperLib::SimplifyPolygons(in, out_->paths, ClipperLib::pftEvenOdd);
    } catch (const std::exception&) {
        out_->paths.clear();
        return false;
    }
    return true;
}

void ResolvedOutlines::appendTo(Mesh& mesh, std::vector<Range>& resolved, double negligibleArea, bool separateHoles) const {
    ClipperLib::Paths separated;
    if (separateHoles) {
        separated = out_->paths;
        snapVerticesToEdges(separated);
        separateTouchingHoles(separated);
    }
    const ClipperLib::Paths& out = separateHoles ? separated : out_->paths;
    resolved.clear();
    double unitArea = std::ldexp(1.0, -2 * shift_);
    for (const ClipperLib::Path& path : out) {
        if (path.size() < 3 || std::fabs(ClipperLib::Area(path)) * unitArea <= negligibleArea) continue;
        resolved.emplace_back(mesh.vertexCount(), path.size());
        for (const ClipperLib::IntPoint& p : path) {
            mesh.vertices.push_back(float(std::ldexp(double(p.X), -shift_)));
            mesh.vertices.push_back(float(std::ldexp(double(p.Y), -shift_)));
        }
    }
}

bool resolveCrossings(Mesh& mesh, const std::vector<Range>& contours, std::vector<Range>& resolved, double negligibleArea,
                      bool separateHoles) {
    ResolvedOutlines outlines;
    if (!outlines.make(mesh.vertices.data(), contours)) return false;
    outlines.appendTo(mesh, resolved, negligibleArea, separateHoles);
    return true;
}

} // namespace hv
