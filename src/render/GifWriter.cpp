#include "render/GifWriter.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <iostream>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace hv {

namespace {

// Entry 0 is the transparent colour; the k-d tree over the other entries is a heap whose
// inner nodes 1 .. 2^bitDepth - 1 hold a split channel and value, and whose node
// 2^bitDepth + k is the leaf of entry k.
struct GifColourTable {
    int bitDepth = 8;
    uint8_t r[256] = {};
    uint8_t g[256] = {};
    uint8_t b[256] = {};
    uint8_t treeSplitChannel[256] = {};
    uint8_t treeSplit[256] = {};
    bool entrySet[256] = {};
    // Every entry was built from pixels, so each lies on its side of every split above it.
    bool complete = false;
    // Built from distinct colours: every colour searched for is an entry of its own.
    bool exact = false;
};

// Pixels during the split are packed as red | green << 8 | blue << 16.
inline uint32_t channelOf(uint32_t pixel, int channel) { return (pixel >> (8 * channel)) & 0xffu; }

inline uint32_t packPixel(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; }

// Each channel's least and greatest value. On little-endian machines the packed pixels are
// read as blocks of sixteen bytes, which compilers turn into vector minimum and maximum.
void channelRanges(const uint32_t* pixels, uint64_t count, uint32_t lo[3], uint32_t hi[3]) {
    uint8_t least[16], most[16];
    std::memset(least, 255, sizeof least);
    std::memset(most, 0, sizeof most);
    uint64_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 4 <= count; i += 4) {
            uint8_t block[16];
            std::memcpy(block, pixels + i, sizeof block);
            for (int j = 0; j < 16; ++j) {
                least[j] = block[j] < least[j] ? block[j] : least[j];
                most[j] = block[j] > most[j] ? block[j] : most[j];
            }
        }
    }
    for (int c = 0; c < 3; ++c) {
        lo[c] = std::min({least[c], least[c + 4], least[c + 8], least[c + 12]});
        hi[c] = std::max({most[c], most[c + 4], most[c + 8], most[c + 12]});
    }
    for (; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::min(lo[c], channelOf(pixels[i], c));
            hi[c] = std::max(hi[c], channelOf(pixels[i], c));
        }
    }
}

void setEntry(GifColourTable& table, int entry, const uint32_t colour[3]) {
    table.r[entry] = uint8_t(colour[0]);
    table.g[entry] = uint8_t(colour[1]);
    table.b[entry] = uint8_t(colour[2]);
    table.entrySet[entry] = true;
}

void leafColour(const uint32_t* pixels, uint64_t count, int entry, bool dither, GifColourTable& table) {
    uint32_t lo[3], hi[3];
    if (dither && (entry == 1 || entry == (1 << table.bitDepth) - 1)) {
        // The darkest and the lightest colour, so that dithering can reach them.
        channelRanges(pixels, count, lo, hi);
        setEntry(table, entry, entry == 1 ? lo : hi);
        return;
    }
    uint64_t sum[3] = {0, 0, 0};
    for (uint64_t i = 0; i < count; ++i) {
        sum[0] += pixels[i] & 0xffu;
        sum[1] += (pixels[i] >> 8) & 0xffu;
        sum[2] += (pixels[i] >> 16) & 0xffu;
    }
    uint32_t mean[3];
    for (int c = 0; c < 3; ++c) mean[c] = uint32_t((sum[c] + count / 2) / count);
    setEntry(table, entry, mean);
}

// Builds the entries first .. last - 1 from the pixels by median splits. Each split counts
// the chosen channel's values, which gives the value that a sort would put at the split
// position, and then moves the pixels once into `spare` (the same size): those below it to
// the front, those above to the back, and of those equal to it as many to the front as fill
// the left part. The children carry on with the two buffers exchanged.
void splitColourRange(uint32_t* pixels, uint32_t* spare, uint64_t count, int first, int last, int split, int step,
                      int node, bool dither, GifColourTable& table) {
    if (last <= first || count == 0) return;
    if (last == first + 1) {
        leafColour(pixels, count, first, dither, table);
        return;
    }

    uint32_t lo[3], hi[3];
    channelRanges(pixels, count, lo, hi);
    uint32_t rangeR = hi[0] - lo[0], rangeG = hi[1] - lo[1], rangeB = hi[2] - lo[2];
    int channel = 1;
    if (rangeB > rangeG) channel = 2;
    if (rangeR > rangeB && rangeR > rangeG) channel = 0;
    const int shift = 8 * channel;

    // Always below count, as split < last.
    const uint64_t leftCount = count * uint64_t(split - first) / uint64_t(last - first);
    uint64_t histogram[256] = {};
    for (uint64_t i = 0; i < count; ++i) ++histogram[(pixels[i] >> shift) & 0xffu];
    uint32_t value = lo[channel];
    uint64_t below = 0;
    while (below + histogram[value] <= leftCount) below += histogram[value++];
    table.treeSplitChannel[node] = uint8_t(channel);
    table.treeSplit[node] = uint8_t(value);

    // The left part fills upwards from 0 and the right part downwards from the end. Every
    // pixel is stored at both parts' next free place; the one it does not belong to is free,
    // so a later pixel overwrites it (or, once a part is full, it is the other part's last
    // free place and this same pixel). Pixels equal to the split value go left until enough
    // have, and right after that.
    uint64_t equalToLeft = leftCount - below;
    uint64_t l = 0, r = count - 1, i = 0;
    for (; i < count && equalToLeft != 0; ++i) {
        const uint32_t p = pixels[i];
        const uint32_t v = (p >> shift) & 0xffu;
        const uint64_t left = v <= value;
        equalToLeft -= v == value;
        spare[r] = p;
        spare[l] = p;
        l += left;
        r -= left ^ 1u;
    }
    for (; i < count; ++i) {
        const uint32_t p = pixels[i];
        const uint64_t left = ((p >> shift) & 0xffu) < value;
        spare[r] = p;
        spare[l] = p;
        l += left;
        r -= left ^ 1u;
    }

    splitColourRange(spare, pixels, leftCount, first, split, split - step, step / 2, node * 2, dither, table);
    splitColourRange(spare + leftCount, pixels + leftCount, count - leftCount, split, last, split + step, step / 2,
                     node * 2 + 1, dither, table);
}

// Gathers the pixels whose colour differs from the previous frame's, with their places, and
// marks every pixel of `frame` (the previous frame, about to become this one) transparent:
// the changed ones get their entries afterwards, the others already show the same colour.
uint64_t gatherChangedPixels(uint8_t* frame, const uint8_t* image, uint64_t pixelCount, uint32_t* pixels,
                             uint32_t* places) {
    uint64_t kept = 0;
    for (uint64_t i = 0; i < pixelCount; ++i) {
        uint32_t p = packPixel(image + i * 4);
        pixels[kept] = p;
        places[kept] = uint32_t(i);
        kept += p != packPixel(frame + i * 4);
        frame[i * 4 + 3] = 0;
    }
    return kept;
}

// The distinct colours of a frame's changed pixels and how many pixels hold each, when there
// are not too many; then each colour's entry, once it is known.
class ColourCounts {
public:
    static constexpr uint32_t most = 32768;

    // Room for up to `capacity` colours (at most `most`).
    explicit ColourCounts(uint32_t capacity)
        : capacity_(capacity), bits_(uint32_t(std::bit_width(std::max(capacity, 2u) * 2 - 1))),
          keys_(size_t(1) << bits_, 0), index_(size_t(1) << bits_), slot_(capacity), colours_(capacity),
          counts_(capacity), entries_(capacity) {}

    uint32_t capacity() const { return capacity_; }

    // False, keeping nothing, when the pixels hold more than `limit` (at most the capacity)
    // colours.
    bool collect(const uint32_t* pixels, uint64_t count, uint32_t limit) {
        clear();
        const uint32_t mask = (1u << bits_) - 1;
        uint32_t lastColour = 0xffffffffu, lastIndex = 0;
        for (uint64_t i = 0; i < count; ++i) {
            const uint32_t colour = pixels[i];
            if (colour != lastColour) {
                lastColour = colour;
                uint32_t h = slotOf(colour);
                while (keys_[h] != 0 && keys_[h] != colour + 1) h = (h + 1) & mask;
                if (keys_[h] == 0) {
                    // Colours that hardly repeat (noise) are given up on early.
                    if (size_ == limit || (size_ >= 4096 && size_ > i / 2)) {
                        clear();
                        return false;
                    }
                    keys_[h] = colour + 1;
                    index_[h] = uint16_t(size_);
                    slot_[size_] = h;
                    colours_[size_] = colour;
                    counts_[size_] = 0;
                    ++size_;
                }
                lastIndex = index_[h];
            }
            ++counts_[lastIndex];
        }
        return true;
    }

    uint32_t size() const { return size_; }
    uint32_t colour(uint32_t i) const { return colours_[i]; }
    uint32_t count(uint32_t i) const { return counts_[i]; }
    void setEntry(uint32_t i, int entry) { entries_[i] = uint8_t(entry); }

    // The entry of a collected colour.
    int entryOf(uint32_t colour) const {
        const uint32_t mask = (1u << bits_) - 1;
        uint32_t h = slotOf(colour);
        while (keys_[h] != colour + 1) h = (h + 1) & mask;
        return entries_[index_[h]];
    }

private:
    // At least twice as many slots as colours: short probes.
    uint32_t slotOf(uint32_t colour) const { return (colour * 0x9E3779B1u) >> (32 - bits_); }

    void clear() {
        for (uint32_t i = 0; i < size_; ++i) keys_[slot_[i]] = 0;
        size_ = 0;
    }

    uint32_t capacity_;
    uint32_t bits_;
    std::vector<uint32_t> keys_; // colour + 1; 0 is empty
    std::vector<uint16_t> index_;
    std::vector<uint32_t> slot_;
    std::vector<uint32_t> colours_;
    std::vector<uint32_t> counts_;
    std::vector<uint8_t> entries_;
    uint32_t size_ = 0;
};

struct WeightedColour {
    uint32_t colour; // packed as the pixels are
    uint32_t weight; // how many pixels hold it
};

// The median split of splitColourRange over distinct colours, each standing for its pixels:
// the split position counts pixels, and a colour whose pixels straddle it goes to both sides
// with the share each needs. `items` and `spare` hold count + (last - first) - 1, the room
// those divided colours need below this node.
void splitWeightedRange(WeightedColour* items, WeightedColour* spare, uint64_t count, uint64_t weight, int first,
                        int last, int split, int step, int node, bool dither, GifColourTable& table) {
    if (last <= first || weight == 0) return;
    uint32_t lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
    for (uint64_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::min(lo[c], channelOf(items[i].colour, c));
            hi[c] = std::max(hi[c], channelOf(items[i].colour, c));
        }
    }
    if (last == first + 1) {
        if (dither && (first == 1 || first == (1 << table.bitDepth) - 1)) {
            setEntry(table, first, first == 1 ? lo : hi);
            return;
        }
        uint64_t sum[3] = {0, 0, 0};
        for (uint64_t i = 0; i < count; ++i) {
            for (int c = 0; c < 3; ++c) sum[c] += uint64_t(channelOf(items[i].colour, c)) * items[i].weight;
        }
        uint32_t mean[3];
        for (int c = 0; c < 3; ++c) mean[c] = uint32_t((sum[c] + weight / 2) / weight);
        setEntry(table, first, mean);
        return;
    }

    uint32_t rangeR = hi[0] - lo[0], rangeG = hi[1] - lo[1], rangeB = hi[2] - lo[2];
    int channel = 1;
    if (rangeB > rangeG) channel = 2;
    if (rangeR > rangeB && rangeR > rangeG) channel = 0;

    const uint64_t leftWeight = weight * uint64_t(split - first) / uint64_t(last - first);
    uint64_t histogram[256] = {};
    for (uint64_t i = 0; i < count; ++i) histogram[channelOf(items[i].colour, channel)] += items[i].weight;
    uint32_t value = lo[channel];
    uint64_t below = 0;
    while (below + histogram[value] <= leftWeight) below += histogram[value++];
    table.treeSplitChannel[node] = uint8_t(channel);
    table.treeSplit[node] = uint8_t(value);

    // Colours below the split value go left, those above right; of those at it, the first go
    // left until the left holds its pixels, the last of them perhaps only in part.
    uint64_t leftItems = 0;
    for (uint64_t i = 0, wanted = leftWeight - below; i < count; ++i) {
        const uint32_t v = channelOf(items[i].colour, channel);
        if (v < value || (v == value && wanted != 0)) ++leftItems;
        if (v == value) wanted -= std::min<uint64_t>(wanted, items[i].weight);
    }
    const uint64_t rightStart = leftItems + uint64_t(split - first) - 1;
    uint64_t l = 0, r = rightStart;
    for (uint64_t i = 0, wanted = leftWeight - below; i < count; ++i) {
        const WeightedColour item = items[i];
        const uint32_t v = channelOf(item.colour, channel);
        if (v < value) {
            spare[l++] = item;
        } else if (v > value || wanted == 0) {
            spare[r++] = item;
        } else if (item.weight <= wanted) {
            spare[l++] = item;
            wanted -= item.weight;
        } else {
            spare[l++] = {item.colour, uint32_t(wanted)};
            spare[r++] = {item.colour, uint32_t(item.weight - wanted)};
            wanted = 0;
        }
    }

    splitWeightedRange(spare, items, l, leftWeight, first, split, split - step, step / 2, node * 2, dither, table);
    splitWeightedRange(spare + rightStart, items + rightStart, r - rightStart, weight - leftWeight, split, last,
                       split + step, step / 2, node * 2 + 1, dither, table);
}

// Builds the table from the `count` packed colours of `pixels` (reordered; `spare` holds as
// many). When they hold no more distinct colours than the table has entries, each gets an
// entry of its own, where a split by pixel counts would blend a rare colour into a frequent
// neighbour. When each colour stands for a few pixels on average (and there are at most
// as many as `counts` has room for), the split runs over the colours, weighted; `items` and
// `itemSpare` hold that room + 256. Gives whether `counts` holds every colour.
bool buildColourTable(uint32_t* pixels, uint32_t* spare, uint64_t count, int bitDepth, bool dither,
                      GifColourTable& table, ColourCounts& counts, WeightedColour* items, WeightedColour* itemSpare) {
    table.bitDepth = bitDepth;
    const int entries = 1 << bitDepth;
    // Counting pays when each colour stands for a few pixels.
    const uint32_t limit = uint32_t(std::clamp<uint64_t>(count / 4, uint64_t(entries - 1), counts.capacity()));
    const bool counted = counts.collect(pixels, count, limit);
    if (counted && counts.size() <= uint32_t(entries - 1)) {
        for (uint32_t i = 0; i < counts.size(); ++i) pixels[i] = counts.colour(i);
        splitColourRange(pixels, spare, counts.size(), 1, entries, entries / 2, entries / 4, 1, dither, table);
        table.exact = true;
    } else if (counted) {
        for (uint32_t i = 0; i < counts.size(); ++i) items[i] = {counts.colour(i), counts.count(i)};
        splitWeightedRange(items, itemSpare, counts.size(), count, 1, entries, entries / 2, entries / 4, 1, dither,
                           table);
    } else {
        splitColourRange(pixels, spare, count, 1, entries, entries / 2, entries / 4, 1, dither, table);
    }
    table.complete = std::all_of(table.entrySet + 1, table.entrySet + entries, [](bool set) { return set; });

    table.treeSplitChannel[entries / 2] = 0;
    table.treeSplit[entries / 2] = 0;
    table.r[0] = table.g[0] = table.b[0] = 0;
    return counted;
}

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

// The same answers as nearestEntry for a complete table, found through a grid over colour
// space: each cell lists, once it is first needed, the entries that can be nearest to some
// colour inside it. Cells are built from the list of the cell twice their size that holds
// them (nothing outside it can be nearer anywhere inside), so a frame builds its cells from
// short lists rather than from the whole table. In a complete table the search's answer is
// the entry at the smallest distance that it meets first, and it meets the entries in order
// of the near/far turns on their paths from the root; ties are settled by those turns.
//
// A searched cell of at most four entries keeps them in place, where all four distances are
// taken at once without a branch on the data; longer ones are walked like the coarser lists.
class NearestColourGrid {
public:
    // Cells of the searched level are 2^shift wide in each channel (3 to 7).
    void reset(const GifColourTable& table, int shift) {
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
    void buildAll() {
        const uint32_t perAxis = 1u << (level_ - 1);
        for (uint32_t pr = 0; pr < perAxis; ++pr) {
            for (uint32_t pg = 0; pg < perAxis; ++pg) {
                for (uint32_t pb = 0; pb < perAxis; ++pb) buildFamily(pr, pg, pb);
            }
        }
    }

    // Whether the entries fill colour space rather than crowd part of it: they lie in at
    // least a quarter of the cells 32 wide.
    static bool spread(const GifColourTable& table) {
        bool occupied[512] = {};
        int count = 0;
        for (int e = 1; e < (1 << table.bitDepth); ++e) {
            int cell = (table.r[e] >> 5) << 6 | (table.g[e] >> 5) << 3 | (table.b[e] >> 5);
            count += !occupied[cell];
            occupied[cell] = true;
        }
        return count >= 128;
    }

    int find(int r, int g, int b) {
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

private:
    int nearestListed(size_t cell, int r, int g, int b) {
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

    struct Candidate {
        uint16_t bound; // the least distance from the cell
        uint8_t entry;
        uint8_t r, g, b;
    };
    struct Level {
        std::vector<uint32_t> stamp; // equal to stamp_ once built for this table
        std::vector<uint32_t> start;
        std::vector<uint16_t> count;
    };
    // Up to four entries of a searched cell, the first repeated where there are fewer.
    struct Inline {
        uint8_t r[4] = {}, g[4] = {}, b[4] = {}, entry[4] = {};
    };
    // States of a searched cell.
    static constexpr uint8_t unbuilt = 0, held = 1, listed = 2;

    // The first of the nearest entries; a tie between two entries (rare) goes to the search
    // order.
    int nearestHeld(const Inline& c, int r, int g, int b) const {
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
    bool metFirst(int a, int b, int r, int g, int bl) const {
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
    uint32_t gather(int k, uint32_t cr, uint32_t cg, uint32_t cb, Candidate* kept) {
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
    static void sortByBound(Candidate* kept, uint32_t count) {
        for (uint32_t i = 1; i < count; ++i) {
            Candidate c = kept[i];
            uint32_t at = i;
            for (; at > 0 && kept[at - 1].bound > c.bound; --at) kept[at] = kept[at - 1];
            kept[at] = c;
        }
    }

    uint32_t append(const Candidate* kept, uint32_t count) {
        uint32_t start = uint32_t(candidates_.size());
        candidates_.insert(candidates_.end(), kept, kept + count);
        return start;
    }

    // Builds the list of cell (cr, cg, cb) of level k, and the cells above it that it needs.
    void buildListed(int k, uint32_t cr, uint32_t cg, uint32_t cb) {
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
    void buildFamily(uint32_t pr, uint32_t pg, uint32_t pb) {
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
    void store(size_t cell, Candidate* kept, uint32_t count) {
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

    // Answers by colour: the colour above its entry (0 is empty, as no answer is entry 0).
    // Made when first needed.
    static constexpr uint32_t rememberedBits = 15;
    std::vector<uint32_t> remembered_;
    bool rememberedUsed_ = false;

    const GifColourTable* table_ = nullptr;
    int entries_ = 256;
    int level_ = 4;
    uint32_t stamp_ = 0;
    Level levels_[6];
    std::vector<uint8_t> state_; // of the searched level's cells
    std::vector<Inline> inline_;
    std::vector<Candidate> candidates_;
};

// Colour to entry for a table built from distinct colours. Each colour other than black has
// exactly one entry, which the search would find at distance 0; black can tie with entries
// the split left unset, so it goes to the search.
class ExactColours {
public:
    void reset(const GifColourTable& table) {
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
    int find(uint32_t colour) const {
        if (colour == 0) return 0;
        for (uint32_t h = slotOf(colour); keys_[h] != 0; h = (h + 1) & (slots - 1)) {
            if (keys_[h] == colour) return entries_[h];
        }
        return 0;
    }

private:
    static constexpr uint32_t slots = 1024;
    static uint32_t slotOf(uint32_t colour) { return uint32_t((uint64_t(colour) * 0x9E3779B1u) >> 7) & (slots - 1); }
    uint32_t keys_[slots] = {};
    uint8_t entries_[slots] = {};
};

// The table's entry for a colour: by exact colour for a table of distinct colours, through
// the grid for a complete table, else by the search itself.
class ColourMapper {
public:
    // `searches`: about how many colours will be looked up, which sets the grid's cell size.
    ColourMapper(const GifColourTable& table, ExactColours& exact, NearestColourGrid& grid, uint64_t searches)
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

    int find(int r, int g, int b) {
        int found = 0;
        if (exact_) {
            found = exact_->find(uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16);
        } else if (grid_) {
            found = grid_->find(r, g, b);
        }
        return found ? found : nearestEntry(table_, r, g, b);
    }

private:
    const GifColourTable& table_;
    ExactColours* exact_ = nullptr;
    NearestColourGrid* grid_ = nullptr;
};

// Gives each pixel at `places` (every pixel when there are none) its entry and that entry's
// colour in `out`.
void thresholdFrame(const uint8_t* image, uint8_t* out, const uint32_t* places, uint64_t count,
                    const GifColourTable& table, ColourMapper& mapper) {
    int lastR = -1, lastG = -1, lastB = -1, lastEntry = 1;
    for (uint64_t k = 0; k < count; ++k) {
        const uint64_t i = places ? places[k] : k;
        const uint8_t* p = image + i * 4;
        uint8_t* o = out + i * 4;
        // Runs of one colour are common; the search would give the same entry.
        if (p[0] != lastR || p[1] != lastG || p[2] != lastB) {
            lastR = p[0], lastG = p[1], lastB = p[2];
            lastEntry = mapper.find(lastR, lastG, lastB);
        }
        o[0] = table.r[lastEntry];
        o[1] = table.g[lastEntry];
        o[2] = table.b[lastEntry];
        o[3] = uint8_t(lastEntry);
    }
}

// thresholdFrame with every colour's entry found beforehand.
void thresholdByColour(const uint8_t* image, uint8_t* out, const uint32_t* places, uint64_t count,
                       const GifColourTable& table, const ColourCounts& counts) {
    uint32_t lastColour = 0xffffffffu;
    int lastEntry = 1;
    for (uint64_t k = 0; k < count; ++k) {
        const uint64_t i = places ? places[k] : k;
        const uint32_t colour = packPixel(image + i * 4);
        if (colour != lastColour) {
            lastColour = colour;
            lastEntry = counts.entryOf(colour);
        }
        uint8_t* o = out + i * 4;
        o[0] = table.r[lastEntry];
        o[1] = table.g[lastEntry];
        o[2] = table.b[lastEntry];
        o[3] = uint8_t(lastEntry);
    }
}

void ditherFrame(const uint8_t* previous, const uint8_t* image, uint8_t* out, uint64_t width, uint64_t height,
                 const GifColourTable& table, ColourMapper& mapper, std::vector<int32_t>& work) {
    uint64_t pixelCount = width * height;
    work.resize(pixelCount * 4);
    for (uint64_t i = 0; i < pixelCount * 4; ++i) work[i] = int32_t(image[i]) * 256;

    auto spread = [&](uint64_t n, int32_t errorR, int32_t errorG, int32_t errorB, int32_t weight) {
        if (n >= pixelCount) return;
        int32_t* q = &work[n * 4];
        q[0] += std::max(-q[0], errorR * weight / 16);
        q[1] += std::max(-q[1], errorG * weight / 16);
        q[2] += std::max(-q[2], errorB * weight / 16);
    };

    for (uint64_t y = 0; y < height; ++y) {
        for (uint64_t x = 0; x < width; ++x) {
            uint64_t n = y * width + x;
            int32_t* p = &work[n * 4];
            int32_t r = (p[0] + 127) / 256, g = (p[1] + 127) / 256, b = (p[2] + 127) / 256;
            if (previous && previous[n * 4] == r && previous[n * 4 + 1] == g && previous[n * 4 + 2] == b) {
                p[0] = r;
                p[1] = g;
                p[2] = b;
                p[3] = 0;
                continue;
            }
            // Spread error can push a channel past 255; the search takes it as it is.
            int entry = r <= 255 && g <= 255 && b <= 255 ? mapper.find(r, g, b) : nearestEntry(table, r, g, b);
            int32_t errorR = p[0] - int32_t(table.r[entry]) * 256;
            int32_t errorG = p[1] - int32_t(table.g[entry]) * 256;
            int32_t errorB = p[2] - int32_t(table.b[entry]) * 256;
            p[0] = table.r[entry];
            p[1] = table.g[entry];
            p[2] = table.b[entry];
            p[3] = entry;
            spread(n + 1, errorR, errorG, errorB, 7);
            spread(n + width - 1, errorR, errorG, errorB, 3);
            spread(n + width, errorR, errorG, errorB, 5);
            spread(n + width + 1, errorR, errorG, errorB, 1);
        }
    }
    for (uint64_t i = 0; i < pixelCount * 4; ++i) out[i] = uint8_t(work[i] & 0xff);
}

// Child codes by (code, index), open-addressed in a table that stays in a near cache: a
// table with a slot for every index of every code takes 2 MiB at bit depth 8, and on varied
// pixels nearly every step would miss the cache. Index 0, the transparent one that fills the
// unchanged parts of a frame, has a plain array of its own. Emptying clears only the slots
// that were filled.
class LzwDictionary {
public:
    LzwDictionary() {
        std::memset(slots_, 0, sizeof slots_);
        std::memset(transparentChild_, 0, sizeof transparentChild_);
    }

    void clear() {
        for (uint32_t i = 0; i < usedCount_; ++i) slots_[used_[i]] = 0;
        usedCount_ = 0;
        std::memset(transparentChild_, 0, sizeof transparentChild_);
        longestZeros_ = 1;
    }

    // Strings of index 0 only: the longest that has a code, and the code of each length (the
    // string of one is index 0's own code, 0).
    uint32_t longestZeros() const { return longestZeros_; }
    uint32_t zerosCode(uint32_t length) const { return length == 1 ? 0 : zerosCode_[length]; }
    // Gives the string one longer than the longest its code.
    void addLongerZeros(uint32_t child) {
        transparentChild_[zerosCode(longestZeros_)] = uint16_t(child);
        zerosCode_[++longestZeros_] = uint16_t(child);
    }

    // The child of `code` for `index`, or 0 with `slot` where it goes.
    uint32_t child(uint32_t code, uint32_t index, uint32_t& slot) const {
        if (index == 0) return transparentChild_[code];
        const uint32_t key = code << 8 | index;
        uint32_t h = (key * 0x9E3779B1u) >> (32 - sizeBits);
        while (true) {
            const uint32_t s = slots_[h];
            if (s == 0 || (s >> 12) == key) {
                slot = h;
                return s & 0xfffu;
            }
            h = (h + 1) & (size - 1);
        }
    }

    void add(uint32_t slot, uint32_t code, uint32_t index, uint32_t child) {
        if (index == 0) {
            transparentChild_[code] = uint16_t(child);
        } else {
            slots_[slot] = (code << 8 | index) << 12 | child;
            used_[usedCount_++] = uint16_t(slot);
        }
    }

private:
    // At most 4096 - 258 strings between clears: a ninth full, so that a search for a string
    // that is not there mostly ends at its first slot.
    static constexpr uint32_t sizeBits = 15;
    static constexpr uint32_t size = 1u << sizeBits;
    // A string's key (its prefix code << 8 | index) above its 12-bit code; 0 is empty, as no
    // string is given code 0.
    uint32_t slots_[size];
    uint16_t used_[4096];
    uint32_t usedCount_ = 0;
    uint16_t transparentChild_[4096];
    uint32_t longestZeros_ = 1;
    uint16_t zerosCode_[4097];
};

// How many index bytes of 0 follow from pixel `from` on.
uint64_t transparentRun(const uint8_t* frame, uint64_t from, uint64_t pixelCount) {
    uint64_t i = from;
    if constexpr (std::endian::native == std::endian::little) {
        // Two pixels at a time: their index bytes are the top byte of each half.
        for (; i + 2 <= pixelCount; i += 2) {
            uint64_t pair;
            std::memcpy(&pair, frame + i * 4, sizeof pair);
            if (pair & 0xff000000ff000000ull) break;
        }
    }
    while (i < pixelCount && frame[i * 4 + 3] == 0) ++i;
    return i - from;
}

void putByte(std::vector<uint8_t>& out, uint32_t value) { out.push_back(uint8_t(value)); }

void putLittle16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value & 0xff));
    out.push_back(uint8_t((value >> 8) & 0xff));
}

// Appends the frame's blocks to `out`; `codes` is scratch for the code stream.
void writeImageBlock(std::vector<uint8_t>& out, std::vector<uint8_t>& codes, LzwDictionary& dictionary,
                     const uint8_t* frame, uint32_t width, uint32_t height, uint32_t delay,
                     const GifColourTable& table) {
    const int bitDepth = table.bitDepth;

    // Graphic control: leave the frame in place, transparency on with index 0.
    for (uint32_t byte : {0x21u, 0xf9u, 0x04u, 0x05u}) putByte(out, byte);
    putLittle16(out, delay);
    putByte(out, 0);
    putByte(out, 0);

    putByte(out, 0x2c);
    putLittle16(out, 0);
    putLittle16(out, 0);
    putLittle16(out, width);
    putLittle16(out, height);
    putByte(out, uint32_t(0x80 + bitDepth - 1));

    for (int c = 0; c < 3; ++c) putByte(out, 0);
    for (int i = 1; i < (1 << bitDepth); ++i) {
        putByte(out, table.r[i]);
        putByte(out, table.g[i]);
        putByte(out, table.b[i]);
    }

    const uint32_t minCodeSize = uint32_t(bitDepth);
    const uint32_t clearCode = 1u << bitDepth;
    putByte(out, minCodeSize);

    // At most one code a pixel, a clear code every 3838 codes and three at the end, of at
    // most 12 bits each, written four bytes at a time.
    const uint64_t pixelCount = uint64_t(width) * height;
    const uint64_t mostCodes = pixelCount + pixelCount / 3838 + 4;
    codes.resize(std::max<size_t>(codes.size(), mostCodes * 12 / 8 + 8));
    uint8_t* stream = codes.data();
    uint64_t bits = 0;     // pending bits, the oldest lowest
    uint32_t bitCount = 0; // fewer than 32 between codes
    auto writeCode = [&](uint32_t code, uint32_t length) {
        bits |= uint64_t(code & ((1u << length) - 1)) << bitCount;
        bitCount += length;
        if (bitCount >= 32) {
            stream[0] = uint8_t(bits);
            stream[1] = uint8_t(bits >> 8);
            stream[2] = uint8_t(bits >> 16);
            stream[3] = uint8_t(bits >> 24);
            stream += 4;
            bits >>= 32;
            bitCount -= 32;
        }
    };

    dictionary.clear();
    uint32_t codeSize = minCodeSize + 1;
    uint32_t maxCode = clearCode + 1;
    writeCode(clearCode, codeSize);

    // Called after each code assigned.
    auto assigned = [&] {
        if (maxCode >= (1u << codeSize)) ++codeSize;
        if (maxCode == 4095) {
            writeCode(clearCode, codeSize);
            dictionary.clear();
            codeSize = minCodeSize + 1;
            maxCode = clearCode + 1;
        }
    };

    uint32_t currentCode = frame[3];
    // The length of the current string when it holds index 0 only, else 0. A run of 0 after
    // such a string is coded at once: it takes the longest string of 0 with a code as long
    // as the run is longer, each time giving the string one longer a code, exactly as pixel
    // by pixel, without a step for every pixel of the large unchanged parts.
    uint64_t zeros = currentCode == 0 ? 1 : 0;
    for (uint64_t i = 1; i < pixelCount;) {
        const uint32_t nextValue = frame[i * 4 + 3];
        if (nextValue == 0 && zeros != 0) {
            const uint64_t run = transparentRun(frame, i, pixelCount);
            i += run;
            zeros += run;
            while (zeros > dictionary.longestZeros()) {
                const uint32_t longest = dictionary.longestZeros();
                writeCode(dictionary.zerosCode(longest), codeSize);
                zeros -= longest;
                dictionary.addLongerZeros(++maxCode);
                assigned();
            }
            currentCode = dictionary.zerosCode(uint32_t(zeros));
            continue;
        }
        ++i;
        uint32_t slot = 0;
        if (uint32_t child = dictionary.child(currentCode, nextValue, slot)) {
            currentCode = child;
            zeros = 0;
            continue;
        }
        writeCode(currentCode, codeSize);
        dictionary.add(slot, currentCode, nextValue, ++maxCode);
        assigned();
        currentCode = nextValue;
        zeros = nextValue == 0 ? 1 : 0;
    }

    writeCode(currentCode, codeSize);
    // Reading that last code, a decoder adds one more entry to its table; when that entry
    // fills the current width, the decoder reads the next code one bit wider.
    if (maxCode + 1 >= (1u << codeSize) && codeSize < 12) ++codeSize;
    writeCode(clearCode, codeSize);
    writeCode(clearCode + 1, minCodeSize + 1);
    // The last byte is padded with zero bits.
    for (; bitCount > 0; bitCount = bitCount > 8 ? bitCount - 8 : 0, bits >>= 8) *stream++ = uint8_t(bits);

    // Sub-blocks of up to 255 bytes, each after its length, and an empty one to end.
    const size_t length = size_t(stream - codes.data());
    for (size_t at = 0; at < length; at += 255) {
        const size_t part = std::min<size_t>(255, length - at);
        putByte(out, uint32_t(part));
        out.insert(out.end(), codes.data() + at, codes.data() + at + part);
    }
    putByte(out, 0);
}

void writeLittle16(FILE* f, uint32_t value) {
    std::fputc(int(value & 0xff), f);
    std::fputc(int((value >> 8) & 0xff), f);
}

} // namespace

struct GifWriter::Workspace {
    // Counting colours pays for frames that hold a quarter as many colours as pixels or fewer.
    explicit Workspace(uint64_t pixelCount)
        : pixels(pixelCount), spare(pixelCount), places(pixelCount),
          counts(uint32_t(std::clamp<uint64_t>(pixelCount / 4, 255, ColourCounts::most))),
          items(counts.capacity() + 256), itemSpare(counts.capacity() + 256) {}

    std::vector<uint32_t> pixels; // the colours that enter the split
    std::vector<uint32_t> spare;  // the split moves them back and forth between the two
    std::vector<uint32_t> places; // where the changed pixels are
    ColourCounts counts;
    std::vector<WeightedColour> items; // the weighted split's colours, back and forth
    std::vector<WeightedColour> itemSpare;
    ExactColours exact;
    NearestColourGrid grid;
    LzwDictionary dictionary;
    std::vector<uint8_t> codes;
    std::vector<uint8_t> output; // one frame's bytes, written at once
    std::vector<int32_t> ditherWork;
};

GifWriter::GifWriter() = default;

GifWriter::~GifWriter() {
    if (file_) std::fclose(file_);
}

bool GifWriter::begin(const std::string& fileName, uint32_t width, uint32_t height, uint32_t delay, int32_t) {
    if (file_) {
        std::cerr << "GifWriter::begin: a recording is already open" << std::endl;
        return false;
    }
    if (width == 0 || height == 0 || width > 0xffff || height > 0xffff) {
        std::cerr << "GifWriter::begin: unusable size " << width << "x" << height << std::endl;
        return false;
    }
    file_ = std::fopen(fileName.c_str(), "wb");
    if (!file_) {
        std::cerr << "GifWriter::begin: unable to open " << fileName << std::endl;
        return false;
    }
    firstFrame_ = true;
    width_ = width;
    height_ = height;
    previousFrame_.assign(uint64_t(width) * height * 4, 0);
    work_ = std::make_unique<Workspace>(uint64_t(width) * height);

    std::fputs("GIF89a", file_);
    writeLittle16(file_, width);
    writeLittle16(file_, height);
    std::fputc(0xf0, file_); // a global table of two entries
    std::fputc(0, file_);
    std::fputc(0, file_);
    for (int i = 0; i < 6; ++i) std::fputc(0, file_);

    if (delay != 0) {
        std::fputc(0x21, file_);
        std::fputc(0xff, file_);
        std::fputc(11, file_);
        std::fputs("NETSCAPE2.0", file_);
        std::fputc(3, file_);
        std::fputc(1, file_);
        std::fputc(0, file_); // loop for ever
        std::fputc(0, file_);
        std::fputc(0, file_);
    }
    return true;
}

bool GifWriter::writeFrame(const uint8_t* image, uint32_t width, uint32_t height, uint32_t delay, int32_t bitDepth,
                           bool dither) {
    if (!file_) return false;
    if (width != width_ || height != height_) {
        std::cerr << "GifWriter::writeFrame: frame of " << width << "x" << height << " in a recording of " << width_
                  << "x" << height_ << std::endl;
        return false;
    }
    if (bitDepth < 2 || bitDepth > 8) {
        std::cerr << "GifWriter::writeFrame: unsupported bit depth " << bitDepth << std::endl;
        return false;
    }

    const bool hasPrevious = !firstFrame_;
    firstFrame_ = false;
    const uint64_t pixelCount = uint64_t(width) * height;
    Workspace& work = *work_;
    uint8_t* frame = previousFrame_.data();

    // Dithering spreads error into unchanged pixels too, so its table covers every pixel.
    uint64_t count = pixelCount;
    if (hasPrevious && !dither) {
        count = gatherChangedPixels(frame, image, pixelCount, work.pixels.data(), work.places.data());
    } else {
        for (uint64_t i = 0; i < pixelCount; ++i) work.pixels[i] = packPixel(image + i * 4);
    }
    GifColourTable table;
    const bool counted = buildColourTable(work.pixels.data(), work.spare.data(), count, bitDepth, dither, table,
                                          work.counts, work.items.data(), work.itemSpare.data());
    if (dither) {
        ColourMapper mapper(table, work.exact, work.grid, pixelCount);
        ditherFrame(hasPrevious ? frame : nullptr, image, frame, width, height, table, mapper, work.ditherWork);
    } else if (counted) {
        // Each colour is searched for once.
        ColourMapper mapper(table, work.exact, work.grid, work.counts.size());
        for (uint32_t i = 0; i < work.counts.size(); ++i) {
            const uint32_t colour = work.counts.colour(i);
            work.counts.setEntry(i, mapper.find(int(channelOf(colour, 0)), int(channelOf(colour, 1)),
                                                int(channelOf(colour, 2))));
        }
        thresholdByColour(image, frame, hasPrevious ? work.places.data() : nullptr, count, table, work.counts);
    } else {
        ColourMapper mapper(table, work.exact, work.grid, count);
        thresholdFrame(image, frame, hasPrevious ? work.places.data() : nullptr, count, table, mapper);
    }
    work.output.clear();
    // Longer delays than 16 bits hold are clamped: wrapped, they would come out short.
    writeImageBlock(work.output, work.codes, work.dictionary, frame, width, height,
                    std::min<uint32_t>(delay, 0xffff), table);
    std::fwrite(work.output.data(), 1, work.output.size(), file_);
    return true;
}

bool GifWriter::end() {
    if (!file_) return false;
    std::fputc(0x3b, file_);
    bool ok = !std::ferror(file_);
    if (std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    previousFrame_.clear();
    previousFrame_.shrink_to_fit();
    work_.reset();
    if (!ok) std::cerr << "GifWriter::end: the recording could not be written" << std::endl;
    return ok;
}

} // namespace hv
