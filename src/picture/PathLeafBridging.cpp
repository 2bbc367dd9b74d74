// Hole bridging: each hole joins its solid through a zero-width bridge to the nearest visible vertex.
//
// The choice is the plain one: for each pass over the open holes in order, the first hole that
// has a vertex pair (outer position i, hole position j) whose segment crosses no edge of the
// outer polygon or of an open hole is spliced in at the nearest such pair, ties going to the
// earlier pair in (i, j) order (and, at a vertex the outline holds more than once, to a pair
// whose bridge leaves the outer vertex into the polygon). What is built here only finds that
// pair faster, with structures that grow with the outline instead of being rebuilt for every
// hole:
// - the outline is a sequence of chunks, so a splice costs the chunk it lands in, and a
//   position is the chunk's start plus an offset;
// - its points sit in a grid over the bounds of the outline and all the holes, so the nearest
//   pairs come first;
// - every edge that can block a bridge (the outline's, the holes', the bridges') sits in the
//   same grid, so a crossing test looks only at the cells along the segment's line;
// - the sums that decide orientations are kept per chunk with bounds on their rounding, so the
//   plain sums over the whole outline are needed only when the bounds cannot settle the sign;
// - a hole whose search found nothing keeps what it learnt: in later passes only pairs with
//   vertices that joined the outline since, and the few pairs whose blocking could change,
//   are tried again.
#include "picture/PathLeaf.h"

#include "picture/PolygonMath.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <iostream>
#include <iterator>
#include <vector>

namespace hv {

using polygon::Point;

namespace {

constexpr uint32_t none = uint32_t(-1);

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

// Coordinates in this range (or zero) keep every product of two coordinate differences a
// normal number, so rounding errors stay relative and the bounds below hold.
bool wellScaled(float c) {
    float a = std::fabs(c);
    return a == 0.0f || (a >= 0x1p-40f && a <= 0x1p60f);
}

// Uniform cells over fixed bounds; the border cells also take whatever lies beyond.
struct Cells {
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    uint32_t nx = 1, ny = 1;
    double scaleX = 0, scaleY = 0;

    void set(double x0, double y0, double x1, double y1, double cells) {
        minX = x0;
        minY = y0;
        maxX = x1;
        maxY = y1;
        double w = x1 - x0, h = y1 - y0;
        cells = std::fmax(1.0, std::fmin(cells, 4194304.0));
        if (!(w > 0) && !(h > 0)) {
            nx = ny = 1;
        } else if (!(w > 0)) {
            nx = 1;
            ny = uint32_t(std::fmin(cells, 65536.0));
        } else if (!(h > 0)) {
            ny = 1;
            nx = uint32_t(std::fmin(cells, 65536.0));
        } else {
            double columns = std::fmin(std::fmax(1.0, std::sqrt(cells * w / h)), std::fmin(cells, 65536.0));
            nx = uint32_t(columns);
            ny = uint32_t(std::fmin(std::fmax(1.0, cells / nx), 65536.0));
        }
        scaleX = w > 0 ? nx / w : 0.0;
        scaleY = h > 0 ? ny / h : 0.0;
    }
    // Monotone in the coordinate (truncating a positive value is its floor).
    uint32_t column(double x) const {
        double c = (x - minX) * scaleX;
        return !(c > 0) ? 0 : c >= nx - 1 ? nx - 1 : uint32_t(c);
    }
    uint32_t row(double y) const {
        double c = (y - minY) * scaleY;
        return !(c > 0) ? 0 : c >= ny - 1 ? ny - 1 : uint32_t(c);
    }
    size_t cellOf(Point p) const { return size_t(row(p.y)) * nx + column(p.x); }
    size_t count() const { return size_t(nx) * ny; }
    double cellWidth() const { return scaleX > 0 ? 1.0 / scaleX : 0.0; }
    double cellHeight() const { return scaleY > 0 ? 1.0 / scaleY : 0.0; }
    double minCellSide() const {
        double w = cellWidth(), h = cellHeight();
        return nx == 1 ? (ny == 1 ? 0.0 : h) : ny == 1 ? w : std::fmin(w, h);
    }
    double fuzz() const { return 1e-12 * (std::fabs(minX) + std::fabs(maxX) + std::fabs(minY) + std::fabs(maxY)) + 1e-300; }
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

// The sums over one run of the outline's edges, of the single-precision orientation terms and
// of the double-precision area terms: total, total of magnitudes, and the least and largest
// partial sum (the empty one included).
struct Sums {
    double f = 0, fAbs = 0, fLo = 0, fHi = 0;
    double d = 0, dAbs = 0, dLo = 0, dHi = 0;
    bool finite = true;
    void add(const Sums& o) {
        fLo = std::min(fLo, f + o.fLo);
        fHi = std::max(fHi, f + o.fHi);
        f += o.f;
        fAbs += o.fAbs;
        dLo = std::min(dLo, d + o.dLo);
        dHi = std::max(dHi, d + o.dHi);
        d += o.d;
        dAbs += o.dAbs;
        finite = finite && o.finite;
    }
};

struct Chunk {
    std::vector<uint32_t> entries;
    uint32_t start = 0; // position of the first entry
    uint32_t index = 0; // place in the chunk order
    bool dirty = true;
    Sums sums;
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
    std::vector<uint32_t> pointHead, pointNext, wildEntries;
    std::vector<uint32_t> edgeFrom, edgeTo, edgeOwner, edgeStamp;
    std::vector<uint32_t> edgeHead, nodeEdge, nodeNext, longEdges;
    std::vector<uint64_t> spotKeys;
    std::vector<uint32_t> spotCounts;
    std::vector<HoleState> holes;
    std::vector<uint32_t> holeEdgeStart;
    std::vector<Pair> pairs, tied, group;
    std::vector<std::pair<uint32_t, uint32_t>> suspects, carry;
    std::vector<uint32_t> walk;
    std::vector<uint32_t> recent; // per hole point, recentSize blocking edges
    std::vector<uint8_t> recentCount;
    std::vector<uint32_t> byDirection; // per hole point, directionBuckets_ blocking edges
    std::vector<uint32_t> failed;
};

thread_local BridgeScratch bridgeScratch;

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
    void refreshSums(Chunk& c);
    Sums totalSums();
    bool outlineOrientationPositive();
    bool outlineAreaNegative();

    // Points and edges in the grid.
    void addPoint(uint32_t e);
    uint32_t addEdge(uint32_t from, uint32_t to, uint32_t owner);
    void spotAdd(Point p);
    uint32_t spotCount(Point p) const;
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
    bool indexed_ = false; // the grid filters may be used (all coordinates well scaled)
    double corridor_ = 0;  // how far from a segment's line an edge can be and still be met
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
        double r = dx / sum; // -1 .. 1
        double angle = dy >= 0 ? 1 - r : 3 + r; // 0 .. 4
        uint32_t bucket = uint32_t(angle * (directionBuckets_ / 4));
        return bucket < directionBuckets_ ? bucket : directionBuckets_ - 1;
    }
};

Bridging::Bridging(const float* v, IndexPolygon& outer, const std::vector<IndexPolygon>& holes)
    : s_(bridgeScratch), v_(v), outer_(outer), holes_(holes) {
    // Bounds of every point that the outline holds now or will hold.
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    size_t total = outer.size();
    indexed_ = true;
    auto take = [&](uint32_t vertex) {
        Point p = polygon::pointAt(v, vertex);
        indexed_ = indexed_ && wellScaled(p.x) && wellScaled(p.y);
        if (std::isfinite(p.x) && std::isfinite(p.y)) {
            x0 = std::min(x0, double(p.x));
            x1 = std::max(x1, double(p.x));
            y0 = std::min(y0, double(p.y));
            y1 = std::max(y1, double(p.y));
        }
    };
    for (uint32_t vertex : outer) take(vertex);
    for (const IndexPolygon& hole : holes) {
        total += hole.size();
        for (uint32_t vertex : hole) take(vertex);
    }
    if (!(x0 <= x1)) x0 = y0 = x1 = y1 = 0;
    cells_.set(x0, y0, x1, y1, indexed_ ? double(total) / 2 : 1.0);
    corridor_ = 32 * 0x1p-24 * ((x1 - x0) + (y1 - y0));

    chunkCount_ = 0;
    s_.order.clear();
    s_.entryVertex.clear();
    s_.entryChunk.clear();
    s_.entryOffset.clear();
    s_.pointHead.assign(cells_.count(), none);
    s_.pointNext.clear();
    s_.wildEntries.clear();
    s_.edgeFrom.clear();
    s_.edgeTo.clear();
    s_.edgeOwner.clear();
    s_.edgeStamp.clear();
    s_.edgeHead.assign(cells_.count(), none);
    s_.nodeEdge.clear();
    s_.nodeNext.clear();
    s_.longEdges.clear();
    size_t slots = 16;
    while (slots < 2 * (total + 2 * holes.size())) slots *= 2;
    s_.spotKeys.assign(slots, 0);
    s_.spotCounts.assign(slots, 0);
    s_.holes.resize(holes.size());
    for (HoleState& state : s_.holes) {
        state.status = HoleState::Fresh;
        state.searchedEntries = 0;
        state.reversalsSeen = 0;
        state.fragile.clear();
    }
    s_.failed.clear();

    // The outline in chunks, and the edges that can block a bridge: the outline's and every hole's.
    appendChunk();
    for (uint32_t vertex : outer) {
        if (s_.chunks[s_.order.back()].entries.size() >= chunkLimit) appendChunk();
        Chunk& c = s_.chunks[s_.order.back()];
        uint32_t e = newEntry(vertex);
        s_.entryChunk[e] = s_.order.back();
        s_.entryOffset[e] = uint32_t(c.entries.size());
        c.entries.push_back(e);
        addPoint(e);
        spotAdd(polygon::pointAt(v, vertex));
    }
    outlineSize_ = uint32_t(outer.size());
    uint32_t start = 0;
    for (uint32_t c : s_.order) {
        s_.chunks[c].start = start;
        start += uint32_t(s_.chunks[c].entries.size());
    }
    size_t m = outer.size();
    for (size_t k = 0; k < m; ++k) addEdge(outer[k == 0 ? m - 1 : k - 1], outer[k], none);
    s_.holeEdgeStart.resize(holes.size() + 1);
    for (size_t h = 0; h < holes.size(); ++h) {
        s_.holeEdgeStart[h] = uint32_t(s_.edgeFrom.size());
        const IndexPolygon& hole = holes[h];
        size_t k = hole.size();
        for (size_t a = 0; a < k; ++a) addEdge(hole[a == 0 ? k - 1 : a - 1], hole[a], uint32_t(h));
    }
    s_.holeEdgeStart[holes.size()] = uint32_t(s_.edgeFrom.size());
}

uint32_t Bridging::newEntry(uint32_t vertex) {
    uint32_t e = uint32_t(s_.entryVertex.size());
    s_.entryVertex.push_back(vertex);
    s_.entryChunk.push_back(0);
    s_.entryOffset.push_back(0);
    s_.pointNext.push_back(none);
    return e;
}

void Bridging::appendChunk() {
    if (chunkCount_ == s_.chunks.size()) s_.chunks.emplace_back();
    Chunk& c = s_.chunks[chunkCount_];
    c.entries.clear();
    c.dirty = true;
    c.index = uint32_t(s_.order.size());
    s_.order.push_back(chunkCount_);
    ++chunkCount_;
}

uint32_t Bridging::nextEntry(uint32_t e) const {
    const Chunk& c = s_.chunks[s_.entryChunk[e]];
    uint32_t off = s_.entryOffset[e] + 1;
    if (off < c.entries.size()) return c.entries[off];
    uint32_t k = c.index + 1 == s_.order.size() ? 0 : c.index + 1;
    return s_.chunks[s_.order[k]].entries.front();
}

uint32_t Bridging::previousEntry(uint32_t e) const {
    const Chunk& c = s_.chunks[s_.entryChunk[e]];
    uint32_t off = s_.entryOffset[e];
    if (off > 0) return c.entries[off - 1];
    uint32_t k = c.index == 0 ? uint32_t(s_.order.size()) - 1 : c.index - 1;
    return s_.chunks[s_.order[k]].entries.back();
}

// Inserts the vertices, as new entries, right after entry e.
void Bridging::insertAfter(uint32_t e, const std::vector<uint32_t>& vertices) {
    uint32_t chunkId = s_.entryChunk[e];
    uint32_t off = s_.entryOffset[e] + 1;
    size_t first = s_.entryVertex.size();
    for (uint32_t vertex : vertices) newEntry(vertex);
    {
        Chunk& c = s_.chunks[chunkId];
        c.entries.resize(c.entries.size() + vertices.size());
        std::move_backward(c.entries.begin() + off, c.entries.end() - std::ptrdiff_t(vertices.size()), c.entries.end());
        for (size_t k = 0; k < vertices.size(); ++k) c.entries[off + k] = uint32_t(first + k);
        for (size_t k = off; k < c.entries.size(); ++k) {
            s_.entryChunk[c.entries[k]] = chunkId;
            s_.entryOffset[c.entries[k]] = uint32_t(k);
        }
        c.dirty = true;
    }
    outlineSize_ += uint32_t(vertices.size());
    // A chunk that grew too long is split in two.
    while (s_.chunks[chunkId].entries.size() > 2 * chunkLimit) {
        if (chunkCount_ == s_.chunks.size()) s_.chunks.emplace_back();
        uint32_t newId = chunkCount_++;
        Chunk& c = s_.chunks[chunkId];
        Chunk& n = s_.chunks[newId];
        n.entries.assign(c.entries.begin() + chunkLimit, c.entries.end());
        c.entries.resize(chunkLimit);
        n.dirty = true;
        for (size_t k = 0; k < n.entries.size(); ++k) {
            s_.entryChunk[n.entries[k]] = newId;
            s_.entryOffset[n.entries[k]] = uint32_t(k);
        }
        s_.order.insert(s_.order.begin() + c.index + 1, newId);
        for (size_t k = c.index + 1; k < s_.order.size(); ++k) s_.chunks[s_.order[k]].index = uint32_t(k);
        chunkId = newId;
    }
    uint32_t start = 0;
    for (uint32_t c : s_.order) {
        s_.chunks[c].start = start;
        start += uint32_t(s_.chunks[c].entries.size());
    }
}

void Bridging::refreshSums(Chunk& c) {
    Sums s;
    for (uint32_t e : c.entries) {
        Point a = entryPoint(e), b = entryPoint(nextEntry(e));
        float t = (b.x - a.x) * (b.y + a.y);
        double d = double(a.x) * b.y - double(b.x) * a.y;
        s.finite = s.finite && std::isfinite(t) && std::isfinite(d);
        s.f += t;
        s.fAbs += std::fabs(t);
        s.fLo = std::min(s.fLo, s.f);
        s.fHi = std::max(s.fHi, s.f);
        s.d += d;
        s.dAbs += std::fabs(d);
        s.dLo = std::min(s.dLo, s.d);
        s.dHi = std::max(s.dHi, s.d);
    }
    c.sums = s;
    c.dirty = false;
}

Sums Bridging::totalSums() {
    Sums total;
    for (uint32_t id : s_.order) {
        Chunk& c = s_.chunks[id];
        if (c.dirty) refreshSums(c);
        total.add(c.sums);
    }
    return total;
}

// orientationSum(outline) > 0, the sum taken in single precision in outline order. The sum
// kept per chunk is exact but for double rounding; the plain sum differs from it by at most
// the rounding of each partial sum, which the largest partial sum bounds. Only when that
// bound leaves the sign open is the plain sum taken.
bool Bridging::outlineOrientationPositive() {
    Sums s = totalSums();
    double m = outlineSize_;
    double uf = 0x1p-24;
    if (s.finite && m * uf < 0.25 && s.fAbs < 1e36) {
        double errD = 2 * m * 0x1p-53 * s.fAbs + 1e-300;
        double peak = std::max(-s.fLo, s.fHi) + errD;
        double err = 1.01 * uf * m * peak / (1 - uf * m) + 2 * m * 0x1p-149 + errD;
        if (s.f - err > 0) return true;
        if (s.f + err <= 0) return false;
    }
    float sum = 0.0f;
    for (uint32_t id : s_.order) {
        for (uint32_t e : s_.chunks[id].entries) {
            Point a = entryPoint(e), b = entryPoint(nextEntry(e));
            sum += (b.x - a.x) * (b.y + a.y);
        }
    }
    return sum > 0;
}

// Whether twice the outline's signed area, summed in double precision in outline order, is
// negative; settled from the kept sums the same way.
bool Bridging::outlineAreaNegative() {
    if (areaKnown_) return areaNegative_;
    areaKnown_ = true;
    Sums s = totalSums();
    double m = outlineSize_;
    double ud = 0x1p-53;
    if (s.finite && m * ud < 0.25 && s.dAbs < 1e300) {
        double mine = 2 * m * ud * s.dAbs + 1e-300;
        double peak = std::max(-s.dLo, s.dHi) + mine;
        double err = mine + 1.01 * ud * m * peak / (1 - ud * m) + 1e-300;
        if (s.d - err >= 0) return areaNegative_ = false;
        if (s.d + err < 0) return areaNegative_ = true;
    }
    double area = 0;
    for (uint32_t id : s_.order) {
        for (uint32_t e : s_.chunks[id].entries) {
            Point a = entryPoint(e), b = entryPoint(nextEntry(e));
            area += double(a.x) * b.y - double(b.x) * a.y;
        }
    }
    return areaNegative_ = area < 0;
}

void Bridging::addPoint(uint32_t e) {
    Point p = entryPoint(e);
    if (!indexed_) {
        s_.wildEntries.push_back(e);
        return;
    }
    size_t cell = cells_.cellOf(p);
    s_.pointNext[e] = s_.pointHead[cell];
    s_.pointHead[cell] = e;
}

uint32_t Bridging::addEdge(uint32_t from, uint32_t to, uint32_t owner) {
    uint32_t edge = uint32_t(s_.edgeFrom.size());
    s_.edgeFrom.push_back(from);
    s_.edgeTo.push_back(to);
    s_.edgeOwner.push_back(owner);
    s_.edgeStamp.push_back(0);
    if (!indexed_) return edge;
    Point a = polygon::pointAt(v_, from), b = polygon::pointAt(v_, to);
    uint32_t cx0 = cells_.column(std::min(a.x, b.x)), cx1 = cells_.column(std::max(a.x, b.x));
    uint32_t cy0 = cells_.row(std::min(a.y, b.y)), cy1 = cells_.row(std::max(a.y, b.y));
    uint64_t covered = uint64_t(cx1 - cx0 + 1) * (cy1 - cy0 + 1);
    if (covered > std::max<uint64_t>(16, 2 * (uint64_t(cells_.nx) + cells_.ny))) {
        s_.longEdges.push_back(edge);
        return edge;
    }
    for (uint32_t y = cy0; y <= cy1; ++y) {
        for (uint32_t x = cx0; x <= cx1; ++x) {
            size_t cell = size_t(y) * cells_.nx + x;
            s_.nodeEdge.push_back(edge);
            s_.nodeNext.push_back(s_.edgeHead[cell]);
            s_.edgeHead[cell] = uint32_t(s_.nodeEdge.size() - 1);
        }
    }
    return edge;
}

// Counts of outline entries per exact spot; -0 and 0 are one spot, and a spot with an
// undefined coordinate is never the same as another.
uint64_t spotKey(Point p) {
    float x = p.x == 0 ? 0.0f : p.x, y = p.y == 0 ? 0.0f : p.y;
    uint32_t bx, by;
    std::memcpy(&bx, &x, 4);
    std::memcpy(&by, &y, 4);
    return (uint64_t(bx) << 32 | by) + 1; // never 0, which marks a free slot
}

size_t Bridging::spotSlot(uint64_t key) const {
    size_t mask = s_.spotKeys.size() - 1;
    size_t slot = size_t((key * 0x9E3779B97F4A7C15ull) >> 20) & mask;
    while (s_.spotKeys[slot] != 0 && s_.spotKeys[slot] != key) slot = (slot + 1) & mask;
    return slot;
}

void Bridging::spotAdd(Point p) {
    if (std::isnan(p.x) || std::isnan(p.y)) return;
    uint64_t key = spotKey(p);
    size_t slot = spotSlot(key);
    s_.spotKeys[slot] = key;
    ++s_.spotCounts[slot];
}

uint32_t Bridging::spotCount(Point p) const {
    if (std::isnan(p.x) || std::isnan(p.y)) return 0;
    size_t slot = spotSlot(spotKey(p));
    return s_.spotKeys[slot] ? s_.spotCounts[slot] : 0;
}

// Edge (c, d) as it stands in its polygon; an edge that shares a vertex number with the
// segment from vertex a to vertex b is not met.
bool Bridging::edgeCrosses(uint32_t a, uint32_t b, uint32_t edge) const {
    uint32_t c = s_.edgeFrom[edge], d = s_.edgeTo[edge];
    if (a == c || a == d || b == c || b == d) return false;
    return polygon::segmentsCross(polygon::pointAt(v_, a), polygon::pointAt(v_, b), polygon::pointAt(v_, c),
                                  polygon::pointAt(v_, d));
}

bool Bridging::edgeCrossesTurned(uint32_t a, uint32_t b, uint32_t edge) const {
    uint32_t c = s_.edgeTo[edge], d = s_.edgeFrom[edge];
    if (a == c || a == d || b == c || b == d) return false;
    return polygon::segmentsCross(polygon::pointAt(v_, a), polygon::pointAt(v_, b), polygon::pointAt(v_, c),
                                  polygon::pointAt(v_, d));
}

bool Bridging::testEdge(uint32_t a, uint32_t b, uint32_t edge, uint32_t& blocker) {
    if (s_.edgeStamp[edge] == stamp_) return false;
    s_.edgeStamp[edge] = stamp_;
    if (!edgeCrosses(a, b, edge)) return false;
    blocker = edge;
    return true;
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
    if (!indexed_) {
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
        for (uint32_t node = s_.edgeHead[cell]; node != none; node = s_.nodeNext[node]) {
            if (testEdge(a, b, s_.nodeEdge[node], blocker)) return found = true;
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

// Whether a bridge from outer entry e towards the target starts inside the outline's corner
// there. Only a spot the outline holds more than once is in question.
bool Bridging::entersCorner(uint32_t e, Point target) {
    Point c = entryPoint(e);
    if (spotCount(c) < 2) return true;
    Point before = entryPoint(previousEntry(e));
    Point after = entryPoint(nextEntry(e));
    if (outlineAreaNegative()) std::swap(before, after);
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
bool Bridging::chooseAmongTied(size_t h, const Pair* tied, size_t count, Pair& chosen) {
    const IndexPolygon& hole = holes_[h];
    size_t first = 0;
    while (first < count && blocked(h, tied[first].e, tied[first].j)) ++first;
    if (first == count) return false;
    chosen = tied[first];
    if (entersCorner(tied[first].e, polygon::pointAt(v_, hole[tied[first].j]))) return true;
    for (size_t q = first + 1; q < count; ++q) {
        if (entersCorner(tied[q].e, polygon::pointAt(v_, hole[tied[q].j])) && !blocked(h, tied[q].e, tied[q].j)) {
            chosen = tied[q];
            return true;
        }
    }
    return true;
}

// Tries the pairs nearest first, each group of equally near pairs in (i, j) order.
// The first few pairs usually settle it, so they come off a heap; when they do not, the
// rest are sorted.
bool Bridging::tryNearestFirst(size_t h, std::vector<Pair>& pairs, Pair& chosen) {
    auto later = [](const Pair& a, const Pair& b) { return b < a; };
    std::make_heap(pairs.begin(), pairs.end(), later);
    auto end = pairs.end();
    for (int groups = 0; groups < 16 && end != pairs.begin(); ++groups) {
        s_.group.clear();
        float d = pairs.front().d;
        while (end != pairs.begin() && pairs.front().d == d) {
            std::pop_heap(pairs.begin(), end, later);
            --end;
            s_.group.push_back(*end);
        }
        if (chooseAmongTied(h, s_.group.data(), s_.group.size(), chosen)) return true;
    }
    std::sort(pairs.begin(), end);
    for (auto start = pairs.begin(); start != end;) {
        auto stop = start + 1;
        while (stop != end && stop->d == start->d) ++stop;
        if (chooseAmongTied(h, &*start, size_t(stop - start), chosen)) return true;
        start = stop;
    }
    return false;
}

// Few enough pairs to measure them all: the nearest ones usually settle the bridge, and only
// when all of them cross something are the others sorted.
bool Bridging::searchAllPairs(size_t h, Pair& chosen) {
    const IndexPolygon& hole = holes_[h];
    size_t k = hole.size();
    float least = FLT_MAX;
    s_.tied.clear();
    for (uint32_t id : s_.order) {
        const Chunk& c = s_.chunks[id];
        for (size_t off = 0; off < c.entries.size(); ++off) {
            uint32_t e = c.entries[off];
            Point o = entryPoint(e);
            for (uint32_t j = 0; j < k; ++j) {
                float d = distanceSquared(o, polygon::pointAt(v_, hole[j]));
                if (d < least) {
                    least = d;
                    s_.tied.clear();
                }
                if (d == least && d < FLT_MAX) s_.tied.push_back(Pair{d, uint32_t(c.start + off), j, e});
            }
        }
    }
    if (chooseAmongTied(h, s_.tied.data(), s_.tied.size(), chosen)) return true;
    s_.pairs.clear();
    for (uint32_t id : s_.order) {
        const Chunk& c = s_.chunks[id];
        for (size_t off = 0; off < c.entries.size(); ++off) {
            uint32_t e = c.entries[off];
            Point o = entryPoint(e);
            for (uint32_t j = 0; j < k; ++j) {
                float d = distanceSquared(o, polygon::pointAt(v_, hole[j]));
                if (d > least && d < FLT_MAX) s_.pairs.push_back(Pair{d, uint32_t(c.start + off), j, e});
            }
        }
    }
    return tryNearestFirst(h, s_.pairs, chosen);
}

// Too many pairs to measure them all: the grid gathers them by distance.
bool Bridging::searchThroughGrid(size_t h, Pair& chosen) {
    const IndexPolygon& hole = holes_[h];
    size_t k = hole.size();
    auto holePoint = [&](uint32_t j) { return polygon::pointAt(v_, hole[j]); };
    auto pairOf = [&](float d, uint32_t e, uint32_t j) { return Pair{d, positionOf(e), j, e}; };
    double reach = 0; // a radius that covers every pair
    {
        double w = cells_.maxX - cells_.minX, hgt = cells_.maxY - cells_.minY;
        reach = std::sqrt(w * w + hgt * hgt);
    }

    // The nearest pairs first: a ring search around each hole point that skips cells farther
    // away than the best distance so far and stops once whole rings are. The search works on
    // true distances with a margin of a few parts in 10^5, far more than single-precision
    // rounding moves a squared distance, so it meets every pair whose rounded distance could
    // be the least; those pairs are kept.
    float best = FLT_MAX;
    s_.tied.clear();
    auto measure = [&](uint32_t e, uint32_t j) {
        float d = distanceSquared(entryPoint(e), holePoint(j));
        if (d < best) {
            best = d;
            s_.tied.clear();
        }
        if (d == best && d < FLT_MAX) s_.tied.push_back(pairOf(d, e, j));
    };
    double side = cells_.minCellSide();
    uint32_t maxRing = std::max(cells_.nx, cells_.ny);
    for (uint32_t j = 0; j < k; ++j) {
        Point p = holePoint(j);
        uint32_t cx = cells_.column(p.x), cy = cells_.row(p.y);
        for (uint32_t ring = 0; ring <= maxRing; ++ring) {
            double gap = (double(ring) - 1.0) * side;
            if (ring > 1 && gap * gap * (1.0 - 1e-5) > best) break;
            int64_t x0 = int64_t(cx) - ring, x1 = int64_t(cx) + ring, y0 = int64_t(cy) - ring, y1 = int64_t(cy) + ring;
            auto cell = [&](int64_t x, int64_t y) {
                if (cells_.cellDistanceSquared(p.x, p.y, uint32_t(x), uint32_t(y)) * (1.0 - 1e-5) > best) return;
                for (uint32_t e = s_.pointHead[size_t(y) * cells_.nx + size_t(x)]; e != none; e = s_.pointNext[e]) measure(e, j);
            };
            for (int64_t y = std::max<int64_t>(y0, 0); y <= std::min<int64_t>(y1, int64_t(cells_.ny) - 1); ++y) {
                if (y == y0 || y == y1) {
                    for (int64_t x = std::max<int64_t>(x0, 0); x <= std::min<int64_t>(x1, int64_t(cells_.nx) - 1); ++x) cell(x, y);
                } else {
                    if (x0 >= 0) cell(x0, y);
                    if (x1 <= int64_t(cells_.nx) - 1) cell(x1, y);
                }
            }
        }
    }
    if (!(best < FLT_MAX)) return false; // no pair has a distance
    std::sort(s_.tied.begin(), s_.tied.end());
    if (chooseAmongTied(h, s_.tied.data(), s_.tied.size(), chosen)) return true;

    // Then the farther pairs in rounds of growing distance, each tested nearest first.
    double lower = best; // pairs at or below this squared distance have been tried
    double upper = std::max(4.0 * lower, side * side);
    for (;;) {
        double radius = std::sqrt(upper);
        bool last = !(radius < reach) || !(upper > lower);
        if (last) upper = INFINITY;
        // A generous margin: the single-precision distance differs from the true one by a few
        // parts in 10^8, so every pair it puts within the radius is gathered.
        double box = radius * (1.0 + 1e-5) + 1e-30;
        auto gather = [&](auto consider) {
            for (uint32_t j = 0; j < k; ++j) {
                Point p = holePoint(j);
                auto take = [&](uint32_t e) {
                    float d = distanceSquared(entryPoint(e), p);
                    if (d > lower && d <= upper && d < FLT_MAX) return consider(d, e, j);
                    return false;
                };
                if (last) {
                    for (uint32_t id : s_.order) {
                        for (uint32_t e : s_.chunks[id].entries) {
                            if (take(e)) return true;
                        }
                    }
                    continue;
                }
                uint32_t cx0 = cells_.column(p.x - box), cx1 = cells_.column(p.x + box);
                uint32_t cy0 = cells_.row(p.y - box), cy1 = cells_.row(p.y + box);
                for (uint32_t y = cy0; y <= cy1; ++y) {
                    for (uint32_t x = cx0; x <= cx1; ++x) {
                        for (uint32_t e = s_.pointHead[size_t(y) * cells_.nx + x]; e != none; e = s_.pointNext[e]) {
                            if (take(e)) return true;
                        }
                    }
                }
            }
            return false;
        };
        // Often no pair of a round is free (a hole shut in by others); then no order is needed,
        // so the pairs are first tried as they come, hole point by hole point.
        bool anyFree = gather([&](float, uint32_t e, uint32_t j) { return !blocked(h, e, j); });
        if (anyFree) {
            s_.pairs.clear();
            gather([&](float d, uint32_t e, uint32_t j) {
                s_.pairs.push_back(pairOf(d, e, j));
                return false;
            });
            if (tryNearestFirst(h, s_.pairs, chosen)) return true;
        }
        if (last) return false;
        lower = upper;
        upper *= 4;
    }
}

bool Bridging::searchAll(size_t h, Pair& chosen) {
    size_t k = holes_[h].size();
    if (outlineSize_ == 0 || k == 0) return false;
    if (!indexed_ || size_t(outlineSize_) * k <= smallPairCount) return searchAllPairs(h, chosen);
    return searchThroughGrid(h, chosen);
}

// A hole searched before and found blocked everywhere: all its pairs then were blocked, and
// stay so, but for the pairs whose blocking edge may have turned round since. So only those and
// the pairs with entries added since are tried, in the same order. Fragile pairs not tried
// again stay noted in `carry`.
bool Bridging::searchAgain(size_t h, Pair& chosen, std::vector<std::pair<uint32_t, uint32_t>>& carry) {
    HoleState& state = s_.holes[h];
    const IndexPolygon& hole = holes_[h];
    size_t k = hole.size();
    bool retryFragile = state.reversalsSeen != reversals_;
    if (!retryFragile) carry = state.fragile;
    auto gather = [&](auto consider) {
        for (uint32_t j = 0; j < k; ++j) {
            Point p = polygon::pointAt(v_, hole[j]);
            for (uint32_t e = state.searchedEntries; e < s_.entryVertex.size(); ++e) {
                float d = distanceSquared(entryPoint(e), p);
                if (d < FLT_MAX && consider(d, e, j)) return true;
            }
        }
        if (retryFragile) {
            for (auto [e, j] : state.fragile) {
                float d = distanceSquared(entryPoint(e), polygon::pointAt(v_, hole[j]));
                if (d < FLT_MAX && consider(d, e, j)) return true;
            }
        }
        return false;
    };
    // As for a round of the full search: an order is needed only when some pair is free.
    if (!gather([&](float, uint32_t e, uint32_t j) { return !blocked(h, e, j); })) return false;
    s_.pairs.clear();
    gather([&](float d, uint32_t e, uint32_t j) {
        s_.pairs.push_back(Pair{d, positionOf(e), j, e});
        return false;
    });
    return tryNearestFirst(h, s_.pairs, chosen);
}

bool Bridging::search(size_t h, Pair& chosen) {
    HoleState& state = s_.holes[h];
    searching_ = h;
    s_.recent.resize(holes_[h].size() * recentSize);
    s_.recentCount.assign(holes_[h].size(), 0);
    directionBuckets_ = std::clamp<uint32_t>(outlineSize_ / 64, 8, 256);
    s_.byDirection.assign(holes_[h].size() * directionBuckets_, none);
    areaKnown_ = false;
    recording_ = true;
    s_.suspects.clear();
    std::vector<std::pair<uint32_t, uint32_t>>& carry = s_.carry;
    carry.clear();
    bool found = state.status == HoleState::Fresh ? searchAll(h, chosen) : searchAgain(h, chosen, carry);
    recording_ = false;
    if (found) return true;
    // Of the pairs blocked by an edge that may turn round, those that no lasting edge blocks
    // are kept for later passes.
    state.status = HoleState::Failed;
    state.searchedEntries = uint32_t(s_.entryVertex.size());
    state.reversalsSeen = reversals_;
    state.fragile.swap(carry);
    std::sort(s_.suspects.begin(), s_.suspects.end());
    s_.suspects.erase(std::unique(s_.suspects.begin(), s_.suspects.end()), s_.suspects.end());
    for (auto [e, j] : s_.suspects) {
        uint32_t a = holes_[h][j], b = s_.entryVertex[e];
        bool lasting = false;
        for (uint32_t edge = 0; edge < s_.edgeFrom.size() && !lasting; ++edge) {
            lasting = edgeCrosses(a, b, edge) && permanent(edge, a, b);
        }
        if (!lasting) state.fragile.emplace_back(e, j);
    }
    return false;
}

// O becomes ..., O_i, H_j, (the rest of H), H_j, O_i, O_(i+1), ...: one polygon with a
// zero-width bridge. H runs against O's orientation so that it cuts a hole rather than
// adding area.
void Bridging::splice(size_t h, const Pair& at) {
    const IndexPolygon& hole = holes_[h];
    size_t k = hole.size();
    size_t j = at.j;
    bool sameOrientation = outlineOrientationPositive() == (orientationSum(v_, hole) > 0);
    std::vector<uint32_t>& walk = s_.walk;
    walk.clear();
    for (size_t step = 0; step < k; ++step) walk.push_back(hole[sameOrientation ? (j + k - step) % k : (j + step) % k]);
    walk.push_back(hole[j]);
    uint32_t o = s_.entryVertex[at.e];
    walk.push_back(o);
    size_t firstNew = s_.entryVertex.size();
    insertAfter(at.e, walk);
    for (size_t e = firstNew; e < s_.entryVertex.size(); ++e) {
        addPoint(uint32_t(e));
        spotAdd(entryPoint(uint32_t(e)));
    }
    // The hole's edges now run in walk order, and the bridge adds its two sides.
    if (sameOrientation) {
        for (uint32_t edge = s_.holeEdgeStart[h]; edge < s_.holeEdgeStart[h + 1]; ++edge) {
            std::swap(s_.edgeFrom[edge], s_.edgeTo[edge]);
        }
        ++reversals_;
    }
    addEdge(o, hole[j], none);
    addEdge(hole[j], o, none);
    s_.holes[h].status = HoleState::Done;
    s_.holes[h].fragile.clear();
}

bool Bridging::run() {
    size_t count = holes_.size();
    size_t frontier = 0; // holes from here on have never been searched
    std::vector<uint32_t>& failed = s_.failed; // in hole order
    size_t left = count;
    while (left > 0) {
        bool spliced = false;
        Pair at{};
        for (size_t f = 0; f < failed.size() && !spliced; ++f) {
            size_t h = failed[f];
            HoleState& state = s_.holes[h];
            bool changed = state.searchedEntries != s_.entryVertex.size() ||
                           (state.reversalsSeen != reversals_ && !state.fragile.empty());
            if (!changed) continue;
            if (search(h, at)) {
                splice(h, at);
                failed.erase(failed.begin() + std::ptrdiff_t(f));
                spliced = true;
            }
        }
        while (!spliced && frontier < count) {
            size_t h = frontier++;
            if (search(h, at)) {
                splice(h, at);
                spliced = true;
            } else {
                failed.push_back(uint32_t(h));
            }
        }
        if (!spliced) {
            std::cerr << "  subtractPolygons: unable to progress" << std::endl;
            return false;
        }
        --left;
    }
    outer_.clear();
    outer_.reserve(outlineSize_);
    for (uint32_t id : s_.order) {
        for (uint32_t e : s_.chunks[id].entries) outer_.push_back(s_.entryVertex[e]);
    }
    return true;
}

} // namespace

bool subtractPolygons(const PathLeaf& leaf, IndexPolygon& outer, const std::vector<IndexPolygon>& holes) {
    if (holes.empty()) return true;
    Bridging bridging(leaf.mesh->vertices.data(), outer, holes);
    return bridging.run();
}

} // namespace hv
