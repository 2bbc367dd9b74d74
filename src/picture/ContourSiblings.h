// Which children of a contour-tree leaf a new contour can meet at all, found through a grid of
// their bounds, so a leaf with thousands of children is not walked whole for every contour.
#pragma once

#include "picture/PathLeaf.h"
#include "picture/PolygonMath.h"

#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace hv {

// Two contours whose closed bounds miss each other (the x ranges widened by the rounding slack
// of a ray crossing) share no point: no vertex of either lies inside or on the other, so they
// classify as disjoint and the walk over a leaf's children may skip them. The filter hands out
// every other child, in child order, so the walk decides exactly as the full walk does.
class SiblingFilter {
public:
    // Child positions of `parent` that a contour with these bounds may meet, ascending.
    // `boundsOf(range)` gives a child contour's bounds.
    template <typename BoundsOf>
    const std::vector<size_t>& candidates(const PathLeaf& parent, const polygon::Bounds& bounds, BoundsOf boundsOf);

    // The parent lost children (they moved into a new contour); positions changed.
    void childrenRemoved(const PathLeaf& parent);

    // Forgets every parent, for another tree.
    void reset() { indices_.clear(); }

private:
    // Below this many children the walk takes them all.
    static constexpr size_t smallFamily = 32;

    struct Index {
        bool valid = false;
        size_t built = 0;   // children when the cells were chosen
        size_t covered = 0; // children entered so far
        double minX = 0, minY = 0, cell = 1;
        double slack = 0; // the largest slack of an entered child
        std::unordered_map<uint64_t, uint32_t> heads;
        std::vector<uint32_t> nodeChild, nodeNext;
        std::vector<uint32_t> wide; // untame or too large for the cells
    };

    // Contour ranges are disjoint and never empty; only a root has no vertices.
    static uint64_t keyOf(const PathLeaf& parent) { return parent.range.start << 1 | (parent.range.count != 0); }
    // Clamped, so that far-out bounds share the outermost cells rather than overflow.
    static int64_t cellOf(double offset, double cell) {
        double c = std::floor(offset / cell);
        return c < -0x1p52 ? int64_t(-0x1p52) : c > 0x1p52 ? int64_t(0x1p52) : int64_t(c);
    }
    int64_t cellX(const Index& index, double x) const { return cellOf(x - index.minX, index.cell); }
    int64_t cellY(const Index& index, double y) const { return cellOf(y - index.minY, index.cell); }
    static uint64_t cellKey(int64_t x, int64_t y) { return uint64_t(x) * 0x100000001B3ull ^ uint64_t(y); }
    void enter(Index& index, size_t child, const polygon::Bounds& b);

    std::unordered_map<uint64_t, Index> indices_;
    std::vector<size_t> out_;
    std::vector<uint32_t> seen_;
    uint32_t stamp_ = 0;
};

template <typename BoundsOf>
const std::vector<size_t>& SiblingFilter::candidates(const PathLeaf& parent, const polygon::Bounds& bounds,
                                                     BoundsOf boundsOf) {
    out_.clear();
    size_t n = parent.children.size();
    auto all = [&]() -> const std::vector<size_t>& {
        for (size_t i = 0; i < n; ++i) out_.push_back(i);
        return out_;
    };
    if (n < smallFamily || !bounds.tame || bounds.empty()) return all();
    Index& index = indices_[keyOf(parent)];
    if (!index.valid || n >= 2 * index.built) {
        // Cells about as many as the children, over the span their bounds cover.
        double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
        for (const PathLeaf& child : parent.children) {
            polygon::Bounds b = boundsOf(child.range);
            if (!b.tame || b.empty()) continue;
            x0 = std::fmin(x0, b.minX);
            y0 = std::fmin(y0, b.minY);
            x1 = std::fmax(x1, b.maxX);
            y1 = std::fmax(y1, b.maxY);
        }
        index = Index();
        index.valid = true;
        index.built = n;
        if (x0 <= x1) {
            index.minX = x0;
            index.minY = y0;
            index.cell = std::fmax((x1 - x0) + (y1 - y0), 1e-30) / std::sqrt(double(n));
        }
    }
    for (; index.covered < n; ++index.covered) enter(index, index.covered, boundsOf(parent.children[index.covered].range));

    double s = bounds.slack() + index.slack;
    int64_t cx0 = cellX(index, bounds.minX - s), cx1 = cellX(index, bounds.maxX + s);
    int64_t cy0 = cellY(index, bounds.minY), cy1 = cellY(index, bounds.maxY);
    if (double(cx1 - cx0 + 1) * double(cy1 - cy0 + 1) > 4.0 * double(n)) return all();
    if (seen_.size() < n) seen_.resize(n, 0);
    if (++stamp_ == 0) {
        std::fill(seen_.begin(), seen_.end(), 0);
        stamp_ = 1;
    }
    auto take = [&](uint32_t child) {
        if (seen_[child] == stamp_) return;
        seen_[child] = stamp_;
        out_.push_back(child);
    };
    for (uint32_t child : index.wide) take(child);
    for (int64_t y = cy0; y <= cy1; ++y) {
        for (int64_t x = cx0; x <= cx1; ++x) {
            auto at = index.heads.find(cellKey(x, y));
            if (at == index.heads.end()) continue;
            for (uint32_t node = at->second; node != uint32_t(-1); node = index.nodeNext[node]) take(index.nodeChild[node]);
        }
    }
    std::sort(out_.begin(), out_.end());
    return out_;
}

} // namespace hv
