// The colour table: median splits over the pixels or over their distinct colours, and the counting of those.
#include "render/GifWriterParts.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace hv::gif {

// False, keeping nothing, when the pixels hold more than `limit` (at most the capacity)
// colours.
inline bool ColourCounts::collect(const uint32_t* pixels, uint64_t count, uint32_t limit) {
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

inline void ColourCounts::clear() {
    for (uint32_t i = 0; i < size_; ++i) keys_[slot_[i]] = 0;
    size_ = 0;
}

namespace {

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

} // namespace

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

} // namespace hv::gif
