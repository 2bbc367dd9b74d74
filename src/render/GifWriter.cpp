#include "render/GifWriter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

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

// Codes go out least significant bit first, in sub-blocks of 255 bytes.
struct GifBitWriter {
    uint64_t bits = 0;     // pending bits, the oldest lowest
    uint32_t bitCount = 0; // how many are pending (fewer than 8 between codes)
    uint32_t chunkIndex = 0;
    uint8_t chunk[256] = {};

    void writeChunk(FILE* f) {
        std::fputc(int(chunkIndex), f);
        std::fwrite(chunk, 1, chunkIndex, f);
        chunkIndex = 0;
    }

    void writeCode(FILE* f, uint32_t code, uint32_t length) {
        bits |= uint64_t(code & ((1u << length) - 1)) << bitCount;
        bitCount += length;
        while (bitCount >= 8) {
            chunk[chunkIndex++] = uint8_t(bits);
            bits >>= 8;
            bitCount -= 8;
            if (chunkIndex == 255) writeChunk(f);
        }
    }

    // Pads the last byte with zero bits and writes what is left.
    void finish(FILE* f) {
        if (bitCount > 0) {
            chunk[chunkIndex++] = uint8_t(bits);
            bits = 0;
            bitCount = 0;
        }
        if (chunkIndex) writeChunk(f);
    }
};

// Pixels during the split are packed as red | green << 8 | blue << 16.
inline uint32_t channelOf(uint32_t pixel, int channel) { return (pixel >> (8 * channel)) & 0xffu; }

inline uint32_t packPixel(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; }

// Partitions [left, right) around the pivot pixel's value in the channel: a value below the
// pivot's is swapped down to `store`, and so is every second value equal to it, so that runs
// of equal values spread over both sides.
//
// The pixels that stay up form a queue between `store` and the scan: a swap sends its front
// pixel to the back. Keeping that queue in `queue` gives the same order without the chain of
// stores and reloads that the swaps make.
uint64_t partitionPixels(uint32_t* pixels, uint64_t left, uint64_t right, int channel, uint64_t pivot,
                         uint32_t* queue) {
    const uint32_t pivotValue = channelOf(pixels[pivot], channel);
    std::swap(pixels[pivot], pixels[right - 1]);
    uint64_t store = left;
    uint64_t head = 0, tail = 0;
    uint32_t split = 0;
    for (uint64_t i = left; i + 1 < right; ++i) {
        uint32_t a = pixels[i];
        uint32_t value = channelOf(a, channel);
        uint32_t equal = value == pivotValue;
        uint32_t take = (value < pivotValue) | (equal & split);
        split ^= equal;
        uint32_t waiting = head != tail;
        uint32_t rotate = take & waiting;
        uint32_t mask = 0u - rotate; // selects the compiler cannot turn back into branches
        queue[tail] = (queue[head] & mask) | (a & ~mask);
        tail += (take ^ 1u) | rotate;
        head += rotate;
        pixels[store] = a; // a pixel that stays up is overwritten by the next one taken
        store += take;
    }
    std::copy(queue + head, queue + tail, pixels + store);
    std::swap(pixels[store], pixels[right - 1]);
    return store;
}

// Reorders so that position `wanted` holds what a sort by the channel would put there.
void medianPartition(uint32_t* pixels, uint64_t left, uint64_t right, int channel, uint64_t wanted,
                     uint32_t* queue) {
    while (right - left > 1) {
        uint64_t p = partitionPixels(pixels, left, right, channel, left + (right - left) / 2, queue);
        if (p > wanted) {
            right = p;
        } else if (p < wanted) {
            left = p + 1;
        } else {
            return;
        }
    }
}

void splitColourRange(uint32_t* pixels, uint64_t count, int first, int last, int split, int step, int node,
                      bool dither, GifColourTable& table, uint32_t* queue) {
    if (last <= first || count == 0) return;

    if (last == first + 1) {
        int entries = 1 << table.bitDepth;
        uint32_t colour[3];
        if (dither && first == 1) {
            // The darkest colour, so that dithering can reach it.
            colour[0] = colour[1] = colour[2] = 255;
            for (uint64_t i = 0; i < count; ++i) {
                for (int c = 0; c < 3; ++c) colour[c] = std::min(colour[c], channelOf(pixels[i], c));
            }
        } else if (dither && first == entries - 1) {
            colour[0] = colour[1] = colour[2] = 0;
            for (uint64_t i = 0; i < count; ++i) {
                for (int c = 0; c < 3; ++c) colour[c] = std::max(colour[c], channelOf(pixels[i], c));
            }
        } else {
            uint64_t sum[3] = {0, 0, 0};
            for (uint64_t i = 0; i < count; ++i) {
                for (int c = 0; c < 3; ++c) sum[c] += channelOf(pixels[i], c);
            }
            for (int c = 0; c < 3; ++c) colour[c] = uint32_t((sum[c] + count / 2) / count);
        }
        table.r[first] = uint8_t(colour[0]);
        table.g[first] = uint8_t(colour[1]);
        table.b[first] = uint8_t(colour[2]);
        table.entrySet[first] = true;
        return;
    }

    uint32_t lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
    for (uint64_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
            uint32_t v = channelOf(pixels[i], c);
            lo[c] = std::min(lo[c], v);
            hi[c] = std::max(hi[c], v);
        }
    }
    uint32_t rangeR = hi[0] - lo[0], rangeG = hi[1] - lo[1], rangeB = hi[2] - lo[2];
    int channel = 1;
    if (rangeB > rangeG) channel = 2;
    if (rangeR > rangeB && rangeR > rangeG) channel = 0;

    uint64_t leftCount = count * uint64_t(split - first) / uint64_t(last - first);
    medianPartition(pixels, 0, count, channel, leftCount, queue);
    table.treeSplitChannel[node] = uint8_t(channel);
    // With every pixel on the left there is no pixel at leftCount; the split value then
    // stays as it was.
    if (leftCount < count) table.treeSplit[node] = uint8_t(channelOf(pixels[leftCount], channel));

    splitColourRange(pixels, leftCount, first, split, split - step, step / 2, node * 2, dither, table, queue);
    splitColourRange(pixels + leftCount, count - leftCount, split, last, split + step, step / 2, node * 2 + 1,
                     dither, table, queue);
}

// Packs the pixels whose colour differs from the previous frame's to the front.
uint64_t keepChangedPixels(const uint8_t* previous, const uint8_t* image, uint32_t* pixels, uint64_t count) {
    uint64_t kept = 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t p = packPixel(image + i * 4);
        pixels[kept] = p;
        kept += p != packPixel(previous + i * 4);
    }
    return kept;
}

// When the pixels hold no more distinct colours than the table has entries, packs each
// colour once to the front and gives their number; otherwise gives 0 and leaves the order
// alone. Splitting the distinct colours gives every one of them an entry of its own, where a
// split by pixel counts would blend a rare colour into a frequent neighbour.
uint64_t packDistinctColours(uint32_t* pixels, uint64_t count, uint64_t limit) {
    constexpr uint64_t slots = 1024; // over twice the largest limit
    uint32_t seen[slots] = {};       // colour + 1; 0 is empty
    uint32_t distinct[256];
    uint64_t found = 0;
    uint32_t lastColour = 0xFFFFFFFFu;
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t colour = pixels[i];
        if (colour == lastColour) continue;
        lastColour = colour;
        uint64_t h = (uint64_t(colour) * 0x9E3779B1u >> 7) & (slots - 1);
        while (seen[h] != 0 && seen[h] != colour + 1) h = (h + 1) & (slots - 1);
        if (seen[h] != 0) continue;
        if (found == limit) return 0;
        seen[h] = colour + 1;
        distinct[found++] = colour;
    }
    std::copy(distinct, distinct + found, pixels);
    return found;
}

void buildColourTable(const uint8_t* previous, const uint8_t* image, uint64_t pixelCount, int bitDepth, bool dither,
                      GifColourTable& table) {
    table.bitDepth = bitDepth;
    std::unique_ptr<uint32_t[]> pixels(new uint32_t[pixelCount]);
    uint64_t count = pixelCount;
    if (previous) {
        count = keepChangedPixels(previous, image, pixels.get(), pixelCount);
    } else {
        for (uint64_t i = 0; i < pixelCount; ++i) pixels[i] = packPixel(image + i * 4);
    }

    int entries = 1 << bitDepth;
    if (uint64_t distinct = packDistinctColours(pixels.get(), count, uint64_t(entries - 1))) {
        count = distinct;
        table.exact = true;
    }
    std::unique_ptr<uint32_t[]> queue(new uint32_t[std::max<uint64_t>(count, 1)]);
    splitColourRange(pixels.get(), count, 1, entries, entries / 2, entries / 4, 1, dither, table, queue.get());
    table.complete = std::all_of(table.entrySet + 1, table.entrySet + entries, [](bool set) { return set; });

    table.treeSplitChannel[entries / 2] = 0;
    table.treeSplit[entries / 2] = 0;
    table.r[0] = table.g[0] = table.b[0] = 0;
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

// The same answers as nearestEntry for a complete table, found through a coarse grid over
// colour space: each cell lists, once it is first needed, the entries that can be nearest to
// some colour inside it. In a complete table the search's answer is the entry at the
// smallest distance that it meets first, and it meets the entries in order of the near/far
// turns on their paths from the root; ties are settled by those turns.
class NearestColourGrid {
public:
    // Cells are 2^shift wide in each channel.
    NearestColourGrid(const GifColourTable& table, int shift)
        : table_(table), entries_(1 << table.bitDepth), shift_(shift), perAxis_(256 >> shift),
          cellStart_(size_t(perAxis_) * size_t(perAxis_) * size_t(perAxis_), -1),
          cellCount_(cellStart_.size(), 0) {}

    int find(int r, int g, int b) {
        size_t cell = (size_t(r >> shift_) * size_t(perAxis_) + size_t(g >> shift_)) * size_t(perAxis_) +
                      size_t(b >> shift_);
        if (cellStart_[cell] < 0) build(cell, r >> shift_, g >> shift_, b >> shift_);
        const Candidate* candidate = &candidates_[size_t(cellStart_[cell])];
        const Candidate* end = candidate + cellCount_[cell];
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
        return best;
    }

private:
    struct Candidate {
        uint16_t bound; // the least distance from the cell
        uint8_t entry;
        uint8_t r, g, b;
    };

    // Whether the search meets entry a before entry b: at the first node where their paths
    // part, a lies on the side the search takes first.
    bool metFirst(int a, int b, int r, int g, int bl) const {
        int la = a + entries_, lb = b + entries_;
        int shift = table_.bitDepth;
        while (shift > 0 && (la >> shift) == (lb >> shift)) --shift;
        int node = la >> (shift + 1);
        const int query[3] = {r, g, bl};
        int value = query[table_.treeSplitChannel[node]];
        int nearChild = value < table_.treeSplit[node] ? node * 2 : node * 2 + 1;
        return (la >> shift) == nearChild;
    }

    void build(size_t cell, int cr, int cg, int cb) {
        const int size = 1 << shift_;
        const int lo[3] = {cr * size, cg * size, cb * size};
        int bound = 1 << 30;
        for (int e = 1; e < entries_; ++e) {
            const int colour[3] = {table_.r[e], table_.g[e], table_.b[e]};
            int farthest = 0;
            for (int c = 0; c < 3; ++c) {
                farthest += std::max(std::abs(colour[c] - lo[c]), std::abs(colour[c] - (lo[c] + size - 1)));
            }
            bound = std::min(bound, farthest);
        }
        size_t start = candidates_.size();
        cellStart_[cell] = int32_t(start);
        for (int e = 1; e < entries_; ++e) {
            const int colour[3] = {table_.r[e], table_.g[e], table_.b[e]};
            int nearest = 0;
            for (int c = 0; c < 3; ++c) nearest += std::max({0, lo[c] - colour[c], colour[c] - (lo[c] + size - 1)});
            if (nearest <= bound) {
                candidates_.push_back({uint16_t(nearest), uint8_t(e), table_.r[e], table_.g[e], table_.b[e]});
            }
        }
        std::stable_sort(candidates_.begin() + std::ptrdiff_t(start), candidates_.end(),
                         [](const Candidate& x, const Candidate& y) { return x.bound < y.bound; });
        cellCount_[cell] = uint16_t(candidates_.size() - start);
    }

    const GifColourTable& table_;
    int entries_;
    int shift_;
    int perAxis_;
    std::vector<int32_t> cellStart_;
    std::vector<uint16_t> cellCount_;
    std::vector<Candidate> candidates_;
};

// Colour to entry for a table built from distinct colours. Each colour other than black has
// exactly one entry, which the search would find at distance 0; black can tie with entries
// the split left unset, so it goes to the search.
class ExactColours {
public:
    explicit ExactColours(const GifColourTable& table) {
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

// `out` may be `previous`: each pixel is read before it is overwritten.
void thresholdFrame(const uint8_t* previous, const uint8_t* image, uint8_t* out, uint64_t pixelCount,
                    const GifColourTable& table) {
    std::unique_ptr<ExactColours> exact;
    std::unique_ptr<NearestColourGrid> grid;
    if (table.exact) {
        exact = std::make_unique<ExactColours>(table);
    } else if (table.complete) {
        // Finer cells pay for their building only over many searches.
        grid = std::make_unique<NearestColourGrid>(table, pixelCount >= 200000 ? 4 : 5);
    }
    int lastR = -1, lastG = -1, lastB = -1, lastEntry = 1;
    for (uint64_t i = 0; i < pixelCount; ++i) {
        const uint8_t* p = image + i * 4;
        uint8_t* o = out + i * 4;
        if (previous && previous[i * 4] == p[0] && previous[i * 4 + 1] == p[1] && previous[i * 4 + 2] == p[2]) {
            o[0] = p[0];
            o[1] = p[1];
            o[2] = p[2];
            o[3] = 0;
            continue;
        }
        // Runs of one colour are common; the search would give the same entry.
        if (p[0] != lastR || p[1] != lastG || p[2] != lastB) {
            lastR = p[0], lastG = p[1], lastB = p[2];
            int found = exact ? exact->find(packPixel(p)) : grid ? grid->find(lastR, lastG, lastB) : 0;
            lastEntry = found ? found : nearestEntry(table, lastR, lastG, lastB);
        }
        o[0] = table.r[lastEntry];
        o[1] = table.g[lastEntry];
        o[2] = table.b[lastEntry];
        o[3] = uint8_t(lastEntry);
    }
}

void ditherFrame(const uint8_t* previous, const uint8_t* image, uint8_t* out, uint64_t width, uint64_t height,
                 const GifColourTable& table) {
    uint64_t pixelCount = width * height;
    std::vector<int32_t> work(pixelCount * 4);
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
            int entry = nearestEntry(table, r, g, b);
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

void writeLittle16(FILE* f, uint32_t value) {
    std::fputc(int(value & 0xff), f);
    std::fputc(int((value >> 8) & 0xff), f);
}

void writeImageBlock(FILE* f, const uint8_t* frame, uint32_t width, uint32_t height, uint32_t delay,
                     const GifColourTable& table) {
    const int bitDepth = table.bitDepth;

    // Graphic control: leave the frame in place, transparency on with index 0.
    std::fputc(0x21, f);
    std::fputc(0xf9, f);
    std::fputc(0x04, f);
    std::fputc(0x05, f);
    writeLittle16(f, delay);
    std::fputc(0, f);
    std::fputc(0, f);

    std::fputc(0x2c, f);
    writeLittle16(f, 0);
    writeLittle16(f, 0);
    writeLittle16(f, width);
    writeLittle16(f, height);
    std::fputc(0x80 + bitDepth - 1, f);

    std::fputc(0, f);
    std::fputc(0, f);
    std::fputc(0, f);
    for (int i = 1; i < (1 << bitDepth); ++i) {
        std::fputc(table.r[i], f);
        std::fputc(table.g[i], f);
        std::fputc(table.b[i], f);
    }

    const uint32_t minCodeSize = uint32_t(bitDepth);
    const uint32_t clearCode = 1u << bitDepth;
    std::fputc(int(minCodeSize), f);

    // Child codes of every code by index; 0 is none. Starting over clears only what was set.
    std::vector<uint16_t> dictionary(4096 * 256, 0);
    std::vector<uint32_t> assigned;
    assigned.reserve(4096);
    int32_t currentCode = -1;
    uint32_t codeSize = minCodeSize + 1;
    uint32_t maxCode = clearCode + 1;

    GifBitWriter stream;
    stream.writeCode(f, clearCode, codeSize);

    uint64_t pixelCount = uint64_t(width) * height;
    for (uint64_t i = 0; i < pixelCount; ++i) {
        uint8_t nextValue = frame[i * 4 + 3];
        if (currentCode < 0) {
            currentCode = nextValue;
        } else if (uint16_t child = dictionary[uint64_t(currentCode) * 256 + nextValue]) {
            currentCode = child;
        } else {
            stream.writeCode(f, uint32_t(currentCode), codeSize);
            dictionary[uint64_t(currentCode) * 256 + nextValue] = uint16_t(++maxCode);
            assigned.push_back(uint32_t(currentCode) * 256 + nextValue);
            if (maxCode >= (1u << codeSize)) ++codeSize;
            if (maxCode == 4095) {
                stream.writeCode(f, clearCode, codeSize);
                for (uint32_t slot : assigned) dictionary[slot] = 0;
                assigned.clear();
                codeSize = minCodeSize + 1;
                maxCode = clearCode + 1;
            }
            currentCode = nextValue;
        }
    }

    stream.writeCode(f, uint32_t(currentCode), codeSize);
    // Reading that last code, a decoder adds one more entry to its table; when that entry
    // fills the current width, the decoder reads the next code one bit wider.
    if (maxCode + 1 >= (1u << codeSize) && codeSize < 12) ++codeSize;
    stream.writeCode(f, clearCode, codeSize);
    stream.writeCode(f, clearCode + 1, minCodeSize + 1);

    stream.finish(f);
    std::fputc(0, f);
}

} // namespace

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

    const uint8_t* previous = firstFrame_ ? nullptr : previousFrame_.data();
    firstFrame_ = false;
    uint64_t pixelCount = uint64_t(width) * height;

    // Dithering spreads error into unchanged pixels too, so its table covers every pixel.
    GifColourTable table;
    buildColourTable(dither ? nullptr : previous, image, pixelCount, bitDepth, dither, table);
    if (dither) {
        ditherFrame(previous, image, previousFrame_.data(), width, height, table);
    } else {
        thresholdFrame(previous, image, previousFrame_.data(), pixelCount, table);
    }
    writeImageBlock(file_, previousFrame_.data(), width, height, delay, table);
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
    if (!ok) std::cerr << "GifWriter::end: the recording could not be written" << std::endl;
    return ok;
}

} // namespace hv
