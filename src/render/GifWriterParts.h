// What the GIF writer's parts share: the colour table and its counts, the nearest-colour search, the LZW dictionary.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace hv::gif {

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

// The colour table's building, in GifPalette.cpp.

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

    inline bool collect(const uint32_t* pixels, uint64_t count, uint32_t limit);

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

    inline void clear();

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

bool buildColourTable(uint32_t* pixels, uint32_t* spare, uint64_t count, int bitDepth, bool dither,
                      GifColourTable& table, ColourCounts& counts, WeightedColour* items, WeightedColour* itemSpare);

// Each colour's entry, in GifNearest.cpp.

int nearestEntry(const GifColourTable& table, int r, int g, int b);

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
    inline void reset(const GifColourTable& table, int shift);
    inline void buildAll();
    static inline bool spread(const GifColourTable& table);
    inline int find(int r, int g, int b);

private:
    inline int nearestListed(size_t cell, int r, int g, int b);

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

    inline int nearestHeld(const Inline& c, int r, int g, int b) const;
    inline bool metFirst(int a, int b, int r, int g, int bl) const;
    inline uint32_t gather(int k, uint32_t cr, uint32_t cg, uint32_t cb, Candidate* kept);
    static inline void sortByBound(Candidate* kept, uint32_t count);
    inline uint32_t append(const Candidate* kept, uint32_t count);
    inline void buildListed(int k, uint32_t cr, uint32_t cg, uint32_t cb);
    inline void buildFamily(uint32_t pr, uint32_t pg, uint32_t pb);
    inline void store(size_t cell, Candidate* kept, uint32_t count);

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
    inline void reset(const GifColourTable& table);
    inline int find(uint32_t colour) const;

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
    ColourMapper(const GifColourTable& table, ExactColours& exact, NearestColourGrid& grid, uint64_t searches);
    int find(int r, int g, int b);

private:
    const GifColourTable& table_;
    ExactColours* exact_ = nullptr;
    NearestColourGrid* grid_ = nullptr;
};

// The frame's blocks, in GifLzw.cpp.

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

    inline void clear();

    // Strings of index 0 only: the longest that has a code, and the code of each length (the
    // string of one is index 0's own code, 0).
    uint32_t longestZeros() const { return longestZeros_; }
    uint32_t zerosCode(uint32_t length) const { return length == 1 ? 0 : zerosCode_[length]; }
    inline void addLongerZeros(uint32_t child);
    inline uint32_t child(uint32_t code, uint32_t index, uint32_t& slot) const;
    inline void add(uint32_t slot, uint32_t code, uint32_t index, uint32_t child);

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

void writeImageBlock(std::vector<uint8_t>& out, std::vector<uint8_t>& codes, LzwDictionary& dictionary,
                     const uint8_t* frame, uint32_t width, uint32_t height, uint32_t delay,
                     const GifColourTable& table);

} // namespace hv::gif
