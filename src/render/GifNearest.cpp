// Each colour's table entry: the k-d search, the grid over colour space, the exact-colour map and the mapper.
#include "render/GifWriterParts.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace hv::gif {

// The k-d search: the near child first, the far one only while it could hold something
// strictly nearer; the first entry found at the smallest distance wins. Iterative, visiting
// the nodes in the same order as the recursive description.
//
// With a complete table every entry lies on its side of each split above it, so a far
// subtree can also be passed over when the distances to the split planes crossed on the way
// down (per channel, summed) already reach the best distance: nothing in it is strictly
// nearer, and the answer stays the same. Without that guarantee only the single plane counts.
int nearestEntry(const GifColourTable& table, int r, int g, int b) {
    const int entries = 1 << table.bitDepth;
    const int query[3] = {r, g, b};
    const bool boundByAllPlanes = table.complete;
    int best = 1;
    int bestDistance = 1000000;
    struct Pending {
        int node;
        int bound;        // lower bound of the distance to anything in the far subtree
        int offsets[3];   // per channel, the distance to the far subtree's cell
    };
    Pending pending[16];
    int depth = 0;
    int node = 1;
    int offsets[3] = {0, 0, 0};
    int bound = 0;
    while (true) {
        while (node < entries) {
            int channel = table.treeSplitChannel[node];
            int value = query[channel];
            int split = table.treeSplit[node];
            int gap = value < split ? split - value : value - split;
            Pending& far = pending[depth++];
            far.node = value < split ? node * 2 + 1 : node * 2;
            far.offsets[0] = offsets[0];
            far.offsets[1] = offsets[1];
            far.offsets[2] = offsets[2];
            if (boundByAllPlanes) {
                far.bound = bound - offsets[channel] + gap;
                far.offsets[channel] = gap;
            } else {
                far.bound = gap;
            }
            node = value < split ? node * 2 : node * 2 + 1;
        }
        int entry = node - entries;
        if (entry != 0) { // the transparent colour is never a match
            int distance = std::abs(r - table.r[entry]) + std::abs(g - table.g[entry]) + std::abs(b - table.b[entry]);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = entry;
            }
        }
        do {
            if (depth == 0) return best;
            --depth;
        } while (!(bestDistance > pending[depth].bound));
        node = pending[depth].node;
        bound = pending[depth].bound;
        offsets[0] = pending[depth].offsets[0];
        offsets[1] = pending[depth].offsets[1];
        offsets[2] = pending[depth].offsets[2];
    }
}

// Cells of the searched level are 2^shift wide in each channel (3 to 7).
inline void NearestColourGrid::reset(const GifColourTable& table, int shift) {
    table_ = &table;
    entries_ = 1 << table.bitDepth;
    level_ = 8 - shift;
    if (++stamp_ == 0) { // the stamps have wrapped: forget them all
        for (Level& level : levels_) std::fill(level.stamp.begin(), level.stamp.end(), 0);
        stamp_ = 1;
    }
    for (int k = 0; k <= level_; ++k) {
        size_t cells = size_t(1) << (3 * k);
        Level& level = levels_[size_t(k)];
        if (level.start.size() < cells) {
            level.stamp.assign(cells, 0);
            level.start.resize(cells);
            level.count.resize(cells);
        }
    }
    const size_t cells = size_t(1) << (3 * level_);
    if (state_.size() < cells) {
        state_.resize(cells);
        inline_.resize(cells);
    }
    std::fill(state_.begin(), state_.begin() + std::ptrdiff_t(cells), uint8_t(0));
    std::fill(inline_.begin(), inline_.begin() + std::ptrdiff_t(cells), Inline{});
    if (rememberedUsed_) {
        std::fill(remembered_.begin(), remembered_.end(), 0);
        rememberedUsed_ = false;
    }
    candidates_.clear();
    for (int e = 1; e < entries_; ++e) candidates_.push_back({0, uint8_t(e), table.r[e], table.g[e], table.b[e]});
    levels_[0].stamp[0] = stamp_;
    levels_[0].start[0] = 0;
    levels_[0].count[0] = uint16_t(entries_ - 1);
}

// Builds every cell at once, in an order that keeps each cell's source list at hand. That
// costs far less a cell than building cells when first met, but only pays where searches
// fall everywhere: entries crowded in one corner leave the rest of colour space with long
// lists that nothing may ever need.
inline void NearestColourGrid::buildAll() {
    const uint32_t perAxis = 1u << (level_ - 1);
    for (uint32_t pr = 0; pr < perAxis; ++pr) {
        for (uint32_t pg = 0; pg < perAxis; ++pg) {
            for (uint32_t pb = 0; pb < perAxis; ++pb) buildFamily(pr, pg, pb);
        }
    }
}

// Whether the entries fill colour space rather than crowd part of it: they lie in at
// least a quarter of the cells 32 wide.
inline bool NearestColourGrid::spread(const GifColourTable& table) {
    bool occupied[512] = {};
    int count = 0;
    for (int e = 1; e < (1 << table.bitDepth); ++e) {
        int cell = (table.r[e] >> 5) << 6 | (table.g[e] >> 5) << 3 | (table.b[e] >> 5);
        count += !occupied[cell];
        occupied[cell] = true;
    }
    return count >= 128;
}

inline int NearestColourGrid::find(int r, int g, int b) {
    const int k = level_, shift = 8 - k;
    const uint32_t cr = uint32_t(r >> shift), cg = uint32_t(g >> shift), cb = uint32_t(b >> shift);
    const size_t cell = size_t(cr) << (2 * k) | size_t(cg) << k | size_t(cb);
    // A held cell's first entry is never 0; the others' is.
    if (inline_[cell].entry[0] != 0) return nearestHeld(inline_[cell], r, g, b);
    uint8_t state = state_[cell];
    if (state == unbuilt) {
        // With the seven that share its source list, while that is at hand: searches that
        // meet one cell mostly meet its neighbours too. Cells far from every entry, which
        // have long lists, are built only when something is searched there.
        buildFamily(cr >> 1, cg >> 1, cb >> 1);
        state = state_[cell];
    }
    if (state == held) return nearestHeld(inline_[cell], r, g, b);
    return nearestListed(cell, r, g, b);
}

inline int NearestColourGrid::nearestListed(size_t cell, int r, int g, int b) {
    const Level& level = levels_[size_t(level_)];
    const uint32_t count = level.count[cell];
    // Long lists lie where entries crowd, which only a small part of colour space can
    // hold, or far from all of them: the answers found there are kept by colour.
    const uint32_t colour = uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16;
    uint32_t* remembered = nullptr;
    if (count > 16) {
        if (remembered_.empty()) remembered_.assign(size_t(1) << rememberedBits, 0);
        remembered = &remembered_[(colour * 0x9E3779B1u) >> (32 - rememberedBits)];
    }
    if (remembered && (*remembered >> 8) == colour && (*remembered & 0xffu) != 0) return int(*remembered & 0xffu);
    const Candidate* candidate = &candidates_[level.start[cell]];
    const Candidate* end = candidate + count;
    int best = candidate->entry;
    int bestDistance = std::abs(r - candidate->r) + std::abs(g - candidate->g) + std::abs(b - candidate->b);
    // Sorted by how near they can come: once that exceeds the best, nothing can tie it.
    for (++candidate; candidate != end && candidate->bound <= bestDistance; ++candidate) {
        int d = std::abs(r - candidate->r) + std::abs(g - candidate->g) + std::abs(b - candidate->b);
        if (d < bestDistance || (d == bestDistance && metFirst(candidate->entry, best, r, g, b))) {
            best = candidate->entry;
            bestDistance = d;
        }
    }
    if (remembered) {
        *remembered = colour << 8 | uint32_t(best);
        rememberedUsed_ = true;
    }
    return best;
}

// The first of the nearest entries; a tie between two entries (rare) goes to the search
// order.
inline int NearestColourGrid::nearestHeld(const Inline& c, int r, int g, int b) const {
    int key;       // the least distance above its place in the cell
    bool tie;      // another entry lies at that distance
#if defined(__SSE2__)
    // All four at once: byte differences, summed per place in 16 bits.
    const __m128i cell = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&c));
    const __m128i query = _mm_set_epi32(0, int(uint32_t(b) * 0x01010101u), int(uint32_t(g) * 0x01010101u),
                                        int(uint32_t(r) * 0x01010101u));
    const __m128i zero = _mm_setzero_si128();
    const __m128i difference = _mm_or_si128(_mm_subs_epu8(cell, query), _mm_subs_epu8(query, cell));
    const __m128i redGreen = _mm_unpacklo_epi8(difference, zero);
    const __m128i distance = _mm_add_epi16(_mm_add_epi16(redGreen, _mm_srli_si128(redGreen, 8)),
                                           _mm_unpackhi_epi8(difference, zero));
    __m128i keys = _mm_or_si128(_mm_slli_epi16(distance, 2), _mm_set_epi16(0, 0, 0, 0, 3, 2, 1, 0));
    keys = _mm_min_epi16(keys, _mm_shufflelo_epi16(keys, _MM_SHUFFLE(2, 3, 0, 1)));
    keys = _mm_min_epi16(keys, _mm_shufflelo_epi16(keys, _MM_SHUFFLE(1, 0, 3, 2)));
    key = _mm_cvtsi128_si32(keys) & 0xffff;
    const __m128i entries = _mm_srli_si128(_mm_unpackhi_epi8(cell, zero), 8);
    const __m128i sameDistance = _mm_cmpeq_epi16(distance, _mm_set1_epi16(int16_t(key >> 2)));
    const __m128i sameEntry = _mm_cmpeq_epi16(entries, _mm_set1_epi16(int16_t(c.entry[key & 3])));
    tie = (_mm_movemask_epi8(_mm_andnot_si128(sameEntry, sameDistance)) & 0xff) != 0;
#else
    int distance[4];
    for (int j = 0; j < 4; ++j) distance[j] = std::abs(r - c.r[j]) + std::abs(g - c.g[j]) + std::abs(b - c.b[j]);
    key = distance[0] << 2;
    for (int j = 1; j < 4; ++j) key = std::min(key, distance[j] << 2 | j);
    tie = false;
    for (int j = 0; j < 4; ++j) tie |= (distance[j] == key >> 2) & (c.entry[j] != c.entry[key & 3]);
#endif
    int entry = c.entry[key & 3];
    if (tie) {
        for (int j = 0; j < 4; ++j) {
            if (c.entry[j] != entry &&
                std::abs(r - c.r[j]) + std::abs(g - c.g[j]) + std::abs(b - c.b[j]) == key >> 2 &&
                metFirst(c.entry[j], entry, r, g, b)) {
                entry = c.entry[j];
            }
        }
    }
    return entry;
}

// Whether the search meets entry a before entry b: at the first node where their paths
// part, a lies on the side the search takes first.
inline bool NearestColourGrid::metFirst(int a, int b, int r, int g, int bl) const {
    int la = a + entries_, lb = b + entries_;
    int shift = table_->bitDepth;
    while (shift > 0 && (la >> shift) == (lb >> shift)) --shift;
    int node = la >> (shift + 1);
    const int query[3] = {r, g, bl};
    int value = query[table_->treeSplitChannel[node]];
    int nearChild = value < table_->treeSplit[node] ? node * 2 : node * 2 + 1;
    return (la >> shift) == nearChild;
}

// The entries of cell (cr, cg, cb) of level k that can be nearest somewhere inside it,
// taken from the cell above (built first when need be), with their least distance from it.
inline uint32_t NearestColourGrid::gather(int k, uint32_t cr, uint32_t cg, uint32_t cb, Candidate* kept) {
    buildListed(k - 1, cr >> 1, cg >> 1, cb >> 1);
    const size_t parent = size_t(cr >> 1) << (2 * (k - 1)) | size_t(cg >> 1) << (k - 1) | size_t(cb >> 1);
    const uint32_t parentStart = levels_[size_t(k - 1)].start[parent];
    const uint32_t parentCount = levels_[size_t(k - 1)].count[parent];
    const Candidate* from = &candidates_[parentStart];

    const int size = 1 << (8 - k);
    const int lo[3] = {int(cr) * size, int(cg) * size, int(cb) * size};
    const int hi[3] = {lo[0] + size - 1, lo[1] + size - 1, lo[2] + size - 1};
    // Every colour of the cell is within `bound` of some entry.
    int bound = 1 << 30;
    for (uint32_t i = 0; i < parentCount; ++i) {
        const int colour[3] = {from[i].r, from[i].g, from[i].b};
        int farthest = 0;
        for (int ch = 0; ch < 3; ++ch) farthest += std::max(colour[ch] - lo[ch], hi[ch] - colour[ch]);
        bound = std::min(bound, farthest);
    }
    uint32_t keptCount = 0;
    for (uint32_t i = 0; i < parentCount; ++i) {
        const int colour[3] = {from[i].r, from[i].g, from[i].b};
        int nearest = 0;
        for (int ch = 0; ch < 3; ++ch) nearest += std::max({0, lo[ch] - colour[ch], colour[ch] - hi[ch]});
        kept[keptCount] = {uint16_t(nearest), from[i].entry, from[i].r, from[i].g, from[i].b};
        keptCount += nearest <= bound;
    }
    return keptCount;
}

// Orders a list by the least distance, for the walk that stops at the first too far.
inline void NearestColourGrid::sortByBound(Candidate* kept, uint32_t count) {
    for (uint32_t i = 1; i < count; ++i) {
        Candidate c = kept[i];
        uint32_t at = i;
        for (; at > 0 && kept[at - 1].bound > c.bound; --at) kept[at] = kept[at - 1];
        kept[at] = c;
    }
}

inline uint32_t NearestColourGrid::append(const Candidate* kept, uint32_t count) {
    uint32_t start = uint32_t(candidates_.size());
    candidates_.insert(candidates_.end(), kept, kept + count);
    return start;
}

// Builds the list of cell (cr, cg, cb) of level k, and the cells above it that it needs.
inline void NearestColourGrid::buildListed(int k, uint32_t cr, uint32_t cg, uint32_t cb) {
    const size_t cell = size_t(cr) << (2 * k) | size_t(cg) << k | size_t(cb);
    Level& level = levels_[size_t(k)];
    if (level.stamp[cell] == stamp_) return;
    Candidate kept[256];
    uint32_t count = gather(k, cr, cg, cb, kept);
    level.stamp[cell] = stamp_;
    level.start[cell] = append(kept, count);
    level.count[cell] = uint16_t(count);
}

// Builds the eight searched cells inside cell (pr, pg, pb) of the level above from its
// list. Per channel an entry's distances to the two halves are taken once and summed for
// each of the eight.
inline void NearestColourGrid::buildFamily(uint32_t pr, uint32_t pg, uint32_t pb) {
    const int k = level_;
    buildListed(k - 1, pr, pg, pb);
    const size_t parent = size_t(pr) << (2 * (k - 1)) | size_t(pg) << (k - 1) | size_t(pb);
    const uint32_t count = levels_[size_t(k - 1)].count[parent];
    Candidate from[256];
    std::copy_n(&candidates_[levels_[size_t(k - 1)].start[parent]], count, from);

    const int size = 1 << (8 - k);
    const int lo[3] = {int(pr) * 2 * size, int(pg) * 2 * size, int(pb) * 2 * size};
    // [entry][channel][half]
    int16_t nearest[256][3][2], farthest[256][3][2];
    int bound[8];
    std::fill(bound, bound + 8, 1 << 30);
    for (uint32_t i = 0; i < count; ++i) {
        const int colour[3] = {from[i].r, from[i].g, from[i].b};
        for (int c = 0; c < 3; ++c) {
            const int v = colour[c], low = lo[c], middle = low + size, high = middle + size - 1;
            nearest[i][c][0] = int16_t(std::max({0, low - v, v - (middle - 1)}));
            farthest[i][c][0] = int16_t(std::max(v - low, middle - 1 - v));
            nearest[i][c][1] = int16_t(std::max({0, middle - v, v - high}));
            farthest[i][c][1] = int16_t(std::max(v - middle, high - v));
        }
        for (int j = 0; j < 8; ++j) {
            const int far = farthest[i][0][j >> 2] + farthest[i][1][(j >> 1) & 1] + farthest[i][2][j & 1];
            bound[j] = std::min(bound[j], far);
        }
    }
    for (int j = 0; j < 8; ++j) {
        const uint32_t cr = pr * 2 + uint32_t(j >> 2), cg = pg * 2 + uint32_t((j >> 1) & 1), cb = pb * 2 + uint32_t(j & 1);
        const size_t cell = size_t(cr) << (2 * k) | size_t(cg) << k | size_t(cb);
        if (state_[cell] != unbuilt) continue;
        Candidate kept[256];
        uint32_t keptCount = 0;
        for (uint32_t i = 0; i < count; ++i) {
            const int near = nearest[i][0][j >> 2] + nearest[i][1][(j >> 1) & 1] + nearest[i][2][j & 1];
            kept[keptCount] = from[i];
            kept[keptCount].bound = uint16_t(near);
            keptCount += near <= bound[j];
        }
        store(cell, kept, keptCount);
    }
}

// A cell always keeps the entry that bounds it, so `count` is at least 1.
inline void NearestColourGrid::store(size_t cell, Candidate* kept, uint32_t count) {
    if (count <= 4) {
        Inline& c = inline_[cell];
        for (uint32_t j = 0; j < 4; ++j) {
            const Candidate& from = kept[j < count ? j : 0];
            c.r[j] = from.r;
            c.g[j] = from.g;
            c.b[j] = from.b;
            c.entry[j] = from.entry;
        }
        state_[cell] = held;
        return;
    }
    sortByBound(kept, count);
    Level& level = levels_[size_t(level_)];
    level.start[cell] = append(kept, count);
    level.count[cell] = uint16_t(count);
    state_[cell] = listed;
}

inline void ExactColours::reset(const GifColourTable& table) {
    std::memset(keys_, 0, sizeof keys_);
    for (int e = 1; e < (1 << table.bitDepth); ++e) {
        uint32_t colour = uint32_t(table.r[e]) | uint32_t(table.g[e]) << 8 | uint32_t(table.b[e]) << 16;
        if (!table.entrySet[e] || colour == 0) continue;
        uint32_t h = slotOf(colour);
        while (keys_[h] != 0) h = (h + 1) & (slots - 1);
        keys_[h] = colour;
        entries_[h] = uint8_t(e);
    }
}

// 0 when the colour is not an entry (or is black).
inline int ExactColours::find(uint32_t colour) const {
    if (colour == 0) return 0;
    for (uint32_t h = slotOf(colour); keys_[h] != 0; h = (h + 1) & (slots - 1)) {
        if (keys_[h] == colour) return entries_[h];
    }
    return 0;
}

// `searches`: about how many colours will be looked up, which sets the grid's cell size.
ColourMapper::ColourMapper(const GifColourTable& table, ExactColours& exact, NearestColourGrid& grid, uint64_t searches)
    : table_(table) {
    if (table.exact) {
        exact.reset(table);
        exact_ = &exact;
    } else if (table.complete) {
        // Finer cells have shorter lists but pay for their building only over many searches.
        const int shift = searches >= 4 * 32768 ? 3 : searches >= 4 * 4096 ? 4 : 5;
        grid.reset(table, shift);
        if (searches >= 4 * (uint64_t(1) << (3 * (8 - shift))) && NearestColourGrid::spread(table)) grid.buildAll();
        grid_ = &grid;
    }
}

int ColourMapper::find(int r, int g, int b) {
    int found = 0;
    if (exact_) {
        found = exact_->find(uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16);
    } else if (grid_) {
        found = grid_->find(r, g, b);
    }
    return found ? found : nearestEntry(table_, r, g, b);
}

} // namespace hv::gif
