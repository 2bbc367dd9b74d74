// Contour nesting: even-odd tests over banded edge indices, and the walk that inserts a contour.
#include "picture/PathLeafNesting.h"

#include <algorithm>
#include <iostream>

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
    return result;
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
                    std::cerr << "  PathLeaf::addRange(): would be child of two nodes" << std::endl;
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
                std::cerr << "  PathLeaf::addRange(): intersection found " << std::endl;
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
