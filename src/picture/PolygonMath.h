#pragma once

// The geometric predicates shared by contour nesting, hole bridging and ear clipping, and the
// bounding boxes and point grid that let those passes skip work without changing any result.
//
// Every predicate computes in the precision the rest of the pipeline was tuned for (single
// precision unless a comment says otherwise), so the fast paths and the plain scans agree to
// the last bit. The filters below are conservative: a point they reject is one the predicate
// itself would reject.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace hv::polygon {

// A point of the mesh: vertex k is floats 2k and 2k + 1.
struct Point {
    float x;
    float y;
};

inline Point pointAt(const float* vertices, uint64_t k) { return Point{vertices[2 * k], vertices[2 * k + 1]}; }

// One half-open crossing of a horizontal ray going left from P with the edge (E, F): the edge
// straddles P's height (the lower end strictly below) and P lies strictly to the right of it.
// The crossing x is measured from F.
inline bool rayCrosses(Point p, Point e, Point f) {
    if ((f.y < p.y && p.y <= e.y) || (e.y < p.y && p.y <= f.y)) {
        float x = f.x + (p.y - f.y) / (e.y - f.y) * (e.x - f.x);
        return p.x > x;
    }
    return false;
}

// Even-odd point in triangle (U, V, W) over the edges (U, V), (V, W), (W, U).
inline bool pointInTriangle(Point p, Point u, Point v, Point w) {
    bool inside = rayCrosses(p, u, v);
    inside ^= rayCrosses(p, v, w);
    inside ^= rayCrosses(p, w, u);
    return inside;
}

// The turn at V on the way U, V, W: differences in single precision, products in double.
// Not negative means a left turn or a straight line.
inline double turnCross(Point u, Point v, Point w) {
    float ax = v.x - u.x;
    float ay = v.y - u.y;
    float bx = w.x - v.x;
    float by = w.y - v.y;
    return double(ax) * double(by) - double(ay) * double(bx);
}

inline float cross(float ux, float uy, float vx, float vy) { return ux * vy - uy * vx; }

// Whether the segment P-Q meets the segment R-S, both ends included. Parallel segments give
// an infinite or undefined quotient, which fails the range tests.
inline bool segmentsCross(Point p, Point q, Point r, Point s) {
    float qpx = q.x - p.x, qpy = q.y - p.y;
    float srx = s.x - r.x, sry = s.y - r.y;
    float prx = p.x - r.x, pry = p.y - r.y;
    float den = cross(qpx, qpy, srx, sry);
    float sFactor = cross(qpx, qpy, prx, pry) / den;
    if (!(sFactor >= 0.0f && sFactor <= 1.0f)) return false;
    float tFactor = cross(srx, sry, prx, pry) / den;
    return tFactor >= 0.0f && tFactor <= 1.0f;
}

// The exact sign of (B - A) x (C - A): 1 for a left turn, -1 for a right turn, 0 when the
// points are collinear. The determinant is a sum of six products of floats, each exact in
// double precision, added without loss into a small expansion whose largest part has the
// sign of the whole. Not meaningful for infinite or undefined coordinates.
//
// Most signs are plain from the determinant in double precision: when it lies farther from
// zero than its rounding error can reach (the classic bound for this determinant, valid since
// float coordinates neither overflow nor underflow in double), it has the exact sign. Only
// other near-collinear points, and infinite or undefined coordinates, take the exact sum.
inline int orientSign(Point a, Point b, Point c) {
    double left = (double(b.x) - a.x) * (double(c.y) - a.y);
    double right = (double(b.y) - a.y) * (double(c.x) - a.x);
    double det = left - right;
    double bound = 3.3306690738754716e-16 * (std::fabs(left) + std::fabs(right));
    if (bound <= std::numeric_limits<double>::max()) {
        if (det > bound) return 1;
        if (-det > bound) return -1;
        // A product of two differences of floats is zero only when a difference is: then the
        // determinant is exactly zero (repeated points, or collinear along an axis).
        if (left == 0 && right == 0) return 0;
    }
    double terms[6] = {double(b.x) * c.y,  -double(b.x) * a.y, -double(a.x) * c.y,
                       -double(b.y) * c.x, double(b.y) * a.x,  double(a.y) * c.x};
    double parts[6];
    int count = 0;
    for (double term : terms) {
        double q = term;
        for (int k = 0; k < count; ++k) {
            double sum = q + parts[k];
            double bv = sum - q;
            double error = (q - (sum - bv)) + (parts[k] - bv);
            parts[k] = error;
            q = sum;
        }
        parts[count++] = q;
    }
    for (int k = count - 1; k >= 0; --k) {
        if (parts[k] > 0) return 1;
        if (parts[k] < 0) return -1;
    }
    return 0;
}

// Whether the segments A-B and C-D cross at a point where neither ends, by exact signs.
inline bool crossProperly(Point a, Point b, Point c, Point d) {
    return orientSign(a, b, c) * orientSign(a, b, d) < 0 && orientSign(c, d, a) * orientSign(c, d, b) < 0;
}

// How far a ray crossing computed from an edge whose ends lie in [minX, maxX] can stray
// outside that range through rounding, many times over.
inline double slackFor(double minX, double maxX) {
    double a = std::fabs(minX), b = std::fabs(maxX);
    return (a > b ? a : b) * 0x1p-20 + 1e-37;
}

// Twice the signed area of a polygon of vertex numbers, positive when it runs
// counter-clockwise (turning left), in double precision.
inline double signedArea2(const float* vertices, const std::vector<uint32_t>& polygon) {
    double sum = 0.0;
    size_t n = polygon.size();
    for (size_t k = 0; k < n; ++k) {
        Point a = pointAt(vertices, polygon[k]);
        Point b = pointAt(vertices, polygon[k + 1 == n ? 0 : k + 1]);
        sum += double(a.x) * double(b.y) - double(b.x) * double(a.y);
    }
    return sum;
}

// Coordinates this large could overflow a difference; the filters step aside for them.
constexpr double tameLimit = 1.2676506002282294e30; // 2^100

// The bounds of a set of points, and what they allow a caller to conclude about the even-odd
// tests against the polygon those points outline.
//
// A ray crossing is computed as F.x + t (E.x - F.x) with t in [0, 1]; rounding keeps that
// within a few units in the last place of the largest |x| of the bounds, which `slack` covers
// many times over. So a point below, above or left of the bounds (widened by the slack) meets
// no edge, and a point right of them meets every straddling edge, an even number on a closed
// outline whose heights are all numbers.
struct Bounds {
    double minX = std::numeric_limits<double>::infinity();
    double minY = std::numeric_limits<double>::infinity();
    double maxX = -std::numeric_limits<double>::infinity();
    double maxY = -std::numeric_limits<double>::infinity();
    bool tame = true; // every coordinate is a number no larger than tameLimit

    void add(Point p) {
        if (!(std::fabs(p.x) <= tameLimit && std::fabs(p.y) <= tameLimit)) tame = false;
        if (p.x < minX) minX = p.x;
        if (p.x > maxX) maxX = p.x;
        if (p.y < minY) minY = p.y;
        if (p.y > maxY) maxY = p.y;
    }
    bool empty() const { return !(minX <= maxX); }
    double slack() const { return slackFor(minX, maxX); }

    // True when the even-odd test of P against the outline these bounds cover must say
    // outside. Only meaningful for tame bounds.
    bool excludes(Point p) const {
        double s = slack();
        return !(p.y > minY && p.y <= maxY && p.x >= minX - s && p.x <= maxX + s);
    }
    // True when every point inside `other` is excluded by these bounds.
    bool excludesAll(const Bounds& other) const {
        double s = slack();
        return other.maxY <= minY || other.minY > maxY || other.maxX < minX - s || other.minX > maxX + s;
    }
};

// Columns and rows for about `cells` cells over a w by h box: square-ish cells, but never many
// more cells than asked for, however thin the box, since searches that walk the cells must stay
// in proportion to the points. A box without width or height gets one column or row.
inline void gridShape(double cells, double w, double h, uint32_t& nx, uint32_t& ny) {
    if (!(w > 0) && !(h > 0)) {
        nx = ny = 1;
    } else if (!(w > 0)) {
        nx = 1;
        ny = uint32_t(std::fmin(cells, 65536.0));
    } else if (!(h > 0)) {
        ny = 1;
        nx = uint32_t(std::fmin(cells, 65536.0));
    } else {
        double columns = std::fmin(std::fmax(1.0, std::sqrt(cells * (w / h))), std::fmin(cells, 65536.0));
        nx = uint32_t(columns);
        ny = uint32_t(std::fmin(std::fmax(1.0, cells / nx), 65536.0));
    }
}

// A uniform grid of points over their bounds, for finding the points in a box quickly. Items
// are caller-chosen ids; points outside the tame range are left out, and the caller accounts
// for them.
class PointGrid {
public:
    // Rebuilds the grid over `count` points, aiming at about `perCell` points per cell.
    template <typename PointOfId>
    void build(uint32_t count, PointOfId pointOfId, double perCell) {
        bounds_ = Bounds();
        uint32_t used = 0;
        for (uint32_t id = 0; id < count; ++id) {
            Point p = pointOfId(id);
            if (isTame(p)) {
                bounds_.add(p);
                ++used;
            }
        }
        double w = bounds_.maxX - bounds_.minX;
        double h = bounds_.maxY - bounds_.minY;
        double cells = std::fmax(1.0, used / perCell);
        if (used == 0) {
            nx_ = ny_ = 1;
            bounds_ = Bounds();
            bounds_.add(Point{0, 0});
        } else {
            gridShape(cells, w, h, nx_, ny_);
        }
        lastColumn_ = double(nx_ - 1);
        lastRow_ = double(ny_ - 1);
        scaleX_ = w > 0 ? nx_ / w : 0.0;
        scaleY_ = h > 0 ? ny_ / h : 0.0;
        cellWidth_ = scaleX_ > 0 ? 1.0 / scaleX_ : 0.0;
        cellHeight_ = scaleY_ > 0 ? 1.0 / scaleY_ : 0.0;
        fuzzY_ = 1e-12 * (std::fabs(bounds_.minY) + std::fabs(bounds_.maxY)) + 1e-300;
        // Each point's cell is worked out once; points left out get none.
        cellStart_.assign(size_t(nx_) * ny_ + 1, 0);
        cellOfId_.resize(count);
        for (uint32_t id = 0; id < count; ++id) {
            Point p = pointOfId(id);
            uint32_t cell = isTame(p) ? uint32_t(cellOf(p)) : uint32_t(-1);
            cellOfId_[id] = cell;
            if (cell != uint32_t(-1)) ++cellStart_[cell + 1];
        }
        for (size_t c = 1; c < cellStart_.size(); ++c) cellStart_[c] += cellStart_[c - 1];
        items_.resize(used);
        fill_.assign(cellStart_.begin(), cellStart_.end() - 1);
        for (uint32_t id = 0; id < count; ++id) {
            if (cellOfId_[id] != uint32_t(-1)) items_[fill_[cellOfId_[id]]++] = id;
        }
    }

    // Calls visit(id) for every point that may lie in [x0, x1] x [y0, y1] until visit returns
    // true; gives whether it did.
    template <typename Visit>
    bool anyInBox(double x0, double y0, double x1, double y1, Visit visit) const {
        if (x1 < bounds_.minX || x0 > bounds_.maxX || y1 < bounds_.minY || y0 > bounds_.maxY) return false;
        uint32_t cx0 = column(x0), cx1 = column(x1), cy0 = row(y0), cy1 = row(y1);
        for (uint32_t cy = cy0; cy <= cy1; ++cy) {
            size_t rowStart = size_t(cy) * nx_;
            uint32_t from = cellStart_[rowStart + cx0];
            uint32_t to = cellStart_[rowStart + cx1 + 1];
            for (uint32_t k = from; k < to; ++k) {
                if (visit(items_[k])) return true;
            }
        }
        return false;
    }

    // Like anyInBox, for the points that may lie in the tame triangle (u, v, w) by the
    // half-open test, `slack` being its box's. Where a row of the box holds more than a few
    // points over more than three cells, only the cells across the triangle's own width there
    // are taken (widened by the slack, which bounds how far a computed crossing can stray), so
    // a long thin triangle over a crowd of points does not cost its whole bounding box; across
    // fewer cells the narrowing would cost more than the points it could skip.
    template <typename Visit>
    bool anyNearTriangle(Point u, Point v, Point w, double slack, Visit visit) const {
        auto lesser = [](double a, double b) { return a < b ? a : b; };
        auto greater = [](double a, double b) { return a > b ? a : b; };
        double minY = lesser(u.y, lesser(v.y, w.y)), maxY = greater(u.y, greater(v.y, w.y));
        double minX = lesser(u.x, lesser(v.x, w.x)) - slack, maxX = greater(u.x, greater(v.x, w.x)) + slack;
        if (maxX < bounds_.minX || minX > bounds_.maxX || maxY < bounds_.minY || minY > bounds_.maxY) return false;
        uint32_t r0 = row(minY), r1 = row(maxY), c0 = column(minX), c1 = column(maxX);
        const Point corners[3] = {u, v, w};
        double h = cellHeight_;
        for (uint32_t r = r0; r <= r1; ++r) {
            size_t rowStart = size_t(r) * nx_;
            uint32_t from = cellStart_[rowStart + c0], to = cellStart_[rowStart + c1 + 1];
            if (to - from > 8 && c1 > c0 + 2) {
                // The heights that map to this row, a little widened for the rounding of the
                // mapping; the first and last rows also take whatever lies beyond the grid.
                double fuzz = fuzzY_;
                double lo = r == r0 ? minY : greater(minY, bounds_.minY + r * h - fuzz);
                double hi = r == r1 ? maxY : lesser(maxY, bounds_.minY + (r + 1) * h + fuzz);
                double left = INFINITY, right = -INFINITY;
                for (int k = 0; k < 3; ++k) {
                    Point a = corners[k], b = corners[k == 2 ? 0 : k + 1];
                    if (a.y >= lo && a.y <= hi) {
                        left = lesser(left, a.x);
                        right = greater(right, a.x);
                    }
                    if (a.y == b.y) continue;
                    double slope = (double(b.x) - a.x) / (double(b.y) - a.y);
                    for (double y : {lo, hi}) {
                        if ((y - a.y) * (y - b.y) > 0) continue;
                        double x = a.x + (y - a.y) * slope;
                        left = lesser(left, x);
                        right = greater(right, x);
                    }
                }
                if (!(left <= right)) continue;
                from = cellStart_[rowStart + column(left - slack)];
                to = cellStart_[rowStart + column(right + slack) + 1];
            }
            for (uint32_t k = from; k < to; ++k) {
                if (visit(items_[k])) return true;
            }
        }
        return false;
    }

    // Calls visitCell(x, y) for every cell at Chebyshev distance `ring` from cell (cx, cy).
    template <typename VisitCell>
    void forEachCellInRing(uint32_t cx, uint32_t cy, uint32_t ring, VisitCell visitCell) const {
        int64_t x0 = int64_t(cx) - ring, x1 = int64_t(cx) + ring, y0 = int64_t(cy) - ring, y1 = int64_t(cy) + ring;
        for (int64_t y = std::max<int64_t>(y0, 0); y <= std::min<int64_t>(y1, int64_t(ny_) - 1); ++y) {
            if (y == y0 || y == y1) {
                for (int64_t x = std::max<int64_t>(x0, 0); x <= std::min<int64_t>(x1, int64_t(nx_) - 1); ++x) {
                    visitCell(uint32_t(x), uint32_t(y));
                }
            } else {
                // Inside rows only their two end cells belong to the ring.
                if (x0 >= 0) visitCell(uint32_t(x0), uint32_t(y));
                if (x1 <= int64_t(nx_) - 1) visitCell(uint32_t(x1), uint32_t(y));
            }
        }
    }
    // The squared distance from a point to the region whose points map to cell (x, y), less
    // a little for the rounding of that mapping.
    double cellDistanceSquared(double px, double py, uint32_t x, uint32_t y) const {
        double w = cellWidth(), h = cellHeight();
        double fuzz = 1e-12 * (std::fabs(bounds_.minX) + std::fabs(bounds_.maxX) + std::fabs(bounds_.minY) +
                               std::fabs(bounds_.maxY));
        double left = x == 0 ? -INFINITY : bounds_.minX + x * w - fuzz;
        double right = x + 1 == nx_ ? INFINITY : bounds_.minX + (x + 1) * w + fuzz;
        double bottom = y == 0 ? -INFINITY : bounds_.minY + y * h - fuzz;
        double top = y + 1 == ny_ ? INFINITY : bounds_.minY + (y + 1) * h + fuzz;
        double dx = px < left ? left - px : px > right ? px - right : 0.0;
        double dy = py < bottom ? bottom - py : py > top ? py - top : 0.0;
        return dx * dx + dy * dy;
    }
    uint32_t columns() const { return nx_; }
    uint32_t rows() const { return ny_; }
    double minCellSide() const {
        double w = cellWidth(), h = cellHeight();
        return nx_ == 1 ? (ny_ == 1 ? 0.0 : h) : ny_ == 1 ? w : std::fmin(w, h);
    }
    // Monotone in the coordinate, so a point inside a box always lands in one of the box's cells.
    // (Truncating a positive value is its floor.)
    uint32_t column(double x) const {
        double c = (x - bounds_.minX) * scaleX_;
        return !(c > 0) ? 0 : c >= lastColumn_ ? nx_ - 1 : uint32_t(c);
    }
    uint32_t row(double y) const {
        double c = (y - bounds_.minY) * scaleY_;
        return !(c > 0) ? 0 : c >= lastRow_ ? ny_ - 1 : uint32_t(c);
    }

    static bool isTame(Point p) { return std::fabs(p.x) <= tameLimit && std::fabs(p.y) <= tameLimit; }
    double cellWidth() const { return cellWidth_; }
    double cellHeight() const { return cellHeight_; }
    const Bounds& bounds() const { return bounds_; }

private:
    size_t cellOf(Point p) const { return size_t(row(p.y)) * nx_ + column(p.x); }

    Bounds bounds_;
    uint32_t nx_ = 1;
    uint32_t ny_ = 1;
    double lastColumn_ = 0.0; // nx_ - 1 and ny_ - 1, kept as doubles for the mapping
    double lastRow_ = 0.0;
    double scaleX_ = 0.0;
    double scaleY_ = 0.0;
    double cellWidth_ = 0.0;
    double cellHeight_ = 0.0;
    double fuzzY_ = 0.0; // how far the heights mapped to a row can stray from its bounds
    std::vector<uint32_t> cellStart_;
    std::vector<uint32_t> items_;
    std::vector<uint32_t> fill_;
    std::vector<uint32_t> cellOfId_;
};

} // namespace hv::polygon
