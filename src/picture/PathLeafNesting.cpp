// Contour nesting: even-odd tests over banded edge indices, and the walk that inserts a contour.
#include "picture/PathLeafNesting.h"

#include "core/Failure.h"

#include <algorithm>

namespace hv {

using polygon::Point;

ContourNester::Contour& ContourNester::contourOf(const Range& range) {
    // A walk over siblings looks up the new contour and each sibling in turn.
    for (size_t index : recent_) {
        if (index < contours_.size() && contours_[index].start == range.start && contours_[index].count == range.count) {
            return contours_[index];
        }
    }
    auto at = std::lower_bound(contours_.begin(), contours_.end(), range, [](const Contour& c, const Range& r) {
        return c.start < r.start || (c.start == r.start && c.count < r.count);
    });
    if (at == contours_.end() || at->start != range.start || at->count != range.count) {
        Contour c;
        c.start = range.start;
        c.count = range.count;
        for (uint64_t k = range.start; k < range.end(); ++k) c.bounds.add(polygon::pointAt(vertices_, k));
        at = contours_.insert(at, std::move(c));
        recent_[0] = recent_[1] = size_t(-1); // the later contours moved
    }
    recent_[1] = recent_[0];
    recent_[0] = size_t(at - contours_.begin());
    return *at;
}

void ContourNester::buildIndex(Contour& c) {
    c.indexed = true;
    double height = c.bounds.maxY - c.bounds.minY;
    uint32_t bands = uint32_t(std::min<uint64_t>(c.count / 2, 1u << 16));
    // Long edges sit in many bands; fewer bands keep the index near the contour's size.
    for (;;) {
        if (bands < 2 || !(height > 0)) {
            c.bands = 1;
            c.bandScale = 0.0;
        } else {
            c.bands = bands;
            c.bandScale = bands / height;
        }
        c.lastBand = double(c.bands - 1);
        c.bandStart.assign(size_t(c.bands) + 1, 0);
        // Each vertex's band once: the mapping is monotone, so an edge's lowest and highest
        // bands are its ends' (the bounds are tame, so no height is undefined).
        vertexBands_.resize(c.count);
        for (uint64_t k = 0; k < c.count; ++k) vertexBands_[k] = bandOf(c, vertices_[2 * (c.start + k) + 1]);
        uint64_t entries = 0;
        for (uint64_t k = 0; k < c.count; ++k) {
            uint32_t ba = vertexBands_[k == 0 ? c.count - 1 : k - 1], bb = vertexBands_[k];
            uint32_t lo = std::min(ba, bb), hi = std::max(ba, bb);
            entries += hi - lo + 1;
            ++c.bandStart[lo + 1];
            if (hi + 2 < c.bandStart.size()) --c.bandStart[hi + 2];
        }
        if (c.bands == 1 || entries <= 8 * c.count) break;
        bands /= 4;
    }
    // bandStart holds differences of per-band counts; two prefix sums give counts, then starts.
    for (size_t b = 1; b < c.bandStart.size(); ++b) c.bandStart[b] += c.bandStart[b - 1];
    for (size_t b = 1; b < c.bandStart.size(); ++b) c.bandStart[b] += c.bandStart[b - 1];
    c.bandEdges.resize(c.bandStart.back());
    std::vector<uint32_t>& fill = bandFill_;
    fill.assign(c.bandStart.begin(), c.bandStart.end() - 1);
    for (uint64_t k = 0; k < c.count; ++k) {
        uint32_t ba = vertexBands_[k == 0 ? c.count - 1 : k - 1], bb = vertexBands_[k];
        uint32_t lo = std::min(ba, bb), hi = std::max(ba, bb);
        for (uint32_t band = lo; band <= hi; ++band) c.bandEdges[fill[band]++] = uint32_t(k);
    }
}

bool ContourNester::inside(Point p, Contour& c) {
    if (c.bounds.tame) {
        if (c.bounds.excludes(p)) return false;
        if (c.count >= indexThreshold) {
            if (!c.indexed) buildIndex(c);
            uint32_t band = bandOf(c, p.y);
            bool in = false;
            for (uint32_t e = c.bandStart[band]; e < c.bandStart[band + 1]; ++e) {
                uint64_t k = c.bandEdges[e];
                Point a = polygon::pointAt(vertices_, c.start + (k == 0 ? c.count - 1 : k - 1));
                in ^= polygon::rayCrosses(p, a, polygon::pointAt(vertices_, c.start + k));
            }
            return in;
        }
    }
    bool in = false;
    Point previous = polygon::pointAt(vertices_, c.start + c.count - 1);
    for (uint64_t k = c.start; k < c.start + c.count; ++k) {
        Point current = polygon::pointAt(vertices_, k);
        in ^= polygon::rayCrosses(p, previous, current);
        previous = current;
    }
    return in;
}

// The same crossings as `inside`, over the same edges, with the boundary test beside them.
// Only a tame point within the contour's closed bounds can lie on it.
ContourNester::Place ContourNester::locate(Point p, Contour& c) {
    const polygon::Bounds& box = c.bounds;
    if (!box.tame || !polygon::PointGrid::isTame(p) ||
        !(p.x >= box.minX && p.x <= box.maxX && p.y >= box.minY && p.y <= box.maxY)) {
        return inside(p, c) ? Place::Inside : Place::Outside;
    }
    bool in = false;
    auto edge = [&](Point a, Point b) {
        if (liesOnEdge(p, a, b)) return true;
        in ^= polygon::rayCrosses(p, a, b);
        return false;
    };
    if (c.count >= indexThreshold) {
        // Every edge whose heights span p.y sits in p.y's band, so the band holds p's edges too.
        if (!c.indexed) buildIndex(c);
        uint32_t band = bandOf(c, p.y);
        for (uint32_t e = c.bandStart[band]; e < c.bandStart[band + 1]; ++e) {
            uint64_t k = c.bandEdges[e];
            Point a = polygon::pointAt(vertices_, c.start + (k == 0 ? c.count - 1 : k - 1));
            if (edge(a, polygon::pointAt(vertices_, c.start + k))) return Place::OnBoundary;
        }
    } else {
        Point previous = polygon::pointAt(vertices_, c.start + c.count - 1);
        for (uint64_t k = c.start; k < c.start + c.count; ++k) {
            Point current = polygon::pointAt(vertices_, k);
            if (edge(previous, current)) return Place::OnBoundary;
            previous = current;
        }
    }
    return in ? Place::Inside : Place::Outside;
}

// A contour's vertices in order; when every one of them lies on the other contour, the
// middles of its edges. Points on the other's boundary are passed over.
class ContourNester::Probes {
public:
    Probes(ContourNester& nester, const Contour& of, Contour& against, bool missed)
        : nester_(nester), of_(of), against_(against), missed_(missed) {}

    // Whether a probe so far lay on the other contour's boundary.
    bool touched() const { return touched_; }
    // Where the first vertex on the other's boundary lay, and whether another lay elsewhere.
    Point firstTouch() const { return firstTouch_; }
    bool touchedTwice() const { return touchedTwice_; }

    // The place of the next probe off the boundary, or false when there is none.
    bool next(Place& place) {
        if (missed_) {
            // The bounds keep every point of this contour away from the other one.
            if (k_ > 0) return false;
            k_ = 1;
            place = Place::Outside;
            return true;
        }
        for (;;) {
            if (k_ == of_.count) {
                if (middles_ || foundOff_) return false;
                middles_ = true;
                k_ = 0;
            }
            uint64_t k = k_++;
            Point p = polygon::pointAt(nester_.vertices_, of_.start + k);
            if (middles_) {
                Point q = polygon::pointAt(nester_.vertices_, of_.start + (k + 1 == of_.count ? 0 : k + 1));
                p = Point{float(0.5 * (double(p.x) + q.x)), float(0.5 * (double(p.y) + q.y))};
            }
            place = nester_.locate(p, against_);
            if (place == Place::OnBoundary) {
                if (!touched_) firstTouch_ = p;
                else if (p.x != firstTouch_.x || p.y != firstTouch_.y) touchedTwice_ = true;
                touched_ = true;
                continue;
            }
            foundOff_ = true;
            return true;
        }
    }

private:
    ContourNester& nester_;
    const Contour& of_;
    Contour& against_;
    bool missed_;
    uint64_t k_ = 0;
    bool middles_ = false;
    bool foundOff_ = false;
    bool touched_ = false;
    bool touchedTwice_ = false;
    Point firstTouch_{};
};

// 0 disjoint, 1 b inside a, 2 b contains a, 3 crossing. Points only; edges are not met, so
// contours that cross without a vertex inside each other pass as disjoint.
int ContourNester::classify(const Range& bRange, const Range& aRange, bool& touched) {
    touched = false;
    if (bRange.count == 0 || aRange.count == 0) return 0;
    // contourOf may insert and so move the others: both are looked up before either is held.
    contourOf(bRange);
    Contour& a = contourOf(aRange);
    Contour& b = contourOf(bRange);
    // Bounds apart by more than the slack: no point of one is inside or on the other.
    auto apart = [](const polygon::Bounds& x, const polygon::Bounds& y) {
        double s = x.slack();
        return x.tame && y.tame && (y.maxY < x.minY || y.minY > x.maxY || y.maxX < x.minX - s || y.minX > x.maxX + s);
    };
    Probes bProbes(*this, b, a, apart(a.bounds, b.bounds));
    Probes aProbes(*this, a, b, apart(b.bounds, a.bounds));
    int result = decide(bProbes, aProbes);
    touched = bProbes.touched() || aProbes.touched();
    // Contours that share an edge and overlap can keep every vertex off the other's inside:
    // two holes along one edge, one reaching over the other. Taken as disjoint, their bridged
    // outline overlaps itself and the whole solid fails to clip. (Contours that merely cross,
    // sharing no edge, pass as before: the vertex tests alone decide those.)
    // A shared piece of edge ends at two distinct points, each a vertex of one lying on the
    // other: contours that meet at one point only (a fan round a shared corner) share none.
    bool twoTouches = bProbes.touchedTwice() || aProbes.touchedTwice() ||
                      (bProbes.touched() && aProbes.touched() &&
                       (bProbes.firstTouch().x != aProbes.firstTouch().x ||
                        bProbes.firstTouch().y != aProbes.firstTouch().y));
    if (result == 0 && twoTouches && a.bounds.tame && b.bounds.tame) {
        Overlap overlap = overlapWhereTouching(b, a);
        if (!(overlap.enters && overlap.sharesEdge)) overlap.add(overlapWhereTouching(a, b));
        if (overlap.enters && overlap.sharesEdge) return 3;
    }
    return result;
}

// How the edges of `of` meet `against`: whether one reaches inside it, crossing one of its
// edges where neither ends or with a piece between the vertices of `against` lying on it whose
// middle is inside; and whether a piece runs along an edge of `against`. With no crossing the
// pieces are each wholly inside, outside or on the boundary, so their middles decide.
ContourNester::Overlap ContourNester::overlapWhereTouching(const Contour& of, Contour& against) {
    Overlap found;
    std::vector<Cut>& cuts = cuts_;
    std::vector<uint64_t>& near = near_; // edges of `against` whose box meets the edge's
    const polygon::Bounds& box = against.bounds;
    if (against.count >= indexThreshold && !against.indexed) buildIndex(against);
    auto ends = [&](uint64_t e, Point& r, Point& s) {
        r = polygon::pointAt(vertices_, against.start + (e == 0 ? against.count - 1 : e - 1));
        s = polygon::pointAt(vertices_, against.start + e);
    };
    for (uint64_t k = 0; k < of.count && !(found.enters && found.sharesEdge); ++k) {
        Point p = polygon::pointAt(vertices_, of.start + (k == 0 ? of.count - 1 : k - 1));
        Point q = polygon::pointAt(vertices_, of.start + k);
        double minX = std::min(p.x, q.x), maxX = std::max(p.x, q.x);
        double minY = std::min(p.y, q.y), maxY = std::max(p.y, q.y);
        if (maxX < box.minX || minX > box.maxX || maxY < box.minY || minY > box.maxY) continue;
        cuts.clear();
        near.clear();
        auto meet = [&](uint64_t e) {
            Point r, s;
            ends(e, r, s);
            if (std::max(r.x, s.x) < minX || std::min(r.x, s.x) > maxX || std::max(r.y, s.y) < minY ||
                std::min(r.y, s.y) > maxY) {
                return;
            }
            near.push_back(e);
            if (polygon::orientSign(p, q, r) * polygon::orientSign(p, q, s) < 0 &&
                polygon::orientSign(r, s, p) * polygon::orientSign(r, s, q) < 0) {
                found.enters = true;
            }
            for (Point c : {r, s}) {
                if (!liesOnEdge(c, p, q)) continue;
                bool wide = std::fabs(q.x - p.x) >= std::fabs(q.y - p.y);
                double along = wide ? (double(c.x) - p.x) / (double(q.x) - p.x) : (double(c.y) - p.y) / (double(q.y) - p.y);
                cuts.push_back(Cut{along, c});
            }
        };
        if (against.indexed) {
            uint32_t last = bandOf(against, maxY);
            for (uint32_t band = bandOf(against, minY); band <= last; ++band) {
                for (uint32_t e = against.bandStart[band]; e < against.bandStart[band + 1]; ++e) {
                    meet(against.bandEdges[e]);
                }
            }
        } else {
            for (uint64_t e = 0; e < against.count; ++e) meet(e);
        }
        if (near.empty()) continue;
        cuts.push_back(Cut{0.0, p});
        cuts.push_back(Cut{1.0, q});
        std::sort(cuts.begin(), cuts.end(), [](const Cut& x, const Cut& y) { return x.along < y.along; });
        for (size_t c = 0; c + 1 < cuts.size(); ++c) {
            Point u = cuts[c].at, w = cuts[c + 1].at;
            if (u.x == w.x && u.y == w.y) continue;
            bool alongEdge = std::any_of(near.begin(), near.end(), [&](uint64_t e) {
                Point r, s;
                ends(e, r, s);
                return liesOnEdge(u, r, s) && liesOnEdge(w, r, s);
            });
            if (alongEdge) {
                found.sharesEdge = true;
                continue;
            }
            Point middle{float(0.5 * (double(u.x) + w.x)), float(0.5 * (double(u.y) + w.y))};
            if (!found.enters && locate(middle, against) == Place::Inside) found.enters = true;
        }
    }
    return found;
}

int ContourNester::decide(Probes& bProbes, Probes& aProbes) {
    Place place;

    bool bOff = bProbes.next(place);
    if (bOff && place == Place::Inside) {
        while (bProbes.next(place)) {
            if (place == Place::Outside) return 3;
        }
        return 1;
    }
    bool aOff = aProbes.next(place);
    if (aOff && place == Place::Inside) {
        while (aProbes.next(place)) {
            if (place == Place::Outside) return 3;
        }
        return 2;
    }
    if (!bOff && !aOff) return 1; // duplicates
    while (bProbes.next(place)) {
        if (place == Place::Inside) return 3;
    }
    while (aProbes.next(place)) {
        if (place == Place::Inside) return 3;
    }
    return 0;
}

// The walk down the tree is decided before anything moves, so a contour that fails leaves
// the tree exactly as it was: the contours added before it all stay.
void ContourNester::reset(const std::shared_ptr<Mesh>& mesh) {
    vertices_ = mesh->vertices.data();
    contours_.clear();
    recent_[0] = recent_[1] = size_t(-1);
    siblings_.reset();
}

bool ContourNester::add(PathLeaf& root, PathLeaf leaf) {
    constexpr size_t none = size_t(-1);
    // The levels are kept between calls, with what their lists hold.
    size_t depth = 0;
    PathLeaf* into = &root;
    for (;;) {
        if (depth == levels_.size()) levels_.emplace_back();
        Level& level = levels_[depth];
        level.moved.clear();
        level.movedTouches.clear();
        level.candidate = none;
        level.candidateTouches = false;
        polygon::Bounds bounds = contourOf(leaf.range).bounds;
        auto boundsOf = [&](const Range& range) { return contourOf(range).bounds; };
        for (size_t i : siblings_.candidates(*into, bounds, boundsOf)) {
            bool touched = false;
            switch (classify(leaf.range, into->children[i].range, touched)) {
            case 0:
                break;
            case 1:
                if (level.candidate != none) {
                    writeFailureLine("  PathLeaf::addRange(): would be child of two nodes");
                    conflicts_.assign({into->children[level.candidate].range, into->children[i].range});
                    return false;
                }
                level.candidate = i;
                level.candidateTouches = touched;
                break;
            case 2:
                level.moved.push_back(i);
                level.movedTouches.push_back(touched);
                break;
            default:
                writeFailureLine("  PathLeaf::addRange(): intersection found ");
                conflicts_.assign({into->children[i].range});
                return false;
            }
        }
        ++depth;
        if (level.candidate == none) break;
        into = &into->children[level.candidate];
    }
    into = &root;
    for (size_t d = 0; d < depth; ++d) {
        Level& level = levels_[d];
        for (size_t k = 0; k < level.moved.size(); ++k) {
            leaf.children.push_back(std::move(into->children[level.moved[k]]));
            leaf.children.back().touchesParent = level.movedTouches[k];
        }
        if (!level.moved.empty()) siblings_.childrenRemoved(*into);
        for (auto i = level.moved.rbegin(); i != level.moved.rend(); ++i) {
            into->children.erase(into->children.begin() + std::ptrdiff_t(*i));
        }
        if (level.candidate == none) break;
        leaf.touchesParent = level.candidateTouches; // the last candidate is the parent
        size_t shift = size_t(std::lower_bound(level.moved.begin(), level.moved.end(), level.candidate) -
                              level.moved.begin());
        into = &into->children[level.candidate - shift];
    }
    into->children.push_back(std::move(leaf));
    return true;
}

} // namespace hv
