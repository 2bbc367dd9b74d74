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
// - the sums that decide orientations are kept as running totals with bounds on their rounding,
//   so the plain sums over the whole outline are needed only when the bounds cannot settle the
//   sign;
// - a hole whose search found nothing keeps what it learnt: in later passes only pairs with
//   vertices that joined the outline since, and the few pairs whose blocking could change,
//   are tried again.
#include "picture/PathLeafBridging.h"

#include "core/Failure.h"

#include <cmath>
#include <vector>

namespace hv {

namespace bridging {

namespace {

thread_local BridgeScratch bridgeScratch;

} // namespace

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
    s_.pointNext.clear();
    s_.edgeFrom.clear();
    s_.edgeTo.clear();
    s_.edgeOwner.clear();
    s_.edgeStamp.clear();
    finalEntries_ = total + 2 * holes.size();
    s_.holes.resize(holes.size());
    for (HoleState& state : s_.holes) {
        state.status = HoleState::Fresh;
        state.searchedEntries = 0;
        state.reversalsSeen = 0;
        state.fragile.clear();
    }
    s_.failed.clear();

    // The outline in chunks of chunkLimit entries (entry k holds outer[k]), and the edges that
    // can block a bridge: the outline's and every hole's. Sized once and filled in place, as
    // the lists are long and a splice only adds a few entries to them later.
    size_t m = outer.size();
    s_.entryVertex.assign(outer.begin(), outer.end());
    s_.entryChunk.resize(m);
    s_.entryOffset.resize(m);
    s_.pointNext.assign(m, none);
    for (size_t first = 0; first == 0 || first < m; first += chunkLimit) {
        appendChunk();
        uint32_t id = s_.order.back();
        std::vector<uint32_t>& entries = s_.chunks[id].entries;
        size_t end = std::min(m, first + chunkLimit);
        entries.resize(end - first);
        for (size_t k = first; k < end; ++k) {
            s_.entryChunk[k] = id;
            s_.entryOffset[k] = uint32_t(k - first);
            entries[k - first] = uint32_t(k);
        }
    }
    outlineSize_ = uint32_t(m);
    uint32_t start = 0;
    for (uint32_t c : s_.order) {
        s_.chunks[c].start = start;
        start += uint32_t(s_.chunks[c].entries.size());
    }
    s_.edgeFrom.resize(total);
    s_.edgeTo.resize(total);
    s_.edgeOwner.resize(total);
    s_.edgeStamp.assign(total, 0);
    size_t edge = 0;
    auto ring = [&](const IndexPolygon& polygon, uint32_t owner) {
        size_t k = polygon.size();
        for (size_t a = 0; a < k; ++a, ++edge) {
            s_.edgeFrom[edge] = polygon[a == 0 ? k - 1 : a - 1];
            s_.edgeTo[edge] = polygon[a];
            s_.edgeOwner[edge] = owner;
        }
    };
    ring(outer, none);
    for (size_t k = 0; k < m; ++k) {
        sums_.addEdge(polygon::pointAt(v, outer[k == 0 ? m - 1 : k - 1]), polygon::pointAt(v, outer[k]));
    }
    s_.holeEdgeStart.resize(holes.size() + 1);
    for (size_t h = 0; h < holes.size(); ++h) {
        s_.holeEdgeStart[h] = uint32_t(edge);
        ring(holes[h], uint32_t(h));
    }
    s_.holeEdgeStart[holes.size()] = uint32_t(edge);
    // Indexing costs about as much as testing every edge a few times over, and few holes need
    // no more than that: the index waits until plain scans have cost as much.
    plainBudget_ = 4 * (uint64_t(finalEntries_) + 2 * s_.edgeFrom.size());
}

void Bridging::buildIndex() {
    built_ = true;
    if (indexed_) {
        s_.pointHead.assign(cells_.count(), none);
        for (uint32_t e = 0; e < s_.entryVertex.size(); ++e) insertPoint(e);
        s_.edgeHead.assign(cells_.count(), none);
        s_.nodes.clear();
        s_.longEdges.clear();
        for (uint32_t edge = 0; edge < s_.edgeFrom.size(); ++edge) insertEdge(edge);
    } else {
        buildSpots();
    }
}

void Bridging::buildSpots() {
    spotsBuilt_ = true;
    size_t slots = 16;
    while (slots < 2 * finalEntries_) slots *= 2;
    s_.spotKeys.assign(slots, 0);
    s_.spotCounts.assign(slots, 0);
    for (uint32_t e = 0; e < s_.entryVertex.size(); ++e) spotAdd(entryPoint(e));
}

void Bridging::notePlainWork(uint64_t work) {
    plainWork_ += work;
    if (!built_ && plainWork_ > plainBudget_) buildIndex();
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
    // The outline keeps its edge from O_i on; the splice adds the edges from O_i to its copy.
    Point from = polygon::pointAt(v_, o);
    for (uint32_t vertex : walk) {
        Point to = polygon::pointAt(v_, vertex);
        sums_.addEdge(from, to);
        from = to;
    }
    size_t firstNew = s_.entryVertex.size();
    insertAfter(at.e, walk);
    spotKnown_ = false;
    if (built_) {
        for (size_t e = firstNew; e < s_.entryVertex.size(); ++e) {
            if (indexed_) insertPoint(uint32_t(e));
            if (spotsBuilt_) spotAdd(entryPoint(uint32_t(e)));
        }
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
            writeFailureLine("  subtractPolygons: unable to progress");
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

} // namespace bridging

bool subtractPolygons(const PathLeaf& leaf, IndexPolygon& outer, const std::vector<IndexPolygon>& holes) {
    if (holes.empty()) return true;
    bridging::Bridging bridging(leaf.mesh->vertices.data(), outer, holes);
    return bridging.run();
}

} // namespace hv
