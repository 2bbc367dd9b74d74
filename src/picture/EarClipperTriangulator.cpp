#include "picture/EarClipperTriangulator.h"

#include "core/Failure.h"
#include "picture/AreaCheck.h"
#include "picture/ContourResolution.h"
#include "picture/EarClipping.h"
#include "picture/Path.h"
#include "picture/PolygonMath.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <sstream>
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
    // A careful clipper judges every ear as the plain one judges them once it has stalled:
    // a copy of a triangle's corner blocks it only where one of its edges runs into it.
    EarClipPolygon(const float* vertices, const IndexPolygon& list, bool careful = false);

    // One clipping run in list order, or in reverse order. Fails when no ear is left, or when
    // the search for ears has cost more than a sound polygon of this size ever needs, having
    // cut `indices` back to its length before the run.
    bool run(bool reversed, std::vector<uint32_t>& indices);
    bool tooSlow() const { return tooSlow_; }
    // Points the last run looked at.
    uint64_t work() const { return work_; }

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
    uint32_t cornerCopyBlocker(uint32_t prev, uint32_t pos, uint32_t next) const;
    bool entersCorner(uint32_t copy, Point corner, Point x, Point y) const;

    ClipScratch& s_;
    const IndexPolygon& list_;
    uint32_t n_;
    bool reversed_ = false;
    bool useGrid_;
    bool allTame_ = true; // no point too far out for the box filters
    uint32_t gridPoints_ = 0; // points in the grid when it was built
    mutable uint64_t deadMet_ = 0; // clipped points the searches met since then
    // Points looked at in this run. Sound polygons stay far below the budget; a polygon whose
    // points pile up on a few spots (crossings everywhere) would otherwise cost its size squared.
    mutable uint64_t work_ = 0;
    uint64_t budget_;
    bool tooSlow_ = false;
    bool careful_;
    void buildGrid(bool all);
};

thread_local ClipScratch clipScratch;

EarClipPolygon::EarClipPolygon(const float* vertices, const IndexPolygon& list, bool careful)
    : s_(clipScratch), list_(list), n_(uint32_t(list.size())), useGrid_(list.size() >= gridThreshold),
      budget_(clipping::workBudget(list.size())), careful_(careful) {
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
    if (careful_) return cornerCopyBlocker(prev, pos, next);
    Point u = point(prev), v = point(pos), w = point(next);
    if (flatAlongAnAxis(u, v, w)) return none;
    if (!allTame_) {
        polygon::Bounds box;
        box.add(u);
        box.add(v);
        box.add(w);
        if (!box.tame) {
            for (uint32_t j = s_.next[next]; j != prev; j = s_.next[j]) {
                ++work_;
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
        uint64_t dead = 0, met = 0;
        uint32_t found = none;
        s_.grid.anyNearTriangle(u, v, w, s, [&](uint32_t j) {
            ++met;
            if (!alive[j]) {
                ++dead;
                return false;
            }
            if (j == prev || j == pos || j == next || !inside(points[j])) return false;
            found = j;
            return true;
        });
        deadMet_ += dead;
        work_ += met;
        return found;
    }
    for (uint32_t j = s_.next[next]; j != prev; j = s_.next[j]) {
        ++work_;
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
// when one of its own edges runs into the triangle; other points are tested as always. Gives
// the point that blocks the ear, or none.
uint32_t EarClipPolygon::cornerCopyBlocker(uint32_t prev, uint32_t pos, uint32_t next) const {
    Point u = point(prev), v = point(pos), w = point(next);
    if (flatAlongAnAxis(u, v, w)) return none;
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
    uint32_t found = none;
    if (useGrid_ && box.tame) {
        double s = box.slack();
        s_.grid.anyNearTriangle(u, v, w, s, [&](uint32_t j) {
            ++work_;
            if (!s_.alive[j] || !blocks(j)) return false;
            found = j;
            return true;
        });
        return found;
    }
    for (uint32_t j = s_.next[next]; j != prev; j = s_.next[j]) {
        ++work_;
        if (blocks(j)) return j;
    }
    return none;
}

// Called when no ear is left, so every remaining point is known not to be one. A point whose
// blocker is not a copy of one of its corners stays blocked here too, and reflex points have
// no blocker; only the rest need a second look.
uint32_t EarClipPolygon::nextEarAllowingCornerCopies() const {
    auto same = [](Point a, Point b) { return a.x == b.x && a.y == b.y; };
    work_ += n_;
    for (uint32_t r = 0; r < n_; ++r) {
        uint32_t pos = positionOf(r);
        uint32_t b = s_.blocker[pos];
        if (!s_.alive[pos] || b == none) continue;
        uint32_t p = s_.prev[pos], q = s_.next[pos];
        Point c = point(b);
        if (!same(c, point(p)) && !same(c, point(pos)) && !same(c, point(q))) continue;
        if (cornerCopyBlocker(p, pos, q) == none) return pos;
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
    work_ = 0;
    tooSlow_ = false;
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
        tooSlow_ = work_ > budget_;
        if (pos == none || tooSlow_) {
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
bool withoutTouchingHoles(const PathLeaf& solid, Mesh& mesh, double negligible, bool resolved, ContourCount& counted) {
    if (solid.children.empty()) return false;
    std::vector<char> touching = solid.touchingHoles();
    size_t count = size_t(std::count(touching.begin(), touching.end(), 1));
    if (count == 0) return false;
    counted.leftOut += count;
    writeFailureLine("EarClipperTriangulator::triangulate: " + std::to_string(count) + " of " +
                     std::to_string(touching.size()) + " holes left out (they touch their outer ring)");
    IndexPolygon polygon;
    return solid.bridgedPolygon(polygon, &touching) &&
           clipping::clipPolygon(mesh.vertices, polygon, mesh.indices, negligible, resolved);
}

// One way through nesting, bridging and clipping for a list of contours, and what failed.
struct Attempt {
    ContourCount counted;
    bool made = true;            // false when it stopped at a refused contour, before bridging
    bool whole = true;
    uint64_t failed = 0;         // solids not bridged or not clipped
    std::vector<Range> troubled; // the contours of what failed
    double drawn = 0;            // the area its triangles cover, once measured
    bool clean() const { return whole && counted.dropped == 0 && counted.leftOut == 0; }
    uint64_t faults() const { return counted.dropped + counted.leftOut + failed; }
    // A clean attempt wins; otherwise one with fewer faults that draws as much. (A failed
    // polygon draws nothing, so the area tells how much of the path each one lost.)
    bool betterThan(const Attempt& o) const {
        if (clean() != o.clean()) return clean();
        return faults() < o.faults() && drawn >= 0.99 * o.drawn;
    }
};

double areaDrawn(const Mesh& mesh, size_t first) { return trianglesArea(mesh.vertices, mesh.indices, first); }

void addSolid(std::vector<Range>& troubled, const PathLeaf& solid) {
    troubled.push_back(solid.range);
    for (const PathLeaf& hole : solid.children) troubled.push_back(hole.range);
}

// A solid that an attempt drew at once: where its triangles went.
struct DrawnSolid {
    const PathLeaf* solid;
    size_t begin, end; // in the mesh's indices
};

// The solids the first attempt drew, by their contours, so that an attempt after it takes
// their triangles instead of bridging and clipping them again.
class KnownSolids {
public:
    KnownSolids(const std::vector<DrawnSolid>& drawn, const std::vector<uint32_t>& indices) {
        for (const DrawnSolid& d : drawn) {
            Entry e{d.solid->range, {}, {indices.begin() + std::ptrdiff_t(d.begin), indices.begin() + std::ptrdiff_t(d.end)}};
            for (const PathLeaf& hole : d.solid->children) e.holes.push_back(hole.range);
            entries_.push_back(std::move(e));
        }
        std::sort(entries_.begin(), entries_.end(), [](const Entry& x, const Entry& y) { return x.range.start < y.range.start; });
    }
    // The triangles of a solid with the same contour and the same holes, in the same order.
    const std::vector<uint32_t>* find(const PathLeaf& solid) const {
        auto at = std::lower_bound(entries_.begin(), entries_.end(), solid.range.start,
                                   [](const Entry& e, uint64_t start) { return e.range.start < start; });
        if (at == entries_.end() || !(at->range == solid.range) || at->holes.size() != solid.children.size()) return nullptr;
        for (size_t k = 0; k < at->holes.size(); ++k) {
            if (!(at->holes[k] == solid.children[k].range)) return nullptr;
        }
        return &at->triangles;
    }

private:
    struct Entry {
        Range range;
        std::vector<Range> holes;
        std::vector<uint32_t> triangles;
    };
    std::vector<Entry> entries_;
};

// With `stopWhenRefused`, a contour the nesting refuses ends the attempt there: the path will be
// resolved, and the bridging of what it has would be wasted when that comes out clean.
// `resolved` says the troubled contours among `ranges` were resolved at their crossings.
Attempt attemptContours(PathLeaf& root, const std::vector<Range>& ranges, uint64_t firstVertex,
                        std::vector<DrawnSolid>* drawn, const KnownSolids* known, bool stopWhenRefused, bool resolved) {
    Attempt a;
    a.counted = root.nestRanges(ranges, &a.troubled);
    if (stopWhenRefused && a.counted.dropped > 0) {
        a.made = false;
        a.whole = false;
        return a;
    }
    Mesh& mesh = *root.mesh;
    // Kept between calls with the memory of their polygons.
    thread_local std::vector<IndexPolygon> polygons;
    thread_local std::vector<const PathLeaf*> solids, unbridged;
    size_t count = 0;
    solids.clear();
    unbridged.clear();
    // A solid that could not be bridged is already left out; the rest is still drawn. The known
    // ones come in the order of `solids`, with the triangles found for them.
    thread_local std::vector<std::pair<const PathLeaf*, const std::vector<uint32_t>*>> found;
    found.clear();
    std::function<bool(const PathLeaf&)> isKnown;
    if (known) {
        isKnown = [known](const PathLeaf& solid) {
            const std::vector<uint32_t>* triangles = known->find(solid);
            if (triangles) found.emplace_back(&solid, triangles);
            return triangles != nullptr;
        };
    }
    a.whole = root.subtractedIndicesInto(polygons, count, &solids, &unbridged, isKnown);
    if (!a.whole) writeFailureLine("  Failed to get subtracted indices");
    for (const PathLeaf* solid : unbridged) addSolid(a.troubled, *solid);
    a.failed = unbridged.size();
    size_t triangles = 0;
    for (size_t k = 0; k < count; ++k) triangles += polygons[k].size() > 2 ? polygons[k].size() - 2 : 0;
    mesh.indices.reserve(mesh.indices.size() + 3 * triangles);
    double negligible = negligibleAreaOf(mesh.vertices, firstVertex);
    // A polygon that cannot be clipped is left out on its own: the parser lists a path's last
    // subpath first, so stopping there would lose every larger, sound one after it.
    size_t nextFound = 0;
    for (size_t k = 0; k < count; ++k) {
        if (nextFound < found.size() && found[nextFound].first == solids[k]) {
            const std::vector<uint32_t>& triangles = *found[nextFound++].second;
            mesh.indices.insert(mesh.indices.end(), triangles.begin(), triangles.end());
            continue;
        }
        size_t begin = mesh.indices.size();
        if (clipping::clipPolygon(mesh.vertices, polygons[k], mesh.indices, negligible, resolved)) {
            if (drawn) drawn->push_back(DrawnSolid{solids[k], begin, mesh.indices.size()});
            continue;
        }
        uint64_t leftOut = a.counted.leftOut;
        bool kept = withoutTouchingHoles(*solids[k], mesh, negligible, resolved, a.counted);
        a.whole = kept && a.whole;
        a.failed += !kept;
        if (!kept || a.counted.leftOut != leftOut) addSolid(a.troubled, *solids[k]);
    }
    return a;
}

bool startsBefore(const Range& x, const Range& y) { return x.start < y.start; }

// The path's contours with the troubled ones (sorted) replaced by what resolving them gave,
// where the first of them stood.
std::vector<Range> withResolved(const std::vector<Range>& ranges, const std::vector<Range>& troubled,
                                const std::vector<Range>& resolved) {
    std::vector<Range> list;
    bool placed = false;
    for (const Range& range : ranges) {
        if (!std::binary_search(troubled.begin(), troubled.end(), range, startsBefore)) {
            list.push_back(range);
        } else if (!placed) {
            list.insert(list.end(), resolved.begin(), resolved.end());
            placed = true;
        }
    }
    return list;
}

// Contours that failed in the path's first attempt, with every contour crossing them, are
// resolved at their crossings and the path is made again from the rest and what that gave (the
// solids drawn already keep their triangles); contours that fail in the new attempt join them,
// a few rounds at most. The best attempt is kept, the first one unless another is better, and
// `lines` become its lines. A first attempt that stopped at a refused contour is only finished
// when no later one comes out clean.
struct Repair {
    PathLeaf& root;
    const std::vector<Range>& ranges;
    uint64_t firstVertex;
    size_t firstIndex;
    std::vector<DrawnSolid>& drawn;

    Attempt run(Attempt first, std::string& lines) {
        static constexpr int rounds = 4;
        Mesh& mesh = *root.mesh;
        const uint64_t flattened = mesh.vertexCount(); // resolved contours start here
        std::optional<KnownSolids> known;
        std::optional<Attempt> best;
        std::vector<float> bestVertices;
        std::vector<uint32_t> bestIndices;
        std::ostringstream said;
        auto keep = [&](const Attempt& a, const std::string& text) {
            best = a;
            lines = text;
            bestVertices.assign(mesh.vertices.begin() + std::ptrdiff_t(2 * flattened), mesh.vertices.end());
            bestIndices.assign(mesh.indices.begin() + std::ptrdiff_t(firstIndex), mesh.indices.end());
        };
        // The first attempt, whole, as the one to beat.
        auto finishFirst = [&]() {
            if (first.made && best) return;
            std::string text = lines;
            if (!first.made) {
                mesh.vertices.resize(2 * flattened);
                mesh.indices.resize(firstIndex);
                said.str("");
                drawn.clear();
                FailureLineCapture capture(said);
                first = attemptContours(root, ranges, firstVertex, &drawn, nullptr, false, false);
                text = said.str();
            }
            first.drawn = areaDrawn(mesh, firstIndex);
            known.emplace(drawn, mesh.indices);
            if (!best || !best->betterThan(first)) keep(first, text);
        };
        if (first.made) finishFirst();

        std::vector<Range> troubled;
        bool refused = false;
        auto join = [&](const std::vector<Range>& more) {
            size_t before = troubled.size();
            for (const Range& r : more) {
                if (r.start < flattened && !std::binary_search(troubled.begin(), troubled.end(), r, startsBefore)) {
                    troubled.insert(std::upper_bound(troubled.begin(), troubled.end(), r, startsBefore), r);
                }
            }
            return troubled.size() > before;
        };
        join(first.troubled);
        // The path's own vertices, which every round starts from again.
        const double negligible = negligibleAreaOf(mesh.vertices, firstVertex);
        std::optional<ContourCrossings> crossings;
        for (int round = 0; round < rounds && !troubled.empty(); ++round) {
            if (!crossings) crossings.emplace(mesh.vertices.data(), ranges, maxResolvedCrossings);
            if (!crossings->join(troubled)) {
                refused = true;
                break;
            }
            // Once as resolved, and when that still fails, with its touching holes moved apart.
            Attempt a;
            bool made = false;
            ResolvedOutlines outlines;
            for (bool separate : {false, true}) {
                if (!separate && !outlines.make(mesh.vertices.data(), troubled)) break;
                mesh.vertices.resize(2 * flattened);
                std::vector<Range> resolved;
                outlines.appendTo(mesh, resolved, negligible, separate);
                mesh.indices.resize(firstIndex);
                said.str("");
                {
                    FailureLineCapture capture(said);
                    a = attemptContours(root, withResolved(ranges, troubled, resolved), firstVertex, nullptr,
                                        known ? &*known : nullptr, false, true);
                }
                made = true;
                a.drawn = areaDrawn(mesh, firstIndex);
                a.counted.resolved = troubled.size();
                if (!best || a.betterThan(*best)) keep(a, said.str());
                if (a.clean()) break;
            }
            if (!made || a.clean()) break;
            finishFirst();
            if (!join(a.troubled)) break;
        }
        if (!best || !best->clean()) finishFirst();
        mesh.vertices.resize(2 * flattened);
        mesh.vertices.insert(mesh.vertices.end(), bestVertices.begin(), bestVertices.end());
        mesh.indices.resize(firstIndex);
        mesh.indices.insert(mesh.indices.end(), bestIndices.begin(), bestIndices.end());
        Attempt result = *best;
        result.counted.total = first.counted.total;
        if (refused && result.counted.resolved == 0) {
            // Left as the first attempt drew it, with one line in place of that attempt's.
            result.counted.refused = true;
            lines = "EarClipperTriangulator::triangulate: more than " + std::to_string(maxResolvedCrossings) +
                    " crossings, too many to resolve\n";
        }
        return result;
    }
};

} // namespace

namespace clipping {

Clipped clipBothWays(const float* vertices, const IndexPolygon& polygon, std::vector<uint32_t>& indices, bool careful,
                     uint64_t* work) {
    EarClipPolygon state(vertices, polygon, careful);
    // Clipped as written, a clockwise polygon takes its reflex corners for ears and can come
    // out whole with triangles outside the shape; so it is turned round first.
    bool clockwise = polygon::signedArea2(vertices, polygon) < 0;
    bool whole = state.run(clockwise, indices);
    if (work) *work += state.work();
    if (whole) return Clipped::Whole;
    bool slow = state.tooSlow();
    whole = state.run(!clockwise, indices);
    if (work) *work += state.work();
    if (whole) return Clipped::Whole;
    return slow || state.tooSlow() ? Clipped::TooSlow : Clipped::NoEar;
}

bool clipPolygon(const std::vector<float>& vertices, const IndexPolygon& polygon, std::vector<uint32_t>& indices,
                 double negligibleArea, bool resolved) {
    if (polygon.size() < 3) return true;
    size_t first = indices.size();
    const float* v = vertices.data();
    Clipped clipped = clipBothWays(v, polygon, indices, false);
    // A polygon that is not simple can still run out of ears cleanly, with triangles that
    // overlap or stray outside it.
    std::string problem;
    if (clipped == Clipped::Whole) {
        problem = trianglesCoverProblem(vertices, polygon, indices, first, negligibleArea);
        if (problem.empty()) return true;
        indices.resize(first);
    }
    // Only polygons that fail the plain way come here: those that touch themselves at a point
    // clip with care; the flaws the cures take out stop either way, and either may do after them.
    // Crossings (but for small loops) are for resolving the path's contours, which draws them.
    bool crossing = !resolved && clipped != Clipped::TooSlow && crossesItself(v, polygon);
    for (int road = crossing ? 1 : 0; road < 3 && clipped != Clipped::TooSlow; ++road) {
        Clipped c = road == 0 ? clipBothWays(v, polygon, indices, true)
                              : clipWithCures(v, polygon, indices, road == 2, resolved) ? Clipped::Whole : Clipped::NoEar;
        if (c == Clipped::Whole && trianglesCoverProblem(vertices, polygon, indices, first, negligibleArea).empty()) {
            return true;
        }
        indices.resize(first);
        if (c == Clipped::TooSlow) clipped = c;
    }
    if (clipped == Clipped::TooSlow) {
        return failure("EarClipperTriangulator::triangulatePolygon: a polygon of " + std::to_string(polygon.size()) +
                       " points takes too long to clip");
    }
    if (!problem.empty()) return failure(problem);
    return failure("EarClipperTriangulator::triangulatePolygon: no ear left to clip in a polygon of " +
                   std::to_string(polygon.size()) + " points");
}

} // namespace clipping

bool EarClipperTriangulator::init(const std::shared_ptr<Mesh>& mesh) {
    root = std::make_shared<PathLeaf>();
    root->init(mesh);
    return true;
}

std::shared_ptr<Mesh> EarClipperTriangulator::mesh() const { return root ? root->mesh : nullptr; }

bool EarClipperTriangulator::triangulatePolygon(const std::vector<float>& vertices, const IndexPolygon& polygon,
                                                std::vector<uint32_t>& indices, double negligibleArea) {
    return clipping::clipPolygon(vertices, polygon, indices, negligibleArea, false);
}

std::pair<Range, bool> EarClipperTriangulator::triangulate(const Path& path, double tolerance, ContourCount* contours) {
    if (!root) init();
    Mesh& mesh = *root->mesh;
    uint64_t firstVertex = mesh.vertexCount();
    size_t firstIndex = mesh.indices.size();
    // Kept between calls, with their memory.
    thread_local std::vector<Range> ranges;
    thread_local std::ostringstream said;
    thread_local std::vector<DrawnSolid> drawn;
    root->flattenPath(path, tolerance, ranges);
    drawn.clear();
    Attempt attempt;
    {
        // Held back: what a repair draws is not reported.
        FailureLineCapture capture(said);
        attempt = attemptContours(*root, ranges, firstVertex, &drawn, nullptr, true, false);
    }
    // The stream is left empty after every call: a clean attempt writes nothing to it.
    if (!attempt.made || !attempt.clean()) {
        std::string lines = said.str();
        said.str("");
        attempt = Repair{*root, ranges, firstVertex, firstIndex, drawn}.run(std::move(attempt), lines);
        failureStream() << lines << std::flush;
    }
    if (contours) *contours = attempt.counted;
    if (!attempt.whole) return {Range(firstIndex, 0), false};
    return {Range(firstIndex, mesh.indices.size() - firstIndex), true};
}

} // namespace hv
