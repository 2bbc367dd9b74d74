// Internals of hole bridging shared by its parts: the state one bridging keeps and the pass that runs it.
#pragma once

#include "picture/PathLeaf.h"
#include "picture/PolygonMath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace hv::bridging {

using polygon::Point;

inline constexpr uint32_t none = uint32_t(-1);

inline float orientationSum(const float* v, const IndexPolygon& polygon) {
    float sum = 0.0f;
    size_t n = polygon.size();
    for (size_t k = 0; k < n; ++k) {
        Point a = polygon::pointAt(v, polygon[k]);
        Point b = polygon::pointAt(v, polygon[k + 1 == n ? 0 : k + 1]);
        sum += (b.x - a.x) * (b.y + a.y);
    }
    return sum;
}

inline float distanceSquared(Point a, Point b) {
    float dx = a.x - b.x;
    float dy = a.y - b.y;
    return dx * dx + dy * dy;
}

// Coordinates in this range (or zero) keep every product of two coordinate differences a
// normal number, so rounding errors stay relative and the bounds below hold.
inline bool wellScaled(float c) {
    float a = std::fabs(c);
    return a == 0.0f || (a >= 0x1p-40f && a <= 0x1p60f);
}

// Uniform cells over fixed bounds; the border cells also take whatever lies beyond.
struct Cells {
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    uint32_t nx = 1, ny = 1;
    double scaleX = 0, scaleY = 0;
    double lastColumn = 0, lastRow = 0;      // nx - 1 and ny - 1 as doubles, for the mapping
    double width = 0, height = 0, slack = 0; // of a cell, and the rounding allowance of the mapping

    void set(double x0, double y0, double x1, double y1, double cells) {
        minX = x0;
        minY = y0;
        maxX = x1;
        maxY = y1;
        double w = x1 - x0, h = y1 - y0;
        cells = std::fmax(1.0, std::fmin(cells, 4194304.0));
        polygon::gridShape(cells, w, h, nx, ny);
        lastColumn = double(nx - 1);
        lastRow = double(ny - 1);
        scaleX = w > 0 ? nx / w : 0.0;
        scaleY = h > 0 ? ny / h : 0.0;
        width = scaleX > 0 ? 1.0 / scaleX : 0.0;
        height = scaleY > 0 ? 1.0 / scaleY : 0.0;
        slack = 1e-12 * (std::fabs(minX) + std::fabs(maxX) + std::fabs(minY) + std::fabs(maxY)) + 1e-300;
    }
    // Monotone in the coordinate (truncating a positive value is its floor).
    uint32_t column(double x) const {
        double c = (x - minX) * scaleX;
        return !(c > 0) ? 0 : c >= lastColumn ? nx - 1 : uint32_t(c);
    }
    uint32_t row(double y) const {
        double c = (y - minY) * scaleY;
        return !(c > 0) ? 0 : c >= lastRow ? ny - 1 : uint32_t(c);
    }
    size_t cellOf(Point p) const { return size_t(row(p.y)) * nx + column(p.x); }
    size_t count() const { return size_t(nx) * ny; }
    double cellWidth() const { return width; }
    double cellHeight() const { return height; }
    double minCellSide() const {
        double w = cellWidth(), h = cellHeight();
        return nx == 1 ? (ny == 1 ? 0.0 : h) : ny == 1 ? w : std::fmin(w, h);
    }
    double fuzz() const { return slack; }
    // The squared distance from a point to the region whose points map to cell (x, y), less a
    // little for the rounding of that mapping.
    double cellDistanceSquared(double px, double py, uint32_t x, uint32_t y) const {
        double w = cellWidth(), h = cellHeight(), f = fuzz();
        double left = x == 0 ? -INFINITY : minX + x * w - f;
        double right = x + 1 == nx ? INFINITY : minX + (x + 1) * w + f;
        double bottom = y == 0 ? -INFINITY : minY + y * h - f;
        double top = y + 1 == ny ? INFINITY : minY + (y + 1) * h + f;
        double dx = px < left ? left - px : px > right ? px - right : 0.0;
        double dy = py < bottom ? bottom - py : py > top ? py - top : 0.0;
        return dx * dx + dy * dy;
    }
};

// Running sums over the outline's edges, of the single-precision orientation terms and of the
// double-precision area terms, with the sums of their magnitudes, which bound every partial sum.
// A splice only adds edges, so they grow with the outline and are never taken afresh.
struct Sums {
    double f = 0, fAbs = 0;
    double d = 0, dAbs = 0;
    bool finite = true;
    void addEdge(Point a, Point b) {
        float t = (b.x - a.x) * (b.y + a.y);
        double area = double(a.x) * b.y - double(b.x) * a.y;
        finite = finite && std::isfinite(t) && std::isfinite(area);
        f += t;
        fAbs += std::fabs(t);
        d += area;
        dAbs += std::fabs(area);
    }
};

struct Chunk {
    std::vector<uint32_t> entries;
    uint32_t start = 0; // position of the first entry
    uint32_t index = 0; // place in the chunk order
};

struct Pair {
    float d;
    uint32_t i; // outer position
    uint32_t j; // hole position
    uint32_t e; // outer entry
    bool operator<(const Pair& o) const {
        if (d != o.d) return d < o.d;
        if (i != o.i) return i < o.i;
        return j < o.j;
    }
};

struct HoleState {
    enum : char { Fresh, Failed, Done } status = Fresh;
    uint32_t searchedEntries = 0; // outer entries that existed at its last search
    uint32_t reversalsSeen = 0;
    std::vector<std::pair<uint32_t, uint32_t>> fragile; // (entry, j) blocked only by edges that may turn
};

// Everything one bridging keeps, reused between calls so small polygons allocate nothing.
struct BridgeScratch {
    std::vector<Chunk> chunks;
    std::vector<uint32_t> order;
    std::vector<uint32_t> entryVertex, entryChunk, entryOffset;
    std::vector<uint32_t> pointHead, pointNext;
    std::vector<uint32_t> edgeFrom, edgeTo, edgeOwner, edgeStamp;
    std::vector<uint32_t> edgeHead, longEdges;
    std::vector<std::pair<uint32_t, uint32_t>> nodes; // per cell's list: (edge, next node)
    std::vector<uint64_t> spotKeys;
    std::vector<uint32_t> spotCounts;
    std::vector<HoleState> holes;
    std::vector<uint32_t> holeEdgeStart;
    std::vector<Pair> pairs, tied, group;
    std::vector<std::pair<uint32_t, uint32_t>> suspects, carry;
    std::vector<uint32_t> walk;
    std::vector<Point> holePoints; // the searched hole's points
    std::vector<uint32_t> recent;  // per hole point, recentSize blocking edges
    std::vector<uint8_t> recentCount;
    std::vector<uint32_t> byDirection; // per hole point, directionBuckets_ blocking edges
    std::vector<uint32_t> failed;
};

// One bridging of a solid's holes into its outer polygon; the parts are in
// PathLeafBridging.cpp (set-up, splicing, the passes), PathLeafBridgingOutline.cpp,
// PathLeafBridgingGrid.cpp and PathLeafBridgingSearch.cpp.
class Bridging {
public:
    Bridging(const float* v, IndexPolygon& outer, const std::vector<IndexPolygon>& holes);
    bool run();

private:
    // The outline.
    uint32_t positionOf(uint32_t e) const { return s_.chunks[s_.entryChunk[e]].start + s_.entryOffset[e]; }
    uint32_t nextEntry(uint32_t e) const;
    uint32_t previousEntry(uint32_t e) const;
    Point entryPoint(uint32_t e) const { return polygon::pointAt(v_, s_.entryVertex[e]); }
    uint32_t newEntry(uint32_t vertex);
    void appendChunk();
    void insertAfter(uint32_t e, const std::vector<uint32_t>& vertices);
    bool outlineOrientationPositive();
    bool outlineAreaNegative();

    // Points and edges in the grid.
    void buildIndex();
    void buildSpots();
    void notePlainWork(uint64_t work);
    void insertPoint(uint32_t e);
    uint32_t addEdge(uint32_t from, uint32_t to, uint32_t owner);
    void insertEdge(uint32_t edge);
    void spotAdd(Point p);
    uint32_t spotCount(Point p);
    uint32_t countSpot(Point p);
    size_t spotSlot(uint64_t key) const;

    // Crossing tests, as the plain scan makes them.
    bool edgeCrosses(uint32_t a, uint32_t b, uint32_t edge) const;
    bool edgeCrossesTurned(uint32_t a, uint32_t b, uint32_t edge) const;
    bool testEdge(uint32_t a, uint32_t b, uint32_t edge, uint32_t& blocker);
    template <typename Visit>
    void visitCorridor(Point p, Point q, double t0, double t1, double w, Visit visit) const;
    bool crosses(uint32_t a, uint32_t b, uint32_t j, uint32_t& blocker);
    bool permanent(uint32_t edge, uint32_t a, uint32_t b) const;
    bool blocked(size_t h, uint32_t e, uint32_t j);

    // Searching one hole.
    bool entersCorner(uint32_t e, Point target);
    bool chooseAmongTied(size_t h, const Pair* tied, size_t count, Pair& chosen);
    bool tryNearestFirst(size_t h, std::vector<Pair>& pairs, Pair& chosen);
    bool searchAll(size_t h, Pair& chosen);
    bool searchAllPairs(size_t h, Pair& chosen);
    bool searchThroughGrid(size_t h, Pair& chosen);
    bool searchAgain(size_t h, Pair& chosen, std::vector<std::pair<uint32_t, uint32_t>>& carry);
    bool search(size_t h, Pair& chosen);
    void splice(size_t h, const Pair& at);

    static constexpr uint32_t chunkLimit = 1024;
    static constexpr size_t smallPairCount = 2048;

    BridgeScratch& s_;
    const float* v_;
    IndexPolygon& outer_;
    const std::vector<IndexPolygon>& holes_;
    uint32_t chunkCount_ = 0;
    uint32_t outlineSize_ = 0;
    Cells cells_;
    Sums sums_;
    bool indexed_ = false; // the grid filters may be used (all coordinates well scaled)
    // Whether the grid (or, where it may not be used, the counts per spot) has been built;
    // until then crossing tests and spot counts scan everything, and count what that costs.
    bool built_ = false;
    bool spotsBuilt_ = false;
    uint64_t spotWalk_ = 0; // entries met counting spots in the grid
    // The last spot counted, until the outline grows.
    bool spotKnown_ = false;
    Point lastSpot_{};
    uint32_t lastSpotCount_ = 0;
    uint64_t plainWork_ = 0, plainBudget_ = 0;
    size_t finalEntries_ = 0; // the outline's size once every hole is in
    double corridor_ = 0;     // how far from a segment's line an edge can be and still be met
    uint32_t stamp_ = 0;
    uint32_t reversals_ = 0;
    size_t searching_ = 0;
    bool recording_ = false; // keep the pairs whose blocking may change
    bool areaKnown_ = false;
    bool areaNegative_ = false;
    static constexpr uint32_t recentSize = 8;
    // Directions told apart per hole point: more for a longer outline, whose bridges fan out
    // over more blocking edges.
    uint32_t directionBuckets_ = 8;
    // A cheap monotone stand-in for the angle of q - p, in 0 .. directionBuckets_ - 1.
    uint32_t directionBucket(Point p, Point q) const {
        double dx = double(q.x) - p.x, dy = double(q.y) - p.y;
        double sum = std::fabs(dx) + std::fabs(dy);
        if (!(sum > 0)) return 0;
        double r = dx / sum;                    // -1 .. 1
        double angle = dy >= 0 ? 1 - r : 3 + r; // 0 .. 4
        uint32_t bucket = uint32_t(angle * (directionBuckets_ / 4));
        return bucket < directionBuckets_ ? bucket : directionBuckets_ - 1;
    }
};

// Small enough, and run often enough, to be inlined in every part.
inline uint32_t Bridging::newEntry(uint32_t vertex) {
    uint32_t e = uint32_t(s_.entryVertex.size());
    s_.entryVertex.push_back(vertex);
    s_.entryChunk.push_back(0);
    s_.entryOffset.push_back(0);
    s_.pointNext.push_back(none);
    return e;
}

inline void Bridging::insertPoint(uint32_t e) {
    size_t cell = cells_.cellOf(entryPoint(e));
    s_.pointNext[e] = s_.pointHead[cell];
    s_.pointHead[cell] = e;
}

inline uint32_t Bridging::addEdge(uint32_t from, uint32_t to, uint32_t owner) {
    uint32_t edge = uint32_t(s_.edgeFrom.size());
    s_.edgeFrom.push_back(from);
    s_.edgeTo.push_back(to);
    s_.edgeOwner.push_back(owner);
    s_.edgeStamp.push_back(0);
    if (built_ && indexed_) insertEdge(edge);
    return edge;
}

// Edge (c, d) as it stands in its polygon; an edge that shares a vertex number with the
// segment from vertex a to vertex b is not met.
inline bool Bridging::edgeCrosses(uint32_t a, uint32_t b, uint32_t edge) const {
    uint32_t c = s_.edgeFrom[edge], d = s_.edgeTo[edge];
    if (a == c || a == d || b == c || b == d) return false;
    return polygon::segmentsCross(polygon::pointAt(v_, a), polygon::pointAt(v_, b), polygon::pointAt(v_, c),
                                  polygon::pointAt(v_, d));
}

inline bool Bridging::edgeCrossesTurned(uint32_t a, uint32_t b, uint32_t edge) const {
    uint32_t c = s_.edgeTo[edge], d = s_.edgeFrom[edge];
    if (a == c || a == d || b == c || b == d) return false;
    return polygon::segmentsCross(polygon::pointAt(v_, a), polygon::pointAt(v_, b), polygon::pointAt(v_, c),
                                  polygon::pointAt(v_, d));
}

inline bool Bridging::testEdge(uint32_t a, uint32_t b, uint32_t edge, uint32_t& blocker) {
    if (s_.edgeStamp[edge] == stamp_) return false;
    s_.edgeStamp[edge] = stamp_;
    if (!edgeCrosses(a, b, edge)) return false;
    blocker = edge;
    return true;
}

} // namespace hv::bridging
