#include "picture/EarClipperTriangulator.h"

#include "core/Failure.h"
#include "picture/AreaCheck.h"
#include "picture/Path.h"
#include "picture/PolygonMath.h"

#include <algorithm>
#include <string>

namespace hv {

using polygon::Point;

namespace {

// Reused between calls so that clipping a small polygon allocates nothing.
struct ClipScratch {
    std::vector<Point> points;
    std::vector<uint32_t> next;
    std::vector<uint32_t> prev;
    std::vector<char> alive;
    std::vector<char> state;
    std::vector<uint32_t> blocker;
    std::vector<uint32_t> dependentHead;
    std::vector<uint32_t> dependentNext;
    std::vector<uint32_t> dependentPoint;
    std::vector<uint64_t> candidateWords;
    std::vector<uint64_t> candidateSummary;
    polygon::PointGrid grid;
};

// The working state of one polygon being clipped.
//
// The clipper always takes the first ear in list order, an ear being a convex corner whose
// triangle holds none of the other remaining points. Rather than rescanning the list for every
// ear, each point remembers whether it is an ear once that has been worked out. The answer
// only changes when a neighbour is clipped, or when the point found inside its triangle (its
// blocker) is clipped, and then it is forgotten; the points whose answer is "ear" or not known
// sit in a bit set in list order, so the next ear is the first of them that proves to be one.
// Points are looked up through a grid. Every triangle is the one the rescanning clipper emits.
class EarClipPolygon {
public:
    EarClipPolygon(const float* vertices, const IndexPolygon& list);

    // One clipping run in list order, or in reverse order. Fails when no ear is left, having
    // cut `indices` back to its length before the run.
    bool run(bool reversed, std::vector<uint32_t>& indices);

private:
    static constexpr uint32_t none = uint32_t(-1);
    enum State : char { Unknown, Ear, NotEar };
    // Below this size every query scans the remaining points instead of the grid.
    static constexpr uint32_t gridThreshold = 64;

    Point point(uint32_t pos) const { return s_.points[pos]; }
    uint32_t rank(uint32_t pos) const { return reversed_ ? n_ - 1 - pos : pos; }
    uint32_t positionOf(uint32_t r) const { return reversed_ ? n_ - 1 - r : r; }

    void setCandidate(uint32_t pos, bool candidate);
    void forget(uint32_t pos) {
        s_.state[pos] = Unknown;
        setCandidate(pos, true);
    }
    uint32_t nextEar();
    void decide(uint32_t pos);
    uint32_t findBlocker(uint32_t prev, uint32_t pos, uint32_t next) const;
    uint32_t nextEarAllowingCornerCopies() const;
    bool blockedAllowingCornerCopies(uint32_t prev, uint32_t pos, uint32_t next) const;
    bool entersCorner(uint32_t copy, Point corner, Point x, Point y) const;

    ClipScratch& s_;
    const IndexPolygon& list_;
    uint32_t n_;
    bool reversed_ = false;
    bool useGrid_;
    bool allTame_ = true; // no point too far out for the box filters
    uint32_t gridPoints_ = 0; // points in the grid when it was built
    mutable uint64_t deadMet_ = 0; // clipped points the searches met since then
    void buildGrid(bool all);
};

thread_local ClipScratch clipScratch;

EarClipPolygon::EarClipPolygon(const float* vertices, const IndexPolygon& list)
    : s_(clipScratch), list_(list), n_(uint32_t(list.size())), useGrid_(list.size() >= gridThreshold) {
    s_.points.resize(n_);
    for (uint32_t k = 0; k < n_; ++k) {
        s_.points[k] = polygon::pointAt(vertices, list[k]);
        allTame_ = allTame_ && polygon::PointGrid::isTame(s_.points[k]);
    }
    if (useGrid_) buildGrid(true);
}

// Over the points still to be clipped: clipped ones would otherwise be met, and skipped, by
// every later search.
void EarClipPolygon::buildGrid(bool all) {
    const Point gone{NAN, NAN}; // left out of the grid, as points too far out are
    s_.grid.build(n_, [&](uint32_t k) { return all || s_.alive[k] ? s_.points[k] : gone; }, 0.5);
    gridPoints_ = all ? n_ : uint32_t(std::count(s_.alive.begin(), s_.alive.begin() + n_, 1));
    deadMet_ = 0;
}

void EarClipPolygon::setCandidate(uint32_t pos, bool candidate) {
    uint32_t r = rank(pos);
    uint64_t bit = uint64_t(1) << (r & 63);
    uint64_t& word = s_.candidateWords[r >> 6];
    if (candidate) {
        word |= bit;
        s_.candidateSummary[r >> 12] |= uint64_t(1) << ((r >> 6) & 63);
    } else if (word & bit) {
        word &= ~bit;
        if (!word) s_.candidateSummary[r >> 12] &= ~(uint64_t(1) << ((r >> 6) & 63));
    }
}

// The first point in list order that is an ear, working out the ones not known yet on the way.
uint32_t EarClipPolygon::nextEar() {
    for (;;) {
        size_t s = 0;
        while (s < s_.candidateSummary.size() && !s_.candidateSummary[s]) ++s;
        if (s == s_.candidateSummary.size()) return none;
        size_t w = s * 64 + size_t(__builtin_ctzll(s_.candidateSummary[s]));
        uint32_t pos = positionOf(uint32_t(w * 64 + size_t(__builtin_ctzll(s_.candidateWords[w]))));
        if (s_.state[pos] == Unknown) decide(pos);
        if (s_.state[pos] == Ear) return pos;
        setCandidate(pos, false);
    }
}

// A triangle whose corners share their x (or their y) holds no point: every ray crossing of
// its edges is then computed exactly at that x, and a point's crossings come in pairs (or,
// for a shared y, no edge straddles any height). Such slivers come in long fans along
// straight runs, where every point of the run would otherwise be tested.
bool flatAlongAnAxis(Point u, Point v, Point w) {
    return (u.x == v.x && v.x == w.x) || (u.y == v.y && v.y == w.y);
}

// A point of the polygon other than the triangle's corners that lies inside the triangle,
// or none.
uint32_t EarClipPolygon::findBlocker(uint32_t prev, uint32_t pos, uint32_t next) const {
    Point u = point(prev), v = point(pos), w = point(next);
    if (flatAlongAnAxis(u, v, w)) return none;
    if (!allTame_) {
        polygon::Bounds box;
        box.add(u);
        box.add(v);
        box.add(w);
        if (!box.tame) {
            for (uint32_t j = s_.next[next]; j != prev; j = s_.next[j]) {
                if (polygon::pointInTriangle(point(j), u, v, w)) return j;
            }
            return none;
        }
    }
    // A tame triangle holds no point outside its box widened by the slack, nor a point
    // outside the grid's range.
    float minX = std::min(u.x, std::min(v.x, w.x)), maxX = std::max(u.x, std::max(v.x, w.x));
    float minY = std::min(u.y, std::min(v.y, w.y)), maxY = std::max(u.y, std::max(v.y, w.y));
    double s = polygon::slackFor(minX, maxX);
    double x0 = minX - s, x1 = maxX + s;
    auto inside = [&](Point p) {
        return p.y > minY && p.y <= maxY && p.x >= x0 && p.x <= x1 && polygon::pointInTriangle(p, u, v, w);
    };
    if (useGrid_) {
        // Plain pointers and a local count: the visit would otherwise reload them through the
        // scratch for every point it meets.
        const char* alive = s_.alive.data();
        const Point* points = s_.points.data();
        uint64_t dead = 0;
        uint32_t found = none;
        s_.grid.anyNearTriangle(u, v, w, s, [&](uint32_t j) {
            if (!alive[j]) {
                ++dead;
                return false;
            }
            if (j == prev || j == pos || j == next || !inside(points[j])) return false;
            found = j;
            return true;
        });
        deadMet_ += dead;
        return found;
    }
    for (uint32_t j = s_.next[next]; j != prev; j = s_.next[j]) {
        if (inside(point(j))) return j;
    }
    return none;
}

// Whether an edge of the point `copy`, which sits exactly on the triangle corner `corner`,
// leaves it into the triangle, whose other corners are x and y.
bool EarClipPolygon::entersCorner(uint32_t copy, Point corner, Point x, Point y) const {
    int turn = polygon::orientSign(corner, x, y);
    if (turn == 0) return false;
    for (uint32_t n : {s_.prev[copy], s_.next[copy]}) {
        Point to = point(n);
        if (polygon::orientSign(corner, x, to) == turn && polygon::orientSign(corner, to, y) == turn) return true;
    }
    return false;
}

// The ear test once no ear is left, for polygons that stall only on duplicated vertices such
// as the ends of hole bridges. A point lying exactly on a corner of the candidate triangle is
// a copy of that corner; by the half-open rule it may count as inside, and when every
// remaining ear has such a copy the clipper stalls on a sound polygon. Here a copy counts only
// when one of its own edges runs into the triangle; other points are tested as always.
bool EarClipPolygon::blockedAllowingCornerCopies(uint32_t prev, uint32_t pos, uint32_t next) const {
    Point u = point(prev), v = point(pos), w = point(next);
    if (flatAlongAnAxis(u, v, w)) return false;
    auto same = [](Point a, Point b) { return a.x == b.x && a.y == b.y; };
    auto blocks = [&](uint32_t j) {
        if (j == prev || j == pos || j == next) return false;
        Point p = point(j);
        if (same(p, u)) return entersCorner(j, u, v, w);
        if (same(p, v)) return entersCorner(j, v, w, u);
        if (same(p, w)) return entersCorner(j, w, u, v);
        return polygon::pointInTriangle(p, u, v, w);
    };
    polygon::Bounds box;
    box.add(u);
    box.add(v);
    box.add(w);
    if (useGrid_ && box.tame) {
        double s = box.slack();
        return s_.grid.anyNearTriangle(u, v, w, s, [&](uint32_t j) { return s_.alive[j] && blocks(j); });
    }
    for (uint32_t j = s_.next[next]; j != prev; j = s_.next[j]) {
        if (blocks(j)) return true;
    }
    return false;
}

// Called when no ear is left, so every remaining point is known not to be one. A point whose
// blocker is not a copy of one of its corners stays blocked here too, and reflex points have
// no blocker; only the rest need a second look.
uint32_t EarClipPolygon::nextEarAllowingCornerCopies() const {
    auto same = [](Point a, Point b) { return a.x == b.x && a.y == b.y; };
    for (uint32_t r = 0; r < n_; ++r) {
        uint32_t pos = positionOf(r);
        uint32_t b = s_.blocker[pos];
        if (!s_.alive[pos] || b == none) continue;
        uint32_t p = s_.prev[pos], q = s_.next[pos];
        Point c = point(b);
        if (!same(c, point(p)) && !same(c, point(pos)) && !same(c, point(q))) continue;
        if (!blockedAllowingCornerCopies(p, pos, q)) return pos;
    }
    return none;
}

void EarClipPolygon::decide(uint32_t pos) {
    uint32_t p = s_.prev[pos], q = s_.next[pos];
    s_.blocker[pos] = none;
    if (!(polygon::turnCross(point(p), point(pos), point(q)) >= 0)) {
        s_.state[pos] = NotEar;
        return;
    }
    uint32_t b = findBlocker(p, pos, q);
    if (b == none) {
        s_.state[pos] = Ear;
        return;
    }
    s_.state[pos] = NotEar;
    s_.blocker[pos] = b;
    s_.dependentNext.push_back(s_.dependentHead[b]);
    s_.dependentPoint.push_back(pos);
    s_.dependentHead[b] = uint32_t(s_.dependentPoint.size() - 1);
}

bool EarClipPolygon::run(bool reversed, std::vector<uint32_t>& indices) {
    size_t mark = indices.size();
    if (n_ < 3) return true;
    reversed_ = reversed;
    s_.next.resize(n_);
    s_.prev.resize(n_);
    for (uint32_t k = 0; k < n_; ++k) {
        uint32_t after = k + 1 == n_ ? 0 : k + 1;
        uint32_t before = k == 0 ? n_ - 1 : k - 1;
        s_.next[k] = reversed ? before : after;
        s_.prev[k] = reversed ? after : before;
    }
    s_.alive.assign(n_, 1);
    if (useGrid_ && gridPoints_ != n_) buildGrid(true);
    s_.state.assign(n_, Unknown);
    s_.blocker.assign(n_, none);
    s_.dependentHead.assign(n_, none);
    s_.dependentNext.clear();
    s_.dependentPoint.clear();
    // Every point starts as a candidate whose answer is not known.
    size_t words = (n_ + 63) / 64;
    s_.candidateWords.assign(words, ~uint64_t(0));
    if (n_ % 64) s_.candidateWords.back() = (uint64_t(1) << (n_ % 64)) - 1;
    s_.candidateSummary.assign((words + 63) / 64, ~uint64_t(0));
    if (words % 64) s_.candidateSummary.back() = (uint64_t(1) << (words % 64)) - 1;

    uint32_t left = n_;
    uint32_t some = 0;
    while (left > 3) {
        uint32_t pos = nextEar();
        if (pos == none) pos = nextEarAllowingCornerCopies();
        if (pos == none) {
            indices.resize(mark);
            return false;
        }
        uint32_t p = s_.prev[pos], q = s_.next[pos];
        indices.push_back(list_[p]);
        indices.push_back(list_[pos]);
        indices.push_back(list_[q]);
        s_.alive[pos] = 0;
        setCandidate(pos, false);
        s_.next[p] = q;
        s_.prev[q] = p;
        --left;
        // Once searches keep meeting clipped points, the grid is rebuilt over the live ones.
        if (useGrid_ && deadMet_ > 16 * uint64_t(gridPoints_) + 1024 && 2 * left < gridPoints_ && left >= gridThreshold) {
            buildGrid(false);
        }
        some = p;
        forget(p);
        forget(q);
        // Points this one was blocking may have become ears.
        for (uint32_t e = s_.dependentHead[pos]; e != none; e = s_.dependentNext[e]) {
            uint32_t d = s_.dependentPoint[e];
            if (s_.alive[d] && s_.blocker[d] == pos && s_.state[d] == NotEar) forget(d);
        }
    }
    // The last three in list order; a clockwise last triangle is turned round.
    uint32_t t[3] = {some, s_.next[some], s_.next[s_.next[some]]};
    std::sort(t, t + 3, [&](uint32_t a, uint32_t b) { return rank(a) < rank(b); });
    if (polygon::turnCross(point(t[0]), point(t[1]), point(t[2])) < 0) std::swap(t[0], t[2]);
    indices.push_back(list_[t[0]]);
    indices.push_back(list_[t[1]]);
    indices.push_back(list_[t[2]]);
    return true;
}

// A hole that shares an edge or a vertex with its outer ring can leave the bridged outline
// overlapping itself, so that the solid fails to clip. It is then drawn once more without
// such holes, as if they had not been there, and the line says how many were left out.
bool withoutTouchingHoles(const PathLeaf& solid, Mesh& mesh, double negligible, ContourCount& counted) {
    if (solid.children.empty()) return false;
    std::vector<char> touching = solid.touchingHoles();
    size_t count = size_t(std::count(touching.begin(), touching.end(), 1));
    if (count == 0) return false;
    counted.leftOut += count;
    writeFailureLine("EarClipperTriangulator::triangulate: " + std::to_string(count) + " of " +
                     std::to_string(touching.size()) + " holes left out (they touch their outer ring)");
    IndexPolygon polygon;
    return solid.bridgedPolygon(polygon, &touching) &&
           EarClipperTriangulator::triangulatePolygon(mesh.vertices, polygon, mesh.indices, negligible);
}

} // namespace

bool EarClipperTriangulator::init(const std::shared_ptr<Mesh>& mesh) {
    root = std::make_shared<PathLeaf>();
    root->init(mesh);
    return true;
}

std::shared_ptr<Mesh> EarClipperTriangulator::mesh() const { return root ? root->mesh : nullptr; }

bool EarClipperTriangulator::triangulatePolygon(const std::vector<float>& vertices, const IndexPolygon& polygon,
                                                std::vector<uint32_t>& indices, double negligibleArea) {
    if (polygon.size() < 3) return true;
    size_t first = indices.size();
    EarClipPolygon state(vertices.data(), polygon);
    // Clipped as written, a clockwise polygon takes its reflex corners for ears and can come
    // out whole with triangles outside the shape; so it is turned round first.
    bool clockwise = polygon::signedArea2(vertices.data(), polygon) < 0;
    if (!state.run(clockwise, indices) && !state.run(!clockwise, indices)) {
        return failure("EarClipperTriangulator::triangulatePolygon: no ear left to clip in a polygon of " +
                       std::to_string(polygon.size()) + " points");
    }
    // A polygon that is not simple can still run out of ears cleanly, with triangles that
    // overlap or stray outside it.
    if (trianglesCoverPolygon(vertices, polygon, indices, first, negligibleArea)) return true;
    indices.resize(first);
    return false;
}

std::pair<Range, bool> EarClipperTriangulator::triangulate(const Path& path, double tolerance, ContourCount* contours) {
    if (!root) init();
    uint64_t firstVertex = root->mesh->vertexCount();
    ContourCount counted = root->dumpPathIntoLeaf(path, tolerance);
    if (contours) *contours = counted;
    ContourCount unused;
    ContourCount& reported = contours ? *contours : unused;
    Mesh& mesh = *root->mesh;
    Range range(mesh.indices.size(), 0);
    // Kept between calls with the memory of their polygons.
    thread_local std::vector<IndexPolygon> polygons;
    thread_local std::vector<const PathLeaf*> solids;
    size_t count = 0;
    solids.clear();
    // A solid that could not be bridged is already left out; the rest is still drawn.
    bool whole = root->subtractedIndicesInto(polygons, count, &solids);
    if (!whole) writeFailureLine("  Failed to get subtracted indices");
    size_t triangles = 0;
    for (size_t k = 0; k < count; ++k) triangles += polygons[k].size() > 2 ? polygons[k].size() - 2 : 0;
    mesh.indices.reserve(mesh.indices.size() + 3 * triangles);
    double negligible = negligibleAreaOf(mesh.vertices, firstVertex);
    // A polygon that cannot be clipped is left out on its own: the parser lists a path's last
    // subpath first, so stopping there would lose every larger, sound one after it.
    for (size_t k = 0; k < count; ++k) {
        if (triangulatePolygon(mesh.vertices, polygons[k], mesh.indices, negligible)) continue;
        whole = withoutTouchingHoles(*solids[k], mesh, negligible, reported) && whole;
    }
    if (!whole) return {Range(range.start, 0), false};
    range.count = mesh.indices.size() - range.start;
    return {range, true};
}

} // namespace hv
