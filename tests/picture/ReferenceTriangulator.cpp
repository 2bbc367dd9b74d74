#include "ReferenceTriangulator.h"

#include "picture/AreaCheck.h"
#include "picture/PolygonMath.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>

namespace hv::test {

namespace {

struct P {
    float x, y;
};

P at(const std::vector<float>& v, uint64_t k) { return P{v[2 * k], v[2 * k + 1]}; }
bool same(P a, P b) { return a.x == b.x && a.y == b.y; }

// Edge (e, f), crossing x measured from f.
bool crossing(P p, P e, P f) {
    if (!((f.y < p.y && p.y <= e.y) || (e.y < p.y && p.y <= f.y))) return false;
    float x = f.x + (p.y - f.y) / (e.y - f.y) * (e.x - f.x);
    return p.x > x;
}

bool insideContour(const std::vector<float>& v, P p, const Range& r) {
    bool in = false;
    for (uint64_t i = r.start; i < r.end(); ++i) {
        uint64_t j = i == r.start ? r.end() - 1 : i - 1;
        in ^= crossing(p, at(v, j), at(v, i));
    }
    return in;
}

bool tame(P p) { return std::fabs(p.x) <= polygon::tameLimit && std::fabs(p.y) <= polygon::tameLimit; }

int sign(P a, P b, P c);
bool onEdge(P p, P a, P b);

// -1 on the contour's boundary (only decided when every coordinate is tame), else 1 inside
// and 0 outside.
int place(const std::vector<float>& v, P p, const Range& r) {
    bool allTame = tame(p);
    for (uint64_t k = r.start; k < r.end(); ++k) allTame = allTame && tame(at(v, k));
    if (allTame) {
        for (uint64_t i = r.start; i < r.end(); ++i) {
            P a = at(v, i == r.start ? r.end() - 1 : i - 1), b = at(v, i);
            bool inBox = p.x >= std::min(a.x, b.x) && p.x <= std::max(a.x, b.x) && p.y >= std::min(a.y, b.y) &&
                         p.y <= std::max(a.y, b.y);
            if (inBox && sign(a, b, p) == 0) return -1;
        }
    }
    return insideContour(v, p, r) ? 1 : 0;
}

// The places of a contour's vertices off the other contour's boundary, in order; when there
// are none, those of its edges' middles.
std::vector<int> probes(const std::vector<float>& v, const Range& of, const Range& against) {
    std::vector<int> out;
    for (uint64_t k = of.start; k < of.end(); ++k) {
        int p = place(v, at(v, k), against);
        if (p >= 0) out.push_back(p);
    }
    if (!out.empty()) return out;
    for (uint64_t k = of.start; k < of.end(); ++k) {
        P a = at(v, k), b = at(v, k + 1 == of.end() ? of.start : k + 1);
        P middle{float(0.5 * (double(a.x) + b.x)), float(0.5 * (double(a.y) + b.y))};
        int p = place(v, middle, against);
        if (p >= 0) out.push_back(p);
    }
    return out;
}

uint64_t before(const Range& r, uint64_t k) { return k == r.start ? r.end() - 1 : k - 1; }

// Whether an edge of `of` crosses an edge of `against` where neither ends (enters), and
// whether the pieces of its edges, cut at the vertices of `against` on them, run along an
// edge of `against` (shares) or have their middle inside it (enters).
void overlap(const std::vector<float>& v, const Range& of, const Range& against, bool& enters, bool& shares) {
    for (uint64_t k = of.start; k < of.end(); ++k) {
        P p = at(v, before(of, k)), q = at(v, k);
        std::vector<std::pair<double, P>> cuts{{0.0, p}, {1.0, q}};
        for (uint64_t e = against.start; e < against.end(); ++e) {
            P r = at(v, before(against, e)), s = at(v, e);
            if (sign(p, q, r) * sign(p, q, s) < 0 && sign(r, s, p) * sign(r, s, q) < 0) enters = true;
            if (onEdge(r, p, q)) cuts.push_back({0.0, r});
        }
        for (auto& cut : cuts) cut.first = std::hypot(double(cut.second.x) - p.x, double(cut.second.y) - p.y);
        std::sort(cuts.begin(), cuts.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
        for (size_t c = 0; c + 1 < cuts.size(); ++c) {
            P u = cuts[c].second, w = cuts[c + 1].second;
            if (same(u, w)) continue;
            bool along = false;
            for (uint64_t e = against.start; e < against.end(); ++e) {
                P r = at(v, before(against, e)), s = at(v, e);
                along = along || (onEdge(u, r, s) && onEdge(w, r, s));
            }
            P middle{float(0.5 * (double(u.x) + w.x)), float(0.5 * (double(u.y) + w.y))};
            if (along) shares = true;
            else if (place(v, middle, against) == 1) enters = true;
        }
    }
}

int classify(const std::vector<float>& v, const Range& b, const Range& a) {
    if (b.count == 0 || a.count == 0) return 0;
    std::vector<int> bp = probes(v, b, a), ap = probes(v, a, b);
    auto all = [](const std::vector<int>& p) { return std::count(p.begin(), p.end(), 1) == std::ptrdiff_t(p.size()); };
    auto any = [](const std::vector<int>& p) { return std::count(p.begin(), p.end(), 1) > 0; };
    if (!bp.empty() && bp[0] == 1) return all(bp) ? 1 : 3;
    if (!ap.empty() && ap[0] == 1) return all(ap) ? 2 : 3;
    if (bp.empty() && ap.empty()) return 1; // duplicates
    if (any(bp) || any(ap)) return 3;
    // Disjoint by their vertices; touching contours that share an edge and overlap cross
    // (decided for tame contours only).
    bool allTame = true, touched = false, enters = false, shares = false;
    for (uint64_t k = a.start; k < a.end(); ++k) allTame = allTame && tame(at(v, k));
    for (uint64_t k = b.start; k < b.end(); ++k) allTame = allTame && tame(at(v, k));
    for (uint64_t k = b.start; allTame && k < b.end(); ++k) touched = touched || place(v, at(v, k), a) < 0;
    for (uint64_t k = a.start; allTame && k < a.end(); ++k) touched = touched || place(v, at(v, k), b) < 0;
    if (touched) overlap(v, b, a, enters, shares);
    if (touched) overlap(v, a, b, enters, shares);
    return enters && shares ? 3 : 0;
}

bool addRange(const std::vector<float>& v, PathLeaf& into, PathLeaf leaf) {
    size_t candidate = size_t(-1);
    for (size_t i = 0; i < into.children.size();) {
        int c = classify(v, leaf.range, into.children[i].range);
        if (c == 3) return false;
        if (c == 1) {
            if (candidate != size_t(-1)) return false;
            candidate = i;
        }
        if (c == 2) {
            leaf.children.push_back(into.children[i]);
            into.children.erase(into.children.begin() + std::ptrdiff_t(i));
            continue;
        }
        ++i;
    }
    if (candidate == size_t(-1)) {
        into.children.push_back(leaf);
        return true;
    }
    return addRange(v, into.children[candidate], leaf);
}

IndexPolygon cleaned(const std::vector<float>& v, const Range& r) {
    IndexPolygon list;
    for (uint64_t k = r.start; k < r.end(); ++k) list.push_back(uint32_t(k));
    for (size_t i = 0; i + 1 < list.size();) {
        if (same(at(v, list[i]), at(v, list[i + 1]))) list.erase(list.begin() + std::ptrdiff_t(i));
        else ++i;
    }
    while (list.size() > 2 && same(at(v, list.front()), at(v, list.back()))) list.pop_back();
    return list;
}

// The tame ring with every tame vertex of `others` that lies inside one of its edges put into
// that edge, in order along it, each point once.
IndexPolygon withTouches(const std::vector<float>& v, const IndexPolygon& ring, const std::vector<uint32_t>& others) {
    IndexPolygon out;
    size_t n = ring.size();
    for (size_t k = 0; k < n; ++k) {
        out.push_back(ring[k]);
        if (n < 2) continue;
        P a = at(v, ring[k]), b = at(v, ring[(k + 1) % n]);
        std::vector<std::pair<double, uint32_t>> on;
        for (uint32_t q : others) {
            P p = at(v, q);
            if (!tame(p) || same(p, a) || same(p, b)) continue;
            bool inBox = p.x >= std::min(a.x, b.x) && p.x <= std::max(a.x, b.x) && p.y >= std::min(a.y, b.y) &&
                         p.y <= std::max(a.y, b.y);
            if (!inBox || sign(a, b, p) != 0) continue;
            double along = std::fabs(b.x - a.x) >= std::fabs(b.y - a.y) ? (double(p.x) - a.x) / (double(b.x) - a.x)
                                                                        : (double(p.y) - a.y) / (double(b.y) - a.y);
            on.emplace_back(along, q);
        }
        std::sort(on.begin(), on.end());
        for (const auto& [along, q] : on) {
            if (!same(at(v, q), at(v, out.back()))) out.push_back(q);
        }
    }
    return out;
}

float orientation(const std::vector<float>& v, const IndexPolygon& poly) {
    float s = 0;
    for (size_t k = 0; k < poly.size(); ++k) {
        P a = at(v, poly[k]), b = at(v, poly[(k + 1) % poly.size()]);
        s += (b.x - a.x) * (b.y + a.y);
    }
    return s;
}

float cross(float ux, float uy, float vx, float vy) { return ux * vy - uy * vx; }

bool segmentCrossesPolygon(const std::vector<float>& v, uint32_t a, uint32_t b, const IndexPolygon& poly) {
    size_t n = poly.size();
    for (size_t k = 1; k <= n; ++k) {
        if (n == 0) break;
        uint32_t c = k < n ? poly[k - 1] : poly[n - 1];
        uint32_t d = k < n ? poly[k] : poly[0];
        if (a == c || a == d || b == c || b == d) continue;
        P p = at(v, a), q = at(v, b), r = at(v, c), s = at(v, d);
        float den = cross(q.x - p.x, q.y - p.y, s.x - r.x, s.y - r.y);
        float sf = cross(q.x - p.x, q.y - p.y, p.x - r.x, p.y - r.y) / den;
        float tf = cross(s.x - r.x, s.y - r.y, p.x - r.x, p.y - r.y) / den;
        if (sf >= 0 && sf <= 1 && tf >= 0 && tf <= 1) return true;
    }
    return false;
}

int sign(P a, P b, P c) { return polygon::orientSign({a.x, a.y}, {b.x, b.y}, {c.x, c.y}); }

// Whether the segment from outer position i to the target leaves the outer polygon's corner
// into the polygon; vertices held only once always pass.
bool entersCorner(const std::vector<float>& v, const IndexPolygon& outer, size_t i, P target) {
    size_t m = outer.size();
    P c = at(v, outer[i]);
    size_t copies = 0;
    for (uint32_t k : outer) copies += same(at(v, k), c);
    if (copies < 2) return true;
    double area = 0;
    for (size_t k = 0; k < m; ++k) {
        P a = at(v, outer[k]), b = at(v, outer[(k + 1) % m]);
        area += double(a.x) * b.y - double(b.x) * a.y;
    }
    P before = at(v, outer[(i + m - 1) % m]), after = at(v, outer[(i + 1) % m]);
    if (area < 0) std::swap(before, after);
    int corner = sign(before, c, after);
    bool leftOfLeaving = sign(c, after, target) > 0;
    bool rightOfArriving = sign(c, target, before) > 0;
    if (corner > 0) return leftOfLeaving && rightOfArriving;
    if (corner < 0) return leftOfLeaving || rightOfArriving;
    bool straight = (double(after.x) - c.x) * (before.x - c.x) + (double(after.y) - c.y) * (before.y - c.y) < 0;
    return straight && leftOfLeaving;
}

bool onEdge(P p, P a, P b) {
    bool inBox = p.x >= std::min(a.x, b.x) && p.x <= std::max(a.x, b.x) && p.y >= std::min(a.y, b.y) &&
                 p.y <= std::max(a.y, b.y);
    return inBox && sign(a, b, p) == 0;
}

bool onRing(const std::vector<float>& v, P p, const IndexPolygon& ring) {
    for (size_t k = 0; k < ring.size(); ++k) {
        if (onEdge(p, at(v, ring[k]), at(v, ring[(k + 1) % ring.size()]))) return true;
    }
    return false;
}

// A hole touches the outer ring when a vertex of either lies on the other, both rings tame.
std::vector<char> touchingHoles(const std::vector<float>& v, const IndexPolygon& outer, const std::vector<IndexPolygon>& holes) {
    auto allTame = [&](const IndexPolygon& ring) {
        return std::all_of(ring.begin(), ring.end(), [&](uint32_t k) { return tame(at(v, k)); });
    };
    std::vector<char> touching(holes.size(), 0);
    if (outer.empty() || !allTame(outer)) return touching;
    for (size_t h = 0; h < holes.size(); ++h) {
        if (!allTame(holes[h])) continue;
        for (uint32_t k : holes[h]) touching[h] = touching[h] || onRing(v, at(v, k), outer);
        for (uint32_t k : outer) touching[h] = touching[h] || onRing(v, at(v, k), holes[h]);
    }
    return touching;
}

bool insideTriangle(P p, P u, P v, P w) { return crossing(p, u, v) ^ crossing(p, v, w) ^ crossing(p, w, u); }

double turn(P u, P v, P w) {
    float ax = v.x - u.x, ay = v.y - u.y, bx = w.x - v.x, by = w.y - v.y;
    return double(ax) * double(by) - double(ay) * double(bx);
}

bool clipRun(const std::vector<float>& v, const IndexPolygon& poly, std::vector<size_t> remaining,
             std::vector<uint32_t>& indices) {
    size_t mark = indices.size();
    auto pt = [&](size_t k) { return at(v, poly[remaining[k]]); };
    while (remaining.size() > 2) {
        size_t n = remaining.size();
        if (n == 3) {
            size_t t0 = 0, t2 = 2;
            if (turn(pt(0), pt(1), pt(2)) < 0) std::swap(t0, t2);
            indices.push_back(poly[remaining[t0]]);
            indices.push_back(poly[remaining[1]]);
            indices.push_back(poly[remaining[t2]]);
            return true;
        }
        // When no ear is left, a point exactly on a triangle corner blocks only when one of its
        // edges runs into the triangle.
        auto enters = [&](size_t j, P c, P x, P y) {
            int s = sign(c, x, y);
            if (s == 0) return false;
            for (size_t nb : {(j + n - 1) % n, (j + 1) % n}) {
                if (sign(c, x, pt(nb)) == s && sign(c, pt(nb), y) == s) return true;
            }
            return false;
        };
        auto blocks = [&](size_t j, P u, P v, P w, bool cornersByEdges) {
            P p = pt(j);
            if (cornersByEdges) {
                if (same(p, u)) return enters(j, u, v, w);
                if (same(p, v)) return enters(j, v, w, u);
                if (same(p, w)) return enters(j, w, u, v);
            }
            return insideTriangle(p, u, v, w);
        };
        size_t ear = n;
        for (bool cornersByEdges : {false, true}) {
            for (size_t i = 0; i < n && ear == n; ++i) {
                size_t prev = (i + n - 1) % n, next = (i + 1) % n;
                if (!(turn(pt(prev), pt(i), pt(next)) >= 0)) continue;
                bool empty = true;
                for (size_t j = 0; j < n && empty; ++j) {
                    if (j != prev && j != i && j != next && blocks(j, pt(prev), pt(i), pt(next), cornersByEdges)) empty = false;
                }
                if (empty) ear = i;
            }
            if (ear != n) break;
        }
        if (ear == n) {
            indices.resize(mark);
            return false;
        }
        indices.push_back(poly[remaining[(ear + n - 1) % n]]);
        indices.push_back(poly[remaining[ear]]);
        indices.push_back(poly[remaining[(ear + 1) % n]]);
        remaining.erase(remaining.begin() + std::ptrdiff_t(ear));
    }
    return true;
}

} // namespace

bool referenceSubtract(const std::vector<float>& v, IndexPolygon& outer, const std::vector<IndexPolygon>& holes) {
    std::vector<bool> done(holes.size(), false);
    size_t left = holes.size();
    while (left > 0) {
        bool spliced = false;
        for (size_t h = 0; h < holes.size() && !spliced; ++h) {
            if (done[h]) continue;
            const IndexPolygon& hole = holes[h];
            auto distance = [&](size_t i, size_t j) {
                P o = at(v, outer[i]), q = at(v, hole[j]);
                return (o.x - q.x) * (o.x - q.x) + (o.y - q.y) * (o.y - q.y);
            };
            auto crossesNothing = [&](size_t i, size_t j) {
                for (size_t g = 0; g < holes.size(); ++g) {
                    if (!done[g] && segmentCrossesPolygon(v, hole[j], outer[i], holes[g])) return false;
                }
                return !segmentCrossesPolygon(v, hole[j], outer[i], outer);
            };
            // The bridge is the nearest pair that crosses nothing, the first in (outer, hole)
            // order among equally near ones: what a scan over all pairs keeping each closer
            // pair that crosses nothing ends with. Usually the nearest pair of all is that
            // pair; when it crosses something, the pairs are taken nearest first.
            float best = FLT_MAX;
            size_t bi = 0, bj = 0;
            float nearest = FLT_MAX;
            size_t ni = 0, nj = 0;
            for (size_t i = 0; i < outer.size(); ++i) {
                for (size_t j = 0; j < hole.size(); ++j) {
                    float d = distance(i, j);
                    if (d < nearest) {
                        nearest = d;
                        ni = i;
                        nj = j;
                    }
                }
            }
            if (nearest < FLT_MAX && crossesNothing(ni, nj)) {
                best = nearest;
                bi = ni;
                bj = nj;
            } else if (nearest < FLT_MAX) {
                struct Pair {
                    float d;
                    uint32_t i, j;
                    bool operator<(const Pair& o) const { return d != o.d ? d > o.d : i != o.i ? i > o.i : j > o.j; }
                };
                std::vector<Pair> pairs;
                for (size_t i = 0; i < outer.size(); ++i) {
                    for (size_t j = 0; j < hole.size(); ++j) {
                        float d = distance(i, j);
                        if (d < FLT_MAX) pairs.push_back(Pair{d, uint32_t(i), uint32_t(j)}); // never nearer than the start
                    }
                }
                std::make_heap(pairs.begin(), pairs.end());
                while (!pairs.empty()) {
                    std::pop_heap(pairs.begin(), pairs.end());
                    Pair pair = pairs.back();
                    pairs.pop_back();
                    if (crossesNothing(pair.i, pair.j)) {
                        best = pair.d;
                        bi = pair.i;
                        bj = pair.j;
                        break;
                    }
                }
            }
            if (best == FLT_MAX) continue;
            // Of the equally near bridges, one that starts inside its outer corner goes first.
            if (!entersCorner(v, outer, bi, at(v, hole[bj]))) {
                bool found = false;
                for (size_t i = 0; i < outer.size() && !found; ++i) {
                    for (size_t j = 0; j < hole.size() && !found; ++j) {
                        if (distance(i, j) == best && entersCorner(v, outer, i, at(v, hole[j])) && crossesNothing(i, j)) {
                            bi = i;
                            bj = j;
                            found = true;
                        }
                    }
                }
            }
            size_t k = hole.size();
            bool sameOrientation = (orientation(v, outer) > 0) == (orientation(v, hole) > 0);
            IndexPolygon walk;
            for (size_t s = 0; s < k; ++s) walk.push_back(hole[sameOrientation ? (bj + k - s) % k : (bj + s) % k]);
            walk.push_back(hole[bj]);
            walk.push_back(outer[bi]);
            outer.insert(outer.begin() + std::ptrdiff_t(bi + 1), walk.begin(), walk.end());
            done[h] = true;
            --left;
            spliced = true;
        }
        if (!spliced) return false;
    }
    return true;
}

bool referenceClip(const std::vector<float>& v, const IndexPolygon& poly, std::vector<uint32_t>& indices,
                   double negligibleArea) {
    if (poly.size() < 3) return true;
    double area = 0;
    for (size_t k = 0; k < poly.size(); ++k) {
        P a = at(v, poly[k]), b = at(v, poly[(k + 1) % poly.size()]);
        area += double(a.x) * b.y - double(b.x) * a.y;
    }
    std::vector<size_t> forward(poly.size()), backward(poly.size());
    for (size_t k = 0; k < poly.size(); ++k) {
        forward[k] = k;
        backward[k] = poly.size() - 1 - k;
    }
    if (area < 0) std::swap(forward, backward);
    size_t first = indices.size();
    if (!clipRun(v, poly, forward, indices) && !clipRun(v, poly, backward, indices)) return false;
    // The engine's own area check: it indexes nothing, so there is nothing to compare it with.
    if (trianglesCoverPolygon(v, poly, indices, first, negligibleArea)) return true;
    indices.resize(first);
    return false;
}

ReferenceResult referenceTriangulate(const Path& path, double tolerance) {
    ReferenceResult out;
    std::vector<float>& v = out.vertices;
    std::vector<Range> ranges{Range(0, 0)};
    auto count = [&] { return uint64_t(v.size() / 2); };
    for (const PathCommand& c : path.commands) {
        if (c.type == PathCommand::Move) {
            if (ranges.back().start != count()) {
                ranges.back().count = count() - ranges.back().start;
                ranges.emplace_back(count(), 0);
            }
        }
        if (c.type == PathCommand::Move || c.type == PathCommand::Line) {
            v.push_back(float(c.points[0].x));
            v.push_back(float(c.points[0].y));
        } else if (c.type == PathCommand::Quadratic || c.type == PathCommand::Cubic) {
            Vec2 start = v.empty() ? Vec2() : Vec2(v[v.size() - 2], v[v.size() - 1]);
            PathSegment segment(start, c);
            uint32_t n = curveSegmentCount(segment.chordLength(), tolerance);
            for (uint32_t i = 1; i <= n; ++i) {
                Vec2 p = segment.pointAt(double(i) / n);
                v.push_back(float(p.x));
                v.push_back(float(p.y));
            }
        }
    }
    ranges.back().count = count() - ranges.back().start;

    PathLeaf root;
    out.clean = true;
    for (const Range& r : ranges) {
        IndexPolygon distinct;
        for (uint64_t k = r.start; k < r.end() && distinct.size() < 3; ++k) {
            if (std::none_of(distinct.begin(), distinct.end(), [&](uint32_t d) { return same(at(v, d), at(v, k)); })) {
                distinct.push_back(uint32_t(k));
            }
        }
        if (distinct.size() < 3) continue;
        PathLeaf leaf;
        leaf.range = r;
        PathLeaf before = root;
        // A crossing contour is left out alone.
        if (!addRange(v, root, leaf)) {
            root = before;
            out.clean = false;
        }
    }

    // A solid whose clipping fails is tried once more without the holes that touch it: for
    // each polygon, the solid to try again, or null.
    std::vector<const PathLeaf*> retry;
    auto bridge = [&](const PathLeaf& s, IndexPolygon& outer, const std::vector<char>& leaveOut) {
        outer = cleaned(v, s.range);
        std::vector<IndexPolygon> holes;
        for (size_t k = 0; k < s.children.size(); ++k) {
            if (!leaveOut[k]) holes.push_back(cleaned(v, s.children[k].range));
        }
        // A hole's vertex touching the outer ring inside an edge becomes a vertex of it.
        std::vector<uint32_t> holeVertices;
        for (const IndexPolygon& h : holes) holeVertices.insert(holeVertices.end(), h.begin(), h.end());
        if (std::all_of(outer.begin(), outer.end(), [&](uint32_t k) { return tame(at(v, k)); })) {
            outer = withTouches(v, outer, holeVertices);
        }
        return referenceSubtract(v, outer, holes);
    };
    auto touchingOf = [&](const PathLeaf& s) {
        std::vector<IndexPolygon> holes;
        for (const PathLeaf& h : s.children) holes.push_back(cleaned(v, h.range));
        return touchingHoles(v, cleaned(v, s.range), holes);
    };
    auto any = [](const std::vector<char>& marks) { return std::count(marks.begin(), marks.end(), 1) > 0; };
    // A solid that cannot be bridged is left out; the others are still made.
    out.ok = true;
    std::function<void(const PathLeaf&)> solid = [&](const PathLeaf& s) {
        out.polygons.emplace_back();
        retry.push_back(s.children.empty() ? nullptr : &s);
        if (!bridge(s, out.polygons.back(), std::vector<char>(s.children.size(), 0))) {
            out.clean = false;
            out.polygons.pop_back();
            retry.pop_back();
            out.ok = false;
        }
        for (const PathLeaf& h : s.children) {
            for (const PathLeaf& inner : h.children) solid(inner);
        }
    };
    for (const PathLeaf& s : root.children) solid(s);
    // A polygon that fails is left out; the others are still clipped.
    for (size_t k = 0; k < out.polygons.size(); ++k) {
        if (referenceClip(v, out.polygons[k], out.indices, negligibleAreaOf(v, 0))) continue;
        out.clean = false;
        std::vector<char> touching = retry[k] ? touchingOf(*retry[k]) : std::vector<char>();
        IndexPolygon without;
        if (!any(touching) || !bridge(*retry[k], without, touching) ||
            !referenceClip(v, without, out.indices, negligibleAreaOf(v, 0))) {
            out.ok = false;
        }
    }
    return out;
}

bool engineBridge(const Path& path, double tolerance, const std::shared_ptr<Mesh>& mesh, std::vector<IndexPolygon>& polygons) {
    PathLeaf root;
    root.init(mesh);
    root.dumpPathIntoLeaf(path, tolerance);
    return root.getSubtractedIndices(polygons);
}

} // namespace hv::test
