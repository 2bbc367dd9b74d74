// The contour tree: paths flattened into nested contours, and each solid's index polygon.
#include "picture/PathLeaf.h"

#include "core/Failure.h"
#include "picture/Path.h"
#include "picture/PathLeafNesting.h"
#include "picture/PolygonMath.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace hv {

using polygon::Point;

uint32_t curveSegmentCount(double chordLength, double tolerance) {
    double q = std::fabs(chordLength / tolerance);
    // Also catches an undefined quotient (a zero chord over a zero tolerance, or NaN input).
    if (!(q >= 3.0)) return 3;
    if (q >= double(maxCurveSegments)) return maxCurveSegments;
    return uint32_t(q);
}

namespace {

bool fewerThanThreeDistinctPoints(const float* vertices, const Range& range) {
    if (range.count < 3) return true;
    Point first = polygon::pointAt(vertices, range.start);
    uint64_t k = range.start + 1;
    Point second{};
    for (; k < range.end(); ++k) {
        second = polygon::pointAt(vertices, k);
        if (second.x != first.x || second.y != first.y) break;
    }
    for (++k; k < range.end(); ++k) {
        Point p = polygon::pointAt(vertices, k);
        if ((p.x != first.x || p.y != first.y) && (p.x != second.x || p.y != second.y)) return false;
    }
    return true;
}

// A vertex of one ring that lies inside an edge of another, at neither end.
struct Touch {
    size_t edge;    // the edge from ring[edge] to the next entry
    double along;   // how far along it, 0 to 1
    uint32_t vertex;
};

// A grid over some rings' vertices, to find those on an edge.
struct VertexGrid {
    VertexGrid(const float* v, std::vector<uint32_t> ids) : vertices(v), ids(std::move(ids)) {
        grid.build(uint32_t(this->ids.size()), [&](uint32_t id) { return polygon::pointAt(v, this->ids[id]); }, 1.0);
    }
    const float* vertices;
    std::vector<uint32_t> ids;
    polygon::PointGrid grid;
};

// The vertices in the grid that lie exactly inside edges of the tame `ring`, in ring order and
// along each edge. The grid leaves out points outside the tame range: their predicates are not
// exact.
std::vector<Touch> touchesOn(const IndexPolygon& ring, const VertexGrid& others) {
    std::vector<Touch> touches;
    size_t n = ring.size();
    if (n < 2 || others.ids.empty()) return touches;
    const float* v = others.vertices;
    for (size_t k = 0; k < n; ++k) {
        Point a = polygon::pointAt(v, ring[k]), b = polygon::pointAt(v, ring[k + 1 == n ? 0 : k + 1]);
        size_t first = touches.size();
        others.grid.anyInBox(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y), [&](uint32_t id) {
            uint32_t vertex = others.ids[id];
            Point p = polygon::pointAt(v, vertex);
            if ((p.x == a.x && p.y == a.y) || (p.x == b.x && p.y == b.y) || !liesOnEdge(p, a, b)) return false;
            double along = std::fabs(b.x - a.x) >= std::fabs(b.y - a.y) ? (double(p.x) - a.x) / (double(b.x) - a.x)
                                                                        : (double(p.y) - a.y) / (double(b.y) - a.y);
            touches.push_back(Touch{k, along, vertex});
            return false;
        });
        // The grid visits in its own order; ties along the edge go by vertex number.
        std::sort(touches.begin() + std::ptrdiff_t(first), touches.end(), [](const Touch& x, const Touch& y) {
            return x.along != y.along ? x.along < y.along : x.vertex < y.vertex;
        });
    }
    return touches;
}

// Puts the touching vertices into the ring, each point once per edge.
void insertTouches(const float* v, IndexPolygon& ring, const std::vector<Touch>& touches) {
    if (touches.empty()) return;
    IndexPolygon joined;
    joined.reserve(ring.size() + touches.size());
    size_t t = 0;
    for (size_t k = 0; k < ring.size(); ++k) {
        joined.push_back(ring[k]);
        for (; t < touches.size() && touches[t].edge == k; ++t) {
            Point p = polygon::pointAt(v, touches[t].vertex), last = polygon::pointAt(v, joined.back());
            if (p.x != last.x || p.y != last.y) joined.push_back(touches[t].vertex);
        }
    }
    ring = std::move(joined);
}

} // namespace

void joinTouchingPoints(const float* vertices, IndexPolygon& outer, std::vector<IndexPolygon>& holes) {
    if (holes.empty()) return;
    // As in the nesting, a ring with a point out of the tame range is taken as touching nothing.
    for (uint32_t k : outer) {
        if (!polygon::PointGrid::isTame(polygon::pointAt(vertices, k))) return;
    }
    std::vector<uint32_t> holeVertices;
    for (const IndexPolygon& hole : holes) holeVertices.insert(holeVertices.end(), hole.begin(), hole.end());
    insertTouches(vertices, outer, touchesOn(outer, VertexGrid(vertices, std::move(holeVertices))));
}

std::vector<char> holesTouchingRing(const float* vertices, const IndexPolygon& outer,
                                    const std::vector<IndexPolygon>& holes) {
    std::vector<char> touching(holes.size(), 0);
    auto tame = [&](const IndexPolygon& ring) {
        return std::all_of(ring.begin(), ring.end(),
                           [&](uint32_t k) { return polygon::PointGrid::isTame(polygon::pointAt(vertices, k)); });
    };
    if (outer.empty() || !tame(outer)) return touching;
    std::vector<char> tameHole(holes.size());
    std::vector<uint32_t> holeVertices, ownerOf;
    for (size_t h = 0; h < holes.size(); ++h) {
        tameHole[h] = tame(holes[h]);
        if (!tameHole[h]) continue;
        holeVertices.insert(holeVertices.end(), holes[h].begin(), holes[h].end());
        ownerOf.insert(ownerOf.end(), holes[h].size(), uint32_t(h));
    }
    // Calls onEdge(id, a, b) for the grid's points in the box of each edge (a, b) of the ring,
    // until it gives true.
    auto edges = [&](const IndexPolygon& ring, const VertexGrid& grid, auto onEdge) {
        for (size_t k = 0; k < ring.size(); ++k) {
            Point a = polygon::pointAt(vertices, ring[k]);
            Point b = polygon::pointAt(vertices, ring[k + 1 == ring.size() ? 0 : k + 1]);
            bool stop = grid.grid.anyInBox(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y),
                                           [&](uint32_t id) { return onEdge(id, a, b); });
            if (stop) return;
        }
    };
    // Hole vertices on the outer ring.
    VertexGrid holePoints(vertices, holeVertices);
    edges(outer, holePoints, [&](uint32_t id, Point a, Point b) {
        char& mark = touching[ownerOf[id]];
        if (!mark && liesOnEdge(polygon::pointAt(vertices, holePoints.ids[id]), a, b)) mark = 1;
        return false;
    });
    // Outer vertices on the holes.
    VertexGrid outerPoints(vertices, outer);
    for (size_t h = 0; h < holes.size(); ++h) {
        if (touching[h] || !tameHole[h]) continue;
        edges(holes[h], outerPoints, [&](uint32_t id, Point a, Point b) {
            return touching[h] = liesOnEdge(polygon::pointAt(vertices, outerPoints.ids[id]), a, b);
        });
    }
    return touching;
}

PathLeaf::~PathLeaf() {
    if (children.empty()) return;
    // Each leaf taken off the list hands its children to the list first, so it is destroyed
    // with no grandchildren below it.
    std::vector<PathLeaf> pending = std::move(children);
    while (!pending.empty()) {
        PathLeaf leaf = std::move(pending.back());
        pending.pop_back();
        for (PathLeaf& child : leaf.children) pending.push_back(std::move(child));
        leaf.children.clear();
    }
}

// Growing the list must move leaves, never copy them (a copy recurses as deep as the tree).
static_assert(std::is_nothrow_move_constructible_v<PathLeaf>);

void PathLeaf::init(const std::shared_ptr<Mesh>& givenMesh) {
    mesh = givenMesh ? givenMesh : std::make_shared<Mesh>();
    range = Range(0, 0);
}

ContourCount PathLeaf::dumpPathIntoLeaf(const Path& path, double tolerance) {
    // Kept between calls, like the nester below, so a small path allocates nothing here.
    thread_local std::vector<Range> ranges;
    flattenPath(path, tolerance, ranges);
    return nestRanges(ranges);
}

void PathLeaf::flattenPath(const Path& path, double tolerance, std::vector<Range>& ranges) {
    std::vector<float>& vertices = mesh->vertices;
    vertices.reserve(vertices.size() + 2 * path.commands.size());
    ranges.clear();
    ranges.emplace_back(mesh->vertexCount(), 0);
    // Curves start from this path's last point; a curve before any point starts from the origin
    // rather than from whatever another path left in the shared mesh.
    bool havePoint = false;
    auto append = [&](const Vec2& p) {
        vertices.push_back(float(p.x));
        vertices.push_back(float(p.y));
        havePoint = true;
    };
    for (const PathCommand& command : path.commands) {
        switch (command.type) {
        case PathCommand::Move: {
            uint64_t count = mesh->vertexCount();
            if (ranges.back().start != count) {
                ranges.back().count = count - ranges.back().start;
                ranges.emplace_back(count, 0);
            }
            append(command.points[0]);
            break;
        }
        case PathCommand::Line:
            append(command.points[0]);
            break;
        case PathCommand::Quadratic:
        case PathCommand::Cubic: {
            Vec2 start;
            if (havePoint) start = Vec2(vertices[vertices.size() - 2], vertices[vertices.size() - 1]);
            PathSegment segment(start, command);
            uint32_t n = curveSegmentCount(segment.chordLength(), tolerance);
            for (uint32_t i = 1; i <= n; ++i) append(segment.pointAt(double(i) / n));
            break;
        }
        default:
            break;
        }
    }
    ranges.back().count = mesh->vertexCount() - ranges.back().start;
}

ContourCount PathLeaf::nestRanges(const std::vector<Range>& ranges, std::vector<Range>* troubled) {
    children.clear();
    const float* vertices = mesh->vertices.data();
    ContourCount contours;
    for (const Range& range : ranges) contours.total += range.count > 0;
    thread_local ContourNester nester;
    nester.reset(mesh);
    for (const Range& range : ranges) {
        // No area to fill, and as a hole it would be bridged into a spike.
        if (fewerThanThreeDistinctPoints(vertices, range)) continue;
        PathLeaf leaf;
        leaf.mesh = mesh;
        leaf.range = range;
        // A contour that crosses another is left out alone: the parser lists a path's last
        // subpath first, so stopping here would lose the outer ring of a flaw inside it.
        if (!nester.add(*this, std::move(leaf))) {
            writeFailureLine("PathLeaf::dumpPathIntoLeaf: Unable to add range");
            ++contours.dropped;
            if (troubled) {
                troubled->push_back(range);
                troubled->insert(troubled->end(), nester.conflicts().begin(), nester.conflicts().end());
            }
        }
    }
    return contours;
}

bool PathLeaf::addRange(PathLeaf leaf) {
    ContourNester nester(mesh);
    return nester.add(*this, std::move(leaf));
}

IndexPolygon PathLeaf::cleanedIndexPolygon() const {
    IndexPolygon list;
    cleanedIndexPolygon(list);
    return list;
}

void PathLeaf::cleanedIndexPolygon(IndexPolygon& list) const {
    list.clear();
    list.reserve(range.count);
    const float* v = mesh->vertices.data();
    // Dropping an entry equal to its successor is the same as keeping each run's last entry.
    for (uint64_t k = range.start; k < range.end(); ++k) {
        if (k + 1 < range.end() && v[2 * k] == v[2 * k + 2] && v[2 * k + 1] == v[2 * k + 3]) continue;
        list.push_back(uint32_t(k));
    }
    auto same = [&](uint32_t a, uint32_t b) { return v[2 * a] == v[2 * b] && v[2 * a + 1] == v[2 * b + 1]; };
    while (list.size() > 2 && same(list.front(), list.back())) list.pop_back();
}

bool PathLeaf::bridgedPolygon(IndexPolygon& out, const std::vector<char>* leaveOut) const {
    cleanedIndexPolygon(out);
    if (children.empty()) return true;
    // Kept between calls with the memory of its polygons.
    thread_local std::vector<IndexPolygon> holes;
    size_t kept = 0;
    for (size_t k = 0; k < children.size(); ++k) kept += !(leaveOut && (*leaveOut)[k]);
    holes.resize(kept);
    // Holes whose vertices all stay off the boundary cannot add a point to it.
    bool touching = false;
    for (size_t k = 0, h = 0; k < children.size(); ++k) {
        if (leaveOut && (*leaveOut)[k]) continue;
        children[k].cleanedIndexPolygon(holes[h++]);
        touching = touching || children[k].touchesParent;
    }
    if (touching) joinTouchingPoints(mesh->vertices.data(), out, holes);
    return subtractPolygons(*this, out, holes);
}

std::vector<char> PathLeaf::touchingHoles() const {
    std::vector<IndexPolygon> holes;
    for (const PathLeaf& hole : children) holes.push_back(hole.cleanedIndexPolygon());
    return holesTouchingRing(mesh->vertices.data(), cleanedIndexPolygon(), holes);
}

bool PathLeaf::getSubtractedIndices(std::vector<IndexPolygon>& out, std::vector<const PathLeaf*>* solidOf) const {
    size_t count = out.size();
    bool done = subtractedIndicesInto(out, count, solidOf);
    out.resize(count);
    return done;
}

bool PathLeaf::subtractedIndicesInto(std::vector<IndexPolygon>& out, size_t& count,
                                     std::vector<const PathLeaf*>* solidOf,
                                     std::vector<const PathLeaf*>* unbridged,
                                     const std::function<bool(const PathLeaf&)>& known) const {
    // Solids in depth-first order: a solid, then the solids inside each of its holes.
    thread_local std::vector<const PathLeaf*> solids;
    solids.clear();
    for (auto s = children.rbegin(); s != children.rend(); ++s) solids.push_back(&*s);
    // A solid whose holes cannot be bridged is left out alone: the others, and the solids
    // inside its holes, are still made.
    bool whole = true;
    while (!solids.empty()) {
        const PathLeaf* solid = solids.back();
        solids.pop_back();
        if (count == out.size()) out.emplace_back();
        if (known && known(*solid)) {
            out[count++].clear();
            if (solidOf) solidOf->push_back(solid);
        } else if (solid->bridgedPolygon(out[count])) {
            ++count;
            if (solidOf) solidOf->push_back(solid);
        } else {
            writeFailureLine("  subtractPolygons failed");
            whole = false;
            if (unbridged) unbridged->push_back(solid);
        }
        for (auto hole = solid->children.rbegin(); hole != solid->children.rend(); ++hole) {
            for (auto inner = hole->children.rbegin(); inner != hole->children.rend(); ++inner) {
                solids.push_back(&*inner);
            }
        }
    }
    return whole;
}

} // namespace hv
