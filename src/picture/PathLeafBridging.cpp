// Hole bridging: each hole joins its solid through a zero-width bridge to the nearest visible vertex.
#include "picture/PathLeaf.h"

#include "picture/PolygonMath.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iostream>
#include <iterator>
#include <vector>

namespace hv {

using polygon::Bounds;
using polygon::Point;

namespace {

float orientationSum(const float* v, const IndexPolygon& polygon) {
    float sum = 0.0f;
    size_t n = polygon.size();
    for (size_t k = 0; k < n; ++k) {
        Point a = polygon::pointAt(v, polygon[k]);
        Point b = polygon::pointAt(v, polygon[k + 1 == n ? 0 : k + 1]);
        sum += (b.x - a.x) * (b.y + a.y);
    }
    return sum;
}

float distanceSquared(Point a, Point b) {
    float dx = a.x - b.x;
    float dy = a.y - b.y;
    return dx * dx + dy * dy;
}

// Finds the bridge for one hole: of all pairs (outer position i, hole position j) whose
// segment crosses no edge of the outer polygon or of an open hole, the one with the smallest
// distance, ties going to the earlier pair in (i, j) order.
//
// Rather than measuring every pair and testing each improvement, pairs are gathered by
// distance in growing rings around the hole through a grid over the outer polygon and tested
// nearest first, so usually a single crossing test settles the bridge.
class BridgeFinder {
public:
    BridgeFinder(const float* v, const IndexPolygon& outer, const std::vector<IndexPolygon>& holes,
                 const std::vector<char>& done)
        : v_(v), outer_(outer), holes_(holes), done_(done) {}

    bool find(size_t h, size_t& bestI, size_t& bestJ);

private:
    struct Pair {
        float d;
        uint32_t i;
        uint32_t j;
        bool operator<(const Pair& o) const {
            if (d != o.d) return d < o.d;
            if (i != o.i) return i < o.i;
            return j < o.j;
        }
    };

    bool edgeCrosses(uint32_t a, uint32_t b, const IndexPolygon& polygon, size_t k) const;
    size_t firstCrossing(uint32_t a, uint32_t b, const IndexPolygon& polygon) const;
    bool crossesAny(uint32_t a, uint32_t b);
    bool entersCorner(size_t i, Point target);
    bool tryNearestFirst(const IndexPolygon& hole, std::vector<Pair>& pairs, size_t& bestI, size_t& bestJ);
    // The two ways of finding the bridge, by how many vertex pairs there are.
    bool findAmongAllPairs(const IndexPolygon& hole, size_t& bestI, size_t& bestJ);
    bool findThroughGrid(const IndexPolygon& hole, size_t& bestI, size_t& bestJ);
    bool chooseAmongTied(const IndexPolygon& hole, const Pair* tied, size_t count, size_t& bestI, size_t& bestJ);

    // Below this many vertex pairs every pair is measured.
    static constexpr size_t smallPairCount = 2048;
    std::vector<Pair> pairs_;
    std::vector<Pair> tied_;
    std::vector<Pair> group_;
    polygon::PointGrid grid_;
    std::vector<uint32_t> wildOuter_;
    std::vector<uint32_t> wildHole_;

    const float* v_;
    const IndexPolygon& outer_;
    const std::vector<IndexPolygon>& holes_;
    const std::vector<char>& done_;
    bool outerOrientationKnown_ = false;
    bool outerCounterClockwise_ = true;
    // Edges that recently stopped a candidate, most recent first; good for one search only,
    // while the outer polygon and the open holes stay as they are.
    struct RecentEdge {
        const IndexPolygon* polygon;
        size_t edge;
    };
    RecentEdge recent_[4] = {};
    size_t recentCount_ = 0;
};

// Edge k of a polygon joins entry k - 1 to entry k; edge 0 is the closing edge from the last
// entry to the first. An edge that shares a vertex number with the segment is not met.
bool BridgeFinder::edgeCrosses(uint32_t a, uint32_t b, const IndexPolygon& polygon, size_t k) const {
    uint32_t c = polygon[k == 0 ? polygon.size() - 1 : k - 1], d = polygon[k];
    if (a == c || a == d || b == c || b == d) return false;
    return polygon::segmentsCross(polygon::pointAt(v_, a), polygon::pointAt(v_, b), polygon::pointAt(v_, c),
                                  polygon::pointAt(v_, d));
}

// The first edge of the polygon, in edge order, that the segment from vertex a to vertex b
// crosses, or the polygon's size when there is none.
size_t BridgeFinder::firstCrossing(uint32_t a, uint32_t b, const IndexPolygon& polygon) const {
    size_t n = polygon.size();
    if (n == 0) return 0;
    Point p = polygon::pointAt(v_, a);
    Point q = polygon::pointAt(v_, b);
    uint32_t previous = polygon[0];
    Point previousPoint = polygon::pointAt(v_, previous);
    for (size_t k = 1; k < n; ++k) {
        uint32_t d = polygon[k];
        Point s = polygon::pointAt(v_, d);
        if (a != previous && a != d && b != previous && b != d && polygon::segmentsCross(p, q, previousPoint, s)) return k;
        previous = d;
        previousPoint = s;
    }
    return edgeCrosses(a, b, polygon, 0) ? 0 : n;
}

// Candidate bridges next to each other tend to cross the same edges, so the edges that
// stopped the last few are tried first; only a bridge that crosses nothing needs every edge.
bool BridgeFinder::crossesAny(uint32_t a, uint32_t b) {
    for (size_t r = 0; r < recentCount_; ++r) {
        if (edgeCrosses(a, b, *recent_[r].polygon, recent_[r].edge)) {
            std::rotate(recent_, recent_ + r, recent_ + r + 1);
            return true;
        }
    }
    auto remember = [&](const IndexPolygon& polygon, size_t edge) {
        if (recentCount_ < std::size(recent_)) ++recentCount_;
        std::move_backward(recent_, recent_ + recentCount_ - 1, recent_ + recentCount_);
        recent_[0] = RecentEdge{&polygon, edge};
        return true;
    };
    for (size_t g = 0; g < holes_.size(); ++g) {
        if (done_[g]) continue;
        size_t k = firstCrossing(a, b, holes_[g]);
        if (k < holes_[g].size()) return remember(holes_[g], k);
    }
    size_t k = firstCrossing(a, b, outer_);
    return k < outer_.size() ? remember(outer_, k) : false;
}

// Whether a bridge from outer position i towards the target starts inside the polygon's
// corner there. Only a vertex the outer polygon holds more than once is in question; for any
// other vertex this holds whenever the bridge crosses no edge.
bool BridgeFinder::entersCorner(size_t i, Point target) {
    size_t m = outer_.size();
    Point c = polygon::pointAt(v_, outer_[i]);
    bool duplicated = false;
    for (size_t k = 0; k < m && !duplicated; ++k) {
        Point p = polygon::pointAt(v_, outer_[k]);
        duplicated = k != i && p.x == c.x && p.y == c.y;
    }
    if (!duplicated) return true;
    if (!outerOrientationKnown_) {
        outerOrientationKnown_ = true;
        outerCounterClockwise_ = polygon::signedArea2(v_, outer_) >= 0;
    }
    Point before = polygon::pointAt(v_, outer_[(i + m - 1) % m]);
    Point after = polygon::pointAt(v_, outer_[(i + 1) % m]);
    if (!outerCounterClockwise_) std::swap(before, after);
    // The inside is swept counter-clockwise from the edge leaving the corner to the edge
    // arriving at it.
    int corner = polygon::orientSign(before, c, after);
    int fromLeaving = polygon::orientSign(c, after, target);
    int toArriving = polygon::orientSign(c, target, before);
    if (corner > 0) return fromLeaving > 0 && toArriving > 0;
    if (corner < 0) return fromLeaving > 0 || toArriving > 0;
    bool straight = (double(after.x) - c.x) * (double(before.x) - c.x) + (double(after.y) - c.y) * (double(before.y) - c.y) < 0;
    return straight && fromLeaving > 0;
}

// Of equally near pairs, given in (i, j) order, the first whose bridge crosses nothing; but
// one whose bridge leaves the outer vertex into the polygon goes before it. At a vertex that
// earlier bridges have duplicated, the first copy is not always the corner the bridge starts
// in, and splicing there would fold the outline over itself.
bool BridgeFinder::chooseAmongTied(const IndexPolygon& hole, const Pair* tied, size_t count, size_t& bestI,
                                   size_t& bestJ) {
    size_t first = 0;
    while (first < count && crossesAny(hole[tied[first].j], outer_[tied[first].i])) ++first;
    if (first == count) return false;
    bestI = tied[first].i;
    bestJ = tied[first].j;
    if (entersCorner(tied[first].i, polygon::pointAt(v_, hole[tied[first].j]))) return true;
    for (size_t q = first + 1; q < count; ++q) {
        if (entersCorner(tied[q].i, polygon::pointAt(v_, hole[tied[q].j])) && !crossesAny(hole[tied[q].j], outer_[tied[q].i])) {
            bestI = tied[q].i;
            bestJ = tied[q].j;
            return true;
        }
    }
    return true;
}

// Tries the pairs nearest first, each group of equally near pairs in (i, j) order.
// The first few pairs usually settle it, so they come off a heap; when they do not, the
// rest are sorted.
bool BridgeFinder::tryNearestFirst(const IndexPolygon& hole, std::vector<Pair>& pairs, size_t& bestI, size_t& bestJ) {
    auto later = [](const Pair& a, const Pair& b) { return b < a; };
    std::make_heap(pairs.begin(), pairs.end(), later);
    auto end = pairs.end();
    for (int groups = 0; groups < 16 && end != pairs.begin(); ++groups) {
        group_.clear();
        float d = pairs.front().d;
        while (end != pairs.begin() && pairs.front().d == d) {
            std::pop_heap(pairs.begin(), end, later);
            --end;
            group_.push_back(*end);
        }
        if (chooseAmongTied(hole, group_.data(), group_.size(), bestI, bestJ)) return true;
    }
    std::sort(pairs.begin(), end);
    for (auto start = pairs.begin(); start != end;) {
        auto stop = start + 1;
        while (stop != end && stop->d == start->d) ++stop;
        if (chooseAmongTied(hole, &*start, size_t(stop - start), bestI, bestJ)) return true;
        start = stop;
    }
    return false;
}

bool BridgeFinder::find(size_t h, size_t& bestI, size_t& bestJ) {
    outerOrientationKnown_ = false;
    recentCount_ = 0;
    const IndexPolygon& hole = holes_[h];
    size_t m = outer_.size(), k = hole.size();
    if (m == 0 || k == 0) return false;
    if (m * k <= smallPairCount) return findAmongAllPairs(hole, bestI, bestJ);
    return findThroughGrid(hole, bestI, bestJ);
}

// Few enough pairs to measure them all: the nearest ones usually settle the bridge, and only
// when all of them cross something are the others sorted.
bool BridgeFinder::findAmongAllPairs(const IndexPolygon& hole, size_t& bestI, size_t& bestJ) {
    size_t m = outer_.size(), k = hole.size();
    auto outerPoint = [&](uint32_t i) { return polygon::pointAt(v_, outer_[i]); };
    auto holePoint = [&](uint32_t j) { return polygon::pointAt(v_, hole[j]); };

    std::vector<Pair>& pairs = pairs_;
    float least = FLT_MAX;
    tied_.clear();
    for (uint32_t i = 0; i < m; ++i) {
        Point o = outerPoint(i);
        for (uint32_t j = 0; j < k; ++j) {
            float d = distanceSquared(o, holePoint(j));
            if (d < least) {
                least = d;
                tied_.clear();
            }
            if (d == least && d < FLT_MAX) tied_.push_back(Pair{d, i, j});
        }
    }
    if (chooseAmongTied(hole, tied_.data(), tied_.size(), bestI, bestJ)) return true;
    pairs.clear();
    for (uint32_t i = 0; i < m; ++i) {
        for (uint32_t j = 0; j < k; ++j) {
            float d = distanceSquared(outerPoint(i), holePoint(j));
            if (d > least && d < FLT_MAX) pairs.push_back(Pair{d, i, j});
        }
    }
    return tryNearestFirst(hole, pairs, bestI, bestJ);
}

// Too many pairs to measure them all: a grid over the outer polygon gathers them by distance.
bool BridgeFinder::findThroughGrid(const IndexPolygon& hole, size_t& bestI, size_t& bestJ) {
    size_t m = outer_.size(), k = hole.size();
    auto outerPoint = [&](uint32_t i) { return polygon::pointAt(v_, outer_[i]); };
    auto holePoint = [&](uint32_t j) { return polygon::pointAt(v_, hole[j]); };

    std::vector<Pair>& pairs = pairs_;
    polygon::PointGrid& grid = grid_;
    grid.build(uint32_t(m), outerPoint, 2.0);
    // Points too far out for the grid are measured against everything, every round.
    std::vector<uint32_t>& wildOuter = wildOuter_;
    std::vector<uint32_t>& wildHole = wildHole_;
    wildOuter.clear();
    wildHole.clear();
    for (uint32_t i = 0; i < m; ++i) {
        if (!polygon::PointGrid::isTame(outerPoint(i))) wildOuter.push_back(i);
    }
    Bounds holeBounds;
    for (uint32_t j = 0; j < k; ++j) {
        Point p = holePoint(j);
        if (polygon::PointGrid::isTame(p)) holeBounds.add(p);
        else wildHole.push_back(j);
    }
    const Bounds& ob = grid.bounds();
    double reach = 0.0; // a radius that covers every tame pair
    if (!holeBounds.empty()) {
        double w = std::max(ob.maxX, holeBounds.maxX) - std::min(ob.minX, holeBounds.minX);
        double hgt = std::max(ob.maxY, holeBounds.maxY) - std::min(ob.minY, holeBounds.minY);
        reach = std::sqrt(w * w + hgt * hgt);
    }

    // The nearest pairs first: a ring search around each hole point that skips cells farther
    // away than the best distance so far and stops once whole rings are. The search works on
    // true distances with a margin of a few parts in 10^5, far more than single-precision
    // rounding moves a squared distance, so it meets every pair whose rounded distance could
    // be the least; those pairs are kept.
    float best = FLT_MAX;
    tied_.clear();
    auto measure = [&](uint32_t i, uint32_t j) {
        float d = distanceSquared(outerPoint(i), holePoint(j));
        if (d < best) {
            best = d;
            tied_.clear();
        }
        if (d == best && d < FLT_MAX) tied_.push_back(Pair{d, i, j});
    };
    double side = grid.minCellSide();
    uint32_t maxRing = std::max(grid.columns(), grid.rows());
    for (uint32_t j = 0; j < k; ++j) {
        Point p = holePoint(j);
        if (!polygon::PointGrid::isTame(p)) continue;
        uint32_t cx = grid.column(p.x), cy = grid.row(p.y);
        for (uint32_t ring = 0; ring <= maxRing; ++ring) {
            double gap = (double(ring) - 1.0) * side;
            if (ring > 1 && gap * gap * (1.0 - 1e-5) > best) break;
            grid.forEachCellInRing(cx, cy, ring, [&](uint32_t x, uint32_t y) {
                if (grid.cellDistanceSquared(p.x, p.y, x, y) * (1.0 - 1e-5) > best) return;
                grid.forEachInCell(x, y, [&](uint32_t i) { measure(i, j); });
            });
        }
        for (uint32_t i : wildOuter) measure(i, j);
    }
    for (uint32_t j : wildHole) {
        for (uint32_t i = 0; i < m; ++i) measure(i, j);
    }
    if (!(best < FLT_MAX)) return false;
    std::sort(tied_.begin(), tied_.end());
    if (chooseAmongTied(hole, tied_.data(), tied_.size(), bestI, bestJ)) return true;

    // Then the farther pairs in rounds of growing distance, each tested nearest first.
    double lower = best; // pairs at or below this squared distance have been tried
    double upper = std::max(4.0 * best, side * side);
    for (;;) {
        double radius = std::sqrt(upper);
        bool last = !(radius < reach) || !(upper > lower);
        if (last) upper = INFINITY;
        // A generous margin: the single-precision distance differs from the true one by a few
        // parts in 10^8, so every pair it puts within the radius is gathered.
        double box = radius * (1.0 + 1e-5) + 1e-30;
        pairs.clear();
        auto consider = [&](uint32_t i, uint32_t j) {
            float d = distanceSquared(outerPoint(i), holePoint(j));
            if (d > lower && d <= upper && d < FLT_MAX) pairs.push_back(Pair{d, i, j});
        };
        for (uint32_t j = 0; j < k; ++j) {
            Point p = holePoint(j);
            if (!polygon::PointGrid::isTame(p)) continue;
            if (last) {
                for (uint32_t i = 0; i < m; ++i) consider(i, j);
                continue;
            }
            grid.anyInBox(p.x - box, p.y - box, p.x + box, p.y + box, [&](uint32_t i) {
                consider(i, j);
                return false;
            });
            for (uint32_t i : wildOuter) consider(i, j);
        }
        for (uint32_t j : wildHole) {
            for (uint32_t i = 0; i < m; ++i) consider(i, j);
        }
        if (tryNearestFirst(hole, pairs, bestI, bestJ)) return true;
        if (last) return false;
        lower = upper;
        upper *= 4;
    }
}

// O becomes ..., O_i, H_j, (the rest of H), H_j, O_i, O_(i+1), ...: one polygon with a
// zero-width bridge. H runs against O's orientation so that it cuts a hole rather than
// adding area.
void splice(const float* v, IndexPolygon& outer, const IndexPolygon& hole, size_t i, size_t j) {
    size_t k = hole.size();
    bool sameOrientation = (orientationSum(v, outer) > 0) == (orientationSum(v, hole) > 0);
    IndexPolygon walk;
    walk.reserve(k + 2);
    for (size_t step = 0; step < k; ++step) {
        size_t at = sameOrientation ? (j + k - step) % k : (j + step) % k;
        walk.push_back(hole[at]);
    }
    walk.push_back(hole[j]);
    walk.push_back(outer[i]);
    outer.insert(outer.begin() + std::ptrdiff_t(i + 1), walk.begin(), walk.end());
}

} // namespace

bool subtractPolygons(const PathLeaf& leaf, IndexPolygon& outer, const std::vector<IndexPolygon>& holes) {
    const float* v = leaf.mesh->vertices.data();
    std::vector<char> done(holes.size(), 0);
    size_t left = holes.size();
    BridgeFinder finder(v, outer, holes, done);
    while (left > 0) {
        bool spliced = false;
        for (size_t h = 0; h < holes.size(); ++h) {
            if (done[h]) continue;
            size_t i = 0, j = 0;
            if (!finder.find(h, i, j)) continue;
            splice(v, outer, holes[h], i, j);
            done[h] = 1;
            --left;
            spliced = true;
            break;
        }
        if (!spliced) {
            std::cerr << "  subtractPolygons: unable to progress" << std::endl;
            return false;
        }
    }
    return true;
}

} // namespace hv
