// Hole bridging's grid of outline points and blocking edges, and the crossing tests that walk it.
#include "picture/PathLeafBridging.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace hv::bridging {

void Bridging::insertEdge(uint32_t edge) {
    Point a = polygon::pointAt(v_, s_.edgeFrom[edge]), b = polygon::pointAt(v_, s_.edgeTo[edge]);
    // The mapping is monotone, so the ends' cells bound the cells of the edge's box.
    uint32_t ax = cells_.column(a.x), bx = cells_.column(b.x), ay = cells_.row(a.y), by = cells_.row(b.y);
    uint32_t cx0 = std::min(ax, bx), cx1 = std::max(ax, bx), cy0 = std::min(ay, by), cy1 = std::max(ay, by);
    uint64_t covered = uint64_t(cx1 - cx0 + 1) * (cy1 - cy0 + 1);
    if (covered > std::max<uint64_t>(16, 2 * (uint64_t(cells_.nx) + cells_.ny))) {
        s_.longEdges.push_back(edge);
        return;
    }
    for (uint32_t y = cy0; y <= cy1; ++y) {
        for (uint32_t x = cx0; x <= cx1; ++x) {
            uint32_t& head = s_.edgeHead[size_t(y) * cells_.nx + x];
            s_.nodes.emplace_back(edge, head);
            head = uint32_t(s_.nodes.size() - 1);
        }
    }
}

// Calls visit(cell) for every cell that the band of half-width w around the line
// p + t (q - p), t in [t0, t1], may touch; stops early when visit returns true.
template <typename Visit>
void Bridging::visitCorridor(Point p, Point q, double t0, double t1, double w, Visit visit) const {
    double dx = double(q.x) - p.x, dy = double(q.y) - p.y;
    double length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0)) return;
    bool alongX = std::fabs(dx) >= std::fabs(dy);
    // Along the major axis the band reaches w / cos of the line's angle to it, at most w sqrt 2.
    double reach = w * length / (alongX ? std::fabs(dx) : std::fabs(dy)) + cells_.fuzz();
    double a0 = alongX ? p.x + t0 * dx : p.y + t0 * dy, a1 = alongX ? p.x + t1 * dx : p.y + t1 * dy;
    if (a0 > a1) std::swap(a0, a1);
    a0 -= w;
    a1 += w;
    double lo = alongX ? cells_.minX : cells_.minY, hi = alongX ? cells_.maxX : cells_.maxY;
    a0 = std::max(a0, lo - w);
    a1 = std::min(a1, hi + w);
    if (!(a0 <= a1)) return;
    double base = alongX ? p.x : p.y, across = alongX ? p.y : p.x;
    double slope = alongX ? dy / dx : dx / dy;
    double side = alongX ? cells_.cellWidth() : cells_.cellHeight();
    uint32_t k0 = alongX ? cells_.column(a0) : cells_.row(a0), k1 = alongX ? cells_.column(a1) : cells_.row(a1);
    double f = cells_.fuzz();
    // From the end nearer p, where a blocking edge is most likely.
    bool down = (alongX ? dx : dy) * (t1 - t0) < 0;
    for (uint32_t step = 0; step <= k1 - k0; ++step) {
        uint32_t k = down ? k1 - step : k0 + step;
        // The stretch of the major axis inside this column (or row), widened for the mapping.
        double s0 = k == k0 ? a0 : std::max(a0, lo + k * side - f);
        double s1 = k == k1 ? a1 : std::min(a1, lo + (k + 1) * side + f);
        double c0 = across + (s0 - base) * slope, c1 = across + (s1 - base) * slope;
        if (c0 > c1) std::swap(c0, c1);
        c0 -= reach;
        c1 += reach;
        uint32_t m0 = alongX ? cells_.row(c0) : cells_.column(c0), m1 = alongX ? cells_.row(c1) : cells_.column(c1);
        for (uint32_t m = m0; m <= m1; ++m) {
            size_t cell = alongX ? size_t(m) * cells_.nx + k : size_t(k) * cells_.nx + m;
            if (visit(cell)) return;
        }
    }
}

// Whether the segment from vertex a (on the hole) to vertex b (on the outline) crosses any
// edge that can block a bridge, exactly as testing every edge would say.
//
// The test is computed in single precision, and where it says "crossing" the ends of the edge
// cannot lie on one side of the segment's line farther than the rounding allows (corridor_),
// so only edges through the band around the line need testing. When the segment runs exactly
// along an axis the rounding also keeps such an edge near the segment itself; otherwise an
// edge almost on the line far beyond the segment can still count, and the band is followed
// across the whole grid before the segment is taken as free.
bool Bridging::crosses(uint32_t a, uint32_t b, uint32_t j, uint32_t& blocker) {
    // The edges that stopped the last few bridges from this hole point: they usually stop
    // the next ones too, whatever outer point those go to.
    uint32_t* recent = &s_.recent[size_t(j) * recentSize];
    uint8_t& count = s_.recentCount[j];
    for (uint32_t r = 0; r < count; ++r) {
        if (edgeCrosses(a, b, recent[r])) {
            blocker = recent[r];
            for (; r > 0; --r) recent[r] = recent[r - 1];
            recent[0] = blocker;
            return true;
        }
    }
    // And the edge that stopped the last bridge from it in about the same direction.
    Point p = polygon::pointAt(v_, a), q = polygon::pointAt(v_, b);
    uint32_t& inDirection = s_.byDirection[size_t(j) * directionBuckets_ + directionBucket(p, q)];
    if (inDirection != none && edgeCrosses(a, b, inDirection)) {
        blocker = inDirection;
        return true;
    }
    auto remember = [&](uint32_t edge) {
        if (count < recentSize) ++count;
        for (uint32_t r = count - 1; r > 0; --r) recent[r] = recent[r - 1];
        recent[0] = edge;
        inDirection = edge;
        return true;
    };
    ++stamp_;
    if (stamp_ == 0) {
        std::fill(s_.edgeStamp.begin(), s_.edgeStamp.end(), 0);
        stamp_ = 1;
    }
    if (!built_) notePlainWork(s_.edgeFrom.size());
    if (!built_ || !indexed_) {
        for (uint32_t edge = 0; edge < s_.edgeFrom.size(); ++edge) {
            if (edgeCrosses(a, b, edge)) {
                blocker = edge;
                return remember(edge);
            }
        }
        return false;
    }
    for (uint32_t edge : s_.longEdges) {
        if (testEdge(a, b, edge, blocker)) return remember(edge);
    }
    bool found = false;
    auto inCell = [&](size_t cell) {
        for (uint32_t node = s_.edgeHead[cell]; node != none; node = s_.nodes[node].second) {
            if (testEdge(a, b, s_.nodes[node].first, blocker)) return found = true;
        }
        return false;
    };
    double dx = double(q.x) - p.x, dy = double(q.y) - p.y;
    double length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0)) return false; // a segment of no length meets nothing
    double reach = corridor_ / length;
    visitCorridor(p, q, -reach, 1 + reach, corridor_, inCell);
    if (found) return remember(blocker);
    if (p.x == q.x || p.y == q.y) return false;
    double far = 4 * (cells_.maxX - cells_.minX + cells_.maxY - cells_.minY + corridor_) / length + 1;
    visitCorridor(p, q, -far, -reach, corridor_, inCell);
    if (!found) visitCorridor(p, q, 1 + reach, far, corridor_, inCell);
    return found ? remember(blocker) : false;
}

// Whether an edge that blocks the segment always will: the outline's edges and the bridges
// never change, and an open hole's edges only turn round when it is spliced; the hole being
// searched is never spliced while it is searched.
bool Bridging::permanent(uint32_t edge, uint32_t a, uint32_t b) const {
    uint32_t owner = s_.edgeOwner[edge];
    if (owner == none || owner == searching_ || s_.holes[owner].status == HoleState::Done) return true;
    return edgeCrossesTurned(a, b, edge);
}

// Whether the bridge from hole position j to outer entry e is blocked; while a search that may
// fail is under way, blockings that could change later are noted.
bool Bridging::blocked(size_t h, uint32_t e, uint32_t j) {
    uint32_t a = holes_[h][j], b = s_.entryVertex[e];
    uint32_t blocker = none;
    if (!crosses(a, b, j, blocker)) return false;
    if (recording_ && !permanent(blocker, a, b)) s_.suspects.emplace_back(e, j);
    return true;
}

} // namespace hv::bridging
