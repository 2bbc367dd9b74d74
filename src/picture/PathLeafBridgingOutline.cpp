// Hole bridging's outline: chunks of entries, splices into them, orientation sums, entries per spot.
#include "picture/PathLeafBridging.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

namespace hv::bridging {

void Bridging::appendChunk() {
    if (chunkCount_ == s_.chunks.size()) s_.chunks.emplace_back();
    Chunk& c = s_.chunks[chunkCount_];
    c.entries.clear();
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

// orientationSum(outline) > 0, the sum taken in single precision in outline order. The running
// sum is exact but for double rounding; the plain sum differs from it by at most the rounding
// of each partial sum, which the sum of magnitudes bounds. Only when that bound leaves the sign
// open is the plain sum taken.
bool Bridging::outlineOrientationPositive() {
    const Sums& s = sums_;
    double m = outlineSize_;
    double uf = 0x1p-24;
    if (s.finite && m * uf < 0.25 && s.fAbs < 1e36) {
        double errD = 2 * m * 0x1p-53 * s.fAbs + 1e-300;
        double peak = s.fAbs + errD;
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
// negative; settled from the running sums the same way.
bool Bridging::outlineAreaNegative() {
    if (areaKnown_) return areaNegative_;
    areaKnown_ = true;
    const Sums& s = sums_;
    double m = outlineSize_;
    double ud = 0x1p-53;
    if (s.finite && m * ud < 0.25 && s.dAbs < 1e300) {
        double mine = 2 * m * ud * s.dAbs + 1e-300;
        double peak = s.dAbs + mine;
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

namespace {

// Counts of outline entries per exact spot; -0 and 0 are one spot, and a spot with an
// undefined coordinate is never the same as another.
uint64_t spotKey(Point p) {
    float x = p.x == 0 ? 0.0f : p.x, y = p.y == 0 ? 0.0f : p.y;
    uint32_t bx, by;
    std::memcpy(&bx, &x, 4);
    std::memcpy(&by, &y, 4);
    return (uint64_t(bx) << 32 | by) + 1; // never 0, which marks a free slot
}

} // namespace

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

uint32_t Bridging::spotCount(Point p) {
    // Equally near bridges often start at copies of one spot, one after the other.
    if (spotKnown_ && p.x == lastSpot_.x && p.y == lastSpot_.y) return lastSpotCount_;
    uint32_t count = countSpot(p);
    spotKnown_ = true;
    lastSpot_ = p;
    lastSpotCount_ = count;
    return count;
}

uint32_t Bridging::countSpot(Point p) {
    if (!built_) notePlainWork(s_.entryVertex.size());
    if (!built_) {
        uint32_t count = 0;
        for (uint32_t e = 0; e < s_.entryVertex.size(); ++e) {
            Point q = entryPoint(e);
            count += q.x == p.x && q.y == p.y; // never for an undefined coordinate
        }
        return count;
    }
    if (!spotsBuilt_) {
        // The grid cell holds the spot's entries among others. Once walking the cells has cost
        // about what a table of counts costs, as where many holes meet, the table is made.
        uint32_t count = 0;
        for (uint32_t e = s_.pointHead[cells_.cellOf(p)]; e != none; e = s_.pointNext[e]) {
            Point q = entryPoint(e);
            count += q.x == p.x && q.y == p.y;
            ++spotWalk_;
        }
        if (spotWalk_ > 2 * uint64_t(s_.entryVertex.size()) + 64) buildSpots();
        return count;
    }
    if (std::isnan(p.x) || std::isnan(p.y)) return 0;
    size_t slot = spotSlot(spotKey(p));
    return s_.spotKeys[slot] ? s_.spotCounts[slot] : 0;
}

} // namespace hv::bridging
