// What the clipper tries on a polygon that neither of its runs could clip: the flaws editors
// leave in outlines (a point repeated, a run of points on a line, a spike, a tiny loop where a
// curve overshoots a corner) each stop every ear somewhere; taken out one by one, the rest
// clips. What is cut off, and where a polygon is split, is decided by exact orientations.
#include "picture/EarClipping.h"

#include "picture/ContourResolution.h"
#include "picture/PolygonMath.h"

#include <algorithm>

namespace hv::clipping {

namespace {

using polygon::Point;

class Cures {
public:
    Cures(const float* vertices, std::vector<uint32_t>& indices, size_t size, bool careful, bool stopAtCrossings)
        : v_(vertices), indices_(indices), budget_(256 * uint64_t(size) + 65536), careful_(careful),
          stopAtCrossings_(stopAtCrossings) {}

    // Clips the ring (counter-clockwise) with every cure, halves included.
    bool clip(IndexPolygon ring, int depth);

private:
    static constexpr int maxDepth = 256;

    Point at(uint32_t k) const { return polygon::pointAt(v_, k); }
    bool same(uint32_t a, uint32_t b) const {
        Point p = at(a), q = at(b);
        return p.x == q.x && p.y == q.y;
    }
    int orient(uint32_t a, uint32_t b, uint32_t c) const { return polygon::orientSign(at(a), at(b), at(c)); }
    bool spent() const { return work_ > budget_; }

    void filter(IndexPolygon& ring);
    bool cutLoops(IndexPolygon& ring);
    bool split(const IndexPolygon& ring, IndexPolygon& first, IndexPolygon& second);
    bool locallyInside(uint32_t before, uint32_t at, uint32_t after, uint32_t to) const;
    bool meets(uint32_t a, uint32_t b, uint32_t c, uint32_t d) const;
    bool diagonalInside(const IndexPolygon& ring, size_t i, size_t j);
    void emit(uint32_t a, uint32_t b, uint32_t c);

    const float* v_;
    std::vector<uint32_t>& indices_;
    // Points and edges looked at: a polygon these cures can mend is mended long before, and
    // others must not cost what their failing would cost without them.
    uint64_t work_ = 0;
    uint64_t budget_;
    bool careful_;
    bool stopAtCrossings_;
};

// Drops each point that equals the next one or lies on the line through its neighbours (a
// straight run, or a spike doubling back), until none is left.
void Cures::filter(IndexPolygon& ring) {
    for (bool changed = true; changed && ring.size() >= 3;) {
        changed = false;
        work_ += ring.size();
        IndexPolygon kept;
        kept.reserve(ring.size());
        for (size_t k = 0; k < ring.size(); ++k) {
            uint32_t before = kept.empty() ? ring.back() : kept.back(), next = ring[(k + 1) % ring.size()];
            if (same(ring[k], next) || orient(before, ring[k], next) == 0) {
                changed = true;
                continue;
            }
            kept.push_back(ring[k]);
        }
        ring = std::move(kept);
    }
    if (ring.size() < 3) ring.clear();
}

// Whether the way from `at` to `to` leaves `at` into the polygon, between its edges from
// `before` and to `after`.
bool Cures::locallyInside(uint32_t before, uint32_t at, uint32_t after, uint32_t to) const {
    if (orient(before, at, after) >= 0) return orient(at, after, to) > 0 && orient(at, to, before) > 0;
    return orient(at, after, to) > 0 || orient(at, to, before) > 0;
}

void Cures::emit(uint32_t a, uint32_t b, uint32_t c) {
    if (orient(a, b, c) < 0) std::swap(a, c);
    indices_.insert(indices_.end(), {a, b, c});
}

// Where the edge into a point and the edge out of one a few steps on cross, the points between
// make a small loop (a curve that overshoots a corner and comes back): the triangle over the
// crossing is drawn and the loop cut off.
bool Cures::cutLoops(IndexPolygon& ring) {
    static constexpr size_t longestLoop = 4; // points in a loop that is cut
    size_t n = ring.size();
    if (n < 4) return false;
    std::vector<size_t> next(n), prev(n);
    for (size_t k = 0; k < n; ++k) {
        next[k] = (k + 1) % n;
        prev[k] = (k + n - 1) % n;
    }
    std::vector<char> alive(n, 1);
    size_t left = n, p = 0, steps = 0; // steps since the last cut
    bool cut = false;
    while (left > 3 && steps < left && !spent()) {
        size_t a = prev[p], q = p;
        bool cutHere = false;
        // The loop runs from p to q, `loop` + 1 points, and at least three stay.
        for (size_t loop = 1; loop < longestLoop && loop + 4 <= left && !cutHere; ++loop) {
            ++work_;
            q = next[q];
            size_t b = next[q];
            uint32_t va = ring[a], vp = ring[p], vq = ring[q], vb = ring[b];
            if (same(va, vb)) continue;
            bool crossing = polygon::crossProperly(at(va), at(vp), at(vq), at(vb));
            if (!crossing || !locallyInside(ring[prev[a]], va, vp, vb) || !locallyInside(ring[prev[b]], vb, ring[next[b]], va)) {
                continue;
            }
            emit(va, vp, vb);
            for (size_t k = p; k != b; k = next[k]) alive[k] = 0;
            next[a] = b;
            prev[b] = a;
            left -= loop + 1;
            cut = cutHere = true;
            p = b;
            steps = 0;
        }
        if (cutHere) continue;
        p = next[p];
        ++steps;
    }
    if (!cut) return false;
    IndexPolygon kept;
    for (size_t k = 0; k < n; ++k) {
        if (alive[k]) kept.push_back(ring[k]);
    }
    ring = std::move(kept);
    return true;
}

// Whether the segments a-b and c-d have any point in common.
bool Cures::meets(uint32_t a, uint32_t b, uint32_t c, uint32_t d) const {
    int o1 = orient(a, b, c), o2 = orient(a, b, d), o3 = orient(c, d, a), o4 = orient(c, d, b);
    if (o1 * o2 < 0 && o3 * o4 < 0) return true;
    auto within = [&](uint32_t p, uint32_t q, uint32_t r) {
        Point x = at(p), y = at(q), z = at(r);
        return z.x >= std::min(x.x, y.x) && z.x <= std::max(x.x, y.x) && z.y >= std::min(x.y, y.y) &&
               z.y <= std::max(x.y, y.y);
    };
    return (o1 == 0 && within(a, b, c)) || (o2 == 0 && within(a, b, d)) || (o3 == 0 && within(c, d, a)) ||
           (o4 == 0 && within(c, d, b));
}

// A diagonal from position i to position j that meets no edge but at its own ends, leaves both
// ends into the polygon, and whose middle is inside.
bool Cures::diagonalInside(const IndexPolygon& ring, size_t i, size_t j) {
    size_t n = ring.size();
    uint32_t a = ring[i], b = ring[j];
    if (same(a, b)) return false;
    if (!locallyInside(ring[(i + n - 1) % n], a, ring[(i + 1) % n], b) ||
        !locallyInside(ring[(j + n - 1) % n], b, ring[(j + 1) % n], a)) {
        return false;
    }
    work_ += n;
    Point pa = at(a), pb = at(b);
    Point middle{float(0.5 * (double(pa.x) + pb.x)), float(0.5 * (double(pa.y) + pb.y))};
    bool inside = false;
    for (size_t k = 0; k < n; ++k) {
        uint32_t c = ring[k], d = ring[(k + 1) % n];
        inside ^= polygon::rayCrosses(middle, at(c), at(d));
        if (same(c, a) || same(c, b) || same(d, a) || same(d, b)) continue;
        if (meets(a, b, c, d)) return false;
    }
    return inside;
}

bool Cures::split(const IndexPolygon& ring, IndexPolygon& first, IndexPolygon& second) {
    size_t n = ring.size();
    for (size_t i = 0; i < n && !spent(); ++i) {
        for (size_t step = 2; step + 1 < n && !spent(); ++step) {
            size_t j = (i + step) % n;
            ++work_; // most candidates fail at their ends, but there are n squared of them
            if (!diagonalInside(ring, i, j)) continue;
            first.clear();
            second.clear();
            for (size_t k = i;; k = (k + 1) % n) {
                first.push_back(ring[k]);
                if (k == j) break;
            }
            for (size_t k = j;; k = (k + 1) % n) {
                second.push_back(ring[k]);
                if (k == i) break;
            }
            return true;
        }
    }
    return false;
}

bool Cures::clip(IndexPolygon ring, int depth) {
    filter(ring);
    if (cutLoops(ring)) filter(ring);
    if (ring.size() < 3) return true;
    // Crossings that are not small loops are for the path's contours to be resolved.
    if (stopAtCrossings_ && crossesItself(v_, ring)) return false;
    // The runs' own work counts too: split halves are clipped again, many times over.
    work_ += 2 * ring.size();
    Clipped clipped = clipBothWays(v_, ring, indices_, careful_, &work_);
    if (clipped != Clipped::NoEar || spent()) return clipped == Clipped::Whole;
    IndexPolygon first, second;
    if (depth >= maxDepth || !split(ring, first, second)) return false;
    return clip(std::move(first), depth + 1) && clip(std::move(second), depth + 1);
}

} // namespace

bool clipWithCures(const float* vertices, const IndexPolygon& polygon, std::vector<uint32_t>& indices, bool careful,
                   bool resolved) {
    size_t mark = indices.size();
    IndexPolygon ring = polygon;
    if (polygon::signedArea2(vertices, ring) < 0) std::reverse(ring.begin(), ring.end());
    Cures cures(vertices, indices, polygon.size(), careful, !resolved);
    if (cures.clip(std::move(ring), 0)) return true;
    indices.resize(mark);
    return false;
}

} // namespace hv::clipping
