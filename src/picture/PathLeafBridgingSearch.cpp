// Hole bridging's search for one hole's bridge: nearest pairs first, the grid for many pairs, retries.
#include "picture/PathLeafBridging.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>
#include <vector>

namespace hv::bridging {

// Whether a bridge from outer entry e towards the target starts inside the outline's corner
// there. Only a spot the outline holds more than once is in question.
bool Bridging::entersCorner(uint32_t e, Point target) {
    Point c = entryPoint(e);
    if (spotCount(c) < 2) return true;
    // A bridge of no length leaves the corner in no direction (the sign tests below all give
    // zero), so it enters none.
    if (target.x == c.x && target.y == c.y && std::isfinite(c.x) && std::isfinite(c.y)) return false;
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
    bool straight =
        (double(after.x) - c.x) * (double(before.x) - c.x) + (double(after.y) - c.y) * (double(before.y) - c.y) < 0;
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
    // The hole's points side by side, as every outer entry meets all of them.
    std::vector<Point>& points = s_.holePoints;
    points.resize(k);
    for (size_t j = 0; j < k; ++j) points[j] = polygon::pointAt(v_, hole[j]);
    const Point* holePoint = points.data();
    // Every pair in outline order, so ties keep the order the choice depends on.
    auto eachPair = [&](auto visit) {
        for (uint32_t id : s_.order) {
            const Chunk& c = s_.chunks[id];
            for (size_t off = 0; off < c.entries.size(); ++off) {
                uint32_t e = c.entries[off];
                Point o = entryPoint(e);
                for (uint32_t j = 0; j < k; ++j)
                    visit(Pair{distanceSquared(o, holePoint[j]), uint32_t(c.start + off), j, e});
            }
        }
    };
    float least = FLT_MAX;
    s_.tied.clear();
    eachPair([&](const Pair& p) {
        if (p.d < least) {
            least = p.d;
            s_.tied.clear();
        }
        if (p.d == least && p.d < FLT_MAX) s_.tied.push_back(p);
    });
    if (chooseAmongTied(h, s_.tied.data(), s_.tied.size(), chosen)) return true;
    s_.pairs.clear();
    eachPair([&](const Pair& p) {
        if (p.d > least && p.d < FLT_MAX) s_.pairs.push_back(p);
    });
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
                uint32_t head = s_.pointHead[size_t(y) * cells_.nx + size_t(x)];
                if (head == none) return; // most cells wait for holes still to come
                if (cells_.cellDistanceSquared(p.x, p.y, uint32_t(x), uint32_t(y)) * (1.0 - 1e-5) > best) return;
                for (uint32_t e = head; e != none; e = s_.pointNext[e]) measure(e, j);
            };
            for (int64_t y = std::max<int64_t>(y0, 0); y <= std::min<int64_t>(y1, int64_t(cells_.ny) - 1); ++y) {
                if (y == y0 || y == y1) {
                    for (int64_t x = std::max<int64_t>(x0, 0); x <= std::min<int64_t>(x1, int64_t(cells_.nx) - 1); ++x)
                        cell(x, y);
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
    if (!built_) buildIndex();
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

} // namespace hv::bridging
